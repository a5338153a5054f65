"""import ltide against the built program: every array bit for bit, failures as ltide.Error.
CTest puts the package on PYTHONPATH and passes the program in LTIDE_EXE."""
import os
import subprocess
import threading
import time
from pathlib import Path

import numpy as np
import pytest

import ltide
from ltide import run as ltide_run

EXE = os.environ.get("LTIDE_EXE", str(Path(__file__).resolve().parents[2] / "build/src/ltide/ltide"))


def program(prefix, m, k, grid, n_mu, n, solver="ql", lflag=False):
    """The program's table and (unless lflag) its six fields for one k."""
    words = [EXE, f"--table={prefix}.tab", f"--solver={solver}", prefix, m, k, 1.0, *grid, n_mu, n] + (["T"] if lflag else [])
    subprocess.run(list(map(str, words)), check=True, capture_output=True)
    return ltide_run.read_table(f"{prefix}.tab"), None if lflag else ltide_run.read_fields(prefix)


# Singular steps (m nu = (l + 1)(l + 2) at nu = 6 for m = 2), k < 0 with |nu| < 1, both
# parities in one call, a repeated k, odd n_mu (mu = 0 a node of the normalisation's
# spline: the search's start decides the last bits of an odd mode's slope).
CASES = [(2, [0], (-12, 12, 49), 61, 40, "ql", False),
         (2, [1, -1, 3, -2, 1], (-12, 12, 49), 61, 40, "ql", False),
         (-3, [0, 2, -3], (-4, 8, 25), 20, 30, "fast", False),
         (1, [-1, 4, 5], (-3, 3, 13), 2, 20, "ql", True),
         (0, [0, 1], (-5, 5, 11), 33, 25, "fast", True),
         (1, [1, -1, 0], (2.5, 2.5, 1), 21, 20, "ql", False),  # one point: the first step's search
         (3, [1, 2], (9, -9, 19), 41, 30, "fast", False)]  # descending


@pytest.mark.parametrize("m,ks,grid,n_mu,n,solver,lflag", CASES)
def test_arrays_equal_the_programs_files_and_table_bit_for_bit(tmp_path, m, ks, grid, n_mu, n, solver, lflag):
    runs = {k: program(str(tmp_path / f"k{k}"), m, k, grid, n_mu, n, solver, lflag) for k in set(ks)}
    nu = runs[ks[0]][0].table["nu"]
    res = ltide.solve(m, ks if len(ks) > 1 else ks[0], nu, n, n_mu=n_mu, lflag=lflag, solver=solver)
    pick = (lambda a, i: a[i]) if len(ks) > 1 else (lambda a, i: a)
    assert res.nu.tobytes() == nu.tobytes()
    for i, k in enumerate(ks):
        table, files = runs[k]
        for name in ltide_run.TABLE_COLUMNS[1:]:
            got = pick(getattr(res, name), i)
            assert got.astype(table.table[name].dtype).tobytes() == table.table[name].tobytes(), (k, name)
        if lflag:
            assert res.xi_r_matr is None
            continue
        assert res.mu.tobytes() == files.mu.tobytes()
        for name in ltide.FIELDS:
            assert pick(getattr(res, name), i).tobytes(order="F") == files.fields[name].tobytes(order="F"), (k, name)
    if len(ks) > 1:
        assert res.lambda_matr.shape == (len(ks), nu.size) and res.k == tuple(ks)
        if not lflag:
            assert res.xi_p_beta.shape == (len(ks), n_mu, nu.size)


def test_eigenvalue_of_scalars_and_arrays():
    lam = ltide.solve(2, [0, 1], [1.0, 3.0], 60, lflag=True).lambda_matr
    assert ltide.eigenvalue(2, 0, 3.0, 60) == lam[0, 1]
    assert isinstance(ltide.eigenvalue(2, 0, 3.0, 60), float)
    assert ltide.eigenvalue(2, [0, 1], [1.0, 3.0], 60).tobytes() == lam.tobytes()
    assert ltide.eigenvalue(2, [0, 1], 3.0, 60).tolist() == lam[:, 1].tolist()
    assert ltide.eigenvalue(2, 0, np.arange(3.0), 60, solver="fast").shape == (3,)


@pytest.mark.parametrize("call,error,message", [
    (lambda: ltide.solve(2, 40, [1.0], 40), ltide.Error, r"^\*\* k must be \(significantly\) less than n \[ltide\]$"),
    (lambda: ltide.solve(2, [0, -5], [1.0], 5), ltide.Error, r"k must be \(significantly\) less than n"),
    (lambda: ltide.solve(2, 0, [1.0], 0), ltide.Error, r"^\*\* n must be at least 1 \[ltide\]$"),
    (lambda: ltide.solve(2, 0, [1.0, np.inf], 10), ltide.Error, r"nu must be finite: nu\[1\] = inf"),
    (lambda: ltide.eigenvalue(2, 0, np.nan, 10), ltide.Error, r"nu must be finite"),
    (lambda: ltide.solve(2, 0, [1.0], 10, n_mu=1), ltide.Error, r"^\*\* n_mu must be at least 2 \[ltide\]$"),
    (lambda: ltide.solve(2**31 - 1, 0, [1.0], 10), ltide.Error, r"\|m\| \+ 2n must not exceed 2147483647"),
    (lambda: ltide.solve(2, [0, 1], np.zeros(1000), 10, n_mu=2**31 - 1), ltide.Error,
     r"^\*\* cannot allocate the arrays of the run \[ltide\]$"),
    (lambda: ltide.solve(2.0, 0, [1.0], 10), TypeError, "m must be an integer, not float"),
    (lambda: ltide.solve(2, "0", [1.0], 10), TypeError, "k must be an integer or a sequence"),
    (lambda: ltide.solve(2, [0, 1.5], [1.0], 10), TypeError, "k must be an integer, not float"),
    (lambda: ltide.solve(2, 0, ["a"], 10), TypeError, "nu must be real numbers"),
    (lambda: ltide.solve(2, 0, [1.0], 10, lflag=1), TypeError, "lflag must be a bool"),
    (lambda: ltide.solve(2, 0, [[1.0]], 10), ValueError, "nu must be one-dimensional"),
    (lambda: ltide.solve(2, 0, [1.0], 10, solver="lapack"), ValueError, "solver must be 'ql' or 'fast'"),
    (lambda: ltide.solve(2, 0, [1.0], 10, threads=0), ValueError, "threads must be at least 1, not 0"),
    (lambda: ltide.solve(2, 0, [1.0], 10, threads=2.0), TypeError, "threads must be an integer, not float"),
    (lambda: ltide.solve(2, 0, [1.0], 2**31), OverflowError, "does not fit in 32 bits")])
def test_refused_calls_raise_before_any_work(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_error_carries_text_and_tag():
    with pytest.raises(ltide.Error) as e:
        ltide.solve(1, 9, [0.5], 9)
    assert (e.value.text, e.value.tag) == ("k must be (significantly) less than n", "ltide")


def test_solve_releases_the_interpreter_and_restores_its_subnormals():
    count, done = [0], threading.Event()

    def spin():
        while not done.is_set():
            count[0] += 1
    thread = threading.Thread(target=spin)
    thread.start()
    try:
        time.sleep(0.01)
        before, start = count[0], time.perf_counter()
        ltide.solve(2, [0, 1], np.linspace(-20, 20, 40), 300, n_mu=101)
        during, seconds = count[0] - before, time.perf_counter() - start
    finally:
        done.set()
        thread.join()
    # Held for the whole solve, the lock would let the other thread count only at its
    # switch intervals before the call.
    assert seconds > 0.05 and during > 10000, (seconds, during)
    tiny = np.float64(5e-324)
    assert tiny * np.float64(1.0) > 0  # the interpreter's arithmetic keeps subnormals


def test_threads_none_follows_omp_num_threads(monkeypatch):
    monkeypatch.setenv("OMP_NUM_THREADS", "two")
    with pytest.raises(ltide.Error, match=r"^\*\* OMP_NUM_THREADS must be a positive integer, not 'two' \[ltide\]$"):
        ltide.solve(2, 0, [1.0, 2.0], 10)
    assert ltide.solve(2, 0, [1.0, 2.0], 10, threads=2).lambda_matr.size == 2


def test_solves_from_several_threads_give_the_bits_of_one():
    args = (1, [1, 2], np.linspace(-6, 6, 25), 40)
    alone = ltide.solve(*args, n_mu=41, threads=1).xi_t_matr.tobytes()
    results = [None] * 4

    def work(i):
        results[i] = ltide.solve(*args, n_mu=41, threads=1 + i % 2).xi_t_matr.tobytes()
    threads = [threading.Thread(target=work, args=(i,)) for i in range(4)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert results == [alone] * 4


def test_xarray_dataset_has_coordinates_and_parameters():
    xr = pytest.importorskip("xarray")
    res = ltide.solve(2, [0, 1], [1.0, 2.0, 3.0], 20, n_mu=11, A=2.0)
    ds = res.to_xarray()
    assert isinstance(ds, xr.Dataset) and dict(ds.sizes) == {"k": 2, "mu": 11, "nu": 3}
    assert ds["xi_t_matr"].dims == ("k", "mu", "nu") and ds["flag_beta"].dims == ("k", "nu")
    assert ds["xi_t_matr"].sel(k=1).values.tobytes() == res.xi_t_matr[1].tobytes()
    assert (ds.attrs["m"], ds.attrs["A"], ds.attrs["solver"]) == (2, 2.0, "ql")
    single = ltide.solve(2, 0, [1.0], 20, lflag=True).to_xarray()
    assert dict(single.sizes) == {"nu": 1} and single.attrs["k"] == 0

