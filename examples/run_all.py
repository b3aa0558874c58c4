"""Runs every example contract: `make demo`."""
import importlib
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent))

EXAMPLES = ["fixed_contracts", "mc_options", "fd_options", "backtest_coupons"]

for name in EXAMPLES:
    importlib.import_module(name).main()
    print()
