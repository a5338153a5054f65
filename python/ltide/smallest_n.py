"""Finds the smallest basis size n that resolves a mode at given spin parameters.

    ltide-smallest-n [--ltide PATH] [--criterion bit8|convergence] M K NU [NU ...]

prints one line per spin parameter: m, k, nu and the smallest n found (or a reason why
none was). Each trial runs ltide in eigenvalues-only mode at one spin parameter.

Criteria:
  bit8         (default) bit 8 of flag_matr is clear: the program judges the basis
               large enough for the mode.
  convergence  lambda_matr as printed (six significant digits) is the same at n and
               at 4n: a rough, program-independent test of the same thing.

The search doubles n from the smallest admissible size (|k| + 1) until the criterion
holds, then bisects between the last failing and the first passing size, so it assumes
that once a size passes, every larger one does. A spin parameter that is singular for
the basis (bit 1 of flag_matr) at a tried size, or a k < 0 with |nu| < 1 (bit 2), is
reported instead of a size.
"""

import argparse
import os
import subprocess
import sys

from . import run as ltide_run

SINGULAR = 1
NOT_A_MODE = 2
UNRESOLVED = 8


class Singular(Exception):
    pass


def report_line(ltide, m, k, nu, n):
    """The one report line of an eigenvalues-only run at spin parameter nu: (text, items)."""
    args = [ltide, "smallest-n", str(m), str(k), "1.0", repr(nu), repr(nu), "1", "2", str(n), "T"]
    out = subprocess.run(args, capture_output=True, text=True)
    if out.returncode != 0 or not out.stdout.strip():
        raise RuntimeError(f"{' '.join(args)}: status {out.returncode}: {out.stderr.strip()}")
    line = out.stdout.splitlines()[0]
    items = ltide_run.parse_report_line(line)
    if items[7] & SINGULAR:
        raise Singular(f"nu = {nu:g} is singular for a basis of {n} degrees")
    if items[7] & NOT_A_MODE:  # the top of the truncated spectrum: it grows with n for ever
        raise Singular("k < 0 and |nu| < 1: no mode to resolve")
    return line, items


def passes(ltide, criterion, m, k, nu, n):
    line, items = report_line(ltide, m, k, nu, n)
    if criterion == "bit8":
        return not items[7] & UNRESOLVED
    # The printed digits of lambda_matr (item 2), compared as text.
    return line.split()[1] == report_line(ltide, m, k, nu, 4 * n)[0].split()[1]


def smallest_n(ltide, criterion, m, k, nu, n_max):
    lo, hi = 0, abs(k) + 1  # lo fails (or is inadmissible), hi is the next size to try
    while not passes(ltide, criterion, m, k, nu, hi):
        lo, hi = hi, 2 * hi
        if hi > n_max:
            return None
    while hi - lo > 1:
        mid = (lo + hi) // 2
        if mid <= abs(k) or not passes(ltide, criterion, m, k, nu, mid):
            lo = mid
        else:
            hi = mid
    return hi


def main(argv=None):
    p = argparse.ArgumentParser(prog="ltide-smallest-n", description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    p.add_argument("--ltide", default=os.environ.get("LTIDE", "build/src/ltide/ltide"),
                   help="the program (default: $LTIDE or build/src/ltide/ltide)")
    p.add_argument("--criterion", choices=("bit8", "convergence"), default="bit8")
    p.add_argument("--n-max", type=int, default=1 << 15, help="give up above this size (default 32768)")
    p.add_argument("m", type=int)
    p.add_argument("k", type=int)
    p.add_argument("nu", type=float, nargs="+")
    a = p.parse_args(argv)
    status = 0
    for nu in a.nu:
        try:
            n = smallest_n(a.ltide, a.criterion, a.m, a.k, nu, a.n_max)
            print(f"{a.m} {a.k} {nu:g} {n if n is not None else f'none up to {a.n_max}'}")
        except Singular as e:
            print(f"{a.m} {a.k} {nu:g} {e}")
            status = 1
        except RuntimeError as e:
            print(f"ltide-smallest-n: {e}", file=sys.stderr)
            return 2
    return status


if __name__ == "__main__":
    sys.exit(main())
