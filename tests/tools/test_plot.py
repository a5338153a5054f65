"""The plotter and the run reader on real runs of the program."""
import importlib.machinery
import importlib.util
import struct
import subprocess
import sys

import numpy as np
import pytest

import ltide_run
from conftest import TOOLS, run_ltide

pytest.importorskip("matplotlib")


def plot(*args):
    return subprocess.run([sys.executable, str(TOOLS / "ltide-plot"), *map(str, args)],
                          capture_output=True, text=True)


def png_size(path):
    head = path.read_bytes()[:24]
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", head[16:24])


def load_plotter():
    loader = importlib.machinery.SourceFileLoader("ltide_plot", str(TOOLS / "ltide-plot"))
    spec = importlib.util.spec_from_loader("ltide_plot", loader)
    module = importlib.util.module_from_spec(spec)
    loader.exec_module(module)
    return module


@pytest.fixture(scope="module")
def run(ltide_exe, tmp_path_factory):
    """m = 2, k = 0 over a grid that crosses the gap of the asymptotic solution and
    hits the singular spin parameter 6 (degree 2: (l + 1)(l + 2) = 12 = m nu)."""
    prefix = tmp_path_factory.mktemp("plot") / "run"
    report = run_ltide(ltide_exe, prefix, 2, 0, 1.0, -12, 12, 49, 61, 40)
    (prefix.parent / "run.txt").write_text(report)
    return prefix


def test_prefix_alone_draws_three_pictures_of_the_expected_size(run):
    out = plot(run, "--m", 2, "--k", 0, "--n", 40)
    assert out.returncode == 0, out.stderr
    names = [f"{run}-{kind}.png" for kind in ("fields", "maps", "lambda")]
    assert out.stdout.split() == names
    sizes = [png_size(run.parent / n.rsplit("/", 1)[1]) for n in names]
    assert sizes[0] == (1500, 550) and sizes[1] == (1500, 800)
    assert sizes[2][0] == 1100 and sizes[2][1] > 600
    import matplotlib.image
    for n in names:  # drawn, not blank: both colours of the curves and maps are present
        img = matplotlib.image.imread(n)[..., :3]
        assert img.std() > 0.05
        assert np.any((img[..., 0] > 0.7) & (img[..., 2] < 0.4)) and np.any((img[..., 2] > 0.6) & (img[..., 0] < 0.4))


def test_output_prefix_and_resolution_options(run, tmp_path):
    out = plot(run, run.parent / "run.txt", "-o", tmp_path / "p", "--dpi", 50, "--nu=-5,5")
    assert out.returncode == 0, out.stderr
    assert png_size(tmp_path / "p-fields.png") == (750, 275)


def test_eigenvalue_only_run_draws_the_lambda_picture(ltide_exe, tmp_path):
    prefix = tmp_path / "l"
    (tmp_path / "l.txt").write_text(run_ltide(ltide_exe, prefix, 1, -1, 1.0, -3, 3, 13, 21, 20, "T"))
    out = plot(prefix)
    assert out.returncode == 0, out.stderr
    assert out.stdout.split() == [f"{prefix}-lambda.png"]


def test_missing_run_and_bad_report_lines_are_reported(run, tmp_path):
    out = plot(tmp_path / "none")
    assert out.returncode == 1 and "no field files" in out.stderr
    bad = tmp_path / "bad.txt"
    bad.write_text((run.parent / "run.txt").read_text() + "  0.1E+01  oops\n")
    out = plot(run, bad)
    assert out.returncode == 1
    assert f"{bad}:50: not a report line (2 items, 9 expected)" in out.stderr


def test_report_reader_reads_every_item_including_wide_exponents(tmp_path):
    path = tmp_path / "r.txt"
    path.write_text("# comment\n"
                    "  0.500000E+00   0.123457E+02  -0.120000+100   0.112534E+01  -0.100000E+03 1 1 0 0\n"
                    "\n"
                    "  0.100000E+01            NaN      -Infinity   0.000000E+00   0.000000E+00 3 -1 5 14\n")
    rep = ltide_run.read_report(path)
    t = rep.table
    assert list(t["nu"]) == [0.5, 1.0] and t["lambda_beta"][0] == -0.12e100
    assert np.isnan(t["lambda_matr"][1]) and t["lambda_beta"][1] == -np.inf
    assert list(t["i_mode"]) == [1, 3] and list(t["nh"]) == [1, -1] and list(t["flag_beta"]) == [0, 14]
    assert len(rep.lines) == 2 and rep.lines[1].startswith("  0.100000E+01")


def test_field_reader_refuses_files_whose_axes_differ(run, tmp_path):
    import uf2
    f = uf2.read(ltide_run.field_file(run, "xi_r_matr"))
    for name in ltide_run.FIELDS:
        mu = f.axes[0].copy()
        if name == "xi_p_beta":
            mu[3] = np.nextafter(mu[3], 1)  # one bit off
        uf2.write(ltide_run.field_file(tmp_path / "x", name), (mu, f.axes[1]), f.data)
    with pytest.raises(ValueError, match="xi_p_beta.uf2: axes differ from those of .*xi_r_matr.uf2"):
        ltide_run.read_fields(tmp_path / "x")


def test_default_curves_are_spread_over_steps_with_both_solutions(run):
    plotter = load_plotter()
    fields = ltide_run.read_fields(run)
    report = ltide_run.read_report(f"{run}.txt")
    cols = plotter.choose_columns(fields, report, None)
    both = (report.table["flag_matr"] == 0) & (report.table["flag_beta"] == 0)
    assert len(cols) == 4 and all(both[cols])
    assert cols[0] == np.flatnonzero(both)[0] and cols[-1] == np.flatnonzero(both)[-1]
    assert plotter.choose_columns(fields, report, [0.24, -100]) == [24, 0]
