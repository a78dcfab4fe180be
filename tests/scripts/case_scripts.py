"""Puts the aircraft case's script directory on the import path for the tests here.

The case-local scripts import their package (orvanta_case) from the directory they sit
in; the tests import them the same way, from the asset package in the source tree.
"""

import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ASSETS = os.environ.get("ORVANTA_ASSETS_DIR",
                        os.path.join(HERE, "..", "..", "assets", "aircraft_assets"))
DATA = os.path.join(HERE, "data")

if ASSETS not in sys.path:
    sys.path.insert(0, ASSETS)


def data_text(name):
    with open(os.path.join(DATA, name), encoding="utf-8") as f:
        return f.read()
