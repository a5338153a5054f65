"""The array-file module against the library's reader and writer; the plotter, chunk planner and joiner
on real runs. CTest passes the paths in the environment and the package on PYTHONPATH; by hand:
PYTHONPATH=build/python python3 -m pytest tests/tools."""
import os
import signal
import socket
import subprocess
import sys
import tracemalloc
from pathlib import Path

import numpy as np
import pytest

ROOT = Path(__file__).resolve().parents[2]
EXE = os.environ.get("LTIDE_EXE", str(ROOT / "build/src/ltide/ltide"))
FIXTURE = os.environ.get("LTIDE_UF2_FIXTURE", str(ROOT / "build/tests/tools/uf2_fixture"))
from ltide import uf2  # noqa: E402
from ltide import run as ltide_run  # noqa: E402

ARGS, SIZES = (2, 0, 1.0), (21, 30)  # m, k, A; n_mu, n of the scans that are chunked and joined


def tool(name, *args, cwd=None):  # python3 -m ltide.<name>, with the package's path made absolute for cwd
    path = os.pathsep.join(str(Path(p).resolve()) for p in os.environ.get("PYTHONPATH", "").split(os.pathsep) if p)
    return subprocess.run([sys.executable, "-m", f"ltide.{name}", *map(str, args)], capture_output=True, text=True,
                          cwd=cwd, env=dict(os.environ, PYTHONPATH=path))


def run_ltide(prefix, *args, table=True):  # and saves its report lines as PREFIX.txt, its table as PREFIX.tab
    options = [f"--table={prefix}.tab"] if table else []
    out = subprocess.run([EXE, *options, prefix, *map(str, args)], check=True, capture_output=True, text=True)
    Path(f"{prefix}.txt").write_text(out.stdout)


def bits(dtype, shape, seed):  # arbitrary bit patterns (NaNs with payloads among them): files carry bits
    raw = ((np.arange(int(np.prod(shape)) * dtype.itemsize) * 167 + seed) % 256).astype(np.uint8)
    return np.frombuffer(raw.tobytes(), dtype).reshape(shape, order="F")


def record(payload):
    return len(payload).to_bytes(4, "little") + payload + len(payload).to_bytes(4, "little")


@pytest.mark.parametrize("kind", "rdck")
def test_library_and_module_agree_on_every_rank_whole_and_chained(tmp_path, kind):
    for shape in [(5,), (0,), (3, 4), (2, 0), (2, 3, 4), (0, 2, 1)]:
        axes, data = [bits(uf2.KINDS[kind][0], (n,), d) for d, n in enumerate(shape)], bits(uf2.KINDS[kind][1], shape, 7)
        uf2.write(tmp_path / "py", axes, data, piece=5)
        for piece in (uf2.MAX_PIECE, 16):  # the library reads the module's file and writes it again
            subprocess.run([FIXTURE, kind, str(len(shape)), tmp_path / "py", tmp_path / "cpp", str(piece)], check=True)
            # The same bytes, from data in any memory order (written first index fastest).
            assert (tmp_path / "cpp").read_bytes() == uf2.dumps(axes, np.ascontiguousarray(data), piece=piece)
            f = uf2.read(tmp_path / "cpp")
            assert (f.kind, f.rank, f.data.shape) == (kind, len(shape), shape) and f.data.flags.f_contiguous
            assert [a.tobytes(order="F") for a in f] == [a.tobytes(order="F") for a in (*axes, data)]


def test_damaged_files_are_refused_and_lenient_ones_read():
    raw = uf2.dumps((np.array([0.5, 1.5, 2.5]), np.array([-1.0, 1.0])), np.arange(6.0).reshape(3, 2), piece=12)
    damaged, pos = [raw[:n] for n in range(len(raw))], 0
    while pos < len(raw):  # every marker of every piece lying
        n = abs(int.from_bytes(raw[pos:pos + 4], "little", signed=True))
        for at in (pos, pos + 4 + n):
            m = int.from_bytes(raw[at:at + 4], "little", signed=True)
            damaged += [raw[:at] + v.to_bytes(4, "little", signed=True) + raw[at + 4:] for v in (m + 1, m - 1, -m, -2**31)]
        pos += 8 + n
    # Counts that the records cannot back are refused before anything is allocated.
    damaged.append(record(b"UK2") + record(np.array([2**31 - 1] * 2, "<i4").tobytes()) + record(b"") * 3)
    for bad in damaged:
        with pytest.raises(uf2.FormatError):
            uf2.parse(bad)
    # Another kind or rank than asked for, or no header at all.
    for bad, kind, rank in [(raw, "r", 2), (raw, "d", 1), (record(b"UX2") + raw[11:], None, None),
                            (record(b"UD4") + raw[11:], None, None)]:
        with pytest.raises(uf2.HeaderError, match="header is UD2, expected|not an array-file header"):
            uf2.parse(bad, kind, rank)
    # A negative count is an empty axis; a longer header, surplus counts, values and records are skipped.
    x, y, z = uf2.parse(record(b"UD2 and more") + record(np.array([-4, 2, 99], "<i4").tobytes()) + record(b"")
                        + record(np.array([7.0, 8.0, 9.0]).tobytes()) + record(b"\0" * 8) + record(b"extra"))
    assert x.size == 0 and list(y) == [7.0, 8.0] and z.shape == (0, 2)


def test_special_files_are_refused_without_blocking(tmp_path):
    def stuck(*_):
        raise TimeoutError("the reader waited on a special file")
    previous = signal.signal(signal.SIGALRM, stuck)
    signal.alarm(20)
    try:
        os.mkfifo(tmp_path / "fifo")
        os.symlink("fifo", tmp_path / "link")
        with socket.socket(socket.AF_UNIX) as sock:
            sock.bind(str(tmp_path / "sock"))
            for path in (tmp_path / "fifo", tmp_path / "link", tmp_path / "sock", "/dev/null"):
                with pytest.raises(OSError, match="not a regular file") as e:
                    uf2.read(path)
                assert e.value.filename == str(path)
        with pytest.raises(IsADirectoryError):
            uf2.read(tmp_path)
    finally:
        signal.alarm(0)
        signal.signal(signal.SIGALRM, previous)


def read_calls():  # read() calls of this process, from the kernel's count
    for line in Path("/proc/self/io").read_text().splitlines():
        if line.startswith("syscr:"):
            return int(line.split()[1])


def test_records_of_many_short_pieces_read_with_few_reads_and_little_memory(tmp_path):
    # 200,000 pieces of one byte: reads in proportion to the file's size, memory to its data.
    x, y = np.arange(25000, dtype=np.float32), np.arange(25000, dtype=np.float32) * -2
    uf2.write(tmp_path / "chained", (x,), y, piece=1)
    size = os.path.getsize(tmp_path / "chained")
    assert size == 9 * (3 + 4 + 8 * 25000)
    tracemalloc.start()
    before = read_calls()
    f = uf2.read(tmp_path / "chained")
    calls = read_calls() - before
    peak = tracemalloc.get_traced_memory()[1]
    tracemalloc.stop()
    assert f.axes[0].tobytes() == x.tobytes() and f.data.tobytes() == y.tobytes()
    assert calls < size // 16384  # a read per piece would be 200,000
    assert peak < 2 * (x.nbytes + y.nbytes) + (1 << 20), peak  # a list of pieces would be some 30 MB
    assert uf2.parse((tmp_path / "chained").read_bytes()).data.tobytes() == y.tobytes()


def test_writer_checks_before_touching_the_file_and_replaces_it_whole(tmp_path):
    path, x, y = tmp_path / "a", np.arange(3.0), np.arange(2.0)
    path.write_bytes(b"\xff" * 10000)
    os.chmod(path, 0o640)
    for data, kind, error in ((np.zeros((3, 4)), None, "axis y has 2 values but data extent 2 is 4"),
                              (np.zeros((3, 2), complex), "d", "complex data cannot be written as kind 'd'")):
        with pytest.raises((ValueError, TypeError), match=error):
            uf2.write(path, (x, y), data, kind=kind)
    assert path.read_bytes() == b"\xff" * 10000
    uf2.write(path, (x, y), np.ones((3, 2), int), kind="c")  # a named kind converts the data
    assert path.read_bytes() == uf2.dumps((x, y), np.ones((3, 2), np.complex64))
    assert os.stat(path).st_mode & 0o777 == 0o640 and os.listdir(tmp_path) == ["a"]


def test_pictures_have_the_expected_size_and_are_drawn(tmp_path):
    image = pytest.importorskip("matplotlib.image")
    # m = 2, k = 0 across the asymptotic solution's gap and the singular nu = 6 ((l + 1)(l + 2) = m nu).
    run_ltide(tmp_path / "run", 2, 0, 1.0, -12, 12, 49, 61, 40)
    out = tool("plot", tmp_path / "run", "--m", 2, "--k", 0, "--n", 40)
    names = [f"{tmp_path}/run-{kind}.png" for kind in ("fields", "maps", "lambda")]
    assert out.returncode == 0 and out.stdout.split() == names, out.stderr
    pictures = [image.imread(n) for n in names]  # width x height, and drawn, not blank
    assert [p.shape[1::-1] for p in pictures[:2]] == [(1500, 550), (1500, 800)] and pictures[2].shape[1] == 1100
    assert all(p[..., :3].std() > 0.05 for p in pictures)
    out = tool("plot", tmp_path / "run", tmp_path / "run.txt", "-o", tmp_path / "p", "--dpi", 50, "--nu=-5,5")
    assert out.returncode == 0 and image.imread(tmp_path / "p-fields.png").shape[1::-1] == (750, 275), out.stderr
    run_ltide(tmp_path / "l", 1, -1, 1.0, -3, 3, 13, 21, 20, "T")  # eigenvalues only: no fields
    out = tool("plot", tmp_path / "l")
    assert out.returncode == 0 and out.stdout.split() == [f"{tmp_path}/l-lambda.png"], out.stderr
    (tmp_path / "bad.txt").write_text((tmp_path / "l.txt").read_text() + "  0.1E+01  oops\n")
    for args, message in (((tmp_path / "none",), "no field files"),
                          ((tmp_path / "l", tmp_path / "bad.txt"), "bad.txt:14: not a report line (2 items, 9 expected)")):
        out = tool("plot", *args)
        assert out.returncode == 1 and message in out.stderr, out.stderr


def test_report_reader_reads_every_item_including_wide_exponents(tmp_path):
    (tmp_path / "r.txt").write_text(
        "# comment\n  0.500000E+00   0.123457E+02  -0.120000+100   0.112534E+01  -0.100000E+03 1 1 0 0\n\n"
        "  0.100000E+01            NaN      -Infinity   0.000000E+00   0.000000E+00 3 -1 5 14\n")
    t = ltide_run.read_report(tmp_path / "r.txt").table
    assert list(t["nu"]) == [0.5, 1.0] and t["lambda_beta"][0] == -0.12e100 and t["lambda_beta"][1] == -np.inf
    assert np.isnan(t["lambda_matr"][1]) and list(t["nh"]) == [1, -1] and list(t["flag_beta"]) == [0, 14]


@pytest.mark.parametrize("lflag", [(), ("T",)])
def test_power_of_two_chunks_join_byte_for_byte_to_the_single_run(tmp_path, lflag):
    plan = tool("chunks", "--chunks", 4, "--ltide", EXE, "s", *ARGS, -16, 16, 33, *SIZES, *lflag, cwd=tmp_path)
    assert plan.returncode == 0, plan.stderr
    subprocess.run(["bash", "-e"], input=plan.stdout, text=True, cwd=tmp_path, check=True)
    out = tool("join", "j", *sorted(tmp_path.glob("s_c*"), reverse=True), cwd=tmp_path)
    assert "joined 4 chunks into j: 33 spin parameters from -16 to 16 (3 shared points kept once)" in out.stderr
    run_ltide(tmp_path / "w", *ARGS, -16, 16, 33, *SIZES, *lflag)
    suffixes = [p.name[1:] for p in tmp_path.glob("w*")]  # ".txt", ".tab" and the six "_xi_*.uf2"
    assert len(suffixes) == (2 if lflag else 8)
    # The tables differ only in the command line.
    cut = {".tab": lambda b: [l for l in b.splitlines() if not l.startswith(b"# command line: ")]}
    same = lambda s: cut.get(s, bytes)((tmp_path / f"j{s}").read_bytes()) == cut.get(s, bytes)((tmp_path / f"w{s}").read_bytes())
    assert all(same(s) for s in suffixes)


def test_joins_in_any_order_and_refuses_what_does_not_fit(tmp_path):
    for name, grid in dict(a=(0, 4, 9), b=(3, 6, 7), c=(6, 8, 5), e=(6, 8, 5), f=(6, 8, 5), g=(6, 8, 5),
                           h=(4.5, 6, 4), u=(10, 9, 3), v=(9, 8, 3), t=(6, 8, 5)).items():
        run_ltide(tmp_path / name, *ARGS, *grid, *SIZES)
    run_ltide(tmp_path / "d", *ARGS, 6, 8, 5, 11, 30)  # another mu grid
    run_ltide(tmp_path / "m", 1, *ARGS[1:], 6, 8, 5, *SIZES)  # another order
    for name, grid in dict(no=(6, 8, 5), no2=(8, 10, 5)).items():
        run_ltide(tmp_path / name, *ARGS, *grid, *SIZES, table=False)
    (tmp_path / "t.tab").write_text((tmp_path / "a.tab").read_text())
    a_lines = (tmp_path / "a.txt").read_text().splitlines(keepends=True)
    (tmp_path / "e.txt").write_text("".join(a_lines[:4]))  # too short for e's files
    (tmp_path / "f.txt").write_text("".join(a_lines[:5]))  # a's lines, not f's
    os.remove(tmp_path / "g_xi_t_beta.uf2")
    for args, status, message in [
            (("j", "h.txt", "a_xi_r_matr.uf2", "--strict"), 0, "into j: 13 spin parameters from 0 to 6 (0 shared"),
            (("k", "v", "u"), 0, "into k: 5 spin parameters from 10 to 8 (1 shared points kept once)"),  # descending
            (("x", "a", "b"), 1, "ltide-join: chunks overlap: a ends at nu = 4.0, b starts at nu = 3.0"),
            (("x", "a", "c"), 0, "warning: gap of 4 grid steps: a ends at nu = 4.0"),
            (("x", "a", "c", "--strict"), 1, "ltide-join: gap of 4 grid steps"),
            (("x", "a", "d"), 1, "chunks of different runs: n_mu = 11 in d.tab but 21 in a.tab"),
            (("x", "a", "m.tab"), 1, "chunks of different runs: m = 1 in m.tab but 2 in a.tab"),
            (("x", "a", "t"), 1, "t.tab has 9 rows but t has 5 spin parameters"),
            (("x", "a", "no"), 1, "tables missing for no"),
            (("x", "no2", "no"), 0, "into x: 9 spin parameters from 6 to 10 (1 shared"),  # nothing to compare
            (("x", "a", "e"), 1, "e.txt has 4 report lines but e has 5 spin parameters"),
            (("x", "a", "f"), 1, "f.txt: report lines do not belong to the files of f"),
            (("x", "a", "g"), 1, "g: field files missing: xi_t_beta"),
            (("a", "a", "b"), 1, "the output prefix is one of the chunks")]:
        out = tool("join", *args, cwd=tmp_path)
        assert out.returncode == status and message in out.stderr, (args, out.stderr)


def test_plan_covers_every_m_and_k_and_caps_points_per_chunk():
    out = tool("chunks", "--points", 4, "--", "s", "1,-2", "-1,0", 1, -1, 1, 11, 5, 8)
    lines = out.stdout.splitlines()
    assert out.returncode == 0 and len(lines) == 4 * 4, out.stderr
    # Chunk ends on the single run's grid, as doubles that read back the same: -1 + float32(0.2) * 2.
    assert lines[0] == ("ltide --table=s_m1_k-1_c000.tab -- s_m1_k-1_c000 1 -1 1 -1.0 -0.5999999940395355 3 5 8"
                        " > s_m1_k-1_c000.txt")
    assert lines[-1] == ("ltide --table=s_m-2_k0_c003.tab -- s_m-2_k0_c003 -2 0 1 0.3999999761581421 1.0 4 5 8"
                         " > s_m-2_k0_c003.txt")
    assert [int(l.split()[9]) for l in lines[:4]] == [3, 4, 3, 4]  # 10 steps, neighbours share ends


def test_each_chunk_gets_the_thread_count_asked_for_or_its_slurm_cpus(tmp_path):
    out = tool("chunks", "--threads", 3, "--chunks", 2, "s", *ARGS, -1, 1, 11, 5, 8)
    assert out.stdout.splitlines()[1] == ("ltide --table=s_c001.tab --threads=3 -- s_c001 2 0 1.0 0.0 1.0 6 5 8"
                                          " > s_c001.txt"), out.stderr
    assert "--threads must be at least 1" in tool("chunks", "--threads", 0, "s", *ARGS, -1, 1, 11, 5, 8).stderr
    (tmp_path / "a b").mkdir()
    show = tmp_path / "a b" / "show"  # a program that prints its arguments
    show.write_text('#!/bin/sh\necho "$@"\n')
    show.chmod(0o755)
    plan = ["'a b/show' --table=x -- s 2 0 > o.txt", "'a b'/\"show\" --threads=5 -- s > o.txt", "./'a b/show' s > o.txt"]
    (tmp_path / "plan.txt").write_text("".join(line + "\n" for line in plan))
    for line, cpus, seen in [(1, "4", "--threads=4 --table=x -- s 2 0"), (1, None, "--table=x -- s 2 0"),
                             (2, "4", "--threads=5 -- s"), (3, "2", "--threads=2 s")]:
        env = {k: v for k, v in os.environ.items() if not k.startswith("SLURM_")}
        env.update(SLURM_ARRAY_TASK_ID=str(line), **({"SLURM_CPUS_PER_TASK": cpus} if cpus else {}))
        subprocess.run([ROOT / "tools/ltide-slurm.sh", "plan.txt"], cwd=tmp_path, env=env, check=True, capture_output=True)
        assert (tmp_path / "o.txt").read_text() == seen + "\n", (line, cpus)


def test_table_reader_gives_exact_values_and_the_plotter_takes_m_k_n_from_it(tmp_path, monkeypatch):
    run_ltide(tmp_path / "l", -1, 2, 1.5, -3, 3, 13, 2, 20, "T")
    tab, rep = ltide_run.read_table(tmp_path / "l.tab"), ltide_run.read_report(tmp_path / "l.txt")
    assert tab.version.startswith("ltide ") and tab.command_line.endswith(" -1 2 1.5 -3 3 13 2 20 T")
    assert tab.parameters == dict(m=-1, k=2, A=1.5, nu_min=-3.0, nu_max=3.0, n_nu=13, n_mu=2, n=20, lflag=True)
    same = ltide_run.report_of_table(tab).table
    for name in ltide_run.REPORT_COLUMNS:  # the report's items, to the six digits it prints
        assert np.allclose(same[name], rep.table[name], rtol=5e-6, atol=0), name
    os.remove(tmp_path / "l.txt")  # the table alone gives the eigenvalue picture, and its m, k, n
    plot = pytest.importorskip("ltide.plot")
    drawn = []
    monkeypatch.setattr(plot, "plot_lambda", lambda report, args, out: drawn.append((report.table.size, args.m, args.k, args.n)))
    assert plot.main([str(tmp_path / "l")]) == 0 and plot.main([str(tmp_path / "l"), "--n", "7"]) == 0
    assert drawn == [(13, -1, 2, 20), (13, -1, 2, 7)]


def test_smallest_n_finds_the_first_size_whose_digits_hold_and_reports_singular_steps():
    out = tool("smallest_n", "--ltide", EXE, "--criterion=convergence", 2, 0, 10, -10)
    rows = [line.split() for line in out.stdout.splitlines()]
    assert out.returncode == 0 and [r[:3] for r in rows] == [["2", "0", "10"], ["2", "0", "-10"]], out.stderr

    def digits(nu, n):  # lambda_matr as printed
        return subprocess.run([EXE, "x", "2", "0", "1", str(nu), str(nu), "1", "2", str(n), "T"], check=True,
                              capture_output=True, text=True).stdout.split()[1]
    for (_, _, nu, n) in rows:
        n = int(n)
        assert digits(nu, n) == digits(nu, 4 * n) and digits(nu, n - 1) != digits(nu, 4 * n - 4), (nu, n)
    out = tool("smallest_n", "--ltide", EXE, "--criterion=convergence", 2, 1, 3)
    assert out.returncode == 1 and "nu = 3 is singular for a basis of" in out.stdout, out.stdout
