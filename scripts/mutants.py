#!/usr/bin/env python3
"""A fixed sample of mutants of Src/ and regex/ against the test suite.

Each mutant changes one place: a comparison flipped (== and !=), a boundary
moved (< and <=, > and >=), a boolean or logical operator swapped, an integer
constant raised by one, or one expression statement removed. The candidates
are listed in a fixed order and shuffled with the seed, so that the same seed
over the same sources gives the same mutants. Each is built in a release
build without sanitizers (preset "mutants") and the suite runs until its first
failure; a mutant that does not build is skipped and the next one taken.
Results go to stdout and build/mutants/results.tsv.
"""
import argparse
import os
import random
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "mutants")
SOURCES = ("Src", "regex")

SWAPS = [
    (r" == ", " != ", "== to !="),
    (r" != ", " == ", "!= to =="),
    (r" <= ", " < ", "<= to <"),
    (r" >= ", " > ", ">= to >"),
    (r" < ", " <= ", "< to <="),
    (r" > ", " >= ", "> to >="),
    (r" && ", " || ", "&& to ||"),
    (r" \|\| ", " && ", "|| to &&"),
    (r"\btrue\b", "false", "true to false"),
    (r"\bfalse\b", "true", "false to true"),
]
NUMBER = re.compile(r"(?<![\w.])(\d+)(?![\w.])")
DECLARATION = re.compile(
    r"^\s*(const|constexpr|static|auto|bool|int|unsigned|char|float|double|size_t|u?int\d+_t|"
    r"std::|return|break|continue|case|default|using|typedef|template|namespace|class|struct|"
    r"enum|#|//|\}|\{)")


def code_part(line):
    """The line with string and character literals blanked and comments cut."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            out.append(" " if c != quote else c)
            if c == quote:
                quote = None
        elif c in "\"'":
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def candidates():
    found = []
    for top in SOURCES:
        for folder, _, files in sorted(os.walk(os.path.join(ROOT, top))):
            for name in sorted(files):
                if not name.endswith((".cpp", ".h")):
                    continue
                path = os.path.relpath(os.path.join(folder, name), ROOT)
                with open(os.path.join(ROOT, path)) as f:
                    lines = f.read().split("\n")
                for n, line in enumerate(lines):
                    code = code_part(line)
                    stripped = code.strip()
                    if not stripped or stripped.startswith(("#", "*", "/*")):
                        continue
                    for pattern, repl, what in SWAPS:
                        for m in re.finditer(pattern, code):
                            found.append((path, n, m.start(), m.end(), repl, what))
                    if "NIMBRA_TRACE" not in code and "static_assert" not in code:
                        for m in NUMBER.finditer(code):
                            value = int(m.group(1))
                            found.append((path, n, m.start(), m.end(), str(value + 1),
                                          f"{value} to {value + 1}"))
                    if (stripped.endswith(";") and not DECLARATION.match(code)
                            and "NIMBRA_TRACE" not in code and ("(" in code or "=" in code)):
                        found.append((path, n, 0, len(line), "", "statement removed"))
    return found


def run(cmd, **kw):
    return subprocess.run(cmd, cwd=ROOT, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                          text=True, **kw)


def failures(output):
    """Every test of ctest's failed list with its reason, those that failed on
    their own first: "Name (Failed)", ... A test that --stop-on-failure cut
    short while it ran is listed too, with its own reason."""
    m = re.search(r"The following tests FAILED:\s*\n((?:\s*\d+ - .*\n?)+)", output)
    if not m:
        return "?"
    found = re.findall(r"\d+ - (\S+) \(([^)]*)\)", m.group(1))
    found.sort(key=lambda f: f[1] != "Failed")
    return ", ".join(f"{name} ({why})" for name, why in found)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--count", type=int, default=40)
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--list", action="store_true", help="print the sample, build nothing")
    ap.add_argument("--only", default="", help="test only the mutants --list prints whose "
                    "place (path:line) matches this regular expression")
    ap.add_argument("--tests", default="", help="run only the ctest cases matching this "
                    "regular expression (ctest -R)")
    args = ap.parse_args()
    sample = candidates()
    random.Random(args.seed).shuffle(sample)
    if args.list:
        for path, n, a, b, repl, what in sample[:args.count]:
            print(f"{path}:{n + 1}\t{what}")
        return 0
    jobs = str(os.cpu_count() or 2)
    if run(["cmake", "--preset", "mutants"]).returncode != 0:
        print("mutants: configure failed", file=sys.stderr)
        return 2
    base = run(["cmake", "--build", "--preset", "mutants", "-j", jobs])
    if base.returncode != 0:
        print(base.stdout[-3000:], file=sys.stderr)
        return 2
    env = dict(os.environ, NIMBRA_STRESS_SECONDS="10")
    results, tested = [], 0
    os.makedirs(BUILD, exist_ok=True)
    if args.only:  # a part of the listed sample, which mutants that do not build may shorten
        sample = [m for m in sample[:args.count] if re.search(args.only, f"{m[0]}:{m[1] + 1}")]
    for path, n, a, b, repl, what in sample:
        if tested == args.count:
            break
        full = os.path.join(ROOT, path)
        with open(full) as f:
            original = f.read()
        lines = original.split("\n")
        lines[n] = lines[n][:a] + repl + lines[n][b:]
        try:
            with open(full, "w") as f:
                f.write("\n".join(lines))
            built = run(["cmake", "--build", "--preset", "mutants", "-j", jobs])
            if built.returncode != 0:
                outcome, killer = "did not build", ""
            else:
                tested += 1
                suite = run(["ctest", "--test-dir", BUILD, "-j", jobs, "--stop-on-failure",
                             "--timeout", "300"] + (["-R", args.tests] if args.tests else []),
                            env=env)
                outcome = "killed" if suite.returncode != 0 else "survived"
                killer = failures(suite.stdout) if suite.returncode != 0 else ""
        finally:
            with open(full, "w") as f:
                f.write(original)
        results.append((f"{path}:{n + 1}", what, outcome, killer))
        print(f"{path}:{n + 1}\t{what}\t{outcome}\t{killer}", flush=True)
    run(["cmake", "--build", "--preset", "mutants", "-j", jobs])  # back to the sources
    with open(os.path.join(BUILD, "results.tsv"), "w") as f:
        for r in results:
            f.write("\t".join(r) + "\n")
    killed = sum(1 for r in results if r[2] == "killed")
    built = sum(1 for r in results if r[2] != "did not build")
    print(f"mutants: {killed} of {built} killed (seed {args.seed})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
