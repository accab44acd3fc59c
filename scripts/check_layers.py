#!/usr/bin/python3
"""Checks every include of the project's sources against cmake/layers.txt.

Each .h/.hpp/.cpp/.c/.rc file under the project's folders belongs to the
deepest folder that layers.txt names; each rooted include ("netcore/net/x.h")
names a file of another folder, or a generated schema header
("gate/gate.pb.h", from <build>/interface), which belongs to interface. An
include is allowed when it stays in its own folder or names a folder that the
rules let this one include. The rules themselves must not form a cycle, so no
two folders include each other.

Prints each violation as "file:line: ..." and exits 1; exits 0 when clean.
Usage: check_layers.py [--root DIR] [--rules FILE]
"""

import argparse
import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".c", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')
# Test programs, their shared helpers and fuzz targets: "<folder> tests:" rules.
TEST_FILE = re.compile(r"_(test|fuzz)\.(h|cpp)$|_test_util(_posix|_win32)?\.(h|cpp)$")
# Never part of the sources: build trees, caches, version control.
SKIP_DIRS = {"build", ".cache", ".git", "demo-run", "log", "fuzz_corpus", "__pycache__"}
ANY = "*"


class Rules:
    def __init__(self):
        self.allow = {}  # folder -> set of folders (or ANY)
        self.test_allow = {}  # folder -> extra folders its test files may include
        self.line = {}  # folder -> line of layers.txt
        self.wild = set()  # "tools/*": each direct subfolder is a folder of its own
        self.top_only = set()  # folders nothing may include (tools, bench)


def parse_rules(path):
    rules = Rules()
    errors = []
    with open(path, encoding="utf-8") as f:
        for n, raw in enumerate(f, 1):
            text = raw.split("#", 1)[0].strip()
            if not text:
                continue
            m = re.fullmatch(r"([A-Za-z0-9_./*]+)(\s+tests)?\s*:\s*(.*)", text)
            if not m:
                errors.append(f"{path}:{n}: cannot read this rule: {raw.rstrip()}")
                continue
            folder, tests, rest = m.group(1), m.group(2), m.group(3).split()
            target = rules.test_allow if tests else rules.allow
            if folder in target:
                errors.append(f"{path}:{n}: {folder} has two rules")
            target[folder] = set(rest)
            if not tests:
                rules.line[folder] = n
            if folder.endswith("/*"):
                rules.wild.add(folder[:-2])
            if ANY in rest:
                rules.top_only.add(folder[:-2] if folder.endswith("/*") else folder)
    for folder, allowed in list(rules.allow.items()) + list(rules.test_allow.items()):
        for a in allowed:
            if a != ANY and a not in rules.allow:
                errors.append(f"{path}:{rules.line.get(folder, 0)}: {folder} names {a}, which has no rule")
    return rules, errors


def folder_of(rel, rules):
    """The rule folder that owns a path relative to the root, or None."""
    parts = rel.split("/")[:-1]
    for i in range(len(parts), 0, -1):
        prefix = "/".join(parts[:i])
        if prefix in rules.allow:
            return prefix, prefix
        parent = "/".join(parts[: i - 1])
        if i > 1 and parent in rules.wild:
            return prefix, parent + "/*"
    return None, None


def cycles(rules):
    """Folders on a cycle of the allow graph (each cycle once, as a path)."""
    found = []
    state = {}

    def visit(node, stack):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(rules.allow.get(node, ())):
            if nxt == ANY:
                continue
            if state.get(nxt) == 1:
                found.append(stack[stack.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt, stack)
        stack.pop()
        state[node] = 2

    for node in sorted(rules.allow):
        if node not in state:
            visit(node, [])
    return found


def sources(root):
    for d, dirs, files in os.walk(root):
        dirs[:] = sorted(x for x in dirs if x not in SKIP_DIRS and not x.startswith("."))
        if d == root:
            continue
        for f in sorted(files):
            if f.endswith(SOURCE_SUFFIXES):
                yield os.path.relpath(os.path.join(d, f), root).replace(os.sep, "/")


def included_folder(inc, root, rules):
    """The owning folder of an include, or a reason it has none."""
    if inc.endswith(".pb.h") and os.path.isfile(os.path.join(root, "interface", inc[:-5] + ".proto")):
        return "interface", "interface", None
    if not os.path.isfile(os.path.join(root, inc)):
        return None, None, "names no file under the root (includes are rooted)"
    owner, rule = folder_of(inc, rules)
    if owner is None:
        return None, None, "names a file of no folder in layers.txt"
    return owner, rule, None


def check(root, rules_path):
    rules, errors = parse_rules(rules_path)
    for c in cycles(rules):
        errors.append(f"{os.path.basename(rules_path)}:{rules.line[c[0]]}: folders include each other: {' -> '.join(c)}")
    count = 0
    for rel in sources(root):
        own, own_rule = folder_of(rel, rules)
        if own is None:
            errors.append(f"{rel}:1: file of no folder in layers.txt")
            continue
        allowed = rules.allow[own_rule]
        if TEST_FILE.search(rel):
            allowed = allowed | rules.test_allow.get(own_rule, set())
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            for n, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                count += 1
                inc = m.group(1)
                other, other_rule, why = included_folder(inc, root, rules)
                where = f'{rel}:{n}: #include "{inc}"'
                if why:
                    errors.append(f"{where}: {why}")
                elif other == own:
                    continue
                elif other_rule.endswith("/*") or other_rule in rules.top_only:
                    errors.append(f"{where}: nothing may include {other}")
                elif other_rule not in allowed and ANY not in allowed:
                    errors.append(
                        f"{where}: {own} may not include {other} "
                        f"(layers.txt:{rules.line[own_rule]} {own_rule}: {' '.join(sorted(allowed)) or '-'})")
    return errors, count


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--root", default=os.path.dirname(here))
    p.add_argument("--rules", default=None)
    args = p.parse_args()
    rules = args.rules or os.path.join(args.root, "cmake", "layers.txt")
    errors, count = check(os.path.abspath(args.root), rules)
    for e in errors:
        print(e)
    if errors:
        print(f"layer check: {len(errors)} violation(s)")
        return 1
    print(f"layer check: {count} includes, all within the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main())
