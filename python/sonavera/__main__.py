"""``python -m sonavera``: the command line (see sonavera.cli)."""

import sys

from sonavera.cli import main

sys.exit(main())
