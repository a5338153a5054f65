"""The output of one ltide run, read with numpy: its six field files and its report lines.

    import ltide_run
    run = ltide_run.read_fields("out/example")     # the six files out/example_xi_*.uf2
    run.mu, run.nu, run.fields["xi_r_matr"]        # field[i, j] at mu[i], nu[j]
    rep = ltide_run.read_report("out/example.txt") # the saved standard output
    rep.table["lambda_matr"], rep.table["flag_beta"]

A report line has nine items: nu, lambda_matr, lambda_beta, the signed
log10(|lambda| + 1) of both, i_mode, the Hermite order nh and the two status bit sets.
"""

from __future__ import annotations

import os
import re
from dataclasses import dataclass

import numpy as np

import uf2

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
