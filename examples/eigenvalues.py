"""Eigenvalues lambda(nu) of the first modes of m = 1 and m = 2, drawn against the spin
parameter nu (needs the ltide package, NumPy and Matplotlib):

    PYTHONPATH=build/python python3 examples/eigenvalues.py [picture.png]

k = 0 .. 3 are gravity-type modes (lambda grows like nu^2 for large |nu|); k = -1 and
-2 are Rossby-type modes, which exist for |nu| > 1 and whose lambda stays bounded
on the retrograde side (m nu > 0).
"""
import sys

import matplotlib
import numpy as np

import ltide

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402  (after the backend is chosen)

ks = [0, 1, 2, 3, -1, -2]
nu = np.linspace(-10, 10, 401)
fig, axes = plt.subplots(1, 2, figsize=(12, 5), sharey=True, constrained_layout=True)
for ax, m in zip(axes, (1, 2)):
    # One eigenvalue iteration per nu and parity serves all six modes.
    res = ltide.solve(m, ks, nu, n=100, lflag=True)
    for i, k in enumerate(ks):
        lam = res.lambda_matr[i].copy()
        # Left out: singular steps (bit 1), no Rossby mode for |nu| < 1 (bit 2), steps the
        # basis does not resolve (bit 8).
        lam[(res.flag_matr[i] & 11) != 0] = np.nan
        ax.plot(nu, lam, lw=1.4, ls="-" if k >= 0 else "--", label=f"k = {k}")
    ax.set_yscale("symlog", linthresh=1.0)
    ax.set_title(f"m = {m}")
    ax.set_xlabel(r"spin parameter $\nu$")
    ax.grid(alpha=0.3)
axes[0].set_ylabel(r"eigenvalue $\lambda$ (symmetric log scale)")
axes[1].legend(loc="lower right", ncol=2)
out = sys.argv[1] if len(sys.argv) > 1 else "eigenvalues.png"
fig.savefig(out, dpi=100)
print(out)
