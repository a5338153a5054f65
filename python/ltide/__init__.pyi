from typing import Sequence, overload

import numpy as np
import numpy.typing as npt
import xarray

from ._ltide import Error as Error
from .uf2 import read as read_uf2, write as write_uf2

FIELDS: tuple[str, ...]

class Result:
    nu: npt.NDArray[np.float64]
    mu: npt.NDArray[np.float64]
    lambda_matr: npt.NDArray[np.float64]
    lambda_beta: npt.NDArray[np.float64]
    i_mode: npt.NDArray[np.int32]
    nh: npt.NDArray[np.int32]
    flag_matr: npt.NDArray[np.int32]
    flag_beta: npt.NDArray[np.int32]
    xi_r_matr: npt.NDArray[np.float64] | None
    xi_t_matr: npt.NDArray[np.float64] | None
    xi_p_matr: npt.NDArray[np.float64] | None
    xi_r_beta: npt.NDArray[np.float64] | None
    xi_t_beta: npt.NDArray[np.float64] | None
    xi_p_beta: npt.NDArray[np.float64] | None
    k: int | tuple[int, ...]
    parameters: dict[str, int | float | bool | str | tuple[int, ...]]
    def to_xarray(self) -> xarray.Dataset: ...

def solve(m: int, k: int | Sequence[int], nu: float | npt.ArrayLike, n: int, n_mu: int = ..., A: float = ...,
          lflag: bool = ..., solver: str = ..., threads: int | None = ...) -> Result: ...
@overload
def eigenvalue(m: int, k: int, nu: float, n: int, solver: str = ...) -> float: ...
@overload
def eigenvalue(m: int, k: int | Sequence[int], nu: float | npt.ArrayLike, n: int,
               solver: str = ...) -> float | npt.NDArray[np.float64]: ...
