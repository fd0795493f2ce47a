"""`python -m vexlan_rl`: random self-play games; `--help` lists the options."""

import sys

from vexlan_rl.cli import main

if __name__ == "__main__":
    sys.exit(main(prog="python -m vexlan_rl"))
