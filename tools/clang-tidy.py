#!/usr/bin/python3
"""Runs clang-tidy (config: .clang-tidy) over every C++ source of the project: the native ones
with build/native's compile database, the Windows ones with build/win32's, adjusted so that
clang parses them as mingw's g++ compiles them. Exits non-zero on any finding.
  tools/clang-tidy.py [--native DIR] [--win32 DIR] [--jobs N] [FILE...]
FILE... limits the run to those sources. CLANG_TIDY overrides the clang-tidy program."""
import argparse
import concurrent.futures
import json
import os
import shutil
import shlex
import subprocess
import sys
import tempfile

source_dir = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
parser = argparse.ArgumentParser(prog="tools/clang-tidy.py")
parser.add_argument("--native", default=os.path.join(source_dir, "build/native"),
                    help="native build directory (default: build/native)")
parser.add_argument("--win32", default=os.path.join(source_dir, "build/win32"),
                    help="win32 build directory (default: build/win32)")
parser.add_argument("--jobs", type=int, default=os.cpu_count() or 1)
parser.add_argument("files", nargs="*")
options = parser.parse_args()
clang_tidy = os.environ.get("CLANG_TIDY", "clang-tidy")
if shutil.which(clang_tidy) is None:
    sys.exit(f"clang-tidy.py: {clang_tidy} not found (tools/install-prerequisites.sh installs it)")

# Flags g++ understands and clang rejects as unknown.
GCC_ONLY_FLAGS = {"-fno-tree-loop-distribute-patterns", "-mno-stack-arg-probe"}
CXX_SUFFIXES = (".cpp", ".cc", ".cxx")


def load_database(build_dir, preset):
    path = os.path.join(build_dir, "compile_commands.json")
    if not os.path.isfile(path):
        sys.exit(f"clang-tidy.py: {path} is missing: run `cmake --preset {preset}` first")
    with open(path, encoding="utf-8") as stream:
        return json.load(stream)


def arguments_of(entry):
    return entry["arguments"] if "arguments" in entry else shlex.split(entry["command"])


def own_sources(database):
    """This project's C++ sources (not googletest's, not resources), first entry per file."""
    sources = {}
    for entry in database:
        file = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
        if file.startswith(source_dir + os.sep) and file.endswith(CXX_SUFFIXES):
            sources.setdefault(file, entry)
    return sources


def mingw_include_dirs(compiler):
    """The C++ library and Windows header directories mingw's g++ searches, without GCC's own
    builtin headers (clang uses its own: -nostdlibinc keeps them)."""
    listing = subprocess.run([compiler, "-E", "-x", "c++", "-", "-v"], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, check=True).stderr
    listing = listing.split("#include <...> search starts here:\n", 1)[1]
    listing = listing.split("End of search list.", 1)[0]
    builtin = subprocess.run([compiler, "-print-file-name=include"], capture_output=True,
                             text=True, check=True).stdout.strip()
    excluded = {os.path.realpath(builtin), os.path.realpath(builtin + "-fixed")}
    directories = [line.strip() for line in listing.splitlines() if line.strip()]
    return [d for d in directories if os.path.realpath(d) not in excluded]


def clang_arguments(arguments, include_dirs):
    """A mingw g++ command line as clang understands it, for the same target and headers."""
    kept = [a for a in arguments[1:] if a not in GCC_ONLY_FLAGS]
    extra = ["--target=i686-w64-mingw32", "-nostdlibinc"]
    for directory in include_dirs:
        extra += ["-isystem", directory]
    return ["clang++"] + extra + kept


native = own_sources(load_database(options.native, "native"))
win32 = own_sources(load_database(options.win32, "win32"))
# Sources built both ways (key translation) are checked once, natively.
win32 = {file: entry for file, entry in win32.items() if file not in native}

if options.files:
    wanted = {os.path.realpath(f) for f in options.files}
    unknown = wanted - set(native) - set(win32)
    if unknown:
        sys.exit("clang-tidy.py: not in any compile database: " + " ".join(sorted(unknown)))
    native = {f: e for f, e in native.items() if f in wanted}
    win32 = {f: e for f, e in win32.items() if f in wanted}

with tempfile.TemporaryDirectory(prefix="clang-tidy-win32-") as win32_database:
    if win32:
        compiler = arguments_of(next(iter(win32.values())))[0]
        include_dirs = mingw_include_dirs(compiler)
        entries = [{"directory": e["directory"], "file": f,
                    "arguments": clang_arguments(arguments_of(e), include_dirs)}
                   for f, e in win32.items()]
        with open(os.path.join(win32_database, "compile_commands.json"), "w",
                  encoding="utf-8") as stream:
            json.dump(entries, stream, indent=1)

    jobs = [(f, options.native) for f in sorted(native)]
    jobs += [(f, win32_database) for f in sorted(win32)]

    def run(job):
        file, database = job
        result = subprocess.run([clang_tidy, "--quiet", "-p", database, file], cwd=source_dir,
                                capture_output=True, text=True)
        lines = [line for line in (result.stdout + result.stderr).splitlines()
                 if not line.endswith(" generated.")]
        return file, result.returncode, lines

    failed = []
    with concurrent.futures.ThreadPoolExecutor(max(1, options.jobs)) as pool:
        for file, returncode, lines in pool.map(run, jobs):
            if returncode != 0 or lines:
                failed.append(os.path.relpath(file, source_dir))
                print("\n".join(lines) or f"{file}: clang-tidy exited with {returncode}")

print(f"clang-tidy: {len(jobs)} sources, {len(failed)} with findings"
      + (": " + " ".join(failed) if failed else ""))
sys.exit(1 if failed else 0)
