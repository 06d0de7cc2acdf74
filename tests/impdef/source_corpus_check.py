#!/usr/bin/env python3
"""Measures the stdcall decorations qen_impdef finds on DLLs built from real C libraries, against
the decorations their compiler gave, and gendef's on the same files.

Two libraries come from Debian's source packages: libxcrypt's hashing methods and crypt front
ends (libxcrypt-source) and zlib (the copy in binutils-source's tarball, extracted at test time).
Each is built the ways users build such DLLs: clang --target=i686-pc-windows-msvc -mrtd with
mingw-w64's headers, linked by lld-link against msvcrt.dll's import library, and
i686-w64-mingw32-gcc -mrtd -Wl,--kill-at; each at -O2 and -Os, every external function exported
undecorated, the DLL stripped. The truth is the name clang gave each function in its object:
_name@N (stdcall) or _name (cdecl, varargs). gcc gives -mrtd functions no decoration, so its
builds are judged against clang's names for the same sources and prototypes. Judged and
reported as msvc_oracle_check.py does.

Each build has a cdecl twin, the same without -mrtd: every function then returns with a plain
ret, and its -mrtd twin's N tells which take arguments. A _name@0 second name on one that takes
arguments is a wrong line (harmless: its code is what a stdcall caller without arguments
expects, but it says what is not so); they are counted, against a limit.

Exits 1 below the thresholds or over the limit, when a tool fails on a DLL or a build fails, or
when a tool or a source package is missing.
"""
import argparse
import concurrent.futures
import glob
import os
import sys
import tempfile

from msvc_oracle_check import (Tally, count, find_tools, gendef_names, goals_met, import_library,
                               measure, our_names, print_figures, run, truth_of, write_exports)

XCRYPT = "/usr/src/libxcrypt/lib"
BINUTILS_TARBALLS = "/usr/src/binutils/binutils-*.tar.xz"
MINGW_INCLUDE = "/usr/share/mingw-w64/include"
MINGW_MSVCRT = "/usr/i686-w64-mingw32/lib/libmsvcrt.a"
# Sources that are no part of the DLL: a table generator, a file another includes, the
# obsolete interface (left out by config.h), and zlib's example programs.
LEFT_OUT = {"gen-des-tables.c", "alg-yescrypt-platform.c", "crypt-des-obsolete.c",
            "example.c", "minigzip.c"}
# mingw-w64's headers want a GNU C compiler and _X86_; msvcrt.dll has only _snprintf.
MSVC_FLAGS = ["--target=i686-pc-windows-msvc", "-fgnuc-version=4.2.1", "-D_X86_",
              "-Dsnprintf=_snprintf", "-Dvsnprintf=_vsnprintf", "-isystem", MINGW_INCLUDE]
BUILDS = {"clang-O2": ["-O2"], "clang-Os": ["-Os"], "gcc-O2": ["-O2"], "gcc-Os": ["-Os"]}
# The levels measured on this branch (qen_impdef, all DLLs); a change that loses any fails.
PRECISION_GOAL, RECALL_GOAL, NO_ARGUMENT_GOAL = 1.0, 1.0, 1.0
# The cdecl twins' functions that take arguments but got _name@0, as measured: one function,
# in four builds, that never reads the arguments it declares.
WRONG_NO_ARGUMENT_LIMIT = 4


def generate_xcrypt_headers(folder):
    """Writes the two headers the library's build generates: crypt.h from its template, and
    crypt-hashes.h (every hashing method, its functions and the table crypt.c walks) from
    hashes.conf."""
    with open(os.path.join(XCRYPT, "crypt.h.in")) as f:
        header = f.read()
    for key, value in (("BEGIN_DECLS", ""), ("END_DECLS", ""), ("DEFAULT_PREFIX_ENABLED", "1"),
                       ("XCRYPT_VERSION_MAJOR", "4"), ("XCRYPT_VERSION_MINOR", "4"),
                       ("XCRYPT_VERSION_STR", "4.4")):
        header = header.replace(f"@{key}@", value)
    with open(os.path.join(folder, "crypt.h"), "w") as f:
        f.write(header)
    arguments = {"crypt": "const char *, size_t, const char *, size_t, uint8_t *, size_t, "
                          "void *, size_t",
                 "gensalt": "unsigned long, const uint8_t *, size_t, uint8_t *, size_t"}
    lines, entries = [], []
    with open(os.path.join(XCRYPT, "hashes.conf")) as f:
        methods = [line.split() for line in f if line.strip() and not line.startswith("#")]
    for name, prefix, random_bytes, flags in methods:
        prefix = "" if prefix == ":" else prefix
        lines.append(f"#define INCLUDE_{name} 1")
        for kind, types in arguments.items():
            lines.append(f"#define {kind}_{name}_rn _crypt_{kind}_{name}_rn")
            lines.append(f"extern void {kind}_{name}_rn ({types});")
        entries.append(f'{{ "{prefix}", {len(prefix)}, crypt_{name}_rn, gensalt_{name}_rn, '
                       f'{random_bytes}, {int("STRONG" in flags.split(","))} }}')
    default = next(m[1] for m in methods if "DEFAULT" in m[3].split(","))
    lines.append(f'#define HASH_ALGORITHM_DEFAULT "{default}"')
    lines.append("#define HASH_ALGORITHM_TABLE_ENTRIES "
                 + ", ".join(entries + ["{ 0, 0, 0, 0, 0, 0 }"]))
    with open(os.path.join(folder, "crypt-hashes.h"), "w") as f:
        f.write("\n".join(lines) + "\n")


def prepare_sources(scratch, config):
    """{library: (its C files, the compiler flags it needs)}."""
    tarballs = sorted(glob.glob(BINUTILS_TARBALLS))
    if not os.path.isfile(os.path.join(XCRYPT, "crypt.c")) or not tarballs:
        sys.exit(f"{XCRYPT} or {BINUTILS_TARBALLS} missing: Debian's libxcrypt-source and "
                 "binutils-source")
    top = os.path.basename(tarballs[-1])[:-len(".tar.xz")]
    extract = run(["tar", "-xJf", tarballs[-1], "--wildcards", f"{top}/zlib/*"], scratch)
    if extract.returncode != 0:
        sys.exit(f"tar: {extract.stderr.decode()}")
    generated = os.path.join(scratch, "xcrypt-generated")
    os.mkdir(generated)
    generate_xcrypt_headers(generated)
    zlib = os.path.join(scratch, top, "zlib")
    sources = {"libxcrypt": (XCRYPT, ["-DHAVE_CONFIG_H", "-I", config, "-I", generated,
                                      "-I", XCRYPT]),
               "zlib": (zlib, [])}
    return {library: (sorted(s for s in glob.glob(os.path.join(folder, "*.c"))
                             if os.path.basename(s) not in LEFT_OUT), flags)
            for library, (folder, flags) in sources.items()}


def build_dll(library, build, sources, tools, work, scratch, rtd="-mrtd"):
    """Compiles and links the library one way: (the DLL, its objects). rtd: "" for the cdecl
    twin."""
    clang = build.startswith("clang")
    compiler = [tools["clang"], *MSVC_FLAGS] if clang else [tools["i686-w64-mingw32-gcc"]]
    files, flags = sources
    objects = []
    for source in files:
        obj = os.path.splitext(os.path.basename(source))[0] + ".obj"
        made = run([*compiler, *BUILDS[build], *filter(None, [rtd]), *flags, "-c", source, "-o", obj], work)
        if made.returncode != 0:
            sys.exit(f"{library}-{build}: {source}: {made.stderr.decode()}")
        objects.append(obj)
    names = {name for obj in objects for name in truth_of(tools["nm"], obj, work)}
    dll = f"{library}-{build}.dll"
    write_exports(work, dll, sorted(names))
    if clang:
        link = [tools["lld-link"], "/nologo", "/dll", "/noentry", "/nodefaultlib", "/safeseh:no",
                "/machine:x86", "/def:exports.def", f"/out:{dll}", *objects, MINGW_MSVCRT,
                os.path.join(scratch, "msvcrt_helpers.lib")]
    else:
        link = [tools["i686-w64-mingw32-gcc"], "-shared", *filter(None, [rtd]), "-Wl,--kill-at", "-o", dll,
                *objects, "exports.def"]
    linked = run(link, work)
    if linked.returncode != 0:
        sys.exit(f"{library}-{build}: {linked.stderr.decode()}")
    stripped = run([tools["i686-w64-mingw32-strip"], dll], work)
    if stripped.returncode != 0:
        sys.exit(f"{library}-{build}: strip: {stripped.stderr.decode()}")
    return dll, objects


def cdecl_twin(library, build, sources, tools, scratch):
    """{tool: the functions of the cdecl twin its .def gives _name@0} for one build."""
    work = tempfile.mkdtemp(dir=scratch, prefix=f"{library}-{build}-cdecl-")
    dll, _ = build_dll(library, build, sources, tools, work, scratch, rtd="")
    given = {}
    for tool, args in (("qen_impdef", [tools["impdef"], dll, "-o", "-"]),
                       ("gendef", [tools["gendef"], "-", dll])):
        result = run(args, work)
        if result.returncode != 0:
            sys.exit(f"{library}-{build}-cdecl: {tool} failed: {result.stderr.decode()}")
        text = result.stdout.decode("latin-1")
        names = our_names(text)[0] if tool == "qen_impdef" else gendef_names(text)
        given[tool] = {name for name, ns in names.items() if 0 in ns}
    return given


def report_cdecl_twins(twins, truth):
    """Prints, per tool, the cdecl twins' functions given _name@0 and those of them that take
    arguments; returns our count of the latter."""
    wrong_count = 0
    for tool in ("qen_impdef", "gendef"):
        given = [(key, name) for key, names in twins.items() for name in names[tool]]
        wrong = sorted(f"{key}: {name} (its -mrtd twin: @{truth[key[0]][name]})"
                       for key, name in given if truth[key[0]].get(name))
        print(f"cdecl twins {tool:10} _name@0 on {len(given)} functions, {len(wrong)} of them "
              "taking arguments")
        for line in wrong if tool == "qen_impdef" else []:
            print("    wrong _name@0:", line)
        wrong_count = len(wrong) if tool == "qen_impdef" else wrong_count
    return wrong_count


def check(library, build, sources, tools, scratch, clang_truth):
    """(ours, gendef's) tallies and the truth of one library built one way. clang_truth: the
    library's truth from a clang build, for a gcc build's undecorated symbols."""
    work = tempfile.mkdtemp(dir=scratch, prefix=f"{library}-{build}-")
    dll, objects = build_dll(library, build, sources, tools, work, scratch)
    truth = {}
    for obj in objects:
        truth.update(truth_of(tools["nm"], obj, work))
    if clang_truth is not None:
        unknown = set(truth) - set(clang_truth)
        if unknown:
            sys.exit(f"{library}-{build}: functions clang did not build: {sorted(unknown)}")
        truth = {name: clang_truth[name] for name in truth}
    return (*measure(tools, dll, f"{library}-{build}", truth, work), truth)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("tool")
    parser.add_argument("config", help="folder of config.h and msvcrt_helpers.def")
    parser.add_argument("-j", type=int, default=2)
    args = parser.parse_args()
    config = os.path.realpath(args.config)
    tools = {"impdef": os.path.realpath(args.tool)}
    find_tools(tools, ("clang", "lld-link", "llvm-nm", "llvm-dlltool", "gendef", "tar",
                       "i686-w64-mingw32-gcc", "i686-w64-mingw32-strip"))
    totals = {"qen_impdef": Tally(), "gendef": Tally()}
    with tempfile.TemporaryDirectory() as scratch, \
            concurrent.futures.ThreadPoolExecutor(args.j) as pool:
        import_library(tools, os.path.join(config, "msvcrt_helpers.def"), "msvcrt_helpers.lib",
                       scratch)
        libraries = prepare_sources(scratch, config)
        groups = {key: (Tally(), Tally()) for key in
                  [f"{library} {build}" for library in libraries for build in BUILDS]
                  + list(libraries) + list(BUILDS)}
        clang_truth = {}
        for compiler in ("clang", "gcc"):  # gcc's builds are judged by clang's names
            jobs = [(library, build) for library in libraries for build in BUILDS
                    if build.startswith(compiler)]
            results = pool.map(lambda job: check(*job, libraries[job[0]], tools, scratch,
                                                 clang_truth.get(job[0])), jobs)
            for (library, build), (ours, theirs, truth) in zip(jobs, list(results)):
                clang_truth.setdefault(library, truth)
                count(groups, totals, (f"{library} {build}", library, build), ours, theirs)
        jobs = [(library, build) for library in libraries for build in BUILDS]
        twins = dict(zip(jobs, pool.map(lambda job: cdecl_twin(*job, libraries[job[0]], tools,
                                                               scratch), jobs)))
    print(f"{len(libraries) * len(BUILDS)} DLLs: {', '.join(libraries)} x {', '.join(BUILDS)}, "
          "and their cdecl twins")
    ours = print_figures(groups, totals)
    wrong = report_cdecl_twins(twins, clang_truth)
    if wrong > WRONG_NO_ARGUMENT_LIMIT:
        print(f"more than {WRONG_NO_ARGUMENT_LIMIT} wrong _name@0 on the cdecl twins")
    return 0 if goals_met(ours, PRECISION_GOAL, RECALL_GOAL, NO_ARGUMENT_GOAL) and \
        wrong <= WRONG_NO_ARGUMENT_LIMIT else 1


if __name__ == "__main__":
    sys.exit(main())
