#!/usr/bin/env python3
"""What each test case covers that no other case does.

Runs every ctest case of the coverage build (make coverage first) alone, with
a profile of its own, and prints per case the lines and branches of Src/ +
regex/ and of host/ + tools/ that only it covers. Then, from the largest case
down, it lists the cases the rest of the suite covers completely: candidates
for a cut, to be judged by what they assert (coverage says nothing of that)
and by the mutant sample. Cases named with --keep (a regular expression) are
never listed.
"""
import argparse
import collections
import os
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.join(ROOT, "build", "coverage")
IGNORE = "-ignore-filename-regex=(/usr/|/tests/|/bench/|/fuzz/|/build/)"


def run_cases(names, jobs):
    """Profiles each case into BUILD/by-test/<case>/case.profdata."""
    def one(name):
        folder = os.path.join(BUILD, "by-test", re.sub(r"[^\w.-]", "_", name))
        os.makedirs(folder, exist_ok=True)
        env = dict(os.environ, LLVM_PROFILE_FILE=os.path.join(folder, "%4m.profraw"))
        subprocess.run(["ctest", "--test-dir", BUILD, "-R", "^" + re.escape(name) + "$",
                        "--timeout", "600"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        raws = [os.path.join(folder, f) for f in os.listdir(folder) if f.endswith(".profraw")]
        if raws:
            subprocess.run(["llvm-profdata", "merge", "-sparse", *raws, "-o",
                            os.path.join(folder, "case.profdata")], check=True)
            for r in raws:
                os.remove(r)
        return name, folder
    from concurrent.futures import ThreadPoolExecutor
    with ThreadPoolExecutor(jobs) as pool:
        return dict(pool.map(one, names))


def covered(profile, objects):
    """The (file, line) and (file, line, block, branch) a profile reaches."""
    out = subprocess.run(["llvm-cov", "export", "-format=lcov", "-instr-profile", profile,
                          objects[0], *sum((["-object", o] for o in objects[1:]), []), IGNORE],
                         stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    lines, branches, name = set(), set(), None
    for row in out.splitlines():
        if row.startswith("SF:"):
            name = os.path.relpath(row[3:], ROOT)
        elif row.startswith("DA:"):
            n, count = row[3:].split(",")[:2]
            if int(count) > 0:
                lines.add((name, int(n)))
        elif row.startswith("BRDA:"):
            n, block, branch, count = row[5:].split(",")
            if count not in ("-", "0"):
                branches.add((name, int(n), block, branch))
    return lines, branches


def case_sizes():
    """Non-blank lines of each TEST, from its line to the next TEST of its file."""
    files = subprocess.run(["git", "-C", ROOT, "ls-files", "tests/*.cpp"], stdout=subprocess.PIPE,
                           text=True, check=True).stdout.split()
    sizes = {}
    for path in files:
        text = open(os.path.join(ROOT, path)).read().split("\n")
        starts = [(i, m) for i, row in enumerate(text)
                  for m in [re.match(r"TEST(?:_F|_P)?\((\w+), (\w+)\)", row)] if m]
        for k, (i, m) in enumerate(starts):
            end = starts[k + 1][0] if k + 1 < len(starts) else len(text)
            sizes[m.group(1) + "." + m.group(2)] = sum(1 for row in text[i:end] if row.strip())
    return sizes


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--keep", default="^$", help="cases never listed as candidates")
    args = ap.parse_args()
    listed = subprocess.run(["ctest", "--test-dir", BUILD, "-N"], stdout=subprocess.PIPE,
                            text=True, check=True).stdout
    names = re.findall(r"Test +#\d+: (\S+)", listed)
    if not names:
        sys.exit("coverage_by_test: no tests in build/coverage (run make coverage first)")
    objects = [os.path.join(BUILD, f) for f in sorted(os.listdir(BUILD))
               if f.endswith(("_test", ".so")) or f == "nimbra-host"]
    objects = [o for o in objects if os.path.isfile(o)] + [os.path.join(BUILD, "bin", "isdct")]
    folders = run_cases(names, args.jobs)
    cases = {}
    for name, folder in folders.items():
        profile = os.path.join(folder, "case.profdata")
        if os.path.exists(profile):
            cases[name] = covered(profile, objects)
    lines, branches = collections.Counter(), collections.Counter()
    for l, b in cases.values():
        lines.update(l)
        branches.update(b)
    plugin = ("Src/", "regex/")
    print("only-here: Src+regex lines branches | host+tools lines branches")
    rows = []
    for name, (l, b) in cases.items():
        def alone(items, counts, inside):
            return sum(1 for x in items if counts[x] == 1 and x[0].startswith(plugin) == inside)
        rows.append((alone(l, lines, True), alone(b, branches, True), alone(l, lines, False),
                     alone(b, branches, False), name))
    for row in sorted(rows):
        print("%5d %5d | %5d %5d  %s" % row)
    sizes = case_sizes()

    def size(name):  # ctest prefixes some cases with their program's area ("sim.Tool.X")
        return sizes.get(".".join(name.split(".")[-2:]), 0)
    every = (set(lines), set(branches))
    kept, total = set(cases), 0
    print("\ncovered completely by the rest (largest first; judge each):")
    for name in sorted(cases, key=lambda n: -size(n)):
        if re.search(args.keep, name):
            continue
        rest = kept - {name}
        if (set().union(*(cases[n][0] for n in rest)) == every[0] and
                set().union(*(cases[n][1] for n in rest)) == every[1]):
            kept.discard(name)
            total += size(name)
            print("%5d  %s" % (size(name), name))
    print("%5d  lines in all" % total)
    return 0


if __name__ == "__main__":
    sys.exit(main())
