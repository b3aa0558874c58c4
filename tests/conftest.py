import pathlib
import sys

# The event-table helpers live with the examples, where users find them.
sys.path.insert(0, str(pathlib.Path(__file__).resolve().parent.parent / "examples"))
