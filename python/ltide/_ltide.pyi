# The compiled solver; the package's solve() and eigenvalue() are the documented entry points.
from typing import Sequence

import numpy as np
import numpy.typing as npt

class Error(RuntimeError):
    """A failure with the program's message: str(e) is the line the program prints."""

    text: str  # the message without "** " and " [tag]"
    tag: str  # "module::procedure", or "ltide"

def solve(m: int, ks: Sequence[int], nu: npt.NDArray[np.float64], n: int, n_mu: int, A: float, lflag: bool,
          solver: str, threads: int) -> dict[str, np.ndarray]: ...
