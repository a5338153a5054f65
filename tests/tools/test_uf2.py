"""The Python array-file module against the library's own writers and readers."""
import os
import stat
import subprocess

import numpy as np
import pytest

import uf2
from conftest import run_ltide

SHAPES = {1: [(5,), (0,)], 2: [(3, 4), (2, 0)], 3: [(2, 3, 4), (0, 2, 1)]}
CASES = [(kind, rank, shape) for kind in "rdck" for rank in (1, 2, 3) for shape in SHAPES[rank]]


def expected(kind, shape):
    """The values uf2_fixture writes, computed with the same roundings."""
    axis_t, data_t = (np.dtype(t).newbyteorder("=") for t in uf2.KINDS[kind])
    axes = [(np.arange(1, n + 1, dtype=axis_t) / axis_t.type(d + 3)).astype(axis_t)
            for d, n in enumerate(shape)]
    idx = np.indices(shape)
    weight = (1, 100, 10000)
    count = sum(w * i for w, i in zip(weight, idx)) + 1
    re = count.astype(axis_t) / axis_t.type(7)
    data = re.astype(data_t)
    if data_t.kind == "c":
        data.imag = -re / axis_t.type(3)
    return axes, data


def make(fixture_exe, path, kind, shape, piece=uf2.MAX_PIECE):
    subprocess.run([str(fixture_exe), "make", kind, str(len(shape)), str(path), str(piece),
                    *map(str, shape)], check=True)


def same_bits(a, b):
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


@pytest.mark.parametrize("kind,rank,shape", CASES)
def test_reads_every_kind_and_rank_the_library_writes(fixture_exe, tmp_path, kind, rank, shape):
    axes, data = expected(kind, shape)
    for piece in (uf2.MAX_PIECE, 16):  # whole records, then every array chained
        path = tmp_path / f"f{piece}"
        make(fixture_exe, path, kind, shape, piece)
        f = uf2.read(path)
        assert (f.kind, f.rank, f.header) == (kind, rank, f"U{kind.upper()}{rank}")
        assert all(same_bits(a, b) for a, b in zip(f.axes, axes))
        assert same_bits(f.data, data)
        assert f.data.flags.f_contiguous and f.data.flags.writeable
        # The writer produces the same bytes, framing included.
        assert uf2.dumps(f.axes, f.data, piece=piece) == path.read_bytes()


@pytest.mark.parametrize("kind,rank,shape", [c for c in CASES if c[2][0] > 0])
def test_library_reads_back_what_python_writes_chained(fixture_exe, tmp_path, kind, rank, shape):
    axes, data = expected(kind, shape)
    src, dst = tmp_path / "py", tmp_path / "cpp"
    uf2.write(src, axes, data, piece=5)
    subprocess.run([str(fixture_exe), "copy", kind, str(rank), str(src), str(dst), str(uf2.MAX_PIECE)],
                   check=True)
    assert dst.read_bytes() == uf2.dumps(axes, data)


def test_element_ij_belongs_to_x_i_and_y_j(tmp_path):
    x, y = np.array([1.0, 2.0, 3.0]), np.array([10.0, 20.0])
    z = x[:, None] * 100 + y[None, :]
    uf2.write(tmp_path / "a", (x, y), z)
    raw = (tmp_path / "a").read_bytes()
    # The data record lists the first index fastest.
    assert np.array_equal(np.frombuffer(raw[-4 - 48:-4], "<f8"), [110, 210, 310, 120, 220, 320])
    got = uf2.read(tmp_path / "a")
    assert got.data[2, 1] == 320.0
    # A C-ordered or strided argument is written in the same element order.
    uf2.write(tmp_path / "b", (x, y), np.ascontiguousarray(z))
    big = np.zeros((6, 4))
    big[::2, ::2] = z
    uf2.write(tmp_path / "c", (x, y), big[::2, ::2])
    assert (tmp_path / "b").read_bytes() == raw == (tmp_path / "c").read_bytes()


def test_reads_the_programs_output_files(ltide_exe, tmp_path):
    prefix = tmp_path / "run"
    report = run_ltide(ltide_exe, prefix, 2, 0, 1.0, -3, 3, 7, 9, 12)
    files = [uf2.read(f"{prefix}_xi_{c}_{s}.uf2", "d", 2) for s in ("matr", "beta") for c in "rtp"]
    mu, nu = files[0].axes
    assert mu[0] == -1.0 and mu[-1] == 1.0 and mu[4] == 0.0 and np.all(np.diff(mu) > 0)
    report_nu = [float(line.split()[0]) for line in report.splitlines()]
    assert np.allclose(nu, report_nu, rtol=1e-6, atol=0)
    for f in files:
        assert f.data.shape == (9, 7)
        assert same_bits(f.axes[0], mu) and same_bits(f.axes[1], nu)
    # Even mode: the radial field equals the amplitude at the equator.
    assert np.allclose(files[0].data[4, :], 1.0)


def chained_file():
    x, y = np.array([0.5, 1.5, 2.5]), np.array([-1.0, 1.0])
    return uf2.dumps((x, y), np.arange(6.0).reshape(3, 2), piece=12)


def test_every_truncation_is_a_format_error():
    raw = chained_file()
    for n in range(len(raw)):
        with pytest.raises(uf2.FormatError):
            uf2.parse(raw[:n])


def test_every_lying_marker_is_a_format_error():
    raw = chained_file()
    markers, pos = [], 0
    while pos < len(raw):  # walk the pieces to find every marker
        lead = int.from_bytes(raw[pos:pos + 4], "little", signed=True)
        markers += [pos, pos + 4 + abs(lead)]
        pos += 8 + abs(lead)
    for at in markers:
        for delta in (1, -1, 1 << 31):
            value = (int.from_bytes(raw[at:at + 4], "little", signed=True) + delta + 2**31) % 2**32 - 2**31
            bad = raw[:at] + value.to_bytes(4, "little", signed=True) + raw[at + 4:]
            with pytest.raises(uf2.FormatError):
                uf2.parse(bad)


def record(payload):
    n = len(payload).to_bytes(4, "little")
    return n + payload + n


def test_headers_of_other_kinds_or_ranks_and_garbage_are_header_errors(tmp_path):
    raw = uf2.dumps((np.arange(3.0), np.arange(2.0)), np.zeros((3, 2)))
    assert uf2.parse(raw, "d", 2).kind == "d"
    for kind, rank in (("r", 2), ("d", 1), ("k", 3)):
        with pytest.raises(uf2.HeaderError, match="header is UD2, expected"):
            uf2.parse(raw, kind, rank)
    for bad in (b"UX2", b"Ud2", b"UD4"):
        (tmp_path / "x").write_bytes(record(bad) + raw[11:])
        with pytest.raises(uf2.HeaderError, match=f"x: not an array-file header: b'{bad.decode()}'"):
            uf2.read(tmp_path / "x")
    with pytest.raises(uf2.FormatError, match="header.* holds 2 bytes, 3 needed"):
        uf2.parse(record(b"UD"))


def test_negative_counts_surplus_bytes_and_extra_records_are_accepted():
    sizes = np.array([-4, 2, 99], "<i4").tobytes()  # a third count is surplus
    raw = (record(b"UD2 and more") + record(sizes) + record(b"")
           + record(np.array([7.0, 8.0, 9.0]).tobytes()) + record(b"\0" * 8) + record(b"extra"))
    x, y, z = uf2.parse(raw)
    assert x.size == 0 and list(y) == [7.0, 8.0] and z.shape == (0, 2)


def test_record_shorter_than_its_counts_is_refused_before_allocating():
    sizes = np.array([2**31 - 1, 2**31 - 1], "<i4").tobytes()
    raw = record(b"UK2") + record(sizes) + record(b"") + record(b"") + record(b"")
    with pytest.raises(uf2.FormatError, match=r"record 3 \(axis x\) holds 0 bytes, the counts need 17179869176"):
        uf2.parse(raw)


def test_writer_refuses_inconsistent_arguments_before_touching_the_file(tmp_path):
    x, y = np.arange(3.0), np.arange(2.0)
    with pytest.raises(ValueError, match="axis y has 2 values but data extent 2 is 4"):
        uf2.write(tmp_path / "a", (x, y), np.zeros((3, 4)))
    with pytest.raises(TypeError, match="complex data cannot be written as kind 'd'"):
        uf2.write(tmp_path / "a", (x, y), np.zeros((3, 2), complex), kind="d")
    assert not (tmp_path / "a").exists()
    # Integer data has no kind of its own; named, it is converted.
    uf2.write(tmp_path / "a", (x, y), np.ones((3, 2), int), kind="c")
    assert uf2.read(tmp_path / "a").data.dtype == np.complex64


def test_writer_replaces_a_file_whole_and_keeps_its_permissions(tmp_path):
    path = tmp_path / "a"
    path.write_bytes(b"\xff" * 10000)
    os.chmod(path, 0o640)
    uf2.write(path, (np.arange(2.0),), np.arange(2.0))
    assert stat.S_IMODE(path.stat().st_mode) == 0o640
    assert path.read_bytes() == uf2.dumps((np.arange(2.0),), np.arange(2.0))
    assert os.listdir(tmp_path) == ["a"]
