#!/usr/bin/env python3
"""The source tree's layering, read from its #include lines.

Every folder of the system has a level; a file may include headers of its
own level or below. Folders of one level may include each other's headers
(the shared helpers and the board's interface lean on each other's types).
Main/ wires the subsystems: only tools/ and bench/ stand above it. Apart
from the levels, no loop of files including each other may span two
folders (a file and its header count as one). tests/ is not read.

Usage: layering_check.py [SOURCE_DIR]; exit status 1 with every fault listed.
"""

import os
import re
import sys

# Lowest first.
LEVELS = [
    ["Function", "Platform"],
    ["MultiTask"],
    ["IniConfig"],
    ["Roles"],
    ["PlayAudio"],
    ["Alarm"],
    ["OSD"],
    ["Periphery"],
    ["Record"],
    ["AVCapture"],
    ["Snapshot"],
    ["TCPComm"],
    ["HttpServer"],
    ["FactoryTest"],
    ["Main"],
    ["tools"],
    ["bench"],
]
NOT_READ = {"tests", "sim", "scripts", "cmake"}
SOURCE = (".h", ".hpp", ".cpp", ".cc", ".inc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def level_of(folder):
    for i, names in enumerate(LEVELS):
        if folder in names:
            return i
    return None


def read_tree(root):
    """Source files (paths relative to root) and the files each includes."""
    files = {}
    for top in sorted(os.listdir(root)):
        if top.startswith(".") or top.startswith("build") or top in NOT_READ:
            continue
        base = os.path.join(root, top)
        if not os.path.isdir(base):
            continue
        for d, subdirs, names in os.walk(base):
            subdirs[:] = sorted(s for s in subdirs if not s.startswith("."))
            for n in sorted(names):
                if n.endswith(SOURCE):
                    rel = os.path.relpath(os.path.join(d, n), root)
                    files[rel] = []
    for rel in files:
        with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
            for line in f:
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(1)
                beside = os.path.normpath(os.path.join(os.path.dirname(rel), target))
                if beside in files:
                    files[rel].append(beside)
                elif os.path.normpath(target) in files:
                    files[rel].append(os.path.normpath(target))
    return files


def room(path):
    """A file and its header: one node of the include graph."""
    return os.path.splitext(path)[0]


def strong_components(graph):
    index, low, stack, on, out = {}, {}, [], set(), []
    counter = [0]

    def visit(v):
        index[v] = low[v] = counter[0]
        counter[0] += 1
        stack.append(v)
        on.add(v)
        for w in sorted(graph.get(v, ())):
            if w not in index:
                visit(w)
                low[v] = min(low[v], low[w])
            elif w in on:
                low[v] = min(low[v], index[w])
        if low[v] == index[v]:
            comp = []
            while True:
                w = stack.pop()
                on.discard(w)
                comp.append(w)
                if w == v:
                    break
            out.append(sorted(comp))

    sys.setrecursionlimit(10000)
    for v in sorted(graph):
        if v not in index:
            visit(v)
    return out


def check(root):
    files = read_tree(root)
    faults = []
    for rel, includes in sorted(files.items()):
        folder = rel.split(os.sep)[0]
        mine = level_of(folder)
        if mine is None:
            faults.append(f"{rel}: folder {folder}/ has no level")
            continue
        for inc in includes:
            other = inc.split(os.sep)[0]
            theirs = level_of(other)
            if theirs is not None and theirs > mine:
                faults.append(f"{rel} includes {inc}: {other}/ stands above {folder}/")
    graph = {}
    for rel, includes in files.items():
        edges = graph.setdefault(room(rel), set())
        for inc in includes:
            if room(inc) != room(rel):
                edges.add(room(inc))
    for comp in strong_components(graph):
        folders = {os.path.dirname(r) for r in comp}
        if len(comp) > 1 and len(folders) > 1:
            faults.append("include loop across " + ", ".join(sorted(folders)) + ": " + " -> ".join(comp))
    return faults


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    faults = check(root)
    for f in faults:
        print(f)
    if faults:
        print(f"{len(faults)} layering fault(s)")
        return 1
    print("layering: every include goes down or across its level; no loop spans two folders")
    return 0


if __name__ == "__main__":
    sys.exit(main())
