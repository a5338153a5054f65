"""Laplace's tidal equation in the traditional approximation, from Python.

    import numpy as np, ltide
    r = ltide.solve(2, 0, np.linspace(-20, 20, 81), n=100)
    r.lambda_matr            # exact eigenvalue of mode m = 2, k = 0 at every nu
    r.xi_r_matr[:, j]        # its radial field on r.mu at r.nu[j]
    ltide.eigenvalue(1, [0, 1, 2], 5.0, n=60)   # three eigenvalues at nu = 5

The results are those of the ltide program bit for bit: at the spin parameters of a
program run, every array equals the run's files and table.

Modules besides the solver (NumPy only): uf2 (array files), run (a run's files,
report lines and table), atomic (whole-or-nothing file writes), and the commands
plot, join, chunks and smallest_n (``python3 -m ltide.plot ...``).
"""

from __future__ import annotations

import numbers
import operator
from dataclasses import dataclass, field

import numpy as np

from .uf2 import read as read_uf2
from .uf2 import write as write_uf2

__all__ = ["Error", "Result", "solve", "eigenvalue", "read_uf2", "write_uf2", "FIELDS"]

# The six fields, in the order of the program's files.
FIELDS = ("xi_r_matr", "xi_t_matr", "xi_p_matr", "xi_r_beta", "xi_t_beta", "xi_p_beta")
_STEP_ARRAYS = ("lambda_matr", "lambda_beta", "i_mode", "nh", "flag_matr", "flag_beta")
_INT32 = (-2**31, 2**31 - 1)


def __getattr__(name):
    # The compiled solver is loaded on first use, so that the tools (NumPy only) work
    # where it was not built.
    if name == "Error":
        from ._ltide import Error
        return Error
    raise AttributeError(f"module 'ltide' has no attribute {name!r}")


def _integer(value, name: str) -> int:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Integral):
        raise TypeError(f"{name} must be an integer, not {type(value).__name__}")
    value = operator.index(value)
    if not _INT32[0] <= value <= _INT32[1]:
        raise OverflowError(f"{name} = {value} does not fit in 32 bits")
    return value


def _real(value, name: str) -> float:
    if isinstance(value, (bool, np.bool_)) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, not {type(value).__name__}")
    return float(value)


def _error(text: str):
    from ._ltide import Error
    e = Error(f"** {text} [ltide]")
    e.text, e.tag = text, "ltide"
    return e


def _spin_parameters(nu) -> tuple[np.ndarray, bool]:
    """nu as a 1-D float64 array, and whether it was a scalar."""
    scalar = np.ndim(nu) == 0
    a = np.asarray(nu)
    if a.dtype.kind not in "iuf" or a.dtype == np.bool_:
        raise TypeError(f"nu must be real numbers, not {a.dtype}")
    a = np.ascontiguousarray(a, dtype=np.float64).reshape(-1) if scalar else np.asarray(a, dtype=np.float64)
    if a.ndim != 1:
        raise ValueError(f"nu must be one-dimensional, not of shape {a.shape}")
    bad = np.flatnonzero(~np.isfinite(a))
    if bad.size:
        raise _error(f"nu must be finite: nu[{bad[0]}] = {a[bad[0]]}")
    return np.ascontiguousarray(a), scalar


@dataclass
class Result:
    """Solutions of one order m at the spin parameters nu.

    Attributes
    ----------
    nu : ndarray, shape (n_nu,)
        The spin parameters, as given.
    mu : ndarray, shape (n_mu,)
        The grid of mu = cos(theta) from -1 to 1 (empty for eigenvalues only).
    lambda_matr, lambda_beta : ndarray of float64, shape ([n_k,] n_nu)
        Eigenvalue of the matrix and of the asymptotic solution.
    i_mode, nh, flag_matr, flag_beta : ndarray of int32, shape ([n_k,] n_nu)
        Position of the mode in the ordered eigenvalue list, Hermite order of the
        asymptotic solution, and the status bits of both solutions.
    xi_r_matr, xi_t_matr, xi_p_matr, xi_r_beta, xi_t_beta, xi_p_beta : ndarray or None
        The fields, shape ([n_k,] n_mu, n_nu): ``xi_r_matr[i, j]`` at ``mu[i]``,
        ``nu[j]``. None for eigenvalues only.
    k : int or tuple of int
        The mode index, or the indices along the leading mode axis.
    parameters : dict
        m, k, n, n_mu, A, lflag and solver of the solve.
    """

    nu: np.ndarray
    mu: np.ndarray
    lambda_matr: np.ndarray
    lambda_beta: np.ndarray
    i_mode: np.ndarray
    nh: np.ndarray
    flag_matr: np.ndarray
    flag_beta: np.ndarray
    xi_r_matr: np.ndarray | None = None
    xi_t_matr: np.ndarray | None = None
    xi_p_matr: np.ndarray | None = None
    xi_r_beta: np.ndarray | None = None
    xi_t_beta: np.ndarray | None = None
    xi_p_beta: np.ndarray | None = None
    k: int | tuple = 0
    parameters: dict = field(default_factory=dict)

    def to_xarray(self):
        """The result as an xarray Dataset.

        Coordinates ``nu`` and ``mu`` (and ``k`` for several modes); one variable per
        array; the solve's parameters as attributes. Needs xarray (Debian's
        python3-xarray).

        Returns
        -------
        xarray.Dataset
        """
        import xarray as xr

        lead = ("k",) if isinstance(self.k, tuple) else ()
        data = {name: (lead + ("nu",), getattr(self, name)) for name in _STEP_ARRAYS}
        for name in FIELDS:
            value = getattr(self, name)
            if value is not None:
                data[name] = (lead + ("mu", "nu"), value)
        coords = {"nu": self.nu}
        if self.xi_r_matr is not None:
            coords["mu"] = self.mu
        if lead:
            coords["k"] = list(self.k)
        attrs = {name: (int(value) if isinstance(value, bool) else value)
                 for name, value in self.parameters.items() if name != "k"}
        if not lead:
            attrs["k"] = self.k
        return xr.Dataset(data, coords=coords, attrs=attrs)


def solve(m: int, k, nu, n: int, n_mu: int = 201, A: float = 1.0, lflag: bool = False,
          solver: str = "ql", threads: int | None = None) -> Result:
    """Solves Laplace's tidal equation for order m and mode(s) k at the spin parameters nu.

    Parameters
    ----------
    m : int
        Azimuthal order (may be negative).
    k : int or sequence of int
        Mode index: ``k >= 0`` counts from the front of the ordered eigenvalue list,
        ``k < 0`` from the back; ``|k|`` even selects the even basis. A sequence gives
        every array a leading mode axis, in the order given; the modes of one parity
        share one eigen-solution per spin parameter.
    nu : float or array_like of float, 1-D
        Spin parameters 2 Omega / omega, any finite values in any order.
    n : int
        Size of the eigenproblem (number of basis degrees); ``|k| < n``.
    n_mu : int, optional
        Points of the mu grid from -1 to 1 (at least 2 unless lflag).
    A : float, optional
        Amplitude of the normalised fields.
    lflag : bool, optional
        Eigenvalues only: no fields.
    solver : {"ql", "fast"}, optional
        ``ql`` reproduces the program's default bit for bit; ``fast`` finds only the
        selected eigenpairs, more accurately and much faster for large n.
    threads : int or None, optional
        Spin parameters solved at a time. None: the program's default, the first
        entry of OMP_NUM_THREADS when it is set, else the CPUs this process may run
        on. Every array is the same, bit for bit, for every count.

    Returns
    -------
    Result
        Every array equals, bit for bit, what the program writes for the same m, k, n,
        n_mu, A and solver at the same spin parameters.

    Raises
    ------
    TypeError
        An argument of the wrong type.
    ltide.Error
        A request the program refuses (``|k| >= n``, n_mu < 2 with fields, nu not
        finite, ...) before any work, or a failure of the solve, with the program's
        message. The interpreter carries on.

    Notes
    -----
    The solve releases the GIL, so other Python threads run meanwhile; solves called
    from several Python threads run side by side.
    """
    m, n, n_mu = _integer(m, "m"), _integer(n, "n"), _integer(n_mu, "n_mu")
    several = not isinstance(k, numbers.Integral) or isinstance(k, (bool, np.bool_))
    if several:
        if isinstance(k, (str, bytes, bool, np.bool_)) or not hasattr(k, "__iter__"):
            raise TypeError(f"k must be an integer or a sequence of integers, not {type(k).__name__}")
        ks = [_integer(v, "k") for v in k]
    else:
        ks = [_integer(k, "k")]
    A = _real(A, "A")
    if not isinstance(lflag, (bool, np.bool_)):
        raise TypeError(f"lflag must be a bool, not {type(lflag).__name__}")
    if solver not in ("ql", "fast"):
        raise ValueError(f"solver must be 'ql' or 'fast', not {solver!r}")
    if threads is not None:
        threads = _integer(threads, "threads")
        if threads < 1:
            raise ValueError(f"threads must be at least 1, not {threads}")
    values, _ = _spin_parameters(nu)
    if n < 1:
        raise _error("n must be at least 1")
    if not ks:
        raise ValueError("k is an empty sequence")
    from . import _ltide
    arrays = _ltide.solve(m, ks, values, n, n_mu, A, bool(lflag), solver, 0 if threads is None else threads)
    if not several:
        arrays = {name: (a[0] if name != "mu" else a) for name, a in arrays.items()}
    parameters = dict(m=m, k=tuple(ks) if several else ks[0], n=n, n_mu=n_mu, A=A, lflag=bool(lflag), solver=solver)
    return Result(nu=values.copy(), k=parameters["k"], parameters=parameters, **arrays)


def eigenvalue(m: int, k, nu, n: int, solver: str = "ql"):
    """The matrix solution's eigenvalue lambda_matr of mode(s) k at the spin parameter(s) nu.

    Parameters
    ----------
    m, k, n, solver
        As for `solve`; k may be a sequence (leading axis of the result).
    nu : float or array_like of float, 1-D
        Spin parameter(s).

    Returns
    -------
    float or ndarray
        A float for a scalar nu and a single k, else an array of shape ([n_k,] n_nu)
        (``[n_k]`` for a scalar nu and a sequence k).

    Raises
    ------
    TypeError, ltide.Error
        As for `solve`.
    """
    scalar = np.ndim(nu) == 0
    lam = solve(m, k, nu, n, n_mu=0, lflag=True, solver=solver).lambda_matr
    if scalar:
        lam = lam[..., 0]
        return float(lam) if lam.ndim == 0 else lam
    return lam
