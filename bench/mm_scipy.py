"""scipy.io's side of the Matrix Market cases of bench/MatrixMarket_bench.cpp.

    python3 mm_scipy.py read FILE          times scipy.io.mmread(FILE)
    python3 mm_scipy.py write FILE OUT     reads FILE, then times scipy.io.mmwrite(OUT, ...)

Prints the seconds of the timed call alone (the interpreter's start and scipy's import are not
in it). The write is told the symmetry and 17 digits, so that it neither searches for symmetry
nor writes fewer digits than Tarvel does.
"""
import sys
import time

import scipy.io


def main():
    op, name = sys.argv[1], sys.argv[2]
    if op == "read":
        start = time.perf_counter()
        scipy.io.mmread(name)
    else:
        a = scipy.io.mmread(name)
        start = time.perf_counter()
        scipy.io.mmwrite(sys.argv[3], a, symmetry="symmetric", precision=17)
    print("%.6f" % (time.perf_counter() - start))


if __name__ == "__main__":
    main()
