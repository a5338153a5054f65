"""Files replaced whole or not at all.

    with atomic.replace("out/scan.tab", "w") as f:
        f.write(...)

writes to a temporary file in the same directory and renames it over the path only when
the block ends without an exception, so a reader never sees half a file and a failed
write leaves the old file as it was. An existing file keeps its permission bits; a new
one gets 0666 less the umask, as open() would give it.
"""

from __future__ import annotations

import contextlib
import os
import tempfile

__all__ = ["replace", "write_lines"]


def _mode_for(path: str) -> int:
    try:
        return os.stat(path).st_mode & 0o7777
    except FileNotFoundError:
        umask = os.umask(0)
        os.umask(umask)
        return 0o666 & ~umask


@contextlib.contextmanager
def replace(path, mode: str = "wb"):
    """Opens a temporary sibling of `path` for writing (`mode` "wb" or "w") and renames it
    over `path` when the block completes; removes it when the block raises."""
    if mode not in ("wb", "w"):
        raise ValueError(f"mode {mode!r}: 'w' or 'wb' expected")
    path = os.fspath(path)
    directory = os.path.dirname(path) or "."
    permissions = _mode_for(path)
    fd, tmp = tempfile.mkstemp(prefix="." + os.path.basename(path) + ".", dir=directory)
    try:
        with os.fdopen(fd, mode) as f:
            yield f
            f.flush()
            os.fchmod(f.fileno(), permissions)
        os.replace(tmp, path)
    except BaseException:
        with contextlib.suppress(FileNotFoundError):
            os.unlink(tmp)
        raise


def write_lines(path, lines) -> None:
    """Writes text lines (without their line ends) to `path` atomically."""
    with replace(path, "w") as f:
        f.writelines(line + "\n" for line in lines)
