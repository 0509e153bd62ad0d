"""``python -m launcher_maker``."""

import sys

from launcher_maker.cli import main

sys.exit(main())
