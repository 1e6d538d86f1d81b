#!/usr/bin/env python3
"""Writes the results of scripts/scale.sh into their own section of docs/performance.md.

Arguments: the results file (one line of key=value fields per run) and the report to update.
The section runs from its heading to the next heading of the same level (or the end) and is
replaced as a whole; it is appended when absent. With --carry OLD REPORT instead, the section of
the report OLD is put into REPORT (scripts/bench.sh keeps it so when it regenerates the report).
"""
import datetime
import math
import os
import platform
import re
import sys

HEADING = "## Scale: a million degrees of freedom"


def fields(line):
    return dict(kv.split("=", 1) for kv in line.split() if "=" in kv)


def mib(f):
    return f.get("peak_mb", "-")


def section_bounds(text):
    start = text.find(HEADING)
    if start < 0:
        return None
    m = re.search(r"^## ", text[start + len(HEADING):], re.M)
    return start, (start + len(HEADING) + m.start() if m else len(text))


def put_section(path, section):
    text = open(path).read() if os.path.exists(path) else "# Performance\n"
    bounds = section_bounds(text)
    if bounds is None:
        text = text.rstrip("\n") + "\n\n" + section
    else:
        start, end = bounds
        text = text[:start] + section + ("\n" + text[end:] if end < len(text) else "")
    open(path, "w").write(text)


def main():
    if sys.argv[1] == "--carry":
        old = open(sys.argv[2]).read() if os.path.exists(sys.argv[2]) else ""
        bounds = section_bounds(old)
        if bounds:
            put_section(sys.argv[3], old[bounds[0]:bounds[1]].rstrip("\n") + "\n")
        return
    runs = [fields(line) for line in open(sys.argv[1]) if line.strip()]
    out = []
    w = out.append
    w(HEADING)
    w("")
    w("Measured by `scripts/scale.sh` on %s (%s, %d processors). **The machine was shared**"
      % (datetime.date.today().isoformat(), platform.machine(), os.cpu_count() or 0))
    w("with other jobs while this ran: times are wall-clock and may be inflated by a factor of")
    w("two or more; memory is not affected. Each line is one process; peak = the process's peak")
    w("resident set; bytes per entry = the resident growth while the matrix was assembled divided")
    w("by its stored entries (cells of the system matrix, values of the skyline profile).")
    w("")
    w("### The roads")
    w("")
    w("| build | problem | DOFs | road | reordering | assemble s | solve s | iterations | stored entries | bytes/entry | peak MiB | residual | note |")
    w("|---|---|---:|---|---|---:|---:|---:|---:|---:|---:|---:|---|")
    for f in runs:
        if f.get("road") not in ("cg", "skyline"):
            continue
        note = ""
        if "skipped" in f:
            note = "profile of %s values needs %s: not allocated" % (
                f.get("profile", "?"), f["skipped"].replace("profile-needs-", "").replace("-", " "))
        elif "timeout" in f:
            note = "stopped after %s s" % f["timeout"]
        elif "failed" in f:
            note = "failed (status %s)" % f["failed"]
        elif "error" in f:
            note = f["error"]
        w("| %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s | %s |" % (
            f.get("build"), f.get("problem"), f.get("dofs", "-"), f.get("road"),
            f.get("reordering", "-") if f.get("road") == "skyline" else "-",
            f.get("assemble_s", "-"), f.get("solve_s", "-"), f.get("iterations", "-"),
            f.get("entries", "-"), f.get("bytes_per_entry", "-"), mib(f), f.get("residual", "-"),
            note))
    w("")
    w("### Reorderings: time against n log n")
    w("")
    w("The square at 101^2, 317^2 and 1001^2 DOFs. Growth = (t2 / t1) / (n2 ln n2 / n1 ln n1)")
    w("between consecutive sizes: 1 is n log n; above 2 (with t2 over one second) the reordering")
    w("grows faster than n log n and is flagged, as is one that did not finish in the time limit.")
    w("")
    w("| reordering | t at 10^4 s | t at 10^5 s | t at 10^6 s | profile at largest | growth 10^4 to 10^5 | growth 10^5 to 10^6 | faster than n log n |")
    w("|---|---:|---:|---:|---:|---:|---:|---|")
    names = []
    for f in runs:
        if f.get("road") == "reorder" and f.get("reordering") not in names:
            names.append(f.get("reordering"))
    for name in names:
        sizes = {}
        for f in runs:
            if f.get("road") == "reorder" and f.get("reordering") == name:
                sizes[int(f["N"])] = f
        cells, growths, flagged, profile = [], [], [], "-"
        previous = None
        for N in (100, 316, 1000):
            f = sizes.get(N)
            if f is None:
                cells.append("not run")
                continue
            if "reorder_s" not in f:
                cells.append("over %s" % f.get("timeout", "?") if "timeout" in f else "failed")
                flagged.append("no finish at %d^2" % (N + 1))
                previous = None
                continue
            t = float(f["reorder_s"])
            n = float(f["dofs"])
            cells.append("%.2f" % t)
            profile = f.get("profile", "-")
            if previous:
                n1, t1 = previous
                g = (t / max(t1, 1e-3)) / ((n * math.log(n)) / (n1 * math.log(n1)))
                growths.append("%.1f" % g)
                if g > 2 and t > 1.0:
                    flagged.append("%.1f x n log n to %d^2" % (g, N + 1))
            previous = (n, t)
        while len(growths) < 2:
            growths.append("-")
        w("| %s | %s | %s | %s | %s | %s | %s | %s |" % (
            name, cells[0], cells[1], cells[2], profile, growths[0], growths[1],
            "; ".join(flagged) if flagged else "no"))
    w("")
    section = "\n".join(out) + "\n"

    put_section(sys.argv[2], section)


if __name__ == "__main__":
    main()
