#!/usr/bin/env python3
"""Writes docs/performance.md from one run of bench/tarvel_bench (called by scripts/bench.sh).

Arguments: a folder of Google Benchmark JSON files (median aggregates), memory.txt ("<case> <KiB>"
lines), problems.txt (the program's --problems output), the hand-written analysis that is
appended as it stands, and platform.txt (the program's --platform output: which code each
method ran on).

With --direct RESULTS MEMORY PLATFORM NOTES REPORT instead, only the section of the sparse direct
solver (cases sn-* and dgemm/*, NOTES appended to it) is generated and put into the existing
REPORT, replacing the section of the same heading or inserted before "## Iterations and
residuals"; the rest of the page is kept as it stands. With --carry OLD REPORT, the direct
section of the page OLD is put into REPORT (a full run whose filter left the direct cases out).
"""
import datetime
import glob
import json
import os
import platform
import re
import subprocess
import sys


def sh(cmd):
    try:
        return subprocess.run(cmd, shell=True, capture_output=True, text=True).stdout.strip()
    except OSError:
        return ""


def machine():
    cpu = ""
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    mem_kib = 0
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal:"):
                mem_kib = int(line.split()[1])
    compiler = sh("c++ --version | head -1") or sh("g++ --version | head -1")
    pkgs = sh("dpkg-query -W -f='${Package} ${Version}\\n' libbenchmark-dev libeigen3-dev "
              "libsuitesparse-dev liblapack3 libblas3 libopenblas0 libopenblas0-pthread 2>/dev/null")
    blas = sh("readlink -f /usr/lib/$(gcc -print-multiarch)/libblas.so.3")
    lapack = sh("readlink -f /usr/lib/$(gcc -print-multiarch)/liblapack.so.3")
    return {
        "cpu": cpu,
        "cores": os.cpu_count(),
        "mem": "%.0f GiB" % (mem_kib / 1024 / 1024),
        "os": sh(". /etc/os-release && echo $PRETTY_NAME") or platform.platform(),
        "compiler": compiler,
        "packages": pkgs.splitlines(),
        "blas": blas,
        "lapack": lapack,
        "date": datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
    }


def load_results(folder):
    """Median aggregates of every JSON file in the folder (one file per case)."""
    out = {}
    context = {}
    for path in sorted(glob.glob(os.path.join(folder, "*.json"))):
        with open(path) as f:
            try:
                data = json.load(f)
            except ValueError:
                continue  # a case that did not run (its process failed) left no figures
        context = context or data.get("context", {})
        read_benchmarks(data, out)
    return out, context


COUNTERS = ("relres", "products", "kd", "profile", "factor", "berr", "madds", "dofs", "entries",
            "analyze_s", "factor_s", "solve_s", "ordering", "stored", "flops")


def read_benchmarks(data, out):
    for b in data["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        # The run name carries the case's own options after its name: drop them.
        name = re.sub(r"/(repeats:\d+|process_time|real_time|min_time:[0-9.]+)", "", b["run_name"])
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b["time_unit"]]
        entry = {"ms": b["cpu_time"] * scale, "wall_ms": b["real_time"] * scale,
                 "reps": b.get("repetitions", 1)}
        for key in COUNTERS:
            if key in b:
                entry[key] = b[key]
        out[name] = entry


def load_averages(folder):
    """The one-minute load average at the start of each case's process, in run order."""
    loads = []
    for path in sorted(glob.glob(os.path.join(folder, "*.json")),
                       key=lambda p: int(re.sub(r"\D", "", os.path.basename(p)) or 0)):
        with open(path) as f:
            try:
                la = json.load(f).get("context", {}).get("load_avg", [])
            except ValueError:
                la = []
        if la:
            loads.append(la[0])
    return loads


def load_memory(path):
    mem = {}
    if os.path.exists(path):
        with open(path) as f:
            for line in f:
                parts = line.split()
                if len(parts) == 2 and parts[1].lstrip("-").isdigit():
                    mem[parts[0]] = int(parts[1])
    return mem


def load_problems(path):
    rows = []
    with open(path) as f:
        for line in f:
            p = line.rstrip("\n").split("\t")
            if len(p) == 10:
                rows.append(p)
    return rows


def load_platform(path):
    """The --platform lines as a dict; library paths resolved through their links."""
    out = {}
    if path and os.path.exists(path):
        with open(path) as f:
            for line in f:
                key, _, value = line.rstrip("\n").partition("\t")
                if value.startswith("/"):
                    value = os.path.realpath(value)
                out[key] = value
    return out


def fmt_ms(v):
    if v is None:
        return "—"
    return "%.3g" % v if v < 1000 else "%.0f" % v


def fmt_mib(kib):
    return "—" if kib is None else "%.1f" % (kib / 1024.0)


def fmt_ratio(t, p):
    if t is None or p is None or p == 0:
        return "—"
    return "%.2f" % (t / p)


def verdict(t, p, target):
    if t is None or p is None or target is None:
        return "—"
    return "met" if t / p <= target else "**missed**"


SOLUTION_ROADS = [("tarvel-skyline-natural", "skyline, mesh numbering"),
                  ("tarvel-skyline-Hager2", "skyline, Hager2"),
                  ("tarvel-skyline-Hager3", "skyline, Hager3"),
                  ("tarvel-skyline-RevCuthillMcKee", "skyline, RevCuthillMcKee"),
                  ("tarvel-skyline-Sloan", "skyline, Sloan"),
                  ("tarvel-system", "system matrix")]


def solution_table(w, names, get, mem):
    """Time to solution of each road of the library beside CHOLMOD's default."""
    w("## Time to solution: each Tarvel road vs CHOLMOD default")
    w("")
    w("From the element lists to the solution. Tarvel's skyline roads: DOF graph, reordering, "
      "`PostReorder`, `Allocate`, assembly with labels, `Cholesky_Solve`; the system-matrix road: "
      "assembly, `SymUnifyAndZero`, `Cholesky_Solve` (natural numbering). CHOLMOD: copy of the "
      "reduced system, analysis (its default ordering and supernodal choice), factorization, "
      "solve. Ratio: the best Tarvel road / CHOLMOD; target 1.0 on the plate, 2.0 elsewhere.")
    w("")
    w("| problem |" + "".join(" %s ms |" % label for _, label in SOLUTION_ROADS)
      + " best road | cholmod-default ms | ratio | target | best road MiB | cholmod-default MiB |")
    w("|---|" + "---:|" * len(SOLUTION_ROADS) + "---|---:|---:|---|---:|---:|")
    for prob in names:
        times = [(get("solution", road, prob), road, label) for road, label in SOLUTION_ROADS]
        present = [t for t in times if t[0] is not None]
        best = min(present) if present else None
        peer = get("direct", "cholmod-default", prob)
        target = 1.0 if prob.startswith("plate") else 2.0
        row = "| %s |" % prob + "".join(" %s |" % fmt_ms(t[0]) for t in times)
        row += " %s |" % (best[2] if best else "—")
        row += " %s | %s |" % (fmt_ms(peer), fmt_ratio(best[0] if best else None, peer))
        row += " ≤ %.1f: %s |" % (target, verdict(best[0] if best else None, peer, target))
        row += " %s | %s |" % (fmt_mib(mem("solution", best[1], prob) if best else None),
                               fmt_mib(mem("direct", "cholmod-default", prob)))
        w(row)
    w("")


MINDEG_METHODS = ["natural", "MinDegReorder2", "MinDegReorder3", "MinDegReorder4"]


def reordered_system_table(w, names, get):
    """The system-matrix road after each minimum-degree labelling: time and factor entries."""
    w("## System matrix after a minimum-degree labelling")
    w("")
    w("The DOFs relabelled by each of the library's minimum-degree reorderings (graph of the free "
      "DOFs, `PostReorder`), then the system-matrix road under the labels: `AddValues`, "
      "`SymUnifyAndZero`, `Cholesky_Solve`. Time of the whole road, reordering included, and "
      "the entries the factor holds (cells after the factorization); `natural` is the mesh "
      "numbering through the same code. No target: what these labellings are worth as fill "
      "reducers.")
    w("")
    w("| problem |" + "".join(" %s ms | %s factor |" % (m, m) for m in MINDEG_METHODS))
    w("|---|" + "---:|---:|" * len(MINDEG_METHODS))
    for prob in names:
        row = "| %s |" % prob
        for m in MINDEG_METHODS:
            t = get("system-reordered", "tarvel-" + m, prob)
            f = get("system-reordered", "tarvel-" + m, prob, "factor")
            row += " %s | %s |" % (fmt_ms(t), "—" if f is None else "%d" % f)
        w(row)
    w("")


DIRECT_HEADING = "## Sparse direct solver: CSupernodalCholesky vs CHOLMOD"
CHOLMOD_ORDERINGS = {0: "natural", 1: "given", 2: "AMD", 3: "METIS", 4: "NESDIS", 5: "COLAMD",
                     6: "postordered"}


def direct_section(w, results, memory, loads, plat, notes):
    """CSupernodalCholesky beside CHOLMOD's default on the large problems: the targets, then
    where the time goes. Empty when no sn-* case ran."""
    names = []
    for key in results:
        fig, _, prob = key.split("/", 2)
        if fig == "sn-solve" and prob not in names:
            names.append(prob)
    if not names:
        return False
    order = ["plate-447x112", "elastic-32", "poisson3d-66", "elastic-46", "plate-1414x353"]
    names.sort(key=lambda p: (order.index(p) if p in order else len(order), p))

    def get(fig, method, prob, key="ms"):
        r = results.get("%s/%s/%s" % (fig, method, prob))
        return None if r is None else r.get(key)

    def either(prob, key):
        v = get("sn-solve", "tarvel", prob, key)
        return v if v is not None else get("sn-solve", "cholmod", prob, key)

    def speedup(method, prob):
        one = get("sn-refactor", method, prob, "wall_ms")
        two = get("sn-refactor-2t", method, prob, "wall_ms")
        return one / two if one and two else None

    dgemm_ms = get("dgemm", "openblas", "2000")
    dgemm_rate = 2.0 * 2000 ** 3 / (dgemm_ms * 1e-3) / 1e9 if dgemm_ms else None
    w(DIRECT_HEADING)
    w("")
    m = machine()
    suitesparse = [p.split()[-1] for p in m["packages"] if p.startswith("libsuitesparse-dev")]
    w("Cases `sn-*` of `bench/Supernodal_bench.cpp`, run on %s. `CSupernodalCholesky` (its "
      "default ordering, `orderAuto`) and CHOLMOD %s (`cholmod_analyze` with its default "
      "ordering choice: AMD, and METIS as well when AMD's factor is costly, the better kept; "
      "supernodal) solve the same reduced system (prescribed DOFs as unit rows), stored before "
      "the clock starts: a `CSparseMatrix` holding the upper triangle for Tarvel, a "
      "`cholmod_sparse` lower triangle for CHOLMOD. Both call the same BLAS (OpenBLAS, see "
      "Machine), on one thread (`OPENBLAS_NUM_THREADS=1`, `SetThreads(1)`) except in the "
      "two-thread figures, where `SetThreads(2)` and two OpenBLAS threads for Tarvel, two OpenBLAS "
      "threads for CHOLMOD (whose supernodal factorization is parallel only through the BLAS)."
      % (datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC"),
         "of SuiteSparse " + suitesparse[0] if suitesparse else "of SuiteSparse"))
    w("")
    w("Machine: %s, %s cores, %s; %s; BLAS `%s`%s." % (
        m["cpu"], m["cores"], m["mem"], m["os"],
        "/".join(os.path.realpath(plat.get("dgemm_", m["blas"])).split("/")[-2:]),
        " (" + plat["openblas"].split(",")[0] + ")" if "openblas" in plat else ""))
    w("")
    w("- One thread: medians of the process's CPU time (all its threads), in milliseconds; "
      "the plate at 10^5 DOFs and the block at 32^3 over the script's repetitions, the larger "
      "problems over 3. Two threads: wall-clock time of the refactorization; the speed-up is "
      "the one-thread refactorization's wall-clock time over the two-thread one's, both from "
      "this run.")
    w("- Analysis + factorization + one solve: a new solver object (or `cholmod_analyze`) each "
      "time. Refactorization: `Factorize` (`cholmod_factorize`) of the same pattern with the "
      "diagonal raised by a tenth. 100 right-hand sides: one `Solve` of an n x 100 `CMatrix` "
      "(CHOLMOD: one `cholmod_solve` of an n x 100 `cholmod_dense`), the load and 99 seeded "
      "random columns.")
    w("- Factor entries: the structural non-zeros of L, diagonal included, without the zeros "
      "that supernode amalgamation stores (`FactorEntries()`; CHOLMOD's `Common->lnz`). "
      "CHOLMOD's stored values (`L->xsize`, amalgamation zeros included) are shown under where "
      "the time goes.")
    w("- Peak memory: the process's resident high-water mark while analysis, factorization and "
      "solve run, above what it held before (the stored matrix, the element data), in MiB, in a "
      "process of its own.")
    w("- Backward error ||A x - b||_inf / (||A||_inf ||x||_inf + ||b||_inf) of the solution of "
      "the load, with both triangles of A.")
    if loads:
        srt = sorted(loads)
        w("- **Load**: the machine has %s cores shared with other jobs; the one-minute load "
          "average at the start of these cases' processes ranged from %.1f to %.1f (median "
          "%.1f). CPU times are stretched by shared caches and wall-clock times by waiting for "
          "a core whenever the load exceeds 2, the two-thread figures most: compare the ratios, "
          "taken within one run, rather than the absolute times."
          % (os.cpu_count(), srt[0], srt[-1], srt[len(srt) // 2]))
    w("")
    w("| problem | DOFs | figure | Tarvel | CHOLMOD | ratio | target |")
    w("|---|---:|---|---:|---:|---:|---|")

    def row(prob, label, t, p, target, fmt, higher_is_better=False):
        if higher_is_better:
            ok = None if t is None else t >= target
            tgt = "≥ %.1f: %s" % (target, "—" if ok is None else ("met" if ok else "**missed**"))
            ratio = "—"
        else:
            ratio = fmt_ratio(t, p)
            tgt = "≤ %g: %s" % (target, verdict(t, p, target))
        dofs = either(prob, "dofs")
        w("| %s | %s | %s | %s | %s | %s | %s |" % (
            prob, "%d" % dofs if dofs else "—", label, fmt(t), fmt(p), ratio, tgt))

    def fmt_count(v):
        return "—" if v is None else "{:,}".format(int(round(v)))

    def fmt_err(v):
        return "—" if v is None else "%.1e" % v

    def fmt_x(v):
        return "—" if v is None else "%.2f" % v

    for prob in names:
        row(prob, "analysis + factorization + solve, ms", get("sn-solve", "tarvel", prob),
            get("sn-solve", "cholmod", prob), 1.0, fmt_ms)
        row(prob, "refactorization, ms", get("sn-refactor", "tarvel", prob),
            get("sn-refactor", "cholmod", prob), 1.0, fmt_ms)
        row(prob, "solve, 100 right-hand sides, ms", get("sn-solve100", "tarvel", prob),
            get("sn-solve100", "cholmod", prob), 1.0, fmt_ms)
        row(prob, "factor entries", get("sn-solve", "tarvel", prob, "factor"),
            get("sn-solve", "cholmod", prob, "factor"), 1.05, fmt_count)
        tm = memory.get("sn-solve/tarvel/%s" % prob)
        pm = memory.get("sn-solve/cholmod/%s" % prob)
        row(prob, "peak memory, MiB", tm, pm, 1.1, fmt_mib)
        row(prob, "backward error", get("sn-solve", "tarvel", prob, "berr"),
            get("sn-solve", "cholmod", prob, "berr"), 10.0, fmt_err)
        row(prob, "two threads: factorization speed-up", speedup("tarvel", prob),
            speedup("cholmod", prob), 1.6 if prob.startswith("elastic") else 1.0, fmt_x,
            higher_is_better=True)
    w("")
    w("### Where the time goes")
    w("")
    w("Phases of the analysis + factorization + solve figure (CPU seconds, medians): the "
      "analysis (ordering and symbolic factorization), the first numeric factorization (which "
      "also obtains the factor's storage) and the solve. The rate is the numeric "
      "factorization's, from the refactorization time and the method's own multiply-add count "
      "(two flops each; CHOLMOD's count is its flop count on the structure of L, Tarvel's "
      "`FactorFlops()`), as a share of the one-core dgemm rate below.")
    w("")
    if dgemm_rate:
        w("One-core dgemm (OpenBLAS, C = A B, 2000 x 2000, one thread): %.0f ms, **%.1f GFlop/s**."
          % (dgemm_ms, dgemm_rate))
        w("")
    w("| problem | method | ordering | analysis s | first factorization s | solve s | "
      "multiply-adds | stored values | refactorization s | GFlop/s | share of dgemm | "
      "2 threads: refactorization wall s | speed-up |")
    w("|---|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|---:|")
    for prob in names:
        for method, label in (("tarvel", "Tarvel"), ("cholmod", "CHOLMOD")):
            if get("sn-solve", method, prob) is None:
                continue
            code = get("sn-solve", method, prob, "ordering")
            ordering = CHOLMOD_ORDERINGS.get(int(code), "?") if code is not None else "auto"
            madds = get("sn-solve", method, prob, "madds")
            refac = get("sn-refactor", method, prob)
            rate = 2.0 * madds / (refac * 1e-3) / 1e9 if madds and refac else None
            two = get("sn-refactor-2t", method, prob, "wall_ms")

            def sec(key):
                v = get("sn-solve", method, prob, key)
                return "—" if v is None else "%.3g" % v

            w("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
                prob, label, ordering, sec("analyze_s"), sec("factor_s"), sec("solve_s"),
                "—" if madds is None else "%.3g G" % (madds / 1e9),
                fmt_count(get("sn-solve", method, prob, "stored")),
                "—" if refac is None else "%.3g" % (refac / 1e3),
                "—" if rate is None else "%.1f" % rate,
                "—" if rate is None or not dgemm_rate else "%.0f %%" % (100.0 * rate / dgemm_rate),
                "—" if two is None else "%.3g" % (two / 1e3), fmt_x(speedup(method, prob))))
    w("")
    if notes:
        w(notes.rstrip())
        w("")
    return True


def direct_bounds(text):
    start = text.find(DIRECT_HEADING)
    if start < 0:
        return None
    m = re.search(r"^## ", text[start + len(DIRECT_HEADING):], re.M)
    return start, (start + len(DIRECT_HEADING) + m.start() if m else len(text))


def put_direct_section(path, section):
    """Puts the section into the page at path: in place of its own, else before the residuals."""
    text = open(path).read() if os.path.exists(path) else "# Performance\n"
    bounds = direct_bounds(text)
    if bounds is None:
        at = text.find("## Iterations and residuals")
        bounds = (at, at) if at >= 0 else (len(text), len(text))
        section = section if at >= 0 else "\n" + section
    text = text[:bounds[0]] + section + text[bounds[1]:]
    open(path, "w").write(text)


def direct_main(argv):
    if argv[0] == "--carry":
        old = open(argv[1]).read() if os.path.exists(argv[1]) else ""
        new = open(argv[2]).read()
        bounds = direct_bounds(old)
        if bounds and direct_bounds(new) is None:
            put_direct_section(argv[2], old[bounds[0]:bounds[1]])
        return
    results, _ = load_results(argv[1])
    memory = load_memory(argv[2])
    plat = load_platform(argv[3])
    notes = open(argv[4]).read() if os.path.exists(argv[4]) else ""
    out = []
    if direct_section(out.append, results, memory, load_averages(argv[1]), plat, notes):
        put_direct_section(argv[5], "\n".join(out) + "\n")


def main():
    if len(sys.argv) > 1 and sys.argv[1] in ("--direct", "--carry"):
        direct_main(sys.argv[1:])
        return
    results, context = load_results(sys.argv[1])
    memory = load_memory(sys.argv[2])
    problems = load_problems(sys.argv[3])
    analysis = open(sys.argv[4]).read() if len(sys.argv) > 4 and os.path.exists(sys.argv[4]) else ""
    plat = load_platform(sys.argv[5] if len(sys.argv) > 5 else None)
    m = machine()
    names = []
    for p in problems:
        if p[0] not in names:
            names.append(p[0])
    reps = max([r["reps"] for r in results.values()] or [1])
    load = ", ".join("%.1f" % v for v in context.get("load_avg", [])) or "unknown"

    def get(fig, method, prob, key="ms"):
        r = results.get("%s/%s/%s" % (fig, method, prob))
        return None if r is None else r.get(key)

    def mem(fig, method, prob):
        if get(fig, method, prob) is None:
            return None  # not run (skipped or absent): no memory figure either
        return memory.get("%s/%s/%s" % (fig, method, prob))

    out = []
    w = out.append
    w("# Performance")
    w("")
    w("Generated by `scripts/bench.sh` from one run of `bench/tarvel_bench`; every figure and ratio")
    w("below comes from that run. Do not edit by hand: rerun the script (the analysis at the end is")
    w("kept in `bench/ANALYSIS.md`).")
    w("")
    w("## Machine")
    w("")
    w("| | |")
    w("|---|---|")
    w("| CPU | %s |" % m["cpu"])
    w("| cores | %s (all runs single-threaded but the sparse direct solvers' two-thread figure) |"
      % m["cores"])
    w("| memory | %s |" % m["mem"])
    w("| system | %s |" % m["os"])
    w("| compiler | %s, `-O3` (CMake Release), no `-march` |" % m["compiler"])
    w("| system BLAS / LAPACK | `%s` / `%s` |" % tuple("/".join(x.split("/")[-2:]) for x in (m["blas"], m["lapack"])))
    if plat:
        def lib(key):
            v = plat.get(key, "none")
            return "not linked" if v == "none" else "`%s`" % "/".join(v.split("/")[-2:])
        w("| Tarvel | its own kernels; skyline vector kernels chosen at run time: `%s` |"
          % plat.get("tarvel", "?"))
        w("| LAPACK dpbtrf/dpbtrs (`lapack-band`) | %s |" % lib("dpbtrf_"))
        w("| BLAS under CHOLMOD (`dgemm`) | %s |" % lib("dgemm_"))
        if "openblas" in plat:
            w("| OpenBLAS | %s |" % plat["openblas"])
        w("| Eigen | its own header-only kernels (no BLAS) |")
    w("| packages | %s |" % "; ".join(m["packages"]))
    w("| date | %s |" % m["date"])
    w("")
    w("## How it was measured")
    w("")
    w("- Times are medians of %d repetitions of the process's CPU time (Google Benchmark), in" % reps)
    w("  milliseconds. Everything runs on one thread (`OMP_NUM_THREADS=OPENBLAS_NUM_THREADS=")
    w("  MKL_NUM_THREADS=1`; Eigen built with `EIGEN_DONT_PARALLELIZE` and without OpenMP), so CPU")
    w("  time is the compute time; it is reported instead of wall-clock time because the machine may")
    w("  be shared with other jobs (load average %s at the start of this run), which stretches" % load)
    w("  wall-clock time but much less CPU time. Ratios are Tarvel / peer: below 1 Tarvel is faster.")
    w("- Every method solves the same reduced system (prescribed DOFs imposed, unit rows). Each")
    w("  solution is checked against an independent assembly (`examples/fem/Reference.h`); the")
    w("  relative residual ||K u - b|| / ||b|| of each is listed at the end.")
    w("- Each case runs in a process of its own (no case inherits the heap another one left). Only")
    w("  the named phase is timed; building the input it starts from is paused (a factorization")
    w("  overwrites its matrix, so each repetition gets a fresh one).")
    w("- Peak memory: each case runs once more in a process of its own. After its shared inputs")
    w("  (the element matrices, the reference system, the labelling) are built, `malloc_trim` returns")
    w("  freed heap, the kernel's resident high-water mark is reset (`/proc/self/clear_refs`), and the")
    w("  case's whole road runs: its matrix storage (assembly included for Tarvel, the copy from the")
    w("  reference arrays for the peers), factor or iteration, solution. The figure is the high-water")
    w("  mark minus the resident size at the reset, in MiB.")
    w("")
    w("## Problems")
    w("")
    w("| problem | DOFs | elements | fixed DOFs | entries of the reduced upper triangle |")
    w("|---|---:|---:|---:|---:|")
    seen = set()
    for p in problems:
        if p[0] not in seen:
            seen.add(p[0])
            w("| %s | %s | %s | %s | %s |" % tuple(p[:5]))
    w("")
    w("Labellings of the profile and band solvers (`natural`: the mesh's own numbering, no")
    w("reordering run; `Hager2` and `Hager3`: the library's backward labellings by score, Hager2")
    w("scoring every candidate at every step, Hager3 updating cached scores around the last")
    w("labelled DOF). Bandwidth is LAPACK's kd; profile is what the skyline matrix stores; envelope")
    w("is the graph's `Env`.")
    w("")
    w("| problem | labelling | bandwidth | envelope | profile | reordering s |")
    w("|---|---|---:|---:|---:|---:|")
    for p in problems:
        w("| %s | %s | %s | %s | %s | %s |" % (p[0], p[5], p[6], p[7], p[8], p[9]))
    w("")
    w("Poisson: -div grad u = 1, u = 0 on the boundary, Q4 (2D, N x N) or Hex8 (3D, N^3). Plate: the")
    w("plane-stress cantilever of the demo, clamped at x = 0, shear traction at x = L, one prop with a")
    w("prescribed displacement. Nodes are numbered row by row.")
    w("")

    def table(title, fig, tarvel, peers, target_of, per_product=False, note=""):
        w("## " + title)
        w("")
        if note:
            w(note)
            w("")
        def has_target(peer):
            return any(target_of(peer, prob) is not None for prob in names)

        head = "| problem | Tarvel %s |" % ("µs/product" if per_product else "ms")
        sep = "|---|---:|"
        for peer, _ in peers:
            head += " %s %s | ratio |" % (peer, "µs/product" if per_product else "ms")
            sep += "---:|---:|"
            if has_target(peer):
                head += " target |"
                sep += "---|"
        head += " Tarvel MiB |" + "".join(" %s MiB |" % p for p, _ in peers)
        sep += "---:|" * (1 + len(peers))
        w(head)
        w(sep)
        for prob in names:
            def value(f, meth):
                v = get(f, meth, prob)
                if v is not None and per_product:
                    n = get(f, meth, prob, "products")
                    v = v * 1000.0 / n if n else None
                return v
            t = value(fig, tarvel)
            row = "| %s | %s |" % (prob, fmt_ms(t))
            for peer, pfig in peers:
                pv = value(pfig, peer)
                row += " %s | %s |" % (fmt_ms(pv), fmt_ratio(t, pv))
                target = target_of(peer, prob)
                if has_target(peer):
                    row += " %s |" % (("≤ %.1f: %s" % (target, verdict(t, pv, target)))
                                      if target is not None else "—")
            row += " %s |" % fmt_mib(mem(fig, tarvel, prob))
            row += "".join(" %s |" % fmt_mib(mem(pfig, peer, prob)) for peer, pfig in peers)
            w(row)
        w("")

    table("Assembly: CSystSpMat::AddValues vs Eigen triplets", "assembly", "tarvel",
          [("eigen-triplets", "assembly")],
          lambda peer, prob: 2.0,
          note="Tarvel: `CSystSpMat(n)`, `m_bSym = true`, `AddValues` per element (upper triangle). "
               "Eigen: the same upper-triangle entries pushed as triplets, then `setFromTriplets`.")
    table("Direct solve: CSystSpMat::Cholesky_Solve vs sparse Cholesky", "direct", "tarvel",
          [("eigen-ldlt-natural", "direct"), ("cholmod-natural", "direct"),
           ("cholmod-default", "direct")],
          lambda peer, prob: 1.0 if peer == "eigen-ldlt-natural" and prob.startswith("poisson") else None,
          note="Factorize and solve one right-hand side, natural ordering everywhere except "
               "`cholmod-default` (CHOLMOD's own ordering and supernodal choice, shown for scale). "
               "`eigen-ldlt-natural` is `SimplicialLDLT<SparseMatrix, Upper, NaturalOrdering>`: the "
               "same fill as Tarvel's factor. Target on every Poisson size.")
    table("Profile solve, mesh numbering: CSkylineMatrix::Cholesky_Solve vs LAPACK dpbtrf + dpbtrs",
          "skyline", "tarvel", [("lapack-band", "skyline")],
          lambda peer, prob: 1.0 if prob in ("poisson2d-200", "plate-200x50", "poisson3d-20") else 2.0,
          note="The mesh's own numbering for both (`natural` under Problems): profile and band "
               "nearly coincide, so this compares the kernels. LAPACK (the library named under "
               "Machine, single-threaded) works on the band of half-bandwidth kd, Tarvel on the "
               "profile. Factorize and solve.")
    table("Profile solve, Hager2 labelling: CSkylineMatrix::Cholesky_Solve vs LAPACK dpbtrf + dpbtrs",
          "skyline-Hager2", "tarvel", [("lapack-band", "skyline-Hager2")], lambda peer, prob: 2.0,
          note="The library's road with a reordering, Hager2: on the plate the smallest profile of "
               "all (a quarter of the others). Where n kd^2 exceeds 2e10 the band solver is not "
               "run (—).")
    table("Profile solve, Hager3 labelling: CSkylineMatrix::Cholesky_Solve vs LAPACK dpbtrf + dpbtrs",
          "skyline-Hager3", "tarvel", [("lapack-band", "skyline-Hager3")], lambda peer, prob: 2.0,
          note="Hager3: the profile shrinks a little but the "
               "bandwidth grows four to five times, which the band solver pays for (n kd^2). Where "
               "n kd^2 exceeds 2e10 the band solver is not run (—).")
    solution_table(w, names, get, mem)
    reordered_system_table(w, names, get)
    table("Conjugate gradients per iteration: ConjGradient2 vs Eigen ConjugateGradient", "cg",
          "tarvel", [("eigen-cg-upper", "cg"), ("eigen-cg-full", "cg")],
          lambda peer, prob: 1.2 if peer == "eigen-cg-upper" else None, per_product=True,
          note="No preconditioner (`scale = false`; Eigen `IdentityPreconditioner`), start from "
               "zero, the same stopping test ||r|| / ||b|| < 1e-6 (the library's tolerance is the "
               "squared ratio, 1e-12), at most 5000 iterations. Time per matrix product: the whole "
               "solve divided by the number of products. `eigen-cg-upper` reads the upper triangle "
               "like Tarvel (Eigen's default stores one triangle too); `eigen-cg-full` stores both "
               "(row-major), Eigen's fastest form.")
    table("Conjugate gradients with diagonal scaling, per iteration", "cg-scaled", "tarvel",
          [("eigen-cg-jacobi", "cg-scaled")], lambda peer, prob: None, per_product=True,
          note="Tarvel `scale = true` (symmetric diagonal scaling) vs Eigen's default Jacobi "
               "preconditioner: equivalent iterations, but the library tests the scaled residual, "
               "Eigen the unscaled one, so the counts may differ. For information.")

    direct_section(w, results, memory, load_averages(sys.argv[1]), plat,
                   open(sys.argv[6]).read() if len(sys.argv) > 6 and os.path.exists(sys.argv[6])
                   else "")

    w("## Iterations and residuals")
    w("")
    w("| case | products | relative residual |")
    w("|---|---:|---:|")
    for name in sorted(results):
        r = results[name]
        if "relres" in r:
            w("| %s | %s | %.2e |" % (name, "%d" % r["products"] if "products" in r else "—",
                                       r["relres"]))
    w("")
    if analysis:
        w(analysis.rstrip())
        w("")
    print("\n".join(out))


if __name__ == "__main__":
    main()
