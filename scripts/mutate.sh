#!/usr/bin/env bash
# Mutation check of the test suite: applies each deliberate fault of the table below to one
# source of the library, the examples or the demo program, rebuilds the test program of that
# source's family, runs it, and restores the source. A mutant is caught when the program fails,
# crashes or times out. Prints each verdict and "caught K of N" (mutants that do not compile are
# reported and left out of N).
# Usage: scripts/mutate.sh [BUILD_DIR]   (default build/mutate; configured on first use, ccache)
#        MUTATE_ONLY=REGEX scripts/mutate.sh   runs the mutants whose file matches REGEX
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build/mutate}
jobs=${MUTATE_JOBS:-2}
limit=${MUTATE_TIMEOUT:-600}  # seconds per test program; a hang counts as caught

# file (under tarvel/, or from the repository's root when it starts with examples/ or apps/) |
# exact text, found once in the file | replacement | test program
mutants=$(
    cat <<'EOF'
sparse/SparseCholesky.cpp|diag->m_dValue > 0.0;|diag->m_dValue >= 0.0;|sparse
sparse/SparseCholesky.cpp|const double a7 = y[t + 7] + f * x[t + 7];|const double a7 = y[t + 7] - f * x[t + 7];|sparse
sparse/SparseCholesky.cpp|if (t < n) y[t] += f * x[t];|if (t + 1 < n) y[t] += f * x[t];|sparse
sparse/SparseLU.cpp|const double l = a / m_pivot[uk];|const double l = a / m_pivot[uk] * (1.0 + 1e-9);|sparse
sparse/SparseLU.cpp|if (m < limit) set_pending(m);|if (m + 1 < limit) set_pending(m);|sparse
sparse/ConjGradient.cpp|if (ratio < tol)|if (ratio > tol)|sparse
sparse/ConjGradient.cpp|pd[e] = beta[c] * pd[e] + rd[e];|pd[e] = rd[e];|sparse
sparse/ConjGradient.cpp|alpha[c] = rr.m_pData[c] / pq[c];|alpha[c] = 0.9 * rr.m_pData[c] / pq[c];|sparse
sparse/GaussSeidel.cpp|if (!seen && c->m_nCol >= i)|if (!seen && c->m_nCol > i)|sparse
sparse/GaussSeidel.cpp|w[i] -= x[i];|w[i] += x[i];|sparse
sparse/GaussSeidel.cpp|xi -= c->m_dValue * w[c->m_nCol];|xi += c->m_dValue * w[c->m_nCol];|sparse
sparse/BoundaryConditions.cpp|for (int c = 0; c < p; ++c) b_r[c] -= ga;|for (int c = 0; c < p; ++c) b_r[c] += ga;|sparse
sparse/BoundaryConditions.cpp|if (diagonal) *diagonal = Cell{nullptr, 1.0, r};|if (diagonal) *diagonal = Cell{nullptr, 2.0, r};|sparse
sparse/BoundaryConditions.cpp|if (j >= 0 && j < n && j != i|if (j >= 0 && j < n - 1 && j != i|sparse
sparse/SparseLU.cpp|m_pivot[static_cast<std::size_t>(r)] = c->m_dValue;|m_pivot[static_cast<std::size_t>(r)] = -c->m_dValue;|sparse
sparse/SparseSubstitution.cpp|if (mode == -2) b[k] /= head->m_dValue;|if (mode == -1) b[k] /= head->m_dValue;|sparse
sparse/SymbolicCholesky.cpp|if (leaf >= 1) ++delta|if (leaf == 1) ++delta|sparse
sparse/SymbolicCholesky.cpp|if (up == kNone) parent[static_cast<std::size_t>(a)] = k;|if (up == kNone && a + 1 < k) parent[static_cast<std::size_t>(a)] = k;|sparse
skyline/SkylineCholesky.cpp|if (!(d_i > 0.0)) return -1;|if (!(d_i >= 0.0)) return -1;|skyline
skyline/SkylineCholesky.cpp|if (lane_peak[b] <= i) column|if (lane_peak[b] < i) column|skyline
skyline/SkylineSubstitution.cpp|b_i[c0 + c] -= s[c];|b_i[c0 + c] += s[c];|skyline
skyline/SkylineSubstitution.cpp|for (int c = 0; c < cols; ++c) b_i[c] -= u_ij * x_j[c];|for (int c = 1; c < cols; ++c) b_i[c] -= u_ij * x_j[c];|skyline
skyline/SkylineGaussSeidel.cpp|if (err < tol)|if (err > tol)|skyline
skyline/SkylineGaussSeidel.cpp|for (int r = p; r < i; ++r) s += xs[r] * u[r - p];|for (int r = p + 1; r < i; ++r) s += xs[r] * u[r - p];|skyline
skyline/SkylineMatrix.cpp|height[L] = L - k + 1;|height[L] = L - k + 2;|skyline
skyline/SkylineMatrix.cpp|for (int j = 0; j < m_nOrder; ++j) d[j] = *m_ppDiag[j];|for (int j = 0; j < m_nOrder; ++j) d[j] = *m_ppDiag[m_nOrder - 1 - j];|skyline
reorder/ProfileReduction.cpp|m_level[u] = m_level[v] + 1;|m_level[u] = m_level[v];|reorder
reorder/ProfileReduction.cpp|label[sequence[p]] = n - 1 - p;|label[sequence[p]] = p;|reorder
reorder/ProfileReduction.cpp|if (env < best)|if (env > best)|reorder
reorder/ProfileReduction.cpp|m_levelStart.push_back(static_cast<int>(end));|m_levelStart.push_back(static_cast<int>(end) - 1);|reorder
reorder/TabuSearch.cpp|return static_cast<int>((hi + lo + 1) / 2);|return static_cast<int>((hi + lo) / 2);|reorder
reorder/MinimumDegree.cpp|if (key < bestKey)|if (key <= bestKey)|reorder
reorder/ReorderMat.cpp|if (b > best)|if (b < best)|reorder
reorder/ReorderMat.cpp|for (int q = p + 1; q < k; ++q)|for (int q = p + 2; q < k; ++q)|reorder
containers/ContainerArchive.cpp|if (rows < 0 \|\| cols < 0) refuse();|if (rows < 0) refuse();|containers
containers/ContainerArchive.cpp|values.empty() ? std::min(n, kBlock) : 2 * values.capacity()|n|containers
containers/ContainerArchive.cpp|for (int i = 0; i < m_nSize; ++i) ar << m_pData[i];|for (int i = 1; i < m_nSize; ++i) ar << m_pData[i];|containers
core/detail/DenseKernelBody.h|b_kj[v] = K::load(b_k + v * K::kWidth);|b_kj[v] = K::load(b_k + v);|core
core/detail/DenseKernelBody.h|for (int q = 0; q < R; ++q) y[i + q] += s[q];|for (int q = 0; q < R; ++q) y[i + q] = s[q];|core
core/detail/DenseKernelBody.h|for (int j = i; j < n; ++j) a_i[j] -= f_d * a_k[j];|for (int j = i + 1; j < n; ++j) a_i[j] -= f_d * a_k[j];|core
core/DenseLU.cpp|if (m > largest)|if (m >= largest)|core
core/DenseLU.cpp|y[i] = b[index_of(perm[i], c, m)] - s;|y[i] = b[index_of(i, c, m)] - s;|core
core/Matrix.cpp|for (int j = i + 1; j < cols; ++j)|for (int j = i + 2; j < cols; ++j)|core
core/Vector.cpp|for (; i < common; ++i) z[i]|for (; i + 1 < common; ++i) z[i]|core
core/Rotations.cpp|R(1, 2) = 2.0 * (y * z - x * w);|R(1, 2) = 2.0 * (y * z + x * w);|core
core/DenseArchive.cpp|loaded.n == 0 ? rows == 0 :|loaded.n == 0 ? rows >= 0 :|core
containers/ContainerArchive.cpp|if (n > INT_MAX) refuse();|if (n > LONG_MAX / 2) refuse();|containers
core/NumberGrammar.cpp|bool is_sign(char c) { return c == '+' \|\| c == '-'; }|bool is_sign(char c) { return c == '-'; }|core
core/NumberGrammar.cpp|bool is_exponent(char c) { return c == 'E' \|\| c == 'e'; }|bool is_exponent(char c) { return c == 'E'; }|core
core/NumberGrammar.cpp|return {2, "0 1 0", "0 -1 0"};|return {2, "0 1 0", "0 1 0"};|core
core/NumberGrammar.cpp|if (!found) file.Seek(LONGLONG(start), CFile::begin);|if (!found) file.SeekToBegin();|core
io/detail/TextFormat.cpp|? 6 : style.precision;|? 6 : style.precision + 1;|io
exchange/MatrixMarket.cpp|e.push_back({e[k].j, e[k].i, e[k].v});|e.push_back({e[k].i, e[k].j, e[k].v});|exchange
exchange/MatrixMarket.cpp|h.field = Field::Integer;|h.field = Field::Real;|exchange
exchange/MatrixMarket.cpp|h.cols = size[1];|h.cols = size[0];|exchange
io/detail/TextFormat.h|v, std::chars_format::general, 17).ptr|v, std::chars_format::general, 16).ptr|exchange
exchange/MatrixMarket.cpp|if (count < h.entries)|if (count + 1 < h.entries)|exchange
platform/Archive.cpp|b[i] = BYTE(v >> (8 * i));|b[i] = BYTE(v >> (8 * (N - 1 - i)));|platform
platform/Archive.cpp|index == 0 \|\| index >= m_loadArray.size()|index == 0 \|\| index > m_loadArray.size()|platform
platform/String.cpp|while (end > 0 && is_c_space(m_str[end - 1])) --end;|while (end > 1 && is_c_space(m_str[end - 1])) --end;|platform
platform/String.cpp|if (c >= 'a' && c <= 'z')|if (c >= 'a' && c < 'z')|platform
platform/File.cpp|if (lpszFileName == nullptr \|\| *lpszFileName == '\0') return|if (lpszFileName == nullptr) return|platform
examples/fem/Elements.cpp|const double kGauss = 1.0 / std::sqrt(3.0);|const double kGauss = 0.5 / std::sqrt(3.0);|examples
examples/fem/Elements.cpp|ka[9] += w * (dy[a] * d11 * dy[b] + dx[a] * d33 * dx[b]);|ka[9] += w * (dy[a] * d11 * dy[b] + dx[a] * d11 * dx[b]);|examples
examples/fem/Elements.cpp|dN[0][c] = -(inv[c][0] + inv[c][1] + inv[c][2]);|dN[0][c] = -(inv[c][0] + inv[c][1]);|examples
examples/fem/Elements.cpp|z[2] = dz, z[4] = dy, z[5] = dx;|z[2] = dz, z[4] = dx, z[5] = dy;|examples
examples/fem/Elements.cpp|dref[a][2] = 0.125 * kZeta[a] * fx * fy;|dref[a][2] = 0.125 * kZeta[a] * fx * fz;|examples
examples/fem/Mesh.cpp|for (int j = 0; j <= ny; ++j) out.push_back(node(nx, j));|for (int j = 0; j <= ny; ++j) out.push_back(node(nx - 1, j));|examples
examples/fem/Roads.cpp|for (long d : p.fixed_dofs) K(label(d), label(d)) = 1.0;|for (long d : p.fixed_dofs) K(label(d), label(d)) = 2.0;|apps
apps/tarvel-fem/MeshInput.cpp|if (v < 0) std::swap(c[2], c[3]);|if (v > 0) std::swap(c[2], c[3]);|apps
apps/tarvel-fem/MeshInput.cpp|if (negative) std::swap_ranges(c, c + 4, c + 4);|if (negative && c[0] < 0) std::swap_ranges(c, c + 4, c + 4);|apps
apps/tarvel-fem/MeshInput.cpp|if (area2 < 0.0) std::reverse(c + 1, c + mesh.corners);|if (area2 < 0.0) std::reverse(c, c + mesh.corners);|apps
apps/tarvel-fem/Options.cpp|v < 1 \|\| v > most) return false;|v < 0 \|\| v > most) return false;|apps
apps/tarvel-fem/Vtk.cpp|mesh.corners == 4 ? 10 : 12);|mesh.corners == 4 ? 10 : 11);|apps
apps/tarvel-fem/Demo.cpp|o.progress = ::isatty(STDERR_FILENO) == 1;|o.progress = true;|apps
EOF
)

if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARVEL_WERROR=ON \
        -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi

source_of() {  # a row's file column as a path from the repository's root
    case $1 in
    examples/* | apps/*) echo "$1" ;;
    *) echo "tarvel/$1" ;;
    esac
}

backup=$(mktemp -d)
current=""
restore() {
    if [[ -n $current ]]; then
        cp "$backup/original" "$root/$current"  # a fresh time stamp: the next build recompiles it
        current=""
    fi
}
trap 'restore; rm -rf "$backup"' EXIT
trap 'exit 130' INT TERM

run_program() {  # $1: family; fails when a test fails, the program crashes or hangs
    (cd "$build/tests" && timeout "$limit" "./tarvel_$1_tests" --gtest_brief=1 >/dev/null 2>&1) \
        2>/dev/null  # a crash is a verdict, not a message
}

build_program() {
    cmake --build "$build" -j"$jobs" --target "tarvel_$1_tests" >"$backup/build.log" 2>&1
}

# -- 1. The unmutated tree must build and pass, or no verdict means anything --
# (only the families of the mutants that MUTATE_ONLY selects)
families=$(sed 's/\\|//g' <<<"$mutants" | awk -F'|' -v only="${MUTATE_ONLY:-}" \
    'NF && (only == "" || $1 ~ only) {print $4}' | sort -u)
for f in $families; do
    build_program "$f" || { echo "baseline: tarvel_${f}_tests does not build"; exit 2; }
    run_program "$f" || { echo "baseline: tarvel_${f}_tests fails before any mutation"; exit 2; }
done

# -- 2. One mutant at a time --
caught=0 total=0 number=0
while IFS= read -r line; do
    [[ -z $line ]] && continue
    number=$((number + 1))
    line=${line//\\|/$'\x01'}  # an escaped bar belongs to the text, not to the table
    IFS='|' read -r file old new family <<<"$line"
    old=${old//$'\x01'/|}
    new=${new//$'\x01'/|}
    [[ -n ${MUTATE_ONLY:-} && ! $file =~ $MUTATE_ONLY ]] && continue
    label=$(printf '%2d %-32s %s' "$number" "$file" "$old")
    source=$(source_of "$file")
    cp "$source" "$backup/original"
    current=$source
    if ! OLD=$old NEW=$new python3 - "$source" <<'PY'; then
import os, sys
path = sys.argv[1]
text = open(path).read()
old, new = os.environ["OLD"], os.environ["NEW"]
if text.count(old) != 1:
    sys.exit(1)
open(path, "w").write(text.replace(old, new))
PY
        restore
        echo "$label: STALE (the text is not found exactly once)"
        continue
    fi
    if ! build_program "$family"; then
        restore
        echo "$label: does not compile (left out)"
        continue
    fi
    total=$((total + 1))
    if run_program "$family"; then
        echo "$label: SURVIVED"
    else
        caught=$((caught + 1))
        echo "$label: caught"
    fi
    restore
done <<<"$mutants"

# -- 3. Leave the build matching the tree again --
for f in $families; do build_program "$f" || true; done
if git rev-parse --is-inside-work-tree >/dev/null 2>&1 && ! git diff --quiet -- tarvel examples apps; then
    echo "warning: tarvel/, examples/ or apps/ differs from the index after the run (was it clean before?)"
fi
echo "caught $caught of $total"
