// The extension module: its function table, the entry points and the initialiser.
#include <Python.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "binding/arguments.hpp"
#include "binding/call.hpp"
#include "binding/python_ref.hpp"
#include "binding/results.hpp"
#include "binding/signature.hpp"
#include "convert/grid.hpp"
#include "convert/scales.hpp"
#include "dsp/features.hpp"
#include "dsp/level.hpp"
#include "dsp/spectral.hpp"
#include "dsp/time_domain.hpp"

namespace sonavera {
namespace {

using binding::Arguments;
using binding::Function;
using binding::Kind;
using binding::Param;
using binding::to_python;

// ---------------------------------------------------------------------------------------------
// Parameters of every function: name, kind, default literal (none for required parameters).

constexpr Param stft_params[] = {{"y", Kind::float_array},
                                 {"n_fft", Kind::size, "2048"},
                                 {"hop_length", Kind::size, "None"},
                                 {"win_length", Kind::size, "None"},
                                 {"center", Kind::flag, "True"}};
constexpr Param istft_params[] = {{"stft_re", Kind::float_array}, {"stft_im", Kind::float_array},
                                  {"n_frames", Kind::size},       {"n_bins", Kind::size},
                                  {"hop_length", Kind::size, "512"}, {"win_length", Kind::size, "2048"},
                                  {"center", Kind::flag, "True"}};
constexpr Param amplitude_to_db_params[] = {{"s", Kind::float_array},
                                            {"ref_val", Kind::float32, "1.0"},
                                            {"amin", Kind::float32, "1e-5"},
                                            {"top_db", Kind::float32, "None"}};
constexpr Param power_to_db_params[] = {{"s", Kind::float_array},
                                        {"ref_val", Kind::float32, "1.0"},
                                        {"amin", Kind::float32, "1e-10"},
                                        {"top_db", Kind::float32, "None"}};
constexpr Param db_to_linear_params[] = {{"s_db", Kind::float_array}, {"ref_val", Kind::float32, "1.0"}};
constexpr Param zero_crossings_params[] = {
    {"y", Kind::float_array}, {"threshold", Kind::float32, "1e-10"}, {"pad", Kind::flag, "True"}};
constexpr Param autocorrelate_params[] = {{"y", Kind::float_array}, {"max_size", Kind::size, "None"}};
constexpr Param mu_law_params[] = {
    {"x", Kind::float_array}, {"mu", Kind::float32, "255.0"}, {"quantize", Kind::flag, "False"}};
constexpr Param to_mono_params[] = {{"y_flat", Kind::float_array}, {"n_channels", Kind::size}};
constexpr Param resample_params[] = {
    {"y", Kind::float_array}, {"orig_sr", Kind::float32}, {"target_sr", Kind::float32}};
constexpr Param get_rms_params[] = {
    {"y", Kind::float_array}, {"frame_length", Kind::size, "2048"}, {"hop_length", Kind::size, "512"}};
constexpr Param mel_filterbank_params[] = {{"sr", Kind::float32},          {"n_fft", Kind::size},
                                           {"n_mels", Kind::size, "128"},  {"fmin", Kind::float32, "0.0"},
                                           {"fmax", Kind::float32, "None"}, {"htk", Kind::flag, "False"}};
constexpr Param melspectrogram_params[] = {{"stft_mag", Kind::float_array},
                                           {"mel_fb", Kind::float_array},
                                           {"n_frames", Kind::size},
                                           {"n_bins", Kind::size},
                                           {"n_mels", Kind::size}};
constexpr Param mfcc_params[] = {
    {"log_mel", Kind::float_array}, {"n_mels", Kind::size}, {"n_frames", Kind::size}, {"n_mfcc", Kind::size}};
constexpr Param chroma_stft_params[] = {{"stft_mag", Kind::float_array}, {"sr", Kind::float32},
                                        {"n_fft", Kind::size},           {"n_frames", Kind::size},
                                        {"n_bins", Kind::size},          {"tuning", Kind::float32, "0.0"}};
constexpr Param spectral_centroid_params[] = {{"stft_mag", Kind::float_array},
                                              {"sr", Kind::float32},
                                              {"n_fft", Kind::size},
                                              {"n_frames", Kind::size},
                                              {"n_bins", Kind::size}};
constexpr Param spectral_bandwidth_params[] = {{"stft_mag", Kind::float_array}, {"sr", Kind::float32},
                                               {"n_fft", Kind::size},           {"n_frames", Kind::size},
                                               {"n_bins", Kind::size},          {"p", Kind::float32, "2.0"}};
constexpr Param spectral_rolloff_params[] = {{"stft_mag", Kind::float_array}, {"sr", Kind::float32},
                                             {"n_fft", Kind::size},           {"n_frames", Kind::size},
                                             {"n_bins", Kind::size},          {"roll_percent", Kind::float32, "0.85"}};
constexpr Param frame_matrix_params[] = {
    {"stft_mag", Kind::float_array}, {"n_frames", Kind::size}, {"n_bins", Kind::size}};
constexpr Param yin_params[] = {{"y", Kind::float_array},
                                {"fmin", Kind::float32},
                                {"fmax", Kind::float32},
                                {"sr", Kind::float32, "22050.0"},
                                {"frame_length", Kind::size, "2048"},
                                {"hop_length", Kind::size, "None"},
                                {"trough_threshold", Kind::float32, "0.1"}};
constexpr Param hz_to_mel_params[] = {{"frequencies", Kind::double_array}, {"htk", Kind::flag, "False"}};
constexpr Param mel_to_hz_params[] = {{"mels", Kind::double_array}, {"htk", Kind::flag, "False"}};
constexpr Param hz_to_midi_params[] = {{"frequencies", Kind::double_array}};
constexpr Param midi_to_hz_params[] = {{"notes", Kind::double_array}};
constexpr Param frames_to_samples_params[] = {
    {"frames", Kind::index_array}, {"hop_length", Kind::int64, "512"}, {"n_fft", Kind::int64, "None"}};
constexpr Param frames_to_time_params[] = {{"frames", Kind::index_array},
                                           {"sr", Kind::float64, "22050.0"},
                                           {"hop_length", Kind::int64, "512"},
                                           {"n_fft", Kind::int64, "None"}};
constexpr Param samples_to_frames_params[] = {
    {"samples", Kind::index_array}, {"hop_length", Kind::int64, "512"}, {"n_fft", Kind::int64, "None"}};
constexpr Param samples_to_time_params[] = {{"samples", Kind::index_array}, {"sr", Kind::float64, "22050.0"}};
constexpr Param time_to_frames_params[] = {{"times", Kind::double_array},
                                           {"sr", Kind::float64, "22050.0"},
                                           {"hop_length", Kind::int64, "512"},
                                           {"n_fft", Kind::int64, "None"}};
constexpr Param time_to_samples_params[] = {{"times", Kind::double_array}, {"sr", Kind::float64, "22050.0"}};

// ---------------------------------------------------------------------------------------------
// Shims: converted arguments -> kernel -> result object.

PyObject* call_stft(Arguments& a) {
  return to_python(dsp::stft(a.float_array("y"), a.size("n_fft"), a.optional_size("hop_length"),
                             a.optional_size("win_length"), a.flag("center")));
}
PyObject* call_istft(Arguments& a) {
  return to_python(dsp::istft(a.float_array("stft_re"), a.float_array("stft_im"), a.size("n_frames"),
                              a.size("n_bins"), a.size("hop_length"), a.size("win_length"), a.flag("center")));
}
PyObject* call_amplitude_to_db(Arguments& a) {
  return to_python(dsp::amplitude_to_db(a.float_array("s"), a.float32("ref_val"), a.float32("amin"),
                                        a.optional_float32("top_db")));
}
PyObject* call_power_to_db(Arguments& a) {
  return to_python(dsp::power_to_db(a.float_array("s"), a.float32("ref_val"), a.float32("amin"),
                                    a.optional_float32("top_db")));
}
PyObject* call_db_to_amplitude(Arguments& a) {
  return to_python(dsp::db_to_amplitude(a.float_array("s_db"), a.float32("ref_val")));
}
PyObject* call_db_to_power(Arguments& a) {
  return to_python(dsp::db_to_power(a.float_array("s_db"), a.float32("ref_val")));
}
PyObject* call_zero_crossings(Arguments& a) {
  return binding::to_python_flags(dsp::zero_crossings(a.float_array("y"), a.float32("threshold"), a.flag("pad")));
}
PyObject* call_autocorrelate(Arguments& a) {
  return to_python(dsp::autocorrelate(a.float_array("y"), a.optional_size("max_size")));
}
PyObject* call_mu_compress(Arguments& a) {
  return to_python(dsp::mu_compress(a.float_array("x"), a.float32("mu"), a.flag("quantize")));
}
PyObject* call_mu_expand(Arguments& a) {
  return to_python(dsp::mu_expand(a.float_array("x"), a.float32("mu"), a.flag("quantize")));
}
PyObject* call_to_mono(Arguments& a) {
  return to_python(dsp::to_mono(a.float_array("y_flat"), a.size("n_channels")));
}
PyObject* call_resample(Arguments& a) {
  return to_python(dsp::resample(a.take_float_array("y"), a.float32("orig_sr"), a.float32("target_sr")));
}
PyObject* call_get_rms(Arguments& a) {
  return to_python(dsp::get_rms(a.float_array("y"), a.size("frame_length"), a.size("hop_length")));
}
PyObject* call_mel_filterbank(Arguments& a) {
  return to_python(dsp::mel_filterbank(a.float32("sr"), a.size("n_fft"), a.size("n_mels"), a.float32("fmin"),
                                       a.optional_float32("fmax"), a.flag("htk")));
}
PyObject* call_melspectrogram(Arguments& a) {
  return to_python(dsp::melspectrogram(a.float_array("stft_mag"), a.float_array("mel_fb"), a.size("n_frames"),
                                       a.size("n_bins"), a.size("n_mels")));
}
PyObject* call_mfcc(Arguments& a) {
  return to_python(dsp::mfcc(a.float_array("log_mel"), a.size("n_mels"), a.size("n_frames"), a.size("n_mfcc")));
}
PyObject* call_chroma_stft(Arguments& a) {
  return to_python(dsp::chroma_stft(a.float_array("stft_mag"), a.float32("sr"), a.size("n_fft"),
                                    a.size("n_frames"), a.size("n_bins"), a.float32("tuning")));
}
PyObject* call_spectral_centroid(Arguments& a) {
  return to_python(dsp::spectral_centroid(a.float_array("stft_mag"), a.float32("sr"), a.size("n_fft"),
                                          a.size("n_frames"), a.size("n_bins")));
}
PyObject* call_spectral_bandwidth(Arguments& a) {
  return to_python(dsp::spectral_bandwidth(a.float_array("stft_mag"), a.float32("sr"), a.size("n_fft"),
                                           a.size("n_frames"), a.size("n_bins"), a.float32("p")));
}
PyObject* call_spectral_rolloff(Arguments& a) {
  return to_python(dsp::spectral_rolloff(a.float_array("stft_mag"), a.float32("sr"), a.size("n_fft"),
                                         a.size("n_frames"), a.size("n_bins"), a.float32("roll_percent")));
}
PyObject* call_spectral_flatness(Arguments& a) {
  return to_python(dsp::spectral_flatness(a.float_array("stft_mag"), a.size("n_frames"), a.size("n_bins")));
}
PyObject* call_onset_strength(Arguments& a) {
  return to_python(dsp::onset_strength(a.float_array("stft_mag"), a.size("n_frames"), a.size("n_bins")));
}
PyObject* call_yin(Arguments& a) {
  return to_python(dsp::yin(a.float_array("y"), a.float32("fmin"), a.float32("fmax"), a.float32("sr"),
                            a.size("frame_length"), a.optional_size("hop_length"), a.float32("trough_threshold")));
}
PyObject* call_hz_to_mel(Arguments& a) {
  return to_python(convert::hz_to_mel(a.double_array("frequencies"), a.flag("htk")));
}
PyObject* call_mel_to_hz(Arguments& a) {
  return to_python(convert::mel_to_hz(a.double_array("mels"), a.flag("htk")));
}
PyObject* call_hz_to_midi(Arguments& a) { return to_python(convert::hz_to_midi(a.double_array("frequencies"))); }
PyObject* call_midi_to_hz(Arguments& a) { return to_python(convert::midi_to_hz(a.double_array("notes"))); }
PyObject* call_frames_to_samples(Arguments& a) {
  return to_python(
      convert::frames_to_samples(a.index_array("frames"), a.int64("hop_length"), a.optional_int64("n_fft")));
}
PyObject* call_frames_to_time(Arguments& a) {
  return to_python(convert::frames_to_time(a.index_array("frames"), a.float64("sr"), a.int64("hop_length"),
                                           a.optional_int64("n_fft")));
}
PyObject* call_samples_to_frames(Arguments& a) {
  return to_python(
      convert::samples_to_frames(a.index_array("samples"), a.int64("hop_length"), a.optional_int64("n_fft")));
}
PyObject* call_samples_to_time(Arguments& a) {
  return to_python(convert::samples_to_time(a.index_array("samples"), a.float64("sr")));
}
PyObject* call_time_to_frames(Arguments& a) {
  return to_python(convert::time_to_frames(a.double_array("times"), a.float64("sr"), a.int64("hop_length"),
                                           a.optional_int64("n_fft")));
}
PyObject* call_time_to_samples(Arguments& a) {
  return to_python(convert::time_to_samples(a.double_array("times"), a.float64("sr")));
}

// ---------------------------------------------------------------------------------------------
// The function table, in registration order. Each docstring is the signature line built from
// the parameters, a "--" line, an empty line, then the body below.

constexpr const char* stft_doc =
    "Short-time Fourier transform (STFT).\n"
    "Returns interleaved [real, imag] values in one flat array of 32-bit floats with shape\n"
    "(n_frames, n_fft/2 + 1, 2).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "y          : mono audio signal, 32-bit floats\n"
    "n_fft      : FFT window size (default 2048)\n"
    "hop_length : number of samples between frames (default n_fft // 4)\n"
    "win_length : window length in samples (default = n_fft)\n"
    "center     : if true, pad signal at both ends (default true)\n"
    "\n"
    "Returns\n"
    "-------\n"
    "(flat array of 32-bit floats, n_frames, n_bins); the Python layer unpacks it into its shape";

constexpr const char* istft_doc =
    "Inverse short-time Fourier transform (ISTFT).\n"
    "\n"
    "Parameters\n"
    "----------\n"
    "stft_re    : real parts, flat, shape (n_frames, n_bins)\n"
    "stft_im    : imaginary parts, flat, shape (n_frames, n_bins)\n"
    "n_frames   : number of frames\n"
    "n_bins     : n_fft / 2 + 1\n"
    "hop_length : samples between frames\n"
    "win_length : window length\n"
    "center     : whether STFT was centered\n"
    "\n"
    "Returns\n"
    "-------\n"
    "reconstructed time-domain signal";

constexpr const char* to_mono_doc =
    "Convert multi-channel audio to mono by averaging channels.\n"
    "y_flat: flat array, n_channels interleaved (for 2ch: L0 R0 L1 R1 ...)\n"
    "Actually we expect channel-first: first n_samples for ch0, next for ch1...\n"
    "n_channels: number of channels";

constexpr const char* resample_doc =
    "Linear resample using simple linear interpolation.\n"
    "For high-quality resampling users should use the Python layer which calls soundfile/soxr.";

constexpr const char* mel_filterbank_doc =
    "Build a triangular mel filterbank.\n"
    "Returns a flat array of 32-bit floats of shape (n_mels, n_fft/2 + 1).";

constexpr const char* melspectrogram_doc =
    "Compute a mel spectrogram from an STFT magnitude.\n"
    "stft_mag: flat array of 32-bit floats, shape (n_frames, n_bins)\n"
    "mel_fb:   flat array of 32-bit floats, shape (n_mels, n_bins)\n"
    "Returns:  flat array of 32-bit floats, shape (n_mels, n_frames)";

constexpr const char* mfcc_doc =
    "Compute MFCCs from log mel spectrogram using DCT-II.\n"
    "log_mel: flat array of 32-bit floats, shape (n_mels, n_frames)\n"
    "n_mfcc: number of coefficients to return\n"
    "Returns: flat array of 32-bit floats, shape (n_mfcc, n_frames)";

constexpr const char* chroma_stft_doc =
    "Compute chromagram from STFT magnitude.\n"
    "stft_mag: flat array of 32-bit floats, shape (n_frames, n_bins)\n"
    "Returns:  flat array of 32-bit floats, shape (12, n_frames)";

constexpr const char* yin_doc =
    "YIN fundamental frequency estimation.\n"
    "Returns an array of 32-bit floats with one f0 estimate per frame (0.0 = unvoiced).";

constexpr Function functions[] = {
    {"stft", stft_params, stft_doc, call_stft},
    {"istft", istft_params, istft_doc, call_istft},
    {"amplitude_to_db", amplitude_to_db_params, "Convert amplitude spectrogram to dB", call_amplitude_to_db},
    {"power_to_db", power_to_db_params, "Convert power spectrogram to dB", call_power_to_db},
    {"db_to_amplitude", db_to_linear_params, "Convert dB-scaled spectrogram to amplitude", call_db_to_amplitude},
    {"db_to_power", db_to_linear_params, "Convert dB-scale to power", call_db_to_power},
    {"zero_crossings", zero_crossings_params, "Find the zero-crossings of a signal", call_zero_crossings},
    {"autocorrelate", autocorrelate_params, "Bounded-lag auto-correlation", call_autocorrelate},
    {"mu_compress", mu_law_params, "mu-law compression", call_mu_compress},
    {"mu_expand", mu_law_params, "mu-law expansion", call_mu_expand},
    {"to_mono", to_mono_params, to_mono_doc, call_to_mono},
    {"resample", resample_params, resample_doc, call_resample},
    {"get_rms", get_rms_params, "Root mean square energy", call_get_rms},
    {"mel_filterbank", mel_filterbank_params, mel_filterbank_doc, call_mel_filterbank},
    {"melspectrogram", melspectrogram_params, melspectrogram_doc, call_melspectrogram},
    {"mfcc", mfcc_params, mfcc_doc, call_mfcc},
    {"chroma_stft", chroma_stft_params, chroma_stft_doc, call_chroma_stft},
    {"spectral_centroid", spectral_centroid_params, "Spectral centroid", call_spectral_centroid},
    {"spectral_bandwidth", spectral_bandwidth_params, "Spectral bandwidth", call_spectral_bandwidth},
    {"spectral_rolloff", spectral_rolloff_params, "Spectral rolloff", call_spectral_rolloff},
    {"spectral_flatness", frame_matrix_params, "Spectral flatness", call_spectral_flatness},
    {"onset_strength", frame_matrix_params, "Simple onset strength (spectral flux)", call_onset_strength},
    {"yin", yin_params, yin_doc, call_yin},
    {"hz_to_mel", hz_to_mel_params, "Convert Hz to Mels", call_hz_to_mel},
    {"mel_to_hz", mel_to_hz_params, "Convert Mels to Hz", call_mel_to_hz},
    {"hz_to_midi", hz_to_midi_params, "Convert Hz to MIDI note numbers", call_hz_to_midi},
    {"midi_to_hz", midi_to_hz_params, "Convert MIDI note numbers to Hz", call_midi_to_hz},
    {"frames_to_samples", frames_to_samples_params, "Convert frame indices to audio sample indices",
     call_frames_to_samples},
    {"frames_to_time", frames_to_time_params, "Convert frame counts to time in seconds", call_frames_to_time},
    {"samples_to_frames", samples_to_frames_params, "Convert sample indices to STFT frames", call_samples_to_frames},
    {"samples_to_time", samples_to_time_params, "Convert sample indices to time in seconds", call_samples_to_time},
    {"time_to_frames", time_to_frames_params, "Convert timestamps (seconds) to STFT frames", call_time_to_frames},
    {"time_to_samples", time_to_samples_params, "Convert timestamps (seconds) to sample indices",
     call_time_to_samples},
};
constexpr std::size_t function_count = std::size(functions);
static_assert(function_count == 33);

// Every entry point hands its inputs to the shared call path with its own table row.
template <std::size_t I>
PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return binding::call(functions[I], args, nargs, kwnames);
}

template <std::size_t... I>
constexpr std::array<PyCFunctionFastWithKeywords, sizeof...(I)> make_entries(std::index_sequence<I...>) {
  return {&entry<I>...};
}

// "name(p1, p2=default, ...)\n--\n\n" followed by the body.
std::string docstring(const Function& function) {
  std::string text = std::string(function.name) + "(";
  for (std::size_t i = 0; i < function.params.size(); ++i) {
    const Param& param = function.params[i];
    if (i > 0) text += ", ";
    text += param.name;
    if (!param.required()) text += std::string("=") + param.default_text;
  }
  return text + ")\n--\n\n" + function.doc_body;
}

// ---------------------------------------------------------------------------------------------
// Process-wide state: written once, never released.

std::atomic<std::int64_t> owner_interpreter{-1};
PyObject* module_cell = nullptr;
// The interpreter keeps pointing at the method definitions and docstrings of the functions it
// created, so they live as long as the process.
// Deliberately never destroyed: a function object may outlive static destruction at exit.
std::array<PyMethodDef, function_count> method_defs{};
auto& docstrings = *new std::array<std::string, function_count>();

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT, "_core", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

bool add_to_all(PyObject* module, PyObject* name) {
  binding::Ref all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return false;
    PyErr_Clear();
    all = binding::Ref(PyList_New(0));
    if (!all || PyObject_SetAttrString(module, "__all__", all.get()) < 0) return false;
  } else if (!PyList_Check(all.get())) {
    PyErr_SetString(PyExc_TypeError, "module __all__ is not a list");
    return false;
  }
  return PyList_Append(all.get(), name) == 0;
}

bool register_function(PyObject* module, PyObject* module_name, std::size_t index, PyCFunctionFastWithKeywords entry_point) {
  const Function& function = functions[index];
  docstrings[index] = docstring(function);
  method_defs[index] = PyMethodDef{function.name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry_point)),
                                   METH_FASTCALL | METH_KEYWORDS, docstrings[index].c_str()};
  binding::Ref callable(PyCFunction_NewEx(&method_defs[index], module, module_name));
  if (!callable) return false;
  binding::Ref name(PyObject_GetAttrString(callable.get(), "__name__"));
  if (!name) return false;
  if (!PyUnicode_Check(name.get())) {
    PyErr_SetString(PyExc_TypeError, "function __name__ is not a str");
    return false;
  }
  return add_to_all(module, name.get()) && PyObject_SetAttr(module, name.get(), callable.get()) == 0;
}

PyObject* initialise() {
  std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
  if (current < 0) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
    return nullptr;
  }
  std::int64_t expected = -1;
  if (!owner_interpreter.compare_exchange_strong(expected, current, std::memory_order_seq_cst) &&
      expected != current) {
    PyErr_SetString(PyExc_ImportError,
                    "sonavera._core does not support sub-interpreters: it is already loaded in another "
                    "interpreter of this process");
    return nullptr;
  }
  if (module_cell != nullptr) return Py_NewRef(module_cell);

  binding::Ref module(PyModule_Create2(&module_def, 1013));
  if (!module) return nullptr;
  PyObject* module_name = PyModule_GetNameObject(module.get());
  if (module_name == nullptr) return nullptr;
  binding::Ref name_holder(module_name);
  static constexpr auto entries = make_entries(std::make_index_sequence<function_count>{});
  for (std::size_t i = 0; i < function_count; ++i) {
    if (!register_function(module.get(), module_name, i, entries[i])) return nullptr;
  }
  if (module_cell == nullptr) module_cell = module.release();
  return Py_NewRef(module_cell);
}

}  // namespace
}  // namespace sonavera

PyMODINIT_FUNC PyInit__core(void) { return sonavera::initialise(); }
