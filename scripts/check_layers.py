#!/usr/bin/env python3
"""Keeps the library layers pointing one way.

Reads the table of scripts/layers.txt and checks the source tree against it:
- every folder holding C++ sources is named by a row (a new library gets a row);
- every #include of a project header stays within what the includer's row may use;
- a library whose folder sits inside another library's folder includes only what that
  outer library may use too, so no folder, seen whole, reaches up the table;
- no library that the table denies Qt Widgets includes a Qt Widgets header;
- every folder's CMakeLists.txt names the library of its row and links only libraries
  (and Qt6::Widgets) that row may use.
Prints one line per fault, "path:line: text", and exits 1 when there is any.

Usage: check_layers.py SOURCE_ROOT [--table FILE] [--qt-include DIRS]
DIRS: Qt include folders separated by ';' or ':' (the QtWidgets one is used); without
it the usual Debian folders are tried.
"""
import argparse
import os
import re
import sys

CPP_SUFFIXES = {".h", ".hh", ".hpp", ".c", ".cc", ".cpp", ".cxx", ".inl", ".ipp"}
WIDGETS = "Qt6::Widgets"
INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


class Table:
    def __init__(self):
        self.rows = []  # (name, folders, allowed set, line)
        self.folder_library = {}
        self.allowed = {}
        self.outside = []


def fail(faults, path, line, text):
    faults.append(f"{path}:{line}: {text}")


def read_table(path, faults):
    table = Table()
    with open(path, encoding="utf-8") as f:
        lines = f.read().splitlines()
    for number, raw in enumerate(lines, 1):
        text = raw.split("#", 1)[0].strip()
        if not text:
            continue
        cells = [c.strip() for c in text.split("|")]
        if len(cells) == 2:
            cells.append("")
        if len(cells) != 3 or not cells[0] or not cells[1]:
            fail(faults, path, number, "a row is 'library | folders | may use'")
            continue
        name, folders, uses = cells[0], cells[1].split(), cells[2].split()
        if name == "outside":
            table.outside.extend(f.strip("/") for f in folders)
            continue
        if name in table.allowed:
            fail(faults, path, number, f"library {name} has a second row")
            continue
        allowed = set()
        for use in uses:
            if use == "below":
                allowed.update(r[0] for r in table.rows)
            elif use == WIDGETS or use in table.allowed:
                allowed.add(use)
            else:
                fail(faults, path, number,
                     f"{name} may use only libraries of earlier rows (or {WIDGETS}), not {use}")
        for folder in folders:
            folder = folder.strip("/")
            if folder in table.folder_library:
                fail(faults, path, number, f"folder {folder} is already in library {table.folder_library[folder]}")
            table.folder_library[folder] = name
        table.rows.append((name, folders, allowed, number))
        table.allowed[name] = allowed
    return table


def widgets_headers(qt_include):
    """Names of the Qt Widgets headers that no other Qt module has."""
    candidates = []
    if qt_include:
        candidates = [d for d in re.split(r"[;:]", qt_include) if d]
    candidates += ["/usr/include/x86_64-linux-gnu/qt6", "/usr/include/aarch64-linux-gnu/qt6", "/usr/include/qt6"]
    for d in candidates:
        d = d.rstrip("/")
        widgets_dir = d if os.path.basename(d) == "QtWidgets" else os.path.join(d, "QtWidgets")
        if not os.path.isdir(widgets_dir):
            continue
        parent = os.path.dirname(widgets_dir)
        others = set()
        for module in os.listdir(parent):
            module_dir = os.path.join(parent, module)
            if module != "QtWidgets" and os.path.isdir(module_dir):
                others.update(os.listdir(module_dir))
        return {n for n in os.listdir(widgets_dir) if n not in others}
    return set()


def source_folders(root, table):
    """Folders (relative, '/'-separated, '' for the root) and the C++ files each holds."""
    found = {}
    outside = set(table.outside)
    for current, dirs, files in os.walk(root):
        rel = os.path.relpath(current, root).replace(os.sep, "/")
        rel = "" if rel == "." else rel
        keep = []
        for d in sorted(dirs):
            sub = f"{rel}/{d}" if rel else d
            if sub in outside or d.startswith("."):
                continue
            if not rel and d.startswith("build"):
                continue  # build trees (see .gitignore)
            if os.path.exists(os.path.join(current, d, "CMakeCache.txt")):
                continue
            keep.append(d)
        dirs[:] = keep
        sources = sorted(f for f in files if os.path.splitext(f)[1] in CPP_SUFFIXES)
        if sources:
            found[rel] = sources
    return found


def include_folder(root, folder, header, quoted):
    """The tree folder of an included project header, or None for a header from elsewhere."""
    tries = [os.path.join(root, folder, header)] if quoted else []
    tries.append(os.path.join(root, header))
    for path in tries:
        if os.path.isfile(path):
            real = os.path.relpath(os.path.normpath(path), root).replace(os.sep, "/")
            if real.startswith("../"):
                return None
            return os.path.dirname(real)
    return None


def enclosing_libraries(table, folder):
    """(folder, library) of every library folder that holds `folder`, nearest first."""
    parts = folder.split("/") if folder else []
    for i in range(len(parts) - 1, 0, -1):
        outer = "/".join(parts[:i])
        if outer in table.folder_library:
            yield outer, table.folder_library[outer]


def check_includes(root, table, folders, widgets, faults):
    counted = 0
    for folder, files in folders.items():
        library = table.folder_library.get(folder)
        if library is None:
            fail(faults, f"{folder or '.'}/", 0,
                 f"folder {folder or '.'} holds C++ sources but no row of the layer table names it: "
                 "add it to its library's row or give it a row of its own")
            continue
        allowed = table.allowed[library]
        outers = list(enclosing_libraries(table, folder))
        for name in files:
            rel = f"{folder}/{name}" if folder else name
            with open(os.path.join(root, rel), encoding="utf-8", errors="replace") as f:
                for number, line in enumerate(f, 1):
                    m = INCLUDE_RE.match(line)
                    if not m:
                        continue
                    counted += 1
                    header = m.group(2).strip()
                    target = include_folder(root, folder, header, m.group(1) == '"')
                    if target is None:
                        base = header.split("/")[-1]
                        if WIDGETS not in allowed and (header.startswith("QtWidgets/") or base in widgets):
                            fail(faults, rel, number,
                                 f"{library} includes the Qt Widgets header <{header}>, but may not use {WIDGETS}")
                        continue
                    used = table.folder_library.get(target)
                    if used is None:
                        fail(faults, rel, number,
                             f"{library} includes {header} from {target or '.'}, which is not a library of the table")
                    elif used != library and used not in allowed:
                        may = " ".join(sorted(a for a in allowed if a != WIDGETS)) or "nothing"
                        fail(faults, rel, number,
                             f"{library} may not include {header} (library {used}); {library} may use: {may}")
                        continue
                    for outer, outer_library in outers:
                        if used not in (library, outer_library) and used not in table.allowed[outer_library]:
                            fail(faults, rel, number,
                                 f"folder {folder} sits inside folder {outer} (library {outer_library}), which may "
                                 f"not use {used}: {header} makes {outer}/ reach up the table; give {library} "
                                 "a top-level folder of its own")
    return counted


def cmake_calls(text, command):
    """(line, arguments) of each call of `command` in CMake source without comments."""
    text = re.sub(r"#[^\n]*", "", text)
    for m in re.finditer(r"\b" + command + r"\s*\(", text):
        depth, i = 1, m.end()
        while i < len(text) and depth:
            depth += {"(": 1, ")": -1}.get(text[i], 0)
            i += 1
        yield text.count("\n", 0, m.start()) + 1, text[m.end():i - 1].split()


def check_cmake(root, table, faults):
    keywords = {"PUBLIC", "PRIVATE", "INTERFACE"}
    for name, folders, allowed, _ in table.rows:
        for folder in folders:
            path = os.path.join(root, folder, "CMakeLists.txt")
            if not os.path.isfile(path):
                continue
            rel = f"{folder}/CMakeLists.txt"
            with open(path, encoding="utf-8") as f:
                text = f.read()
            for command in ("add_subsystem_library", "target_link_libraries"):
                for line, args in cmake_calls(text, command):
                    if not args:
                        continue
                    target = args[0]
                    if command == "add_subsystem_library" and target != name:
                        fail(faults, rel, line, f"folder {folder} belongs to library {name}, not {target}")
                        continue
                    if target not in table.allowed:
                        continue
                    may = table.allowed[target]
                    for link in args[1:]:
                        if link in keywords or link == target:
                            continue
                        if (link == WIDGETS or link in table.allowed) and link not in may:
                            fail(faults, rel, line, f"{target} links {link}, which its row does not allow")


def main():
    parser = argparse.ArgumentParser(description="Checks the include and link layers against the layer table.")
    parser.add_argument("root", help="the source tree")
    parser.add_argument("--table", help="the layer table (default: scripts/layers.txt of the tree)")
    parser.add_argument("--qt-include", default="", help="Qt include folders, ';' or ':' separated")
    args = parser.parse_args()
    root = os.path.abspath(args.root)
    table_path = args.table or os.path.join(root, "scripts", "layers.txt")

    faults = []
    table = read_table(table_path, faults)
    folders = source_folders(root, table)
    widgets = widgets_headers(args.qt_include)
    if not widgets:
        print("check_layers: no Qt Widgets include folder found; only <QtWidgets/...> includes are checked")
    includes = check_includes(root, table, folders, widgets, faults)
    check_cmake(root, table, faults)

    for line in faults:
        print(line)
    files = sum(len(f) for f in folders.values())
    if faults:
        print(f"check_layers: {len(faults)} fault(s) in {files} files against {table_path}")
        return 1
    print(f"check_layers: {files} files, {includes} includes, {len(table.rows)} libraries: every dependency "
          "points down the layer table")
    return 0


if __name__ == "__main__":
    sys.exit(main())
