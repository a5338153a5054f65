"""Splits an ltide scan into independent runs, one shell command per line.

    ltide-chunks --chunks 8 out/scan 2 0 1.0 -20 20 801 201 100 > plan.txt
    parallel -j 8 --halt now,fail=1 < plan.txt        # one machine (GNU parallel)
    sbatch --array=1-$(wc -l < plan.txt) tools/ltide-slurm.sh plan.txt   # a cluster
    ltide-join out/scan out/scan_c*                   # afterwards

The arguments are those of ltide, except that M and K may be comma-separated lists
(every pair of m and k is a scan of its own). Each line runs ltide on one chunk of
the spin-parameter grid, writes its table and saves its report lines:

    ltide --table=out/scan_m2_k0_c003.tab out/scan_m2_k0_c003 2 0 1.0 <nu_a> <nu_b> <points> 201 100 \
        > out/scan_m2_k0_c003.txt

With one m and one k the chunk prefixes are PREFIX_cNNN. With --threads T every line
passes --threads=T, so that C chunks side by side use C * T cores (without it, the
program picks its own count; ltide-slurm.sh then gives each task the CPUs Slurm
allotted it). Neighbouring chunks share
their end point (joining drops the copy), and the chunk bounds are the single run's
own grid values, written so that ltide reads back the same doubles: chunk ends lie
exactly on the single run's grid. Interior points agree with the single run to about
1e-7 of the scan's width; when n_nu - 1 and every chunk's point count less one are
powers of two and the bounds are multiples of a power of two, they agree bit for bit.
"""

import argparse
import os
import shlex
import sys

import numpy as np


def grid_value(j, n_nu, nu_min, nu_max):
    """nu at 0-based index j, formed as the program forms it: the fraction in single
    precision, widened, then difference, product and sum in double precision."""
    if n_nu <= 1:
        return nu_min
    t = float(np.float32(j) / np.float32(n_nu - 1))
    return nu_min + t * (nu_max - nu_min)


def chunk_bounds(n_nu, chunks):
    """0-based (first, last) grid indices of each chunk; neighbours share an end."""
    if n_nu <= 1:
        return [(0, 0)] if n_nu == 1 else []
    chunks = max(1, min(chunks, n_nu - 1))
    edges = [c * (n_nu - 1) // chunks for c in range(chunks + 1)]
    return list(zip(edges[:-1], edges[1:]))


def real_arg(text):
    return float(text.replace("D", "E").replace("d", "e"))


def int_list(text):
    return [int(v) for v in text.split(",")]


def parse_args(argv):
    p = argparse.ArgumentParser(prog="ltide-chunks", description=__doc__.split("\n\n")[0],
                                formatter_class=argparse.RawDescriptionHelpFormatter,
                                epilog="\n\n".join(__doc__.split("\n\n")[1:]))
    size = p.add_mutually_exclusive_group()
    size.add_argument("--chunks", type=int, help="chunks per (m, k) scan (default: number of CPUs, "
                                                   "divided by --threads)")
    size.add_argument("--points", type=int, help="at most this many spin parameters per chunk")
    p.add_argument("--ltide", default="ltide", help="the program to run (default: ltide on PATH)")
    p.add_argument("--solver", choices=("ql", "fast"), help="the eigen-solver each chunk uses (default: ql)")
    p.add_argument("--threads", type=int, help="threads of each chunk's run (default: the program's own "
                                                "choice); also divides the default number of chunks")
    p.add_argument("prefix")
    p.add_argument("m", type=int_list, help="azimuthal order(s), e.g. 2 or 1,2,3")
    p.add_argument("k", type=int_list, help="mode index(es), e.g. 0 or 0,1,-1")
    p.add_argument("A")
    p.add_argument("nu_min")
    p.add_argument("nu_max")
    p.add_argument("n_nu", type=int)
    p.add_argument("n_mu")
    p.add_argument("n")
    p.add_argument("lflag", nargs="?")
    args = p.parse_args(argv)
    if args.chunks is not None and args.chunks < 1 or args.points is not None and args.points < 2:
        p.error("--chunks must be at least 1 and --points at least 2")
    if args.threads is not None and args.threads < 1:
        p.error("--threads must be at least 1")
    return args


def main(argv=None):
    args = parse_args(argv)
    nu_min, nu_max = real_arg(args.nu_min), real_arg(args.nu_max)
    if args.points:
        chunks = -(-(args.n_nu - 1) // (args.points - 1))
    else:
        # As many chunks as fit on this machine side by side.
        chunks = args.chunks or max(1, (os.cpu_count() or 1) // (args.threads or 1))
    bounds = chunk_bounds(args.n_nu, chunks)
    pairs = [(m, k) for m in args.m for k in args.k]
    for m, k in pairs:
        base = args.prefix if len(pairs) == 1 else f"{args.prefix}_m{m}_k{k}"
        for c, (first, last) in enumerate(bounds):
            prefix = f"{base}_c{c:03d}"
            options = ([f"--table={prefix}.tab"] + ([f"--solver={args.solver}"] if args.solver else [])
                       + ([f"--threads={args.threads}"] if args.threads else []))
            words = [args.ltide, *options, "--", prefix, str(m), str(k), args.A,
                     repr(grid_value(first, args.n_nu, nu_min, nu_max)),
                     repr(grid_value(last, args.n_nu, nu_min, nu_max)),
                     str(last - first + 1), args.n_mu, args.n]
            if args.lflag is not None:
                words.append(args.lflag)
            print(" ".join(shlex.quote(w) for w in words) + " > " + shlex.quote(prefix + ".txt"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
