"""The output of one ltide run, read with numpy: its six field files and its report lines.

    from ltide import run as ltide_run
    run = ltide_run.read_fields("out/example")     # the six files out/example_xi_*.uf2
    run.mu, run.nu, run.fields["xi_r_matr"]        # field[i, j] at mu[i], nu[j]
    rep = ltide_run.read_report("out/example.txt") # the saved standard output
    rep.table["lambda_matr"], rep.table["flag_beta"]
    tab = ltide_run.read_table("out/example.tab")  # written with --table=out/example.tab
    tab.parameters["m"], tab.table["lambda_matr"]  # every double exactly

A report line has nine items: nu, lambda_matr, lambda_beta, the signed
log10(|lambda| + 1) of both, i_mode, the Hermite order nh and the two status bit sets.
"""

from __future__ import annotations

import os
import re
from dataclasses import dataclass

import numpy as np

from . import uf2

# The six files, in the order the program writes them.
FIELDS = ("xi_r_matr", "xi_t_matr", "xi_p_matr", "xi_r_beta", "xi_t_beta", "xi_p_beta")

REPORT_COLUMNS = ("nu", "lambda_matr", "lambda_beta", "log_matr", "log_beta",
                  "i_mode", "nh", "flag_matr", "flag_beta")
REPORT_DTYPE = np.dtype([(name, "f8") for name in REPORT_COLUMNS[:5]]
                        + [(name, "i8") for name in REPORT_COLUMNS[5:]])

# What each status bit means.
MATR_BITS = {
    1: "singular spin parameter: eigen-solution skipped",
    2: "k < 0 and |nu| < 1",
    4: "normalisation value is 0 or NaN",
    8: "the basis of n degrees does not resolve the mode",
}
BETA_BITS = {
    1: "asymptotic root s gives s nu <= 0",
    2: "asymptotic solution fails its validity test",
    4: "normalisation value is 0 or NaN",
    8: "no asymptotic solution for this k and m nu",
    16: "k = -1 and m nu = 2 m^2",
}


def field_file(prefix, field: str) -> str:
    return f"{os.fspath(prefix)}_{field}.uf2"


@dataclass
class Fields:
    mu: np.ndarray       # first axis of every file
    nu: np.ndarray       # second axis of every file
    fields: dict         # name -> (mu.size, nu.size) array, for the files that exist


def read_fields(prefix, names=FIELDS, required=True) -> Fields:
    """Reads the field files of a run. Every file must carry the same mu and nu axes, bit
    for bit. With required=False, missing files are left out (none found -> None)."""
    fields, mu, nu, first = {}, None, None, None
    for name in names:
        path = field_file(prefix, name)
        if not required and not os.path.exists(path):
            continue
        f = uf2.read(path, "d", 2)
        if mu is None:
            (mu, nu), first = f.axes, path
        elif f.axes[0].tobytes() != mu.tobytes() or f.axes[1].tobytes() != nu.tobytes():
            raise ValueError(f"{path}: axes differ from those of {first}")
        fields[name] = f.data
    if mu is None:
        return None
    return Fields(mu, nu, fields)


# The program writes an exponent beyond 99 as sign and three digits without the "E".
_WIDE_EXPONENT = re.compile(r"(?<=\d)([+-]\d{3})$")


def parse_real(text: str) -> float:
    return float(_WIDE_EXPONENT.sub(r"E\1", text))


@dataclass
class Report:
    table: np.ndarray    # structured array with REPORT_COLUMNS
    lines: list          # the report lines as written (without line ends)


def parse_report_line(line: str):
    items = line.split()
    if len(items) != 9:
        raise ValueError(f"{len(items)} items, 9 expected")
    return tuple(parse_real(t) for t in items[:5]) + tuple(int(t) for t in items[5:])


def read_report(path) -> Report:
    """Reads saved report lines. Blank lines and lines starting with '#' are skipped;
    anything else that is not a report line raises ValueError naming the line."""
    rows, lines = [], []
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            try:
                rows.append(parse_report_line(line))
            except ValueError as e:
                raise ValueError(f"{os.fspath(path)}:{number}: not a report line ({e}): {line!r}") from None
            lines.append(line)
    return Report(np.array(rows, dtype=REPORT_DTYPE), lines)


def signed_log(x):
    """log10(|x| + 1) carrying the sign of x, the scale of the report's items 4 and 5."""
    x = np.asarray(x, dtype=float)
    return np.sign(x) * np.log10(np.abs(x) + 1.0)


# The table (--table=FILE): '#' lines with the version, the command line and the
# parameters, a '#' line of column names, then one row per spin parameter with the
# reals in shortest round-trip form (inf, -inf, nan for the non-finite ones).
TABLE_COLUMNS = ("nu", "lambda_matr", "lambda_beta", "i_mode", "nh", "flag_matr", "flag_beta")
TABLE_DTYPE = np.dtype([(name, "f8") for name in TABLE_COLUMNS[:3]] + [(name, "i8") for name in TABLE_COLUMNS[3:]])
TABLE_PARAMETERS = {"m": int, "k": int, "A": float, "nu_min": float, "nu_max": float,
                    "n_nu": int, "n_mu": int, "n": int, "lflag": lambda t: t == "T"}


@dataclass
class Table:
    version: str         # "ltide 0.1.0"
    command_line: str    # the words as written, quoted for a shell
    parameters: dict     # name -> value (int, float or bool)
    texts: dict          # name -> the parameter's text as written
    table: np.ndarray    # structured array with TABLE_COLUMNS
    lines: list          # the rows as written (without line ends)


def read_table(path) -> Table:
    """Reads a table; anything that does not fit its layout raises ValueError naming
    the file and line."""
    version, command, texts, rows, lines = None, None, {}, [], []
    with open(path) as f:
        for number, line in enumerate(f, 1):
            line = line.rstrip("\n")
            where = f"{os.fspath(path)}:{number}"
            if line.startswith("#"):
                body = line[1:].strip()
                if number == 1:
                    version = body
                elif body.startswith("command line: "):
                    command = body[len("command line: "):]
                elif " = " in body:
                    name, text = body.split(" = ", 1)
                    texts[name] = text
                continue
            items = line.split()
            try:
                if len(items) != 7:
                    raise ValueError(f"{len(items)} items, 7 expected")
                rows.append(tuple(float(t) for t in items[:3]) + tuple(int(t) for t in items[3:]))
            except ValueError as e:
                raise ValueError(f"{where}: not a table row ({e}): {line!r}") from None
            lines.append(line)
    if version is None or not version.startswith("ltide "):
        raise ValueError(f"{os.fspath(path)}: not an ltide table")
    missing = [name for name in TABLE_PARAMETERS if name not in texts]
    if missing:
        raise ValueError(f"{os.fspath(path)}: parameters missing: {', '.join(missing)}")
    parameters = {name: kind(texts[name]) for name, kind in TABLE_PARAMETERS.items()}
    return Table(version, command, parameters, texts, np.array(rows, dtype=TABLE_DTYPE), lines)


def report_of_table(tab: Table) -> Report:
    """The report the table's run printed, from the table's exact values."""
    t = tab.table
    rows = np.zeros(t.size, REPORT_DTYPE)
    for name in TABLE_COLUMNS:
        rows[name] = t[name]
    rows["log_matr"], rows["log_beta"] = signed_log(t["lambda_matr"]), signed_log(t["lambda_beta"])
    return Report(rows, list(tab.lines))
