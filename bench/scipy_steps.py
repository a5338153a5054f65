"""SciPy's tridiagonal solver on the operators ltide_fast_steps wrote: one eigenvalue
(bisection) and one eigenpair (bisection and inverse iteration) at the mode's position,
best over repetitions of the mean time per step in ms. Usage: scipy_steps.py matrices.bin
"""
import sys
import time

import numpy as np
from scipy.linalg import eigh_tridiagonal

raw = np.fromfile(sys.argv[1], dtype=np.float64)
steps, at = [], 0
while at < raw.size:
    nu, pos, n = raw[at], int(raw[at + 1]), int(raw[at + 2])
    d, e = raw[at + 3:at + 3 + n], raw[at + 3 + n:at + 3 + 2 * n - 1]
    steps.append((d.copy(), e.copy(), pos))
    at += 3 + 2 * n


def per_step(vectors):
    best, total, rep = 1e300, 0.0, 0
    while rep < 3 or (total < 0.3 and rep < 200):
        t = time.perf_counter()
        for d, e, pos in steps:
            eigh_tridiagonal(d, e, eigvals_only=not vectors, select="i", select_range=(pos, pos),
                             lapack_driver="stebz")
        dt = time.perf_counter() - t
        total += dt
        best = min(best, dt * 1e3 / len(steps))
        rep += 1
    return best


print(f"{steps[0][0].size} {per_step(False):.6f} {per_step(True):.6f}")
