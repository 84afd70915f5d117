#!/usr/bin/python3
"""Turns the results bench/run.sh collected into one Markdown table.

usage: report.py <results dir> <toolchain>=<folder>...

Each folder holds one toolchain's Morlune.dll and EmptyPlugin.dll; the first is the build that
ran under Wine.
"""

import json
import pathlib
import sys

import pefile

LABELS = {
    "None": "None (key 13)",
    "Tap": "Tap (key 23)",
    "Chord": "Chord (key 31)",
    "Digit": "Digit, mode off (key 4)",
    "CtrlDigit": "Digit with Ctrl (key 4, mode on)",
    "ToggleMode": "ToggleMode (key 28)",
    "AbsentTarget": "Absent target (key 23)",
}


def ratio(a, b):
    return f"{a / b:.2f}" if b else "n/a"


def native_rows(results):
    data = json.loads((results / "native.json").read_text())
    medians = {}
    for run in data["benchmarks"]:
        if run.get("aggregate_name") == "median":
            way, kind = run["run_name"].split("/", 1)
            scale = {"ns": 1, "us": 1e3, "ms": 1e6}[run["time_unit"]]
            medians[(way, kind)] = run["cpu_time"] * scale
    rows = []
    for kind, label in LABELS.items():
        plugin, floor = medians[("HandleKey", kind)], medians[("Floor", kind)]
        rows.append(("Native ns per event", label, f"{plugin:.2f}", f"{floor:.2f}",
                     ratio(plugin, floor)))
    return rows


def instruction_rows(results):
    counts = {}
    for line in (results / "instructions.txt").read_text().split("\n"):
        if line:
            kind, way, n, ir = line.split()
            counts[(kind, way, int(n))] = int(ir)
    rows = []
    for kind, label in LABELS.items():
        per = {}
        for way in ("handlekey", "floor"):
            sizes = sorted(n for (k, w, n) in counts if k == kind and w == way)
            small, large = sizes[0], sizes[-1]
            delta = counts[(kind, way, large)] - counts[(kind, way, small)]
            per[way] = delta / (large - small)
        rows.append(("Instructions per event", label, f"{per['handlekey']:g}",
                     f"{per['floor']:g}", ratio(per["handlekey"], per["floor"])))
    return rows


def wine_rows(results):
    reason_file = results / "wine-reason.txt"
    names = ["Tap (key 23)", "Chord (key 31)", "Ctrl digits (key 28, then key 4 three times)",
             "LoadLibrary + first call"]
    if reason_file.exists():
        reason = reason_file.read_text().strip()
        return [("Under Wine", name, f"not measured ({reason})", "", "") for name in names]
    rows = []
    for line in (results / "wine.txt").read_text().splitlines():
        if line.startswith("result\t"):
            _, name, plugin, direct, unit = line.split("\t")
            plugin, direct = float(plugin), float(direct)
            other = "empty DLL " if name.startswith("LoadLibrary") else "direct "
            rows.append((f"Under Wine, {unit}", name, f"{plugin:.2f}",
                         f"{other}{direct:.2f}", ratio(plugin, direct)))
    return rows


def imports(path):
    pe = pefile.PE(str(path))
    found = []
    for entry in getattr(pe, "DIRECTORY_ENTRY_IMPORT", []):
        for symbol in entry.imports:
            name = symbol.name.decode() if symbol.name else f"#{symbol.ordinal}"
            found.append(f"{entry.dll.decode()}!{name}")
    return found


def dll_rows(builds):
    rows = []
    for toolchain, folder in builds:
        morlune, empty = folder / "Morlune.dll", folder / "EmptyPlugin.dll"
        rows.append(("DLL size, bytes", f"{morlune.name} ({toolchain})",
                     str(morlune.stat().st_size), f"empty DLL {empty.stat().st_size}", ""))
    folder = builds[0][1]
    morlune_imports = imports(folder / "Morlune.dll")
    empty_imports = imports(folder / "EmptyPlugin.dll")
    rows.append(("Imported functions", ", ".join(morlune_imports) or "none",
                 str(len(morlune_imports)), f"empty DLL {len(empty_imports)}", ""))
    return rows


def main():
    results = pathlib.Path(sys.argv[1])
    builds = [(toolchain, pathlib.Path(folder))
              for toolchain, folder in (arg.split("=", 1) for arg in sys.argv[2:])]
    rows = (native_rows(results) + instruction_rows(results) + wine_rows(results) +
            dll_rows(builds))
    print("| Measure | Event | Morlune | Floor / direct / empty | Ratio |")
    print("|---|---|---:|---:|---:|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
