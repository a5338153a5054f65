"""Shared set-up of the tool tests: where the tools, the program and the fixture are.

CTest passes the paths in the environment; run by hand, the tests look in the source
tree and in build/ (set LTIDE_EXE and LTIDE_UF2_FIXTURE to use another build).
"""
import os
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
TOOLS = Path(os.environ.get("LTIDE_TOOLS", ROOT / "tools"))
sys.path.insert(0, str(TOOLS))


def _program(var, default):
    path = Path(os.environ.get(var, ROOT / default))
    if not path.exists():
        pytest.skip(f"{path} not built (set {var})")
    return path


@pytest.fixture(scope="session")
def ltide_exe():
    return _program("LTIDE_EXE", "build/src/ltide/ltide")


@pytest.fixture(scope="session")
def fixture_exe():
    return _program("LTIDE_UF2_FIXTURE", "build/tests/tools/uf2_fixture")


@pytest.fixture(scope="session")
def tools():
    return TOOLS


def run_ltide(exe, prefix, *args):
    """Runs the program; returns its report lines."""
    out = subprocess.run([str(exe), str(prefix), *map(str, args)], check=True,
                         capture_output=True, text=True)
    return out.stdout
