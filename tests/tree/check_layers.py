#!/usr/bin/env python3
"""Checks the include structure of the tree.

The tool's layers are app -> pd -> i2c -> platform: a file may include
headers of its own layer and of the layers below it, never above. The host
platform layer may reach the simulated board below it; the simulated board
includes nothing of the tool. The program entries (runner/, VEXA.efi's
among them) are the top of their builds. Within the tool no two modules
(a .h and its .cpp) may include each other, directly or through others.

Exit status 0 when the tree keeps these rules; otherwise every breach is
printed and the status is 1.
"""
import re
import sys
from pathlib import Path

RANK = {"platform": 0, "i2c": 1, "pd": 2, "app": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def area(path):
    """The part of the tree a file belongs to."""
    parts = path.split("/")
    if parts[0] == "platform" and len(parts) > 2:
        return "platform/" + parts[1]
    return parts[0]


def allowed(source, target):
    src, dst = area(source), area(target)
    if src in ("runner", "tests"):
        return True
    if src == "sim":
        return dst == "sim"
    if src == "platform/host":
        return dst in ("platform", "platform/host", "sim")
    if src == "platform/uefi":
        return dst in ("platform", "platform/uefi")
    if src in RANK:
        return dst in RANK and RANK[dst] <= RANK[src]
    return True


def module(path):
    return path.rsplit(".", 1)[0]


def find_cycle(graph):
    """One cycle of the module graph as a list of modules, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph.get(node, ())):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    breaches = []
    graph = {}
    sources = [p for top in list(RANK) + ["sim", "runner"] for p in (root / top).rglob("*")
               if p.suffix in (".h", ".cpp")]
    if not sources:
        print(f"no sources under {root}")
        return 1
    for file in sorted(sources):
        rel = file.relative_to(root).as_posix()
        for target in INCLUDE.findall(file.read_text(encoding="utf-8", errors="replace")):
            if not (root / target).exists():
                continue  # a system or generated header
            if not allowed(rel, target):
                breaches.append(f"{rel}: includes {target}, which is above it")
            if area(rel) in RANK and area(target) in RANK and module(rel) != module(target):
                graph.setdefault(module(rel), set()).add(module(target))
    cycle = find_cycle(graph)
    if cycle:
        breaches.append("include circle: " + " -> ".join(cycle))
    for line in breaches:
        print(line)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
