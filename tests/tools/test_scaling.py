"""Splitting a scan into chunks, running them in parallel and joining them again."""
import os
import shutil
import subprocess
import sys

import numpy as np
import pytest

import ltide_run
from conftest import TOOLS, run_ltide

ARGS = (2, 0, 1.0)  # m, k, A
SIZES = (21, 30)    # n_mu, n


def tool(name, *args, **kw):
    return subprocess.run([sys.executable, str(TOOLS / name), *map(str, args)],
                          capture_output=True, text=True, cwd=kw.get("cwd"))


def single_run(exe, prefix, nu_min, nu_max, n_nu, *extra):
    (prefix.parent / f"{prefix.name}.txt").write_text(
        run_ltide(exe, prefix, *ARGS, nu_min, nu_max, n_nu, *SIZES, *extra))


def run_plan(tmp_path, exe, chunks, nu_min, nu_max, n_nu, *extra):
    """Plans the chunks of out/s and runs them with GNU parallel (or one by one)."""
    plan = tool("ltide-chunks", "--chunks", chunks, "--ltide", exe, "out/s", *ARGS, nu_min, nu_max, n_nu,
                *SIZES, *extra, cwd=tmp_path)
    assert plan.returncode == 0, plan.stderr
    (tmp_path / "out").mkdir(exist_ok=True)
    (tmp_path / "plan.txt").write_text(plan.stdout)
    runner = ["parallel", "-j", "2", "--halt", "now,fail=1"] if shutil.which("parallel") else ["bash", "-e"]
    with open(tmp_path / "plan.txt") as f:
        subprocess.run(runner, stdin=f, cwd=tmp_path, check=True)
    return plan.stdout.splitlines()


def join(tmp_path, *args):
    return tool("ltide-join", *args, cwd=tmp_path)


def test_power_of_two_chunks_join_byte_for_byte_to_the_single_run(ltide_exe, tmp_path):
    lines = run_plan(tmp_path, ltide_exe, 4, -16, 16, 33)
    assert [l.split()[5:8] for l in lines] == [["-16.0", "-8.0", "9"], ["-8.0", "0.0", "9"],
                                                ["0.0", "8.0", "9"], ["8.0", "16.0", "9"]]
    out = join(tmp_path, "out/j", *sorted((tmp_path / "out").glob("s_c*"), reverse=True))
    assert out.returncode == 0, out.stderr
    assert "joined 4 chunks into out/j: 33 spin parameters from -16 to 16 (3 shared points kept once)" in out.stderr
    single_run(ltide_exe, tmp_path / "w", -16, 16, 33)
    for suffix in [f"_{f}.uf2" for f in ltide_run.FIELDS] + [".txt"]:
        assert (tmp_path / f"out/j{suffix}").read_bytes() == (tmp_path / f"w{suffix}").read_bytes(), suffix


def test_other_chunks_match_the_single_run_to_the_grid_rounding(ltide_exe, tmp_path):
    run_plan(tmp_path, ltide_exe, 3, -20, 20, 81)
    assert join(tmp_path, "out/j", "out/s_c000", "out/s_c002", "out/s_c001").returncode == 0
    single_run(ltide_exe, tmp_path / "w", -20, 20, 81)
    a, b = ltide_run.read_fields(tmp_path / "w"), ltide_run.read_fields(tmp_path / "out/j")
    assert a.mu.tobytes() == b.mu.tobytes()
    # Chunk ends are the single run's values exactly; interior points within rounding.
    assert all(a.nu[j] == b.nu[j] for j in (0, 26, 53, 80))
    np.testing.assert_allclose(b.nu, a.nu, rtol=0, atol=40 * 2.0**-23)
    ra = ltide_run.read_report(tmp_path / "w.txt").table
    rb = ltide_run.read_report(tmp_path / "out/j.txt").table
    # nu = 15 is singular on the single run's grid only (m nu = 30 = 5 * 6).
    differ = (ra["flag_matr"] != rb["flag_matr"]) | (ra["flag_beta"] != rb["flag_beta"])
    assert list(a.nu[differ]) == [15.0] and ra["flag_matr"][differ][0] == 5
    for name in ltide_run.FIELDS:
        x, y = a.fields[name][:, ~differ], b.fields[name][:, ~differ]
        scale = np.max(np.abs(x), axis=0)
        assert np.all(np.abs(x - y) <= 1e-5 * scale), name
    np.testing.assert_allclose(rb["lambda_matr"][~differ], ra["lambda_matr"][~differ], rtol=1e-5)


def test_hand_made_chunks_without_shared_points_and_descending_grids_join(ltide_exe, tmp_path):
    single_run(ltide_exe, tmp_path / "a", -20, -10.5, 20)
    single_run(ltide_exe, tmp_path / "b", -10, 0, 21)
    out = join(tmp_path, "ab", "b.txt", "a_xi_r_matr.uf2", "--strict")
    assert out.returncode == 0, out.stderr
    nu = ltide_run.read_fields(tmp_path / "ab").nu
    assert nu.size == 41 and nu[0] == -20 and nu[-1] == 0 and np.all(np.diff(nu) > 0)
    single_run(ltide_exe, tmp_path / "c", 3, 2, 3)
    single_run(ltide_exe, tmp_path / "d", 2, 1, 3)
    assert join(tmp_path, "cd", "d", "c").returncode == 0
    assert list(ltide_run.read_fields(tmp_path / "cd").nu) == [3, 2.5, 2, 1.5, 1]
    assert len(ltide_run.read_report(tmp_path / "cd.txt").lines) == 5


def test_overlaps_gaps_and_mismatched_chunks_are_refused(ltide_exe, tmp_path):
    single_run(ltide_exe, tmp_path / "a", 0, 4, 9)
    single_run(ltide_exe, tmp_path / "b", 3, 6, 7)
    single_run(ltide_exe, tmp_path / "c", 6, 8, 5)
    out = join(tmp_path, "j", "a", "b")
    assert out.returncode == 1
    assert "ltide-join: chunks overlap: a ends at nu = 4.0, b starts at nu = 3.0" in out.stderr
    out = join(tmp_path, "j", "a", "c")
    assert out.returncode == 0 and "warning: gap of 4 grid steps: a ends at nu = 4.0" in out.stderr
    assert join(tmp_path, "j", "a", "c", "--strict").returncode == 1
    # Another mu grid, a report from another run, a missing file.
    (tmp_path / "d.txt").write_text(run_ltide(ltide_exe, tmp_path / "d", *ARGS, 6, 8, 5, 11, 30))
    assert "d: mu axis differs from that of a" in join(tmp_path, "j", "a", "d").stderr
    os.replace(tmp_path / "c.txt", tmp_path / "c.bak")
    a_lines = (tmp_path / "a.txt").read_text().splitlines(keepends=True)
    (tmp_path / "c.txt").write_text("".join(a_lines[:4]))
    assert "c.txt has 4 report lines but the files of c have 5 spin parameters" in join(tmp_path, "j", "a", "c").stderr
    (tmp_path / "c.txt").write_text("".join(a_lines[:5]))
    assert "c.txt: report lines do not belong to the files of c" in join(tmp_path, "j", "a", "c").stderr
    os.replace(tmp_path / "c.bak", tmp_path / "c.txt")
    os.remove(tmp_path / "c_xi_t_beta.uf2")
    assert "c: field files missing: xi_t_beta" in join(tmp_path, "j", "a", "c").stderr
    assert "the output prefix is one of the chunks" in join(tmp_path, "a", "a", "b").stderr


def test_eigenvalue_only_chunks_join_their_report_lines(ltide_exe, tmp_path):
    run_plan(tmp_path, ltide_exe, 2, -3, 3, 13, "T")
    assert not list((tmp_path / "out").glob("*.uf2"))
    assert join(tmp_path, "out/j", *(tmp_path / "out").glob("s_c*")).returncode == 0
    single_run(ltide_exe, tmp_path / "w", -3, 3, 13, "T")
    a = ltide_run.read_report(tmp_path / "w.txt").table
    b = ltide_run.read_report(tmp_path / "out/j.txt").table
    assert b.size == 13
    np.testing.assert_allclose(b["lambda_matr"], a["lambda_matr"], rtol=1e-5)


def test_plan_covers_every_m_and_k_and_caps_points_per_chunk(tmp_path):
    out = tool("ltide-chunks", "--points", 4, "--", "s", "1,-2", "-1,0", 1, -1, 1, 11, 5, 8)
    assert out.returncode == 0, out.stderr
    lines = out.stdout.splitlines()
    assert len(lines) == 4 * 4
    # Chunk ends on the single run's grid, written to read back as the same doubles:
    # index 2 of 11 points from -1 to 1 is -1 + float32(0.2) * 2.
    assert lines[0] == "ltide s_m1_k-1_c000 1 -1 1 -1.0 -0.5999999940395355 3 5 8 > s_m1_k-1_c000.txt"
    assert lines[-1] == "ltide s_m-2_k0_c003 -2 0 1 0.3999999761581421 1.0 4 5 8 > s_m-2_k0_c003.txt"
    assert [int(l.split()[7]) for l in lines[:4]] == [3, 4, 3, 4]  # 10 steps, neighbours share ends


def test_slurm_task_runs_its_line_of_the_plan(ltide_exe, tmp_path):
    lines = run_plan(tmp_path, ltide_exe, 2, 0, 1, 5)
    for f in (tmp_path / "out").iterdir():
        f.unlink()
    env = dict(os.environ, SLURM_ARRAY_TASK_ID="1", LTIDE_PLAN_OFFSET="1")
    script = TOOLS / "ltide-slurm.sh"
    done = subprocess.run(["bash", str(script), "plan.txt"], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == sorted(
        [f"s_c001_{f}.uf2" for f in ltide_run.FIELDS] + ["s_c001.txt"])
    assert f"line 2: {lines[1]}" in done.stderr
    env["SLURM_ARRAY_TASK_ID"] = "2"
    done = subprocess.run(["bash", str(script), "plan.txt"], cwd=tmp_path, env=env, capture_output=True, text=True)
    assert done.returncode == 1 and "plan.txt has no line 3" in done.stderr
