"""Read and write ltide's array files with numpy.

An array file holds a one-, two- or three-dimensional array together with the
coordinate values along each of its axes. ltide writes its fields as two-dimensional
files of doubles: the first axis is mu = cos(theta), the second the spin parameter nu.

    from ltide import uf2
    f = uf2.read("out/example_xi_r_matr.uf2")
    mu, nu = f.axes            # 1-D arrays, in file order
    f.data[i, j]               # the field at mu[i], nu[j]; f.data.shape == (mu.size, nu.size)
    mu, nu, xi = uf2.read(path)   # the same, unpacked: the axes, then the data

    uf2.write("copy.uf2", (mu, nu), xi)   # kind taken from the data's dtype

The data array has one dimension per axis and Fortran index semantics: element
[i, j, k] belongs to axis values x[i], y[j], z[k]. The arrays read from a file are
new, writable and aligned; the data array is Fortran-ordered.

The format
----------
A file is a sequence of records. Each record is its payload framed by a 4-byte
little-endian signed length before and after it. A payload longer than MAX_PIECE
bytes is stored as a chain of pieces, each framed the same way; a piece's leading
length is negated when another piece follows, its trailing length is negated when
a piece precedes it. A file of rank N holds N + 3 records:

  1. the header, three ASCII characters: "U", the kind letter in upper case, the rank
     digit ("UD2" for a rank-2 file of doubles);
  2. the count of each axis, one 4-byte signed integer per axis;
  3. .. N+2. each axis in index order;
  N+3. the data, first index fastest (column-major).

Kinds: r (float32), d (float64), c (complex64), k (complex128). The axes of the
complex kinds are real (float32 for c, float64 for k). Everything is little-endian.

Reading is as lenient as ltide's own readers: a record may carry more bytes than its
counts need (the surplus is skipped), bytes after the last record are ignored, and a
negative count means an empty axis. Everything else that is wrong (a marker that
disagrees with its partner, a record cut short by the end of the file, a record too
short for its counts, an unknown header) raises FormatError naming the file and the
record.
"""

from __future__ import annotations

import errno
import os
import stat
import struct
from dataclasses import dataclass
from typing import Iterator, Sequence

import numpy as np

from . import atomic

__all__ = ["ArrayFile", "FormatError", "HeaderError", "KINDS", "MAX_PIECE",
           "read", "parse", "write", "dumps"]

# Longest payload of one framed piece: with its two markers it stays below 2^31 bytes.
MAX_PIECE = 2147483639

# kind letter -> (axis dtype, data dtype)
KINDS = {
    "r": (np.dtype("<f4"), np.dtype("<f4")),
    "d": (np.dtype("<f8"), np.dtype("<f8")),
    "c": (np.dtype("<f4"), np.dtype("<c8")),
    "k": (np.dtype("<f8"), np.dtype("<c16")),
}

_KIND_OF_DTYPE = {np.dtype("float32"): "r", np.dtype("float64"): "d",
                  np.dtype("complex64"): "c", np.dtype("complex128"): "k"}

_AXIS_NAMES = ("x", "y", "z")
_COUNT_LIMIT = 2**31  # counts are 32-bit signed integers


class FormatError(ValueError):
    """The bytes are not a valid array file; the message says where and why."""


class HeaderError(FormatError):
    """A well-framed file whose header is not the kind or rank that was asked for."""


@dataclass(frozen=True)
class ArrayFile:
    """The contents of an array file.

    kind  -- 'r', 'd', 'c' or 'k'
    rank  -- 1, 2 or 3
    axes  -- tuple of `rank` 1-D arrays (x, y[, z])
    data  -- array of shape tuple(a.size for a in axes), Fortran-ordered

    Iterating yields the axes and then the data, so `x, y, z = read(path)` works.
    """

    kind: str
    rank: int
    axes: tuple
    data: np.ndarray

    @property
    def header(self) -> str:
        return f"U{self.kind.upper()}{self.rank}"

    def __iter__(self) -> Iterator[np.ndarray]:
        yield from self.axes
        yield self.data


def _check_kind_rank(kind, rank):
    if kind is not None and kind not in KINDS:
        raise ValueError(f"unknown kind {kind!r}: expected one of r, d, c, k")
    if rank is not None and rank not in (1, 2, 3):
        raise ValueError(f"unknown rank {rank!r}: expected 1, 2 or 3")


# ---------------------------------------------------------------------------- reading

class _Bytes:
    """Random access to the bytes of a file in memory: the whole of it is one window."""

    def __init__(self, buf):
        self.buf = memoryview(buf).cast("B")
        self.size = len(self.buf)

    def window(self, offset: int):
        return self.buf, 0

    def fill(self, offset: int, dst: memoryview) -> None:
        dst[:] = self.buf[offset:offset + len(dst)]


class _File:
    """Random access to an open file. Markers and short pieces come from a window read
    in one call, so a record chained in many short pieces costs a read per window, not
    per marker; long pieces are read straight into the array's memory."""

    WINDOW = 1 << 16

    def __init__(self, fd: int, size: int):
        self.fd = fd
        self.size = size

    def window(self, offset: int):
        """(bytes, their offset in the file): the file from `offset` on, up to WINDOW bytes."""
        buf = bytearray(min(self.WINDOW, self.size - offset))
        self.fill(offset, memoryview(buf))
        return buf, offset

    def fill(self, offset: int, dst: memoryview) -> None:
        done = 0
        while done < len(dst):
            got = os.preadv(self.fd, [dst[done:]], offset + done)
            if not got:
                raise FormatError("file ends early (it was shortened while being read)")
            done += got


_MARKER = struct.Struct("<i")


def _scan_record(src, offset: int, index: int, what: str):
    """Walks the markers of the record at `offset`; returns (payload length, end).
    Reads no payload and keeps nothing per piece."""
    unpack, size = _MARKER.unpack_from, src.size
    buf, base = src.window(offset)
    top = base + len(buf)
    pos = offset
    first = True
    total = 0
    name = f"record {index} ({what})"
    while True:
        if size - pos < 4:
            if first:
                raise FormatError(f"file ends before {name}")
            raise FormatError(f"{name} is continued but the file ends")
        if pos + 4 > top:
            buf, base = src.window(pos)
            top = base + len(buf)
        lead = unpack(buf, pos - base)[0]
        # -2^31 has no positive counterpart, so it cannot be a length.
        if lead == -_COUNT_LIMIT:
            raise FormatError(f"{name} has an invalid marker {lead}")
        more = lead < 0
        length = -lead if more else lead
        if size - pos - 8 < length:
            raise FormatError(f"{name} claims {length} bytes but the file ends after "
                              f"{max(size - pos - 4, 0)}")
        at = pos + 4 + length
        if at + 4 > top:
            buf, base = src.window(at)
            top = base + len(buf)
        trail = unpack(buf, at - base)[0]
        # A continuation piece carries its length negated in the trailing marker.
        if trail != (length if first else -length):
            raise FormatError(f"{name} has mismatched markers {lead} and {trail}")
        total += length
        pos = at + 4
        first = False
        if not more:
            return total, pos


def _read_array(src, record, dtype, count: int, name: str) -> np.ndarray:
    """The first `count` elements of a scanned record's payload, as a new array. The
    record's length is checked first, so the counts alone never decide an allocation.
    `record` is (start, payload length, end); the pieces are found by walking the
    markers again, which the scan has checked."""
    start, have, _ = record
    need = count * dtype.itemsize
    if have < need:
        raise FormatError(f"{name} holds {have} bytes, {need} needed")
    out = np.empty(count, dtype=dtype)
    dst = memoryview(out).cast("B") if count else memoryview(b"")
    unpack = _MARKER.unpack_from
    buf, base = src.window(start)
    top = base + len(buf)
    done, pos = 0, start
    while done < need:
        if pos + 4 > top:
            buf, base = src.window(pos)
            top = base + len(buf)
        n = abs(unpack(buf, pos - base)[0])
        take = min(n, need - done)
        if pos + 4 + take <= top:  # short pieces from the window
            at = pos + 4 - base
            dst[done:done + take] = buf[at:at + take]
        else:
            src.fill(pos + 4, dst[done:done + take])
        done += take
        pos += 8 + n
    return out


def _scan(src, offset: int, index: int, what: str):
    """(start, payload length, end) of the record at `offset`."""
    have, end = _scan_record(src, offset, index, what)
    return (offset, have, end), end


def _parse(src, kind, rank) -> ArrayFile:
    _check_kind_rank(kind, rank)
    rec, offset = _scan(src, 0, 1, "header")
    if rec[1] < 3:
        raise FormatError(f"record 1 (header) holds {rec[1]} bytes, 3 needed")
    header = _read_array(src, rec, np.dtype("S1"), 3, "record 1 (header)").tobytes()
    if header[0:1] != b"U" or header[1:2] not in (b"R", b"D", b"C", b"K") or header[2:3] not in (b"1", b"2", b"3"):
        raise HeaderError(f"not an array-file header: {header!r}")
    file_kind, file_rank = chr(header[1]).lower(), int(chr(header[2]))
    if (kind is not None and kind != file_kind) or (rank is not None and rank != file_rank):
        want = f"U{(kind or file_kind).upper()}{rank or file_rank}"
        raise HeaderError(f"header is {header.decode()}, expected {want}")

    rec, offset = _scan(src, offset, 2, "sizes")
    raw = _read_array(src, rec, np.dtype("<i4"), file_rank, "record 2 (sizes)")
    counts = tuple(max(int(c), 0) for c in raw)

    axis_dtype, data_dtype = KINDS[file_kind]
    # Every record is scanned before any array is allocated.
    records = []
    for d in range(file_rank + 1):
        what = f"axis {_AXIS_NAMES[d]}" if d < file_rank else "data"
        rec, offset = _scan(src, offset, d + 3, what)
        records.append((rec, f"record {d + 3} ({what})"))
    elements = 1
    for c in counts:
        elements *= c
    for d, (rec, name) in enumerate(records):
        count, dtype = (counts[d], axis_dtype) if d < file_rank else (elements, data_dtype)
        if rec[1] < count * dtype.itemsize:
            raise FormatError(f"{name} holds {rec[1]} bytes, the counts need {count * dtype.itemsize}")
    axes = tuple(_read_array(src, r, axis_dtype, counts[d], name) for d, (r, name) in enumerate(records[:-1]))
    rec, name = records[-1]
    data = _read_array(src, rec, data_dtype, elements, name).reshape(counts, order="F")
    return ArrayFile(file_kind, file_rank, axes, data)


def parse(buf, kind: str | None = None, rank: int | None = None) -> ArrayFile:
    """Parses the bytes of an array file (bytes, bytearray or memoryview).

    With `kind` and/or `rank` given, a file of another kind or rank raises HeaderError;
    without them any of the twelve headers is accepted. The arrays are new and writable.
    """
    return _parse(_Bytes(buf), kind, rank)


def read(path, kind: str | None = None, rank: int | None = None) -> ArrayFile:
    """Reads an array file. See parse() for `kind` and `rank`.

    Raises FormatError (with the file name) for a damaged file, HeaderError for a file
    of another kind or rank than asked, OSError when the file cannot be opened or read,
    or is not a regular file (a FIFO, device or socket is refused without waiting on it).
    Each array is read straight into its own new memory.
    """
    name = os.fspath(path)

    def check(st):  # a FIFO, device or socket has no size to check the counts against
        if stat.S_ISDIR(st.st_mode):
            raise IsADirectoryError(errno.EISDIR, os.strerror(errno.EISDIR), name)
        if not stat.S_ISREG(st.st_mode):
            raise OSError(errno.EINVAL, "not a regular file", name)

    # Refused before opening (opening a FIFO waits for a writer, opening a device may act
    # on it), and opened non-blocking so that one put there since cannot stall the open.
    check(os.stat(path))
    fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | getattr(os, "O_CLOEXEC", 0))
    try:
        st = os.fstat(fd)
        check(st)
        os.set_blocking(fd, True)
        try:
            return _parse(_File(fd, st.st_size), kind, rank)
        except HeaderError as e:
            raise HeaderError(f"{name}: {e}") from None
        except FormatError as e:
            raise FormatError(f"{name}: {e}") from None
    finally:
        os.close(fd)


# ---------------------------------------------------------------------------- writing

def _prepare(axes: Sequence, data, kind: str | None):
    """Checks shapes and converts axes and data to the kind's little-endian types."""
    data = np.asarray(data)
    if kind is None:
        kind = _KIND_OF_DTYPE.get(data.dtype.newbyteorder("="))
        if kind is None:
            raise TypeError(f"cannot tell the kind of {data.dtype} data: pass kind='r', 'd', 'c' or 'k'")
    _check_kind_rank(kind, None)
    rank = data.ndim
    if rank not in (1, 2, 3):
        raise ValueError(f"data has {rank} dimensions: an array file holds 1, 2 or 3")
    if len(axes) != rank:
        raise ValueError(f"{len(axes)} axes given for data of rank {rank}")
    axis_dtype, data_dtype = KINDS[kind]
    out_axes = []
    for d, a in enumerate(axes):
        a = np.asarray(a)
        if a.ndim != 1:
            raise ValueError(f"axis {_AXIS_NAMES[d]} is not one-dimensional")
        if np.iscomplexobj(a):
            raise TypeError(f"axis {_AXIS_NAMES[d]} is complex: axes are real")
        if a.size != data.shape[d]:
            raise ValueError(f"axis {_AXIS_NAMES[d]} has {a.size} values but data extent {d + 1} "
                             f"is {data.shape[d]}")
        if a.size >= _COUNT_LIMIT:
            raise ValueError(f"axis {_AXIS_NAMES[d]} has {a.size} values, more than a 32-bit count holds")
        out_axes.append(np.ascontiguousarray(a, dtype=axis_dtype))
    if np.iscomplexobj(data) and kind in "rd":
        raise TypeError(f"complex data cannot be written as kind {kind!r}")
    data = np.asfortranarray(data, dtype=data_dtype)
    return kind, rank, out_axes, data


def _records(kind, rank, axes, data):
    """The payloads of the file's records, as buffers (no copy of the arrays)."""
    yield f"U{kind.upper()}{rank}".encode()
    yield np.array([a.size for a in axes], dtype="<i4").tobytes()
    for a in axes:
        yield memoryview(a).cast("B")
    # A Fortran-ordered array reshaped in Fortran order is a view of the same memory.
    yield memoryview(data.reshape(-1, order="F")).cast("B") if data.size else b""


def _framed(payload, piece: int):
    """Splits one payload into framed pieces; yields byte strings and buffers."""
    n = len(payload)
    done = 0
    while True:
        length = min(piece, n - done)
        first, last = done == 0, done + length == n
        yield (-length if not last else length).to_bytes(4, "little", signed=True)
        if length:
            yield payload[done:done + length]
        yield (-length if not first else length).to_bytes(4, "little", signed=True)
        done += length
        if done >= n:
            return


def _check_piece(piece: int):
    if not 1 <= piece <= MAX_PIECE:
        raise ValueError(f"piece length {piece} outside 1 .. {MAX_PIECE}")


def dumps(axes: Sequence, data, kind: str | None = None, piece: int = MAX_PIECE) -> bytes:
    """The bytes of the array file that write() would write."""
    _check_piece(piece)
    kind, rank, axes, data = _prepare(axes, data, kind)
    return b"".join(bytes(p) for rec in _records(kind, rank, axes, data) for p in _framed(rec, piece))


def write(path, axes: Sequence, data, kind: str | None = None, piece: int = MAX_PIECE) -> None:
    """Writes an array file.

    axes  -- sequence of 1-D arrays, one per dimension of `data`
    data  -- 1-, 2- or 3-dimensional array; data[i, j] belongs to axes[0][i], axes[1][j]
    kind  -- 'r', 'd', 'c' or 'k'; by default taken from data's dtype (float32, float64,
             complex64, complex128). Given explicitly, axes and data are converted to it.
    piece -- longest payload of one framed piece (records longer than that are chained);
             only tests need anything but the default.

    The file is written under a temporary name in the same directory and renamed over
    `path` when complete, so a reader never sees half a file and a failed write leaves
    the old file as it was. An existing file keeps its permission bits.
    """
    _check_piece(piece)
    kind, rank, axes, data = _prepare(axes, data, kind)
    with atomic.replace(path) as f:
        for rec in _records(kind, rank, axes, data):
            for part in _framed(rec, piece):
                f.write(part)
