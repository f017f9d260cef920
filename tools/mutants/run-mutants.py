#!/usr/bin/env python3
"""Injects small faults into the core, one at a time, and counts how many the
test suite catches.

Each mutant changes one line of one core source file: a comparison turned
round, a boundary moved by one, a failure result turned into success (or the
reverse), a logical operator swapped, a number moved by one, or a statement
dropped. The build is rebuilt, the tests run, and the file is put back. A
mutant is "caught" when a test fails (or the run times out), "missed" when
every test passes, and "void" when it does not compile.

    python3 tools/mutants/run-mutants.py --build build --count 40 --seed 7
    python3 tools/mutants/run-mutants.py --build build --list          # candidates only

To compare two test suites on the same faults when the sources have moved on,
save the sample once and replay it later: --save FILE writes the chosen
mutants (file, line, original text, mutated text) without running anything,
and --replay FILE runs exactly those, finding each original line again by its
text (the nearest one to its old line number).

Run it on a clean work tree: it edits the sources in place and restores each
file after its mutant (also on Ctrl-C).
"""

import argparse
import json
import os
import random
import re
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CORE_DIRS = ["asf", "media", "protocols", "recorder", "detect"]

# (name, pattern, replacement). Patterns avoid templates, shifts, arrows and
# stream operators by requiring blanks around the operator.
OPERATOR_MUTATIONS = [
    ("flip <", r" < ", " >= "),
    ("flip >", r" > ", " <= "),
    ("flip <=", r" <= ", " > "),
    ("flip >=", r" >= ", " < "),
    ("boundary <", r" < ", " <= "),
    ("boundary <=", r" <= ", " < "),
    ("boundary >", r" > ", " >= "),
    ("boundary >=", r" >= ", " > "),
    ("flip ==", r" == ", " != "),
    ("flip !=", r" != ", " == "),
    ("swap &&", r" && ", " || "),
    ("swap ||", r" \|\| ", " && "),
    ("true->false", r"\breturn true;", "return false;"),
    ("false->true", r"\breturn false;", "return true;"),
    ("number +1", r"(?<![\w.])([1-9]\d{0,5})(?![\w.])", None),
]

SKIP_LINE = re.compile(r"^\s*(#|//|\*|/\*|static_assert|namespace|using|template|case\b)")
STATEMENT = re.compile(r"^\s+[A-Za-z_][\w:.\->\[\]()]*\s*(\(|=|\+=|-=|\+\+|--).*;\s*$")
DECLARATION = re.compile(r"^\s*(const\s+)?(auto|bool|int|size_t|uint\d+_t|int\d+_t|std::|unsigned|long|char|double)\b")


def core_files():
    out = []
    for d in CORE_DIRS:
        for base, _, names in os.walk(os.path.join(ROOT, d)):
            for n in sorted(names):
                if n.endswith(".cpp"):
                    out.append(os.path.relpath(os.path.join(base, n), ROOT))
    return sorted(out)


def candidates(path):
    """Every (line number, description, new line) for one file."""
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        lines = f.readlines()
    out = []
    for i, line in enumerate(lines):
        code = line.split("//")[0]
        if not code.strip() or SKIP_LINE.match(line) or '"' in code:
            continue
        for name, pattern, repl in OPERATOR_MUTATIONS:
            for m in re.finditer(pattern, code):
                if repl is None:
                    new = code[: m.start()] + str(int(m.group(1)) + 1) + code[m.end():]
                else:
                    new = code[: m.start()] + repl + code[m.end():]
                out.append((i, name, new + line[len(code):]))
        if STATEMENT.match(code) and not DECLARATION.match(code) and "return" not in code:
            out.append((i, "drop statement", "\n"))
    return lines, out


def replayed(saved):
    """The saved mutants, each moved to where its original line is now."""
    with open(saved, encoding="utf-8") as f:
        entries = json.load(f)
    out = []
    for e in entries:
        with open(os.path.join(ROOT, e["path"]), encoding="utf-8") as f:
            lines = f.readlines()
        at = [i for i, line in enumerate(lines) if line == e["original"]]
        if not at:
            print(f"gone: {e['path']}:{e['line']}: {e['original'].strip()}", file=sys.stderr)
            continue
        i = min(at, key=lambda k: abs(k - (e["line"] - 1)))
        out.append((e["path"], lines, (i, e["name"], e["mutated"])))
    return out


def run(cmd, cwd, timeout):
    try:
        p = subprocess.run(cmd, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                           timeout=timeout, text=True)
        return p.returncode, p.stdout
    except subprocess.TimeoutExpired:
        return None, ""


def test_env(build):
    env = dict(os.environ)
    env.setdefault("LARKSPAN_SAMPLES_DIR", os.path.join(build, "samples"))
    env["HOME"] = os.path.join(build, "test-home")
    env["XDG_CONFIG_HOME"] = os.path.join(build, "test-home", "config")
    env["no_proxy"] = env["NO_PROXY"] = "127.0.0.1,localhost"
    return env


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("--build", default="build", help="configured build folder")
    ap.add_argument("--count", type=int, default=40, help="mutants to try")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--files", nargs="*", help="core files to mutate (default: all)")
    ap.add_argument("--test-timeout", type=int, default=300, help="seconds for one test run")
    ap.add_argument("--list", action="store_true", help="print the candidates and stop")
    ap.add_argument("--save", metavar="FILE", help="write the chosen mutants to FILE and stop")
    ap.add_argument("--replay", metavar="FILE", help="run the mutants saved in FILE")
    args = ap.parse_args()
    build = os.path.abspath(args.build)

    pool = []
    for path in args.files or core_files():
        lines, cands = candidates(path)
        pool.extend((path, lines, c) for c in cands)
    if args.list:
        for path, lines, (i, name, new) in pool:
            print(f"{path}:{i + 1}: {name}: {new.strip()}")
        print(f"{len(pool)} candidates", file=sys.stderr)
        return 0

    if args.replay:
        chosen = replayed(args.replay)
    else:
        rng = random.Random(args.seed)
        chosen = rng.sample(pool, min(args.count, len(pool)))
    if args.save:
        with open(args.save, "w", encoding="utf-8") as f:
            json.dump([{"path": path, "line": i + 1, "name": name, "original": lines[i], "mutated": new}
                       for path, lines, (i, name, new) in chosen], f, indent=1)
        print(f"saved {len(chosen)} mutants to {args.save}")
        return 0
    env = test_env(build)
    caught = missed = void = 0
    survivors = []
    for n, (path, lines, (i, name, new)) in enumerate(chosen, 1):
        full = os.path.join(ROOT, path)
        mutated = list(lines)
        mutated[i] = new
        started = time.time()
        try:
            with open(full, "w", encoding="utf-8") as f:
                f.writelines(mutated)
            code, _ = run(["cmake", "--build", build, "--parallel", str(os.cpu_count() or 2)], ROOT, 1800)
            if code != 0:
                verdict = "void"
                void += 1
            else:
                os.environ.update(env)
                code, _ = run(["ctest", "--parallel", str(os.cpu_count() or 2), "--stop-on-failure",
                               "--timeout", "120"], build, args.test_timeout)
                if code == 0:
                    verdict = "MISSED"
                    missed += 1
                    survivors.append(f"{path}:{i + 1}: {name}: {new.strip()}")
                else:
                    verdict = "caught"
                    caught += 1
        finally:
            with open(full, "w", encoding="utf-8") as f:
                f.writelines(lines)
        print(f"[{n}/{len(chosen)}] {verdict:6} {path}:{i + 1} {name} ({time.time() - started:.0f} s)", flush=True)

    # Leave the build matching the restored sources.
    run(["cmake", "--build", build, "--parallel", str(os.cpu_count() or 2)], ROOT, 1800)
    counted = caught + missed
    share = 100.0 * caught / counted if counted else 0.0
    print(f"\ncaught {caught} of {counted} mutants that compiled ({share:.0f} %); {void} did not compile")
    for s in survivors:
        print("  missed:", s)
    return 0


if __name__ == "__main__":
    sys.exit(main())
