"""python -m skyrift_cli: the same as the skyrift-mp script."""
import sys

from .main import main

sys.exit(main())
