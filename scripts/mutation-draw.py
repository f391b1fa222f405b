#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Draws one-line faults at random for scripts/mutation-sample.sh.

    scripts/mutation-draw.py --seed N [--since REV] [--changed 40] [--whole 40] > faults.tsv

Lines are drawn at random from the library's sources (kelvane/, tests and test helpers left
out): `--changed` of them from the files changed since REV (by default the commit that set the
version before the current one), `--whole` from every file. On each line drawn, one operator of
the fixed list below that applies to it is drawn too, so the sample is chosen by the seed, not
by whoever wrote the tests. Each fault is one tab-separated line:

    path <TAB> line number <TAB> the line as it becomes <TAB> gtest filter <TAB> what it does

The filter names the test suites of the file's own folder. Faults that cannot change what the
program does are set aside by hand in the file given with --equivalent (path, operator, the line
as it becomes without its indent, and the reason, tab-separated: a fault is named by its text, so
that it stays named when lines above it come and go; a fifth field, a line number, narrows it to
that line where the same text stands on several); they are drawn all the same, so that the sample
does not shift, and printed with "equivalent" in front.
"""

import argparse
import os
import random
import re
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# (name, pattern, replacement): the pattern must match on the line (outside strings and
# comments, which are blanked before matching); the first match drawn is replaced.
OPERATORS = [
    ("< to <=", r"(?<=\s)<(?=\s)", "<="),
    ("<= to <", r"<=", "<"),
    ("> to >=", r"(?<=\s)>(?=\s)", ">="),
    (">= to >", r">=", ">"),
    ("== to !=", r"==", "!="),
    ("!= to ==", r"!=", "=="),
    ("&& to ||", r"&&", "||"),
    ("|| to &&", r"\|\|", "&&"),
    ("+ to -", r"(?<=\s)\+(?=\s)", "-"),
    ("- to +", r"(?<=\s)-(?=\s)", "+"),
    ("constant + 1", r"(?<![\w.'<])(\d+)(?![\w.'])", None),
    ("negated check", r"\bif \((.*)\)(?=\s*(\{|return|continue|break|[A-Za-z_]))", None),
    ("dropped condition", r"\bif \((.*)\)(?=\s*(return|continue|break))", None),
    ("true to false", r"\breturn true;", "return false;"),
    ("false to true", r"\breturn false;", "return true;"),
]


def blank_literals(line):
    """The line with string and character literals and // comments blanked out."""
    out, i, quote = [], 0, None
    while i < len(line):
        c = line[i]
        if quote:
            if c == "\\":
                out.append("  ")
                i += 2
                continue
            if c == quote:
                quote = None
                out.append(c)
            else:
                out.append(" ")
        elif c in "\"'" and not (c == "'" and i > 0 and line[i - 1].isalnum()):
            quote = c
            out.append(c)
        elif line.startswith("//", i):
            out.append(" " * (len(line) - i))
            break
        else:
            out.append(c)
        i += 1
    return "".join(out)


def balanced(text):
    depth = 0
    for c in text:
        depth += c == "("
        depth -= c == ")"
        if depth < 0:
            return False
    return depth == 0


def apply(operator, line, code, rng):
    """The line with `operator` applied at one of its matches drawn by rng, or None."""
    name, pattern, replacement = operator
    matches = [m for m in re.finditer(pattern, code)]
    if name in ("negated check", "dropped condition"):
        # Only whole conditions, and not those that declare a name (the compiler refuses the
        # negation of a declaration, which would count as a fault caught).
        matches = [m for m in matches if balanced(m.group(1))
                   and not re.search(r"[^=!<>]=[^=]|;|\bauto\b", m.group(1))]
    if not matches:
        return None
    m = rng.choice(matches)
    if name == "constant + 1":
        new = str(int(m.group(1)) + 1)
    elif name == "negated check":
        new = "if (!(" + line[m.start(1):m.end(1)] + "))"
    elif name == "dropped condition":
        new = "if (false)"
    else:
        new = replacement
    return line[: m.start()] + new + line[m.end():]


def candidate(line):
    stripped = line.strip()
    return (
        stripped
        and not stripped.startswith(("//", "#", "*", "/*", "static_assert", "namespace", "}"))
        and "KELVANE_EXPORT" not in stripped
        and "virtual" not in stripped
    )


def sources(paths):
    return sorted(
        p
        for p in paths
        if p.startswith("kelvane/")
        and p.endswith((".cc", ".h"))
        and not p.endswith("_test.cc")
        and not p.startswith("kelvane/testing/")
        and os.path.exists(os.path.join(ROOT, p))
    )


def git(*args):
    return subprocess.run(["git", "-C", ROOT, *args], check=True, capture_output=True,
                          text=True).stdout


def previous_version_commit():
    """The commit that set the version before the current one in CMakeLists.txt."""
    log = git("log", "--format=%H", "-G", r"project\(kelvane VERSION", "--", "CMakeLists.txt")
    commits = log.split()
    return commits[1] if len(commits) > 1 else commits[0]


def suites_of(folder, cache={}):
    if os.path.basename(folder) == "internal":
        folder = os.path.dirname(folder)
    if folder not in cache:
        names = set()
        for name in os.listdir(os.path.join(ROOT, folder)):
            if name.endswith("_test.cc"):
                with open(os.path.join(ROOT, folder, name), encoding="utf-8") as f:
                    names.update(re.findall(r"^TEST(?:_F|_P)?\((\w+),", f.read(), re.M))
        cache[folder] = ":".join(sorted(n + ".*" for n in names)) or "*"
    return cache[folder]


def draw(rng, files, count, equivalent, taken):
    faults = []
    lines_of = {}
    for _ in range(count * 200):
        if len(faults) == count:
            break
        path = rng.choice(files)
        if path not in lines_of:
            with open(os.path.join(ROOT, path), encoding="utf-8") as f:
                lines_of[path] = f.read().split("\n")
        lines = lines_of[path]
        number = rng.randrange(len(lines)) + 1
        line = lines[number - 1]
        if (path, number) in taken or not candidate(line):
            continue
        code = blank_literals(line)
        operators = [op for op in OPERATORS if re.search(op[1], code)]
        if not operators:
            continue
        operator = rng.choice(operators)
        changed = apply(operator, line, code, rng)
        if changed is None or changed == line:
            continue
        taken.add((path, number))
        reason = equivalent.get((path, operator[0], changed.strip(), number),
                                equivalent.get((path, operator[0], changed.strip(), None)))
        faults.append((path, number, changed, suites_of(os.path.dirname(path)),
                       operator[0], reason))
    return faults


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--seed", type=int, required=True)
    parser.add_argument("--since", help="files changed since this commit (default: the "
                        "commit that set the previous version)")
    parser.add_argument("--changed", type=int, default=40)
    parser.add_argument("--whole", type=int, default=40)
    parser.add_argument("--equivalent", default=os.path.join(ROOT, "scripts",
                                                             "mutation-equivalent.tsv"))
    args = parser.parse_args()

    equivalent = {}
    if os.path.exists(args.equivalent):
        with open(args.equivalent, encoding="utf-8") as f:
            for row in f:
                if row.strip() and not row.startswith("#"):
                    path, operator, changed, reason, *line = row.rstrip("\n").split("\t")
                    equivalent[(path, operator, changed, int(line[0]) if line else None)] = reason

    since = args.since or previous_version_commit()
    changed = sources(git("diff", "--name-only", since, "HEAD").split())
    whole = sources(git("ls-files", "kelvane").split())
    rng = random.Random(args.seed)
    taken = set()
    print(f"# seed {args.seed}; changed since {since[:12]}: {len(changed)} files; "
          f"whole library: {len(whole)} files")
    for group, files, count in (("changed", changed, args.changed),
                                ("whole", whole, args.whole)):
        for path, number, line, suites, operator, reason in draw(rng, files, count,
                                                                equivalent, taken):
            mark = f"equivalent: {reason}" if reason else ""
            print("\t".join([path, str(number), line, suites, f"{group}: {operator}", mark]))


if __name__ == "__main__":
    sys.exit(main())
