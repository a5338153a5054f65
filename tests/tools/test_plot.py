"""The plotter and the report reader on real runs of the program."""
import struct

import numpy as np
import pytest

import ltide_run
from conftest import run_ltide, tool

image = pytest.importorskip("matplotlib.image")


def png_size(path):
    head = open(path, "rb").read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n"
    return struct.unpack(">II", head[16:24])


def test_pictures_have_the_expected_size_and_are_drawn(tmp_path):
    # m = 2, k = 0 across the asymptotic solution's gap and the singular nu = 6 ((l + 1)(l + 2) = m nu).
    run_ltide(tmp_path / "run", 2, 0, 1.0, -12, 12, 49, 61, 40)
    out = tool("ltide-plot", tmp_path / "run", "--m", 2, "--k", 0, "--n", 40)
    names = [f"{tmp_path}/run-{kind}.png" for kind in ("fields", "maps", "lambda")]
    assert out.returncode == 0 and out.stdout.split() == names, out.stderr
    assert [png_size(n) for n in names[:2]] == [(1500, 550), (1500, 800)] and png_size(names[2])[0] == 1100
    assert all(image.imread(n)[..., :3].std() > 0.05 for n in names)  # drawn, not blank
    out = tool("ltide-plot", tmp_path / "run", tmp_path / "run.txt", "-o", tmp_path / "p", "--dpi", 50, "--nu=-5,5")
    assert out.returncode == 0 and png_size(tmp_path / "p-fields.png") == (750, 275), out.stderr
    run_ltide(tmp_path / "l", 1, -1, 1.0, -3, 3, 13, 21, 20, "T")  # eigenvalues only: no fields
    out = tool("ltide-plot", tmp_path / "l")
    assert out.returncode == 0 and out.stdout.split() == [f"{tmp_path}/l-lambda.png"], out.stderr
    (tmp_path / "bad.txt").write_text((tmp_path / "l.txt").read_text() + "  0.1E+01  oops\n")
    for args, message in (((tmp_path / "none",), "no field files"),
                          ((tmp_path / "l", tmp_path / "bad.txt"), "bad.txt:14: not a report line (2 items, 9 expected)")):
        out = tool("ltide-plot", *args)
        assert out.returncode == 1 and message in out.stderr, out.stderr


def test_report_reader_reads_every_item_including_wide_exponents(tmp_path):
    (tmp_path / "r.txt").write_text(
        "# comment\n  0.500000E+00   0.123457E+02  -0.120000+100   0.112534E+01  -0.100000E+03 1 1 0 0\n\n"
        "  0.100000E+01            NaN      -Infinity   0.000000E+00   0.000000E+00 3 -1 5 14\n")
    t = ltide_run.read_report(tmp_path / "r.txt").table
    assert list(t["nu"]) == [0.5, 1.0] and t["lambda_beta"][0] == -0.12e100 and t["lambda_beta"][1] == -np.inf
    assert np.isnan(t["lambda_matr"][1]) and list(t["nh"]) == [1, -1] and list(t["flag_beta"]) == [0, 14]
