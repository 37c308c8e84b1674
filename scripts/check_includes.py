#!/usr/bin/env python3
"""Include rules of the source tree; prints each breach and exits 1 when there is one.

- No file under src/ includes anything under tests/.
- Outside src/platform (and in tools/), no file includes a header of the substitute, of the SDL or
  of the headless presenter: game code only sees platform.h and the shared platform headers.
- Modules under src/ (a .cpp with its .h) never include each other in a circle.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)
STAND_IN = ("src/platform/substitute/", "src/platform/sdl/", "src/platform/headless/")


def sources(root, top):
    for base, dirs, files in os.walk(os.path.join(root, top)):
        dirs.sort()
        for name in sorted(files):
            if name.endswith((".cpp", ".h")):
                yield os.path.relpath(os.path.join(base, name), root).replace(os.sep, "/")


def resolve(root, including, name):
    """The repository path an include names, looked up beside the file, then under src/ and
    tests/ (the include roots the build uses); None for anything else."""
    for base in (os.path.dirname(including), "src", "tests"):
        path = os.path.normpath(os.path.join(base, name)).replace(os.sep, "/")
        if os.path.isfile(os.path.join(root, path)):
            return path
    return None


def find_circle(graph):
    state, stack = {}, []

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


def main(root):
    errors, graph = [], {}
    for top in ("src", "tools"):
        for path in sources(root, top):
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                text = f.read()
            for name in INCLUDE.findall(text):
                target = resolve(root, path, name)
                if target is None:
                    continue
                if path.startswith("src/") and target.startswith("tests/"):
                    errors.append(f"{path}: includes test code {target}")
                if not path.startswith("src/platform/") and target.startswith(STAND_IN):
                    errors.append(f"{path}: includes the stand-in-only header {target}")
                if path.startswith("src/") and target.startswith("src/"):
                    a, b = os.path.splitext(path)[0], os.path.splitext(target)[0]
                    if a != b:
                        graph.setdefault(a, set()).add(b)
    circle = find_circle(graph)
    if circle:
        errors.append("modules include each other in a circle: " + " -> ".join(circle))
    for e in errors:
        print(e, file=sys.stderr)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")))
