#!/usr/bin/env python3
"""Writes a run of bench/dense (tarvel_dense_bench) into its own section of docs/performance.md.

Arguments: the Google Benchmark JSON file (median aggregates: --benchmark_repetitions with
--benchmark_report_aggregates_only=true), the report to update, the one-core peak in GFlop/s and
the load average while it ran (a note). The section runs from its heading to the next heading of
the same level (or the end) and is replaced as a whole; it is appended when absent. A fifth
argument names a hand-written analysis (bench/dense/ANALYSIS.md) appended to the section. With --carry
OLD REPORT instead, the section of the report OLD is put into REPORT (scripts/bench.sh keeps it
so when it regenerates the report).

Ratios are of processor time (cpu_time) within the one run: the machine is shared, and the
process's own processor time is the figure least affected by the other jobs.
"""
import collections
import datetime
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import scale_report  # noqa: E402  (the section placement)

HEADING = "## Dense operations at element sizes: CMatrix and CVector vs plain loops and Eigen"
METHODS = ("tarvel", "loops", "eigen", "fixed")
ORDER = ["product", "hex8", "q4", "congruence", "scale", "add", "copy", "transpose", "gemv",
         "gemv_t", "dot", "norm", "axpy", "det", "lu_solve", "cholesky"]
WHAT = {
    "product": "`C = A; C *= B` (square B: in place)",
    "hex8": "`T = D; T.PostPreMult(Bt, 0); T *= w; ke += T` (6 x 24 B, whole element step)",
    "q4": "the same for a Q4 element (3 x 8 B)",
    "congruence": "`T = D; T.PostPreMult(Bt, 0)`, B^T D B with square B",
    "scale": "`A *= w`",
    "add": "`A += B`",
    "copy": "`A = B` (same shape)",
    "transpose": "`A.Transpose()` (square, in place)",
    "gemv": "`A.ApplyTo(x, y, 1)`, y += A x",
    "gemv_t": "`A.ApplyTo(x, y, 2)`, y += A^T x",
    "dot": "`x.Dot(y)`, n elements",
    "norm": "`x.Length()`, n elements",
    "axpy": "`x.Add(y, w)`, n elements",
    "det": "`A.Det()` (LU of a copy)",
    "lu_solve": "`M = A; M.SolveAxEqb(&b, true, s)`, one right-hand side",
    "cholesky": "`M = S; M.Cholesky()`",
}


def put_section(path, section):
    """The section placed as scripts/scale_report.py places its own (same rules)."""
    scale_report.HEADING = HEADING
    scale_report.put_section(path, section)


def carry(old_path, path):
    old = open(old_path).read() if os.path.exists(old_path) else ""
    scale_report.HEADING = HEADING
    bounds = scale_report.section_bounds(old)
    if bounds:
        put_section(path, old[bounds[0]:bounds[1]].rstrip("\n") + "\n")


def size_key(size):
    return [int(x) for x in size.split("x")]


def main():
    if sys.argv[1] == "--carry":
        carry(sys.argv[2], sys.argv[3])
        return
    run = json.load(open(sys.argv[1]))
    peak = float(sys.argv[3])
    load = sys.argv[4]
    cases = collections.defaultdict(dict)
    for b in run["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        _, op, size, method = b["run_name"].split("/")
        cases[(op, size)][method] = (b["cpu_time"], b.get("flops", 0.0))
    out = []
    w = out.append
    w(HEADING)
    w("")
    w("Measured by `bench/dense` (`tarvel_dense_bench`, Release) on %s, one process, medians "
      "of repetitions. **The machine was shared** (load average %s on %d processors while it "
      "ran): every ratio is of processor time within this one run." % (
          datetime.date.today().isoformat(), load, os.cpu_count() or 0))
    w("Methods: the library; plain loops over row-major arrays with compile-time sizes, compiled "
      "at -O3 without -march (what CMake's Release gives a user's program); Eigen `MatrixXd`; "
      "Eigen `Matrix<double, R, C>` (up to 60). One-core peak: %.1f GFlop/s (32 double "
      "operations a cycle: two 512-bit multiply and two 512-bit add pipes, at the 2.1 GHz the "
      "processor reports; it boosts above that, so a figure over 100 %% can occur). The library's kernels keep each element's order of operations and "
      "use no fused multiply-add, so a product runs at most at that peak; plain loops and Eigen "
      "without -march run on SSE2, a quarter of it. Targets: at most 1.2 x loops and 1.2 x "
      "`MatrixXd` for each operation, the Hex8 element step at most 1.0 x loops." % peak)
    w("")
    w("| operation | size | tarvel ns | GFlop/s | % peak | x loops | x MatrixXd | x fixed | target |")
    w("|---|---|---:|---:|---:|---:|---:|---:|---|")
    ops = sorted({op for op, _ in cases}, key=lambda o: ORDER.index(o) if o in ORDER else 99)
    misses = []
    for op in ops:
        sizes = sorted({s for o, s in cases if o == op}, key=size_key)
        for size in sizes:
            m = cases[(op, size)]
            if "tarvel" not in m:
                continue
            t, flops = m["tarvel"]
            ratio = {k: t / m[k][0] for k in ("loops", "eigen", "fixed") if k in m}
            limit = 1.0 if op == "hex8" else 1.2
            met = ratio.get("loops", 0) <= limit and ratio.get("eigen", 0) <= 1.2
            if not met:
                misses.append("%s %s" % (op, size))
            cell = lambda k: "%.2f" % ratio[k] if k in ratio else "-"
            w("| %s | %s | %.1f | %.2f | %.0f | %s | %s | %s | %s |" % (
                op, size, t, flops / 1e9, 100 * flops / 1e9 / peak, cell("loops"), cell("eigen"),
                cell("fixed"), "met" if met else "**missed**"))
    w("")
    w("Operations: " + "; ".join("%s: %s" % (op, WHAT[op]) for op in ops if op in WHAT) + ".")
    w("")
    w("Missed in this run: " + (", ".join(misses) if misses else "none") + ".")
    w("")
    if len(sys.argv) > 5:  # the hand-written analysis, as it stands
        w(open(sys.argv[5]).read().rstrip("\n"))
        w("")
    put_section(sys.argv[2], "\n".join(out))


if __name__ == "__main__":
    main()
