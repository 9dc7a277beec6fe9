#!/usr/bin/env python3
"""Fails when an include goes against the layer order, or when modules include each other in a circle.

The layers, in order: base/, raster/, geometry/, app/, platform/, tools/. A
folder may include its own layer and the layers listed before it, never one
listed after it. The shell declares what it needs from an operating system in
app/platform.h, which the backends of platform/ implement, so that arrow too
points downward. tests/, bench/ and examples/ may include anything.

Within the layers no module may reach itself through its includes: a module is
a header and its source together (app/frame.h and app/frame.cpp are app/frame),
and a cycle such as app/outline -> app/inflate -> app/outline fails the check
with the include that makes each step.

Usage: check-layers.py [ROOT]  (default: the repository holding this script).
Prints one line per offending include, FILE:LINE: ..., and one per cycle, and
exits 1 if there is any.
"""

import pathlib
import re
import sys

LAYERS = ["base", "raster", "geometry", "app", "platform", "tools"]
SOURCE_SUFFIXES = {".h", ".hpp", ".cpp", ".cc"}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')


def layer_of(relative_path):
    top = relative_path.split("/", 1)[0]
    return LAYERS.index(top) if top in LAYERS else None


def module_of(relative_path):
    """A header and its source are one module: the path without its suffix."""
    return str(pathlib.PurePosixPath(relative_path).with_suffix(""))


def includes(root):
    """Every quoted include of the layer folders: (file, line number, included path)."""
    for layer in LAYERS:
        folder = root / layer
        if not folder.is_dir():
            continue
        for path in sorted(folder.rglob("*")):
            if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
                continue
            relative = path.relative_to(root).as_posix()
            text = path.read_text(encoding="utf-8", errors="replace")
            for number, line in enumerate(text.splitlines(), start=1):
                match = INCLUDE.match(line)
                if match is not None:
                    yield relative, number, match.group(1)


def layer_faults(edges):
    faults = []
    for relative, number, target in edges:
        own = layer_of(relative)
        target_layer = layer_of(target)
        if target_layer is None or target_layer <= own:
            continue
        faults.append(
            f"{relative}:{number}: {LAYERS[own]}/ may not include {target}: "
            f"{LAYERS[target_layer]}/ comes after {LAYERS[own]}/ in the layer order"
        )
    return faults


def strongly_connected(graph):
    """Tarjan's components of the module graph, each a list of modules, in a fixed order."""
    index = {}
    low = {}
    stack = []
    on_stack = set()
    components = []
    counter = [0]

    def visit(start):
        # Iterative, so that a long chain of includes cannot exhaust Python's recursion.
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, successors = work[-1]
            advanced = False
            for successor in successors:
                if successor not in index:
                    index[successor] = low[successor] = counter[0]
                    counter[0] += 1
                    stack.append(successor)
                    on_stack.add(successor)
                    work.append((successor, iter(sorted(graph[successor]))))
                    advanced = True
                    break
                if successor in on_stack:
                    low[node] = min(low[node], index[successor])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                components.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return components


def shortest_cycle(graph, members):
    """A shortest cycle through the first member of a component, by breadth-first search."""
    start = members[0]
    inside = set(members)
    previous = {start: None}
    frontier = [start]
    while frontier:
        following = []
        for node in frontier:
            for successor in sorted(graph[node]):
                if successor not in inside:
                    continue
                if successor == start:
                    cycle = [node]
                    while previous[cycle[-1]] is not None:
                        cycle.append(previous[cycle[-1]])
                    return list(reversed(cycle)) + [start]
                if successor not in previous:
                    previous[successor] = node
                    following.append(successor)
        frontier = following
    return [start, start]


def cycle_faults(edges):
    graph = {}
    where = {}  # (module, included module) -> the first include that makes the edge
    for relative, number, target in edges:
        if layer_of(target) is None:
            continue
        source, included = module_of(relative), module_of(target)
        graph.setdefault(source, set())
        graph.setdefault(included, set())
        if source == included:
            continue
        graph[source].add(included)
        where.setdefault((source, included), f"{relative}:{number}")
    faults = []
    for component in strongly_connected(graph):
        if len(component) < 2:
            continue
        cycle = shortest_cycle(graph, component)
        steps = ", ".join(
            f"{where[(a, b)]} includes {b}" for a, b in zip(cycle, cycle[1:])
        )
        faults.append(
            f"include cycle: {' -> '.join(cycle)} ({steps}); "
            f"modules in the circle: {', '.join(component)}"
        )
    return faults


def check(root):
    edges = list(includes(root))
    return layer_faults(edges) + cycle_faults(edges)


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)
    faults = check(root.resolve())
    for fault in faults:
        print(fault)
    if faults:
        print(f"check-layers: {len(faults)} fault(s): includes against the layer order "
              f"{', '.join(LAYERS)}, or modules including each other", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
