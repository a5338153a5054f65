"""Joins the chunks of a split ltide scan into one file set along the nu axis.

    ltide-join out/scan out/scan_c*

reads, for every chunk prefix, the six field files CHUNK_xi_*.uf2, the saved report
lines CHUNK.txt and the table CHUNK.tab (any of them may be absent, but the same for
every chunk), and writes OUT_xi_*.uf2, OUT.txt and OUT.tab as one run over the whole
grid would have.

Rules:
  * The chunks may be given in any order: they are sorted along nu, ascending or
    descending as the chunks run (all chunks of more than one point must agree).
  * The mu axis must be the same bit for bit in every file of every chunk.
  * Where a chunk starts at the point where the previous one ends (within TOL of a
    grid step), the point is kept once, from the earlier chunk.
  * Chunks that overlap by more than that point are an error.
  * A seam whose spacing is not one grid step (within TOL) is a gap (missing points,
    or chunks of different spacing): a warning, or an error with --strict.
  * With field files, a chunk's report must have one line per spin parameter, with
    nu agreeing to the six digits it is printed with; a chunk's table must have one
    row per spin parameter, with nu the same double as in the files (or as printed in
    the report to six digits).
  * With tables, every parameter but the nu range (m, k, A, n_mu, n, lflag) must be
    the same in every chunk. The joined table records them, nu_min of the first chunk
    and nu_max of the last, and the number of rows as n_nu.
A chunk's nu values are those the chunk was computed at: interior points of chunks
can differ from a single run's grid in the last bits (see docs/scaling.md).
"""

import argparse
import os
import shlex
import sys

import numpy as np

from . import atomic
from . import run as ltide_run
from . import uf2


class JoinError(Exception):
    pass


class Chunk:
    def __init__(self, prefix):
        self.prefix = prefix
        present = [os.path.exists(ltide_run.field_file(prefix, f)) for f in ltide_run.FIELDS]
        if any(present) and not all(present):
            missing = [f for f, p in zip(ltide_run.FIELDS, present) if not p]
            raise JoinError(f"{prefix}: field files missing: {', '.join(missing)}")
        self.has_fields = all(present)
        self.report_path = prefix + ".txt"
        self.report = ltide_run.read_report(self.report_path) if os.path.exists(self.report_path) else None
        self.table_path = prefix + ".tab"
        self.table = ltide_run.read_table(self.table_path) if os.path.exists(self.table_path) else None
        if self.has_fields:
            # One file gives the axes; every other file is checked against them when joined.
            self.mu, self.nu = uf2.read(ltide_run.field_file(prefix, ltide_run.FIELDS[0]), "d", 2).axes
        elif self.table is not None:
            self.mu, self.nu = None, self.table.table["nu"]
        elif self.report is not None:
            self.mu, self.nu = None, self.report.table["nu"]
        else:
            raise JoinError(f"{prefix}: neither field files {prefix}_xi_*.uf2, report lines {prefix}.txt "
                            f"nor table {prefix}.tab")
        if self.table is not None:
            tab = self.table.table["nu"]
            if tab.size != self.nu.size:
                raise JoinError(f"{self.table_path} has {tab.size} rows but {prefix} has {self.nu.size} "
                                f"spin parameters")
            if tab.tobytes() != self.nu.tobytes():
                raise JoinError(f"{self.table_path}: rows do not belong to the files of {prefix}")
        if self.report is not None and (self.has_fields or self.table is not None):
            rep = self.report.table["nu"]
            if rep.size != self.nu.size:
                raise JoinError(f"{self.report_path} has {rep.size} report lines but {prefix} "
                                f"has {self.nu.size} spin parameters")
            # Printed as 0.dddddd times a power of ten: within half a unit of the sixth
            # digit, at most 5e-6 of the value (mantissa 0.1).
            if not np.all(np.abs(rep - self.nu) <= 5.0001e-6 * np.abs(self.nu) + 1e-300):
                raise JoinError(f"{self.report_path}: report lines do not belong to the "
                                f"{'files' if self.has_fields else 'table'} of {prefix}")

    @property
    def first(self):
        return self.nu[0]

    @property
    def last(self):
        return self.nu[-1]

    def step(self):
        """Average spacing (signed), or None for a single point."""
        return (self.last - self.first) / (self.nu.size - 1) if self.nu.size > 1 else None


def plan(chunks, tol, strict, warn):
    """Sorts the chunks along nu and decides, per chunk, how many leading points to drop."""
    chunks = [c for c in chunks if c.nu.size > 0]
    if not chunks:
        raise JoinError("every chunk is empty")
    directions = {np.sign(c.step()) for c in chunks if c.step()}
    if len(directions) > 1:
        raise JoinError("some chunks run up in nu and others down")
    direction = directions.pop() if directions else 1.0
    chunks.sort(key=lambda c: direction * c.first)
    steps = [abs(c.step()) for c in chunks if c.step()]
    typical = float(np.median(steps)) if steps else None
    drops = [0]
    for a, b in zip(chunks, chunks[1:]):
        gap = direction * (b.first - a.last)
        local = [abs(s) for s in (a.step(), b.step()) if s]
        step = float(np.mean(local)) if local else typical
        where = f"{a.prefix} ends at nu = {a.last!r}, {b.prefix} starts at nu = {b.first!r}"
        if step is None:  # single points only: nothing to measure a step by
            if gap <= 0:
                raise JoinError(f"chunks overlap or repeat a point: {where}")
            drops.append(0)
            continue
        if abs(gap) <= tol * step:
            drops.append(1)
        elif gap < 0:
            raise JoinError(f"chunks overlap: {where}")
        else:
            drops.append(0)
            if abs(gap - step) > tol * step:
                message = f"gap of {gap / step:.6g} grid steps: {where}"
                if strict:
                    raise JoinError(message)
                warn(f"warning: {message}")
    return chunks, drops


def chunk_prefix(name):
    """The chunk prefix of a prefix or of one of its files (so that a shell pattern such
    as out/scan_c* may name them)."""
    for suffix in [".txt", ".tab"] + [f"_{f}.uf2" for f in ltide_run.FIELDS]:
        if name.endswith(suffix):
            return name[:-len(suffix)]
    return name


# Parameters that every chunk of one scan shares: all but the nu range.
SHARED_PARAMETERS = ("m", "k", "A", "n_mu", "n", "lflag", "solver")


def check_parameters(chunks):
    first = chunks[0]
    for c in chunks[1:]:
        for name in SHARED_PARAMETERS:
            # Tables without a solver line come from the default solver.
            this, that = c.table.texts.get(name, "ql"), first.table.texts.get(name, "ql")
            if this != that:
                raise JoinError(f"chunks of different runs: {name} = {this} in {c.table_path} "
                                f"but {that} in {first.table_path}")


def joined_table(chunks, drops, command_line):
    first, last = chunks[0].table, chunks[-1].table
    rows = [line for c, d in zip(chunks, drops) for line in c.table.lines[d:]]
    texts = dict(first.texts, nu_max=last.texts["nu_max"], n_nu=str(len(rows)))
    return ([f"# {first.version}", f"# command line: {command_line}"]
            + [f"# {name} = {texts[name]}" for name in ltide_run.TABLE_PARAMETERS]
            + [f"# solver = {texts['solver']}" for _ in [0] if "solver" in texts]
            + ["# " + " ".join(ltide_run.TABLE_COLUMNS)] + rows)


def join(out, names, tol=1e-3, strict=False, warn=lambda m: print(f"ltide-join: {m}", file=sys.stderr),
         command_line="ltide-join"):
    """Joins the chunks (prefixes or their files) into `out`; returns a one-line summary."""
    prefixes = list(dict.fromkeys(chunk_prefix(n) for n in names))
    if os.path.abspath(out) in {os.path.abspath(p) for p in prefixes}:
        raise JoinError("the output prefix is one of the chunks")
    chunks = [Chunk(p) for p in prefixes]
    for what, attr in (("field files", "has_fields"), ("report lines", "report"), ("tables", "table")):
        have = [bool(getattr(c, attr)) for c in chunks]
        if any(have) and not all(have):
            raise JoinError(f"{what} missing for {', '.join(c.prefix for c, h in zip(chunks, have) if not h)}")
    if chunks[0].table is not None:
        check_parameters(chunks)
    chunks, drops = plan(chunks, tol, strict, warn)

    if chunks[0].has_fields:
        mu = chunks[0].mu
        for c in chunks:
            if c.mu.tobytes() != mu.tobytes():
                raise JoinError(f"{c.prefix}: mu axis differs from that of {chunks[0].prefix}")
        nu = np.concatenate([c.nu[d:] for c, d in zip(chunks, drops)])
        # One field at a time, so that memory holds one joined field, not six.
        for name in ltide_run.FIELDS:
            parts = []
            for c, d in zip(chunks, drops):
                path = ltide_run.field_file(c.prefix, name)
                f = uf2.read(path, "d", 2)
                if f.axes[0].tobytes() != mu.tobytes() or f.axes[1].tobytes() != c.nu.tobytes():
                    raise JoinError(f"{path}: axes differ from those of {ltide_run.field_file(c.prefix, ltide_run.FIELDS[0])}")
                parts.append(f.data[:, d:])
            uf2.write(ltide_run.field_file(out, name), (mu, nu), np.concatenate(parts, axis=1))
    if chunks[0].report is not None:
        lines = [line for c, d in zip(chunks, drops) for line in c.report.lines[d:]]
        atomic.write_lines(out + ".txt", lines)
    if chunks[0].table is not None:
        atomic.write_lines(out + ".tab", joined_table(chunks, drops, command_line))
    count = sum(c.nu.size - d for c, d in zip(chunks, drops))
    ends = (chunks[0].first, chunks[-1].last)
    return (f"joined {len(chunks)} chunks into {out}: {count} spin parameters from {ends[0]:.6g} "
            f"to {ends[1]:.6g} ({sum(drops)} shared points kept once)")


def main(argv=None):
    p = argparse.ArgumentParser(prog="ltide-join", description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter,
                                epilog="\n\n".join(__doc__.split("\n\n")[1:]))
    p.add_argument("out", help="prefix of the joined files")
    p.add_argument("chunks", nargs="+", help="prefixes of the chunks, or any of their files (any order)")
    p.add_argument("--tol", type=float, default=1e-3,
                   help="fraction of a grid step within which two nu values are the same point and a "
                        "seam counts as one step (default 1e-3)")
    p.add_argument("--strict", action="store_true", help="a gap between chunks is an error")
    args = p.parse_args(argv)
    try:
        command_line = shlex.join(["ltide-join"] + (sys.argv[1:] if argv is None else list(argv)))
        print(join(args.out, args.chunks, args.tol, args.strict, command_line=command_line), file=sys.stderr)
    except (JoinError, OSError, ValueError) as e:
        print(f"ltide-join: {e}", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
