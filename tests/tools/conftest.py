"""Paths of the tools, the program and the fixture: CTest passes them in the environment;
run by hand, the tests look in the source tree and in build/."""
import os
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
TOOLS = Path(os.environ.get("LTIDE_TOOLS", ROOT / "tools"))
EXE = os.environ.get("LTIDE_EXE", str(ROOT / "build/src/ltide/ltide"))
FIXTURE = os.environ.get("LTIDE_UF2_FIXTURE", str(ROOT / "build/tests/tools/uf2_fixture"))
sys.path.insert(0, str(TOOLS))


def tool(name, *args, cwd=None):
    return subprocess.run([sys.executable, TOOLS / name, *map(str, args)], capture_output=True, text=True, cwd=cwd)


def run_ltide(prefix, *args):
    """Runs the program and saves its report lines as PREFIX.txt."""
    out = subprocess.run([EXE, prefix, *map(str, args)], check=True, capture_output=True, text=True)
    Path(f"{prefix}.txt").write_text(out.stdout)
