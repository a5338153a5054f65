"""The Python array-file module against the library's own reader and writer."""
import os
import subprocess

import numpy as np
import pytest

import uf2
from conftest import FIXTURE


def bits(dtype, shape, seed):
    """Arbitrary bit patterns (NaNs with payloads among them): files carry bits, not numbers."""
    raw = ((np.arange(int(np.prod(shape)) * dtype.itemsize) * 167 + seed) % 256).astype(np.uint8)
    return np.frombuffer(raw.tobytes(), dtype).reshape(shape, order="F")


def record(payload):
    n = len(payload).to_bytes(4, "little")
    return n + payload + n


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
    for bad, kind, rank in [(raw, "r", 2), (raw, "d", 1), (raw, "k", 3)] + [(record(h) + raw[11:], None, None)
                                                                            for h in (b"UX2", b"Ud2", b"UD4")]:
        with pytest.raises(uf2.HeaderError, match="header is UD2, expected|not an array-file header"):
            uf2.parse(bad, kind, rank)
    # A negative count is an empty axis; a longer header, surplus counts, values and records are skipped.
    x, y, z = uf2.parse(record(b"UD2 and more") + record(np.array([-4, 2, 99], "<i4").tobytes()) + record(b"")
                        + record(np.array([7.0, 8.0, 9.0]).tobytes()) + record(b"\0" * 8) + record(b"extra"))
    assert x.size == 0 and list(y) == [7.0, 8.0] and z.shape == (0, 2)


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
