#!/usr/bin/env bash
# Performance measurements of the eigen-solution and of whole runs, with the ratios that
# docs/performance.md quotes. Usage:
#   bench/run.sh [kernels] [steps] [lflag] [scaling] [share] [solvers]     (no argument: all of them)
# Environment:
#   BUILD  build directory of the current tree (default build-bench)
#   BASE   git revision of the baseline program for `steps`: the driver with the
#          column-pair loop and full eigenvector matrices (default 4d66bde)
#   QUICK=1 fewer spin parameters and repetitions (a rough look in a few minutes)
# Needs cmake, a C++ compiler, Google Benchmark, python3; hyperfine when installed (the
# whole-run timings fall back to a plain timer without it).
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
BUILD=${BUILD:-build-bench}
BASE=${BASE:-4d66bde}
QUICK=${QUICK:-0}
JOBS=${JOBS:-2}
parts=("$@")
[ ${#parts[@]} -eq 0 ] && parts=(kernels steps lflag scaling share solvers)
want() { local p; for p in "${parts[@]}"; do [ "$p" = "$1" ] && return 0; done; return 1; }

echo "== machine"
lscpu | grep -E '^(Model name|CPU\(s\)|L1d|L2|L3)' || true
grep -o -w -E 'avx512f|avx2' /proc/cpuinfo | sort -u | tr '\n' ' '; echo
echo "compiler: $(c++ --version | head -1)"

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DLTIDE_BUILD_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j "$JOBS" --target ltide ltide_bench_eigen ltide_eigen_steps ltide_mode_share ltide_fast_steps >/dev/null
LTIDE=$ROOT/$BUILD/src/ltide/ltide
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds of one run of a command (best of $2 runs).
seconds() {
  local cmd=$1 runs=${2:-3}
  if command -v hyperfine >/dev/null; then
    hyperfine -N -w 1 -r "$runs" --export-json "$work/h.json" "$cmd" >/dev/null 2>&1
    python3 -c 'import json,sys; print(min(json.load(open(sys.argv[1]))["results"][0]["times"]))' "$work/h.json"
  else
    python3 - "$cmd" "$runs" <<'PY'
import subprocess, sys, time
best = 1e300
for _ in range(int(sys.argv[2])):
    t = time.perf_counter(); subprocess.run(sys.argv[1].split(), stdout=subprocess.DEVNULL, check=True)
    best = min(best, time.perf_counter() - t)
print(best)
PY
  fi
}

if want kernels; then
  echo
  echo "== eigen-solution kernels (Aleph matrices m = 2, even; best of 3 repetitions)"
  reps=3; [ "$QUICK" = 1 ] && reps=1
  "$BUILD/bench/ltide_bench_eigen" --benchmark_repetitions=$reps --benchmark_format=json \
    --benchmark_filter='n:(400|1000|2000)/' >"$work/kernels.json" 2>/dev/null
  python3 - "$work/kernels.json" <<'PY'
import json, sys, collections
rows = collections.defaultdict(dict)
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    if b.get("run_type") == "aggregate": continue
    name, n, nu = b["run_name"].split("/")[:3]
    key = (int(n.split(":")[1]), int(nu.split(":")[1]))
    ms = b["real_time"]
    rows[key][name] = min(ms, rows[key].get(name, 1e300))
    if "rotations" in b: rows[key]["rotations"] = b["rotations"]
print(f"{'n':>5} {'nu':>3} {'rotations':>9} {'plain':>9} {'blocked':>9} {'dsteqr_':>9} {'dstevr_':>9} {'values':>8}"
      f" {'plain/blk':>9} {'dsteqr/blk':>10} {'dstevr/blk':>10}")
for (n, nu), r in sorted(rows.items()):
    print(f"{n:5d} {nu:3d} {r.get('rotations', 0)/1e6:8.2f}M {r['plain_loop']:8.1f}ms {r['blocked']:8.1f}ms"
          f" {r['lapack_dsteqr']:8.1f}ms {r['lapack_dstevr']:8.1f}ms {r['eigenvalues_only']:7.1f}ms"
          f" {r['plain_loop']/r['blocked']:9.2f} {r['lapack_dsteqr']/r['blocked']:10.2f} {r['lapack_dstevr']/r['blocked']:10.2f}")
PY
fi

if want steps; then
  echo
  echo "== whole steps against the baseline $BASE (column-pair loop, full B, Q, R)"
  base_dir=$ROOT/build-bench-base-$BASE
  if [ ! -x "$base_dir/src/ltide/ltide" ]; then
    rm -rf "$base_dir.src" && mkdir -p "$base_dir.src"
    git archive "$BASE" | tar -x -C "$base_dir.src"
    cmake -S "$base_dir.src" -B "$base_dir" -DCMAKE_BUILD_TYPE=Release -DLTIDE_BUILD_TESTS=OFF \
      -DLTIDE_BUILD_BENCH=OFF >/dev/null
    cmake --build "$base_dir" -j "$JOBS" --target ltide >/dev/null
  fi
  OLD=$base_dir/src/ltide/ltide
  for n in 400 1000; do
    if [ "$n" = 400 ]; then n_nu=21; else n_nu=5; fi
    [ "$QUICK" = 1 ] && n_nu=3
    runs=2; [ "$QUICK" = 1 ] && runs=1
    : >"$work/steps.txt"
    for m in 1 2; do
      for k in $(seq -4 6); do
        args="$m $k 1.0 -20 20 $n_nu 201 $n"
        t_old=$(seconds "$OLD $work/old $args" $runs)
        t_new=$(seconds "$LTIDE $work/new $args" $runs)
        # The same report lines and files, byte for byte.
        "$OLD" "$work/old" $args >"$work/old.txt"
        "$LTIDE" "$work/new" $args >"$work/new.txt"
        same=yes
        cmp -s "$work/old.txt" "$work/new.txt" || same=NO
        for f in xi_r_matr xi_t_matr xi_p_matr xi_r_beta xi_t_beta xi_p_beta; do
          cmp -s "$work/old_$f.uf2" "$work/new_$f.uf2" || same=NO
        done
        echo "$m $k $t_old $t_new $same" >>"$work/steps.txt"
      done
    done
    python3 - "$work/steps.txt" "$n" "$n_nu" <<'PY'
import sys
rows = [l.split() for l in open(sys.argv[1])]
n, n_nu = sys.argv[2], int(sys.argv[3])
print(f"n = {n}, {n_nu} spin parameters from -20 to 20, n_mu = 201 (whole runs, seconds)")
print(f"{'m':>3} {'k':>3} {'baseline':>9} {'now':>8} {'ratio':>6} same-bits")
ratios = []
for m, k, a, b, same in rows:
    a, b = float(a), float(b); ratios.append(a / b)
    print(f"{m:>3} {k:>3} {a:9.3f} {b:8.3f} {a/b:6.2f} {same}")
ta = sum(float(r[2]) for r in rows); tb = sum(float(r[3]) for r in rows)
print(f"n = {n}: total {ta:.2f} s -> {tb:.2f} s, ratio of totals {ta/tb:.2f}, mean of ratios {sum(ratios)/len(ratios):.2f}, "
      f"all bit-identical: {'yes' if all(r[4] == 'yes' for r in rows) else 'NO'}")
PY
  done
fi

if want lflag; then
  echo
  echo "== eigenvalues-only runs (lflag) against the bare eigenvalue iteration, n = 2000"
  n_nu=11; [ "$QUICK" = 1 ] && n_nu=3
  for k in 0 5; do
    t_run=$(seconds "$LTIDE $work/l 2 $k 1.0 -20 20 $n_nu 201 2000 T" 2)
    t_ql=$("$BUILD/bench/ltide_eigen_steps" 2 $k -20 20 $n_nu 2000 values)
    python3 -c "import sys; r,q,n=map(float,sys.argv[1:4]); print(f'k = {sys.argv[4]}: run {r/n*1e3:.1f} ms per step, iteration {q/n*1e3:.1f} ms per step, ratio {r/q:.2f}')" \
      "$t_run" "$t_ql" "$n_nu" "$k"
  done
fi

if want scaling; then
  echo
  echo "== run time against n and n_mu (m = 2, k = 0, spin parameters from -20 to 20)"
  n_nu=41; [ "$QUICK" = 1 ] && n_nu=11
  ns="50 100 200 500 1000 2000"; mus="100 1000 10000"
  [ "$QUICK" = 1 ] && ns="50 100 200 500" && mus="100 1000"
  : >"$work/scaling.txt"
  for n in $ns; do
    e=$("$BUILD/bench/ltide_eigen_steps" 2 0 -20 20 $n_nu $n)
    for mu in $mus; do
      t=$(seconds "$LTIDE $work/s 2 0 1.0 -20 20 $n_nu $mu $n" 2)
      echo "$n $mu $t $e" >>"$work/scaling.txt"
    done
  done
  python3 - "$work/scaling.txt" "$n_nu" <<'PY'
import sys, math, collections
rows = [tuple(map(float, l.split())) for l in open(sys.argv[1])]
n_nu = int(sys.argv[2])
T = {(int(n), int(mu)): t for n, mu, t, e in rows}
E = {int(n): e for n, mu, t, e in rows}
ns = sorted({n for n, mu in T}); mus = sorted({mu for n, mu in T})
print(f"seconds per run ({n_nu} spin parameters); in brackets the share outside the eigen-solutions")
print("      n " + "".join(f"{'n_mu='+str(mu):>20}" for mu in mus))
for n in ns:
    print(f"{n:7d} " + "".join(f"{T[n, mu]:11.4f} [{max(0.0, 1 - E[n]/T[n, mu]):5.1%}] " for mu in mus))
def slope(xs, ys):
    lx = [math.log(x) for x in xs]; ly = [math.log(y) for y in ys]
    mx = sum(lx) / len(lx); my = sum(ly) / len(ly)
    return sum((a - mx) * (b - my) for a, b in zip(lx, ly)) / sum((a - mx) ** 2 for a in lx)
big = [n for n in ns if n >= 200]
if len(big) >= 2:
    for mu in mus:
        print(f"exponent of n (n >= 200, n_mu = {mu}): {slope(big, [T[n, mu] for n in big]):.2f}")
for n in ns:
    if len(mus) >= 2:
        print(f"exponent of n_mu (n = {n}, n_mu {mus[-2]}..{mus[-1]}): {slope(mus[-2:], [T[n, mu] for mu in mus[-2:]]):.2f}")
PY
fi

if want share; then
  echo
  echo "== share of the rotations that reach the selected mode's column"
  "$BUILD/bench/ltide_mode_share" 400 21 | tail -1
  [ "$QUICK" = 1 ] || "$BUILD/bench/ltide_mode_share" 1000 9 | tail -1
fi

if want solvers; then
  echo
  echo "== time per step (ms), m = 2, k = 0, nu from -20.05 to 19.95: single-mode solver (eigenvalue,"
  echo "   eigenpair, driver step without and with fields at n_mu = 201), QL driver steps, SciPy"
  echo "   eigh_tridiagonal (stebz: eigenvalue, eigenpair) on the same double-precision operators"
  PY=/usr/bin/python3
  for n in 100 400 1000 4000 10000 100000; do
    ql=""; [ "$n" -le 1000 ] && ql=ql
    line=$("$BUILD/bench/ltide_fast_steps" 2 0 "$n" $ql "$work/m.bin" 2>&1)
    scipy="-"; [ "$n" -le 4000 ] && scipy=$("$PY" bench/scipy_steps.py "$work/m.bin" | cut -d' ' -f2-)
    echo "n=$n fast: $line | scipy: $scipy"
  done
fi
