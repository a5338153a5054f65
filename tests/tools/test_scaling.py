"""Splitting a scan into chunks, running them and joining them again."""
import os
import subprocess

import pytest

from conftest import EXE, run_ltide, tool

ARGS, SIZES = (2, 0, 1.0), (21, 30)  # m, k, A; n_mu, n


def run_plan(tmp_path, chunks, *grid):
    """Plans the chunks of s over (nu_min, nu_max, n_nu[, lflag]) and runs them; returns the plan."""
    plan = tool("ltide-chunks", "--chunks", chunks, "--ltide", EXE, "s", *ARGS, *grid[:3], *SIZES, *grid[3:], cwd=tmp_path)
    assert plan.returncode == 0, plan.stderr
    subprocess.run(["bash", "-e"], input=plan.stdout, text=True, cwd=tmp_path, check=True)
    return plan.stdout.splitlines()


@pytest.mark.parametrize("lflag", [(), ("T",)])
def test_power_of_two_chunks_join_byte_for_byte_to_the_single_run(tmp_path, lflag):
    lines = run_plan(tmp_path, 4, -16, 16, 33, *lflag)
    assert [l.split()[5:8] for l in lines] == [["-16.0", "-8.0", "9"], ["-8.0", "0.0", "9"],
                                                ["0.0", "8.0", "9"], ["8.0", "16.0", "9"]]
    out = tool("ltide-join", "j", *sorted(tmp_path.glob("s_c*"), reverse=True), cwd=tmp_path)
    assert "joined 4 chunks into j: 33 spin parameters from -16 to 16 (3 shared points kept once)" in out.stderr
    run_ltide(tmp_path / "w", *ARGS, -16, 16, 33, *SIZES, *lflag)
    suffixes = [p.name[1:] for p in tmp_path.glob("w*")]  # ".txt" and the six "_xi_*.uf2"
    assert len(suffixes) == (1 if lflag else 7)
    assert all((tmp_path / f"j{s}").read_bytes() == (tmp_path / f"w{s}").read_bytes() for s in suffixes)


def test_joins_in_any_order_and_refuses_what_does_not_fit(tmp_path):
    runs = dict(a=(0, 4, 9), b=(3, 6, 7), c=(6, 8, 5), e=(6, 8, 5), f=(6, 8, 5), g=(6, 8, 5), h=(4.5, 6, 4),
                u=(10, 9, 3), v=(9, 8, 3))
    for name, grid in runs.items():
        run_ltide(tmp_path / name, *ARGS, *grid, *SIZES)
    run_ltide(tmp_path / "d", *ARGS, 6, 8, 5, 11, 30)  # another mu grid
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
            (("x", "a", "d"), 1, "d: mu axis differs from that of a"),
            (("x", "a", "e"), 1, "e.txt has 4 report lines but the files of e have 5 spin parameters"),
            (("x", "a", "f"), 1, "f.txt: report lines do not belong to the files of f"),
            (("x", "a", "g"), 1, "g: field files missing: xi_t_beta"),
            (("a", "a", "b"), 1, "the output prefix is one of the chunks")]:
        out = tool("ltide-join", *args, cwd=tmp_path)
        assert out.returncode == status and message in out.stderr, (args, out.stderr)


def test_plan_covers_every_m_and_k_and_caps_points_per_chunk():
    out = tool("ltide-chunks", "--points", 4, "--", "s", "1,-2", "-1,0", 1, -1, 1, 11, 5, 8)
    lines = out.stdout.splitlines()
    assert out.returncode == 0 and len(lines) == 4 * 4, out.stderr
    # Chunk ends on the single run's grid, written to read back as the same doubles:
    # index 2 of 11 points from -1 to 1 is -1 + float32(0.2) * 2.
    assert lines[0] == "ltide s_m1_k-1_c000 1 -1 1 -1.0 -0.5999999940395355 3 5 8 > s_m1_k-1_c000.txt"
    assert lines[-1] == "ltide s_m-2_k0_c003 -2 0 1 0.3999999761581421 1.0 4 5 8 > s_m-2_k0_c003.txt"
    assert [int(l.split()[7]) for l in lines[:4]] == [3, 4, 3, 4]  # 10 steps, neighbours share ends

