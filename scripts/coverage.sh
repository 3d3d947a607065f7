#!/usr/bin/env bash
# Line and branch coverage of the whole suite with clang's source-based
# coverage: builds the coverage preset, runs every test with the profiles
# merged online per program, and reports by folder (Src/ and regex/ together,
# host/src/, tools/). Prints the summary and writes build/coverage/report.txt.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/coverage
cmake --preset coverage >/dev/null
cmake --build --preset coverage -j "${JOBS:-$(nproc)}"
rm -rf "$build/profiles"
mkdir -p "$build/profiles"
# %4m: a pool of four files per program, merged as processes exit (the
# simulator alone runs thousands of times).
LLVM_PROFILE_FILE="$PWD/$build/profiles/%4m.profraw" \
  ctest --test-dir "$build" -j "${JOBS:-$(nproc)}" --timeout 600 >"$build/ctest.log" 2>&1 ||
  { tail -20 "$build/ctest.log"; echo "coverage: some tests failed (see $build/ctest.log)"; }
llvm-profdata merge -sparse "$build"/profiles/*.profraw -o "$build/suite.profdata"
objects=()
for f in "$build"/*_test "$build"/bin/isdct "$build"/nimbra-host "$build"/libhostfw.so \
         "$build"/libNimbra.so; do
  [[ -x "$f" || "$f" == *.so ]] && [[ -e "$f" ]] && objects+=(-object "$f")
done
llvm-cov export -summary-only -instr-profile "$build/suite.profdata" "${objects[@]:1}" \
  -ignore-filename-regex='(/usr/|/tests/|/bench/|/fuzz/|/build/)' >"$build/summary.json"
python3 - "$build/summary.json" "$PWD" <<'PY' | tee "$build/report.txt"
import json, sys
data = json.load(open(sys.argv[1]))
root = sys.argv[2] + "/"
groups = {"Src/ + regex/": ("Src/", "regex/"), "host/src/": ("host/src/",), "tools/": ("tools/",)}
totals = {g: [0, 0, 0, 0] for g in groups}
for f in data["data"][0]["files"]:
    name = f["filename"].replace(root, "")
    s = f["summary"]
    for g, prefixes in groups.items():
        if name.startswith(prefixes):
            t = totals[g]
            t[0] += s["lines"]["covered"]; t[1] += s["lines"]["count"]
            t[2] += s["branches"]["covered"]; t[3] += s["branches"]["count"]
print(f"{'folder':<16}{'lines':>22}{'branches':>22}")
for g, (lc, ln, bc, bn) in totals.items():
    pct = lambda c, n: 100.0 * c / n if n else 0.0
    print(f"{g:<16}{lc:>8}/{ln:<7}{pct(lc, ln):6.2f}%{bc:>8}/{bn:<7}{pct(bc, bn):6.2f}%")
PY
