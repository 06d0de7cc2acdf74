#!/usr/bin/env python3
"""Shows qen_impdef's layers as its build makes them, and that no include runs back up.

Reads tools/impdef/CMakeLists.txt: each impdef_* static library, the folder of its sources and
the impdef_* libraries it links. Prints the libraries in link order, lowest first. Then checks
every #include "..." of every source of the tool: it must name a header of the file's own
folder or of a library below it (linked, directly or not), or one from outside the tool
(tools/common, shared/). The files must not include each other in a circle either, taking a
header and its .cpp as one file, and the source map of the tool's README.md must name each. Prints what it finds, with the counts the house is held to:
functions that take raw instruction bytes outside x86/, files that read the ModRM byte,
and files over 500 lines. Exits 1 on an include that crosses a layer upward, a circle, a file
the source map leaves out, or a file over 500 lines.
"""
import os
import re
import sys

LIBRARY = re.compile(r"add_library\((impdef_\w+) STATIC\s+([^)]*)\)", re.S)
LINKS = re.compile(r"target_link_libraries\((impdef_\w+) PUBLIC ([^)]*)\)")
INCLUDE = re.compile(r'^#include "([^"]+)"', re.M)
MAX_LINES = 500


def layers(tool):
    """({library: folder}, {library: libraries it links}) from the tool's CMakeLists.txt."""
    with open(os.path.join(tool, "CMakeLists.txt")) as f:
        text = f.read()
    folders, links = {}, {}
    for name, sources in LIBRARY.findall(text):
        dirs = {os.path.dirname(s) for s in sources.split()}
        if len(dirs) != 1:
            sys.exit(f"{name}: sources in more than one folder: {sorted(dirs)}")
        folders[name] = dirs.pop()
        links[name] = set()
    for name, linked in LINKS.findall(text):
        links.setdefault(name, set()).update(w for w in linked.split() if w in folders)
    return folders, links


def below(links, library):
    """The libraries library links, directly or not."""
    seen, todo = set(), [library]
    while todo:
        for linked in links.get(todo.pop(), ()):
            if linked not in seen:
                seen.add(linked)
                todo.append(linked)
    return seen


def link_order(links):
    order, placed = [], set()
    while len(order) < len(links):
        ready = sorted(n for n in links if n not in placed and links[n] <= placed)
        if not ready:
            sys.exit(f"the libraries link each other in a circle: {sorted(set(links) - placed)}")
        order += ready
        placed |= set(ready)
    return order


def circles(edges):
    """The circles of the graph {node: nodes}, each as a list."""
    found, state = [], {}

    def visit(node, path):
        state[node] = 1
        path.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                found.append(path[path.index(nxt):] + [nxt])
            elif nxt not in state:
                visit(nxt, path)
        path.pop()
        state[node] = 2

    for node in sorted(edges):
        if node not in state:
            visit(node, [])
    return found


def raw_byte_functions(text):
    """The functions a file defines that take raw instruction bytes (const unsigned char*)."""
    names = []
    for match in re.finditer(r"const unsigned char\*", text):
        start = match.start()
        while True:  # back to the line the signature starts on, at the left margin
            start = text.rfind("\n", 0, start - 1) + 1
            if start == 0 or not text[start].isspace():
                break
        head = text[start:match.start()]
        after = re.search(r"[{;]", text[match.end():])
        name = re.match(r"[\w:<>,*& ]*?\b(\w+)\(", head)
        if name and "{" not in head and ";" not in head and after and after.group() == "{":
            names.append(name.group(1))
    return sorted(set(names))


def main():
    tool = os.path.realpath(sys.argv[1] if len(sys.argv) > 1 else "tools/impdef")
    folders, links = layers(tool)
    by_folder = {folder: name for name, folder in folders.items()}
    order = link_order(links)
    print("link order, lowest first: " + ", ".join(
        f"{name} ({folders[name] or '.'}/)" for name in order))
    headers = {}  # header name: folder
    files = []
    for folder in by_folder:
        for entry in sorted(os.listdir(os.path.join(tool, folder))):
            if entry.endswith((".cpp", ".h")):
                files.append(os.path.join(folder, entry))
                if entry.endswith(".h"):
                    headers[entry] = folder
    problems, edges = [], {}
    raw, modrm, long_files = [], 0, []
    for path in files:
        folder = os.path.dirname(path)
        library = by_folder[folder]
        visible = {folders[n] for n in below(links, library)} | {folder}
        with open(os.path.join(tool, path)) as f:
            text = f.read()
        stem = os.path.splitext(path)[0]
        for header in INCLUDE.findall(text):
            if header not in headers:
                continue  # tools/common, shared/
            if headers[header] not in visible:
                problems.append(f"{path} includes {headers[header] or '.'}/{header}, "
                                f"which {library} does not link")
            target = os.path.join(headers[header], os.path.splitext(header)[0])
            if target != stem:
                edges.setdefault(stem, set()).add(target)
        if folder != "x86":
            raw += [f"{path}: {name}" for name in raw_byte_functions(text)]
        modrm += len(re.findall(r"modrmAt\]", text)) and 1
        lines = text.count("\n")
        if lines > MAX_LINES:
            long_files.append(f"{path} ({lines} lines)")
    with open(os.path.join(tool, "README.md")) as f:
        readme = f.read()
    source_map = readme[readme.index("## Source map"):].split("\n## ")[0]
    for path in files:
        name = os.path.basename(path)
        if f"`{os.path.splitext(name)[0]}`" not in source_map and f"`{name}`" not in source_map:
            problems.append(f"{path} is not in the README's source map")
    for circle in circles(edges):
        problems.append("files that include each other: " + " -> ".join(circle))
    print(f"{len(files)} files; includes that cross a layer upward or run in a circle, files "
          f"the source map leaves out: "
          f"{len(problems)}")
    for problem in problems:
        print("   ", problem)
    print(f"functions that take raw instruction bytes outside x86/: {len(raw)}")
    for name in raw:
        print("   ", name)
    print(f"files that read the ModRM byte: {modrm}")
    print(f"files over {MAX_LINES} lines: {len(long_files)}")
    for name in long_files:
        print("   ", name)
    return 1 if problems or long_files else 0


if __name__ == "__main__":
    sys.exit(main())
