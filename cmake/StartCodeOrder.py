#!/usr/bin/env python3
"""Lists the functions of qv-run that run from its start to the end of a run with nothing to do.

usage: StartCodeOrder.py VALGRIND PROGRAM REGTOOL OUTPUT

PROGRAM is qv-run linked without an order. It runs under callgrind three times, each with a
configuration folder of its own: --help, an empty tree without a settings store, and an empty tree
with a store (made by REGTOOL). OUTPUT gets the symbol names (as the linker knows them) of every
function of PROGRAM that ran, one a line, for lld's --symbol-ordering-file: the linker lays them
out together at the front of the code, so a start of the program maps a few 64 KiB windows of its
code (the kernel maps page-cache pages around each fault 64 KiB at a time) instead of most of it.

The list comes from the program it orders, so it never goes stale. Fails (and so fails the build)
when a traced run does not reach main, e.g. when valgrind cannot run the program.
"""
import os
import subprocess
import sys
import tempfile


def executed_functions(callgrind_out, program):
    """Names of PROGRAM's functions with a cost in a callgrind output file (uncompressed names)."""
    program = os.path.realpath(program)
    names = []
    in_program = False
    with open(callgrind_out, encoding="utf-8", errors="replace") as f:
        for line in f:
            if line.startswith("ob="):
                in_program = os.path.realpath(line[3:].strip()) == program
            elif line.startswith("fn=") and in_program:
                name = line[3:].strip()
                # Code without a symbol is named by its address; "name'2" marks a recursion level.
                name = name.split("'", 1)[0]
                if name and not name.startswith("0x"):
                    names.append(name)
    return names


def main():
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    valgrind, program, regtool, output = sys.argv[1:]
    ordered = []
    seen = set()
    with tempfile.TemporaryDirectory(prefix="qv-start-order-") as tmp:
        for folder in ("src", "dst", "none", "store"):
            os.mkdir(os.path.join(tmp, folder))
        env = dict(os.environ, XDG_CONFIG_HOME=os.path.join(tmp, "store"), LC_ALL="C.UTF-8")
        subprocess.run([regtool, "set", "\\Software\\Tavimundrelo\\Quorvellant\\Main", "SortColumn", "dword", "0"],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        empty = ["--quiet", "--source", os.path.join(tmp, "src"), "--dest", os.path.join(tmp, "dst")]
        for config, args in (("none", ["--help"]), ("none", empty), ("store", empty)):
            out = os.path.join(tmp, "callgrind.out")
            env["XDG_CONFIG_HOME"] = os.path.join(tmp, config)
            run = subprocess.run([valgrind, "--tool=callgrind", "--demangle=no", "--compress-strings=no",
                                  "--callgrind-out-file=" + out, program] + args,
                                 env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
            names = executed_functions(out, program) if os.path.exists(out) else []
            if "main" not in names:
                sys.exit("StartCodeOrder: %s %s did not run under valgrind (exit %d):\n%s"
                         % (program, " ".join(args), run.returncode, run.stderr[-2000:]))
            for name in names:
                if name not in seen:
                    seen.add(name)
                    ordered.append(name)
    with open(output + ".new", "w", encoding="utf-8") as f:
        f.write("\n".join(ordered) + "\n")
    os.replace(output + ".new", output)


if __name__ == "__main__":
    main()
