"""Draws the results of an ltide run as PNG pictures.

    ltide-plot out/example

reads out/example_xi_*.uf2, the table out/example.tab (written with --table) or else the
saved report lines out/example.txt when present, and writes
    out/example-fields.png   the three displacement fields against mu at a few spin
                             parameters, matrix solution solid, asymptotic dashed;
    out/example-maps.png     each field of both solutions over the (nu, mu) plane;
    out/example-lambda.png   lambda_matr and lambda_beta against nu, on a symmetric
                             logarithmic axis, with the status bits of each step
                             (needs the table or the report lines).
m, k and n for the titles come from the table; --m, --k and --n give or override them.
"""

import argparse
import os
import sys
import warnings

import numpy as np
import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt
from matplotlib.lines import Line2D
from matplotlib.ticker import MaxNLocator, ScalarFormatter

from . import run as ltide_run

COMPONENTS = (("r", r"$\xi_r$", "radial"), ("t", r"$\xi_\theta$", "colatitudinal"),
              ("p", r"$\xi_\phi$", "azimuthal"))
MU_LABEL = r"$\mu = \cos\theta$"
NU_LABEL = r"spin parameter $\nu$"


def run_title(args, prefix):
    """'m = 2, k = 0, n = 100' from the options, else the prefix's name."""
    parts = [f"{name} = {value}" for name, value in (("m", args.m), ("k", args.k), ("n", args.n))
             if value is not None]
    return ", ".join(parts) if parts else os.path.basename(os.fspath(prefix))


def missing_columns(run, report, solution):
    """Steps whose fields of one solution ('matr' or 'beta') were set to zero because
    the solution failed: a singular step, or a failed asymptotic solution."""
    if report is not None and report.table.size == run.nu.size:
        if solution == "matr":
            return (report.table["flag_matr"] & 1) != 0
        return (report.table["flag_beta"] & ~4) != 0
    name = f"xi_r_{solution}"
    if name in run.fields:
        return ~np.any(run.fields[name] != 0, axis=0)
    return np.ones(run.nu.size, bool)


def choose_columns(run, report, wanted, count=4):
    """Grid columns nearest to the wanted spin parameters, or `count` columns spread
    evenly over the steps where both solutions exist (over those where the matrix
    solution exists, when fewer have both)."""
    if wanted:
        cols = [int(np.argmin(np.abs(run.nu - v))) for v in wanted]
    else:
        matr = ~missing_columns(run, report, "matr")
        both = matr & ~missing_columns(run, report, "beta")
        candidates = np.flatnonzero(both)
        if candidates.size < count:
            candidates = np.flatnonzero(matr)
        if candidates.size == 0:
            candidates = np.arange(run.nu.size)
        picks = np.linspace(0, candidates.size - 1, min(count, candidates.size))
        cols = [int(candidates[int(round(p))]) for p in picks]
    return list(dict.fromkeys(cols))  # in order, without repeats


def fmt_nu(v):
    return f"{v:.4g}"


def plot_fields(run, report, args, out):
    cols = choose_columns(run, report, args.nu)
    missing = missing_columns(run, report, "beta")
    fig = plt.figure(figsize=(15, 5.5), constrained_layout=True)
    gs = fig.add_gridspec(2, 3, height_ratios=[1, 0.07])
    axes = [fig.add_subplot(gs[0, i]) for i in range(3)]
    legend_ax = fig.add_subplot(gs[1, :])
    legend_ax.axis("off")
    colors = plt.get_cmap("tab10").colors
    for ax, (c, label, what) in zip(axes, COMPONENTS):
        for i, j in enumerate(cols):
            color = colors[i % len(colors)]
            matr, beta = run.fields.get(f"xi_{c}_matr"), run.fields.get(f"xi_{c}_beta")
            if matr is not None:
                ax.plot(run.mu, matr[:, j], color=color, lw=1.6)
            if beta is not None and not missing[j]:
                ax.plot(run.mu, beta[:, j], color=color, lw=1.6, ls="--")
        ax.axhline(0, color="0.8", lw=0.8, zorder=0)
        ax.set_title(f"{label}  ({what})")
        ax.set_xlabel(MU_LABEL)
        ax.set_xlim(-1, 1)
        ax.grid(alpha=0.3)
    axes[0].set_ylabel("displacement (normalised)")
    handles = [Line2D([], [], color=colors[i % len(colors)], lw=2,
                      label=r"$\nu$ = " + fmt_nu(run.nu[j]) + (" (no asymptotic)" if missing[j] else ""))
               for i, j in enumerate(cols)]
    handles += [Line2D([], [], color="k", lw=1.6, label="matrix solution"),
                Line2D([], [], color="k", lw=1.6, ls="--", label="asymptotic solution")]
    legend_ax.legend(handles=handles, loc="center", ncol=len(handles), frameon=False)
    fig.suptitle(f"ltide {run_title(args, args.prefix)}: displacement fields against {MU_LABEL}, "
                 + norm_note(args))
    fig.savefig(out, dpi=args.dpi)
    plt.close(fig)


def norm_note(args):
    if args.k is None:
        return r"normalised to A at the equator ($\xi_r$ or $d\xi_r/d\mu$)"
    return (r"normalised to $\xi_r(0) = A$" if abs(args.k) % 2 == 0
            else r"normalised to $d\xi_r/d\mu\,(0) = A$")


def clean_columns(run, report):
    """Per solution, the steps that carry no status bit at all (None without a report)."""
    if report is None or report.table.size != run.nu.size:
        return None
    return {"matr": report.table["flag_matr"] == 0, "beta": report.table["flag_beta"] == 0}


def colour_limit(pair, clean):
    """Symmetric colour limit for one field of both solutions, and whether some values
    lie beyond it: the 95th percentile of the largest value of each step, taken over the
    steps without status bits when a report tells them. A step near a breakdown of a
    solution can be orders of magnitude larger than the rest and would wash them out."""
    peaks = []
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", RuntimeWarning)  # a step of NaN only
        for data, s in zip(pair, ("matr", "beta")):
            if data is None or data.size == 0:
                continue
            p = np.nanmax(np.abs(np.where(np.isfinite(data), data, np.nan)), axis=0)
            peaks.append(p[clean[s]] if clean is not None else p)
    peaks = np.concatenate(peaks) if peaks else np.zeros(0)
    peaks = peaks[np.isfinite(peaks) & (peaks > 0)]
    if peaks.size == 0:
        return 1.0, False
    vmax = float(np.percentile(peaks, 95))
    everything = [np.abs(d[np.isfinite(d)]) for d in pair if d is not None and d.size]
    largest = max((float(e.max()) for e in everything if e.size), default=0.0)
    return vmax, largest > vmax


def edges(x):
    """Cell edges around the grid values (half-way between neighbours)."""
    x = np.asarray(x, float)
    if x.size == 1:
        return np.array([x[0] - 0.5, x[0] + 0.5])
    mid = (x[:-1] + x[1:]) / 2
    return np.concatenate([[x[0] - (mid[0] - x[0])], mid, [x[-1] + (x[-1] - mid[-1])]])


def plot_maps(run, report, args, out):
    missing = {s: missing_columns(run, report, s) for s in ("matr", "beta")}
    clean = clean_columns(run, report)
    fig, axes = plt.subplots(2, 3, figsize=(15, 8), sharex=True, sharey=True, constrained_layout=True)
    nu_edges, mu_edges = edges(run.nu), edges(run.mu)
    for col, (c, label, what) in enumerate(COMPONENTS):
        pair = [run.fields.get(f"xi_{c}_{s}") for s in ("matr", "beta")]
        vmax, clipped = colour_limit(pair, clean)
        for row, (data, s, name) in enumerate(zip(pair, ("matr", "beta"), ("matrix", "asymptotic"))):
            ax = axes[row, col]
            if data is None:
                ax.text(0.5, 0.5, "file missing", ha="center", va="center", transform=ax.transAxes)
                continue
            mesh = ax.pcolormesh(nu_edges, mu_edges, data, cmap="RdBu_r", vmin=-vmax, vmax=vmax,
                                 shading="flat", rasterized=True)
            for j in np.flatnonzero(missing[s]):
                ax.axvspan(nu_edges[j], nu_edges[j + 1], color="0.7", lw=0)
            ax.set_title(f"{label}, {name} solution")
            if row == 1:
                ax.set_xlabel(NU_LABEL)
            if col == 0:
                ax.set_ylabel(MU_LABEL)
        bar = fig.colorbar(mesh, ax=axes[:, col], location="bottom", shrink=0.8, aspect=30,
                           extend="both" if clipped else "neither",
                           label=f"{label} (normalised)" + (", colour scale clipped" if clipped else ""))
        bar.ax.xaxis.set_major_locator(MaxNLocator(5, symmetric=True))
        formatter = ScalarFormatter(useMathText=True)
        formatter.set_powerlimits((-3, 4))
        bar.ax.xaxis.set_major_formatter(formatter)
    grey = missing["matr"].any() or missing["beta"].any()
    fig.suptitle(f"ltide {run_title(args, args.prefix)}: fields over ({NU_LABEL}, {MU_LABEL})"
                 + ("; grey: no solution at that step" if grey else ""))
    fig.savefig(out, dpi=args.dpi)
    plt.close(fig)


def plot_lambda(report, args, out):
    t = report.table
    nu = t["nu"]
    # One row per status bit that occurs, marked at the steps that carry it.
    rows = [(f"matrix bit {bit}\n{text}", t["flag_matr"] & bit, "C0")
            for bit, text in ltide_run.MATR_BITS.items() if np.any(t["flag_matr"] & bit)]
    rows += [(f"asymptotic bit {bit}\n{text}", t["flag_beta"] & bit, "C3")
             for bit, text in ltide_run.BETA_BITS.items() if np.any(t["flag_beta"] & bit)]
    strip = 0.45 * max(len(rows), 1) + 0.6
    fig, (ax, flags) = plt.subplots(2, 1, figsize=(11, 5.5 + strip), sharex=True, constrained_layout=True,
                                    gridspec_kw={"height_ratios": [5.5, strip]})

    # A step whose solution failed reports lambda 0: leave it out of the curve.
    lm = np.where(t["flag_matr"] & 1, np.nan, t["lambda_matr"])
    lb = np.where(t["flag_beta"] & ~4, np.nan, t["lambda_beta"])
    ax.plot(nu, lm, "-", color="C0", lw=1.6, marker=".", ms=4, label=r"$\lambda_\mathrm{matr}$ (matrix solution)")
    ax.plot(nu, lb, "--", color="C3", lw=1.6, label=r"$\lambda_\mathrm{beta}$ (asymptotic solution)")
    finite = np.concatenate([v[np.isfinite(v)] for v in (lm, lb)])
    if finite.size and np.all(finite >= 1):
        ax.set_yscale("log")
        ax.set_ylabel(r"eigenvalue $\lambda$  (log scale)")
    else:
        # Eigenvalues of both signs, or near zero: logarithmic beyond |lambda| = 1.
        ax.set_yscale("symlog", linthresh=1.0)
        ax.axhline(0, color="0.6", lw=0.8)
        ax.set_ylabel(r"eigenvalue $\lambda$  (symmetric log scale, linear for $|\lambda| < 1$)")
    ax.grid(alpha=0.3, which="major")
    ax.legend(loc="best")
    ax.set_title(f"ltide {run_title(args, args.prefix)}: eigenvalue against spin parameter")

    for y, (label, on, color) in enumerate(rows):
        flags.plot(nu[on != 0], np.full(np.count_nonzero(on), y), "|", color=color, ms=10, mew=2)
    if rows:
        flags.set_yticks(range(len(rows)), [r[0] for r in rows], fontsize=8)
        flags.set_ylim(len(rows) - 0.5, -0.5)
    else:
        flags.set_yticks([])
        flags.text(0.5, 0.5, "no status bit set at any step", ha="center", va="center",
                   transform=flags.transAxes)
    flags.set_title("status bits of each step (report items 8 and 9)", fontsize=10)
    flags.set_xlabel(NU_LABEL)
    flags.grid(axis="x", alpha=0.3)
    fig.savefig(out, dpi=args.dpi)
    plt.close(fig)


def parse_args(argv):
    p = argparse.ArgumentParser(
        prog="ltide-plot", description=__doc__.split("\n\n")[0],
        epilog="Writes PREFIX-fields.png, PREFIX-maps.png and PREFIX-lambda.png (the last one "
               "only when report lines are found).")
    p.add_argument("prefix", help="output prefix of the run (as given to ltide)")
    p.add_argument("report", nargs="?", help="saved report lines (default: PREFIX.txt if it exists)")
    p.add_argument("--table", help="table of the run (default: PREFIX.tab if it exists); gives m, k, n "
                                   "and the exact eigenvalues and status bits")
    p.add_argument("-o", "--output", help="prefix of the pictures (default: PREFIX)")
    p.add_argument("--nu", type=lambda s: [float(v) for v in s.split(",")],
                   help="spin parameters for the field curves, comma separated, nearest grid points "
                        "(write --nu=-5,5 when the first is negative)")
    p.add_argument("--m", type=int, help="azimuthal order of the run, for the titles (default: from the table)")
    p.add_argument("--k", type=int, help="mode index of the run, for the titles (default: from the table)")
    p.add_argument("--n", type=int, help="number of basis functions of the run, for the titles "
                                         "(default: from the table)")
    p.add_argument("--dpi", type=int, default=100, help="resolution (default 100)")
    return p.parse_args(argv)


def main(argv=None):
    args = parse_args(argv)
    prefix = args.prefix
    out = args.output or prefix
    report_path = args.report or (prefix + ".txt" if os.path.exists(prefix + ".txt") else None)
    table_path = args.table or (prefix + ".tab" if not args.report and os.path.exists(prefix + ".tab") else None)
    written = []
    try:
        if table_path:
            # The table's exact values stand in for the report lines.
            table = ltide_run.read_table(table_path)
            report, report_path = ltide_run.report_of_table(table), table_path
            for name in ("m", "k", "n"):
                if getattr(args, name) is None:
                    setattr(args, name, table.parameters[name])
        else:
            report = ltide_run.read_report(report_path) if report_path else None
        run = ltide_run.read_fields(prefix, required=False)
        if run is None and report is None:
            raise ValueError(f"no field files {prefix}_xi_*.uf2, no table {prefix}.tab and no report lines "
                             f"{prefix}.txt")
        if run is not None and report is not None and report.table.size != run.nu.size:
            print(f"ltide-plot: {report_path} has {report.table.size} lines but the files have "
                  f"{run.nu.size} spin parameters; status bits not used for the fields", file=sys.stderr)
        if run is not None:
            plot_fields(run, report, args, out + "-fields.png")
            plot_maps(run, report, args, out + "-maps.png")
            written += [out + "-fields.png", out + "-maps.png"]
        if report is not None and report.table.size:
            plot_lambda(report, args, out + "-lambda.png")
            written.append(out + "-lambda.png")
    except (OSError, ValueError) as e:
        print(f"ltide-plot: {e}", file=sys.stderr)
        return 1
    for w in written:
        print(w)
    return 0


if __name__ == "__main__":
    sys.exit(main())
