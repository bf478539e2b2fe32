#!/usr/bin/env bash
# With the leakcheck preset built (cmake --preset leakcheck && cmake --build --preset leakcheck),
# runs a tracked qv-run over a generated tree and a tracked qv-zip over the same tree, and fails when
# a block still allocated at their end was allocated through the task core or the zip library; then
# starts and ends a tracked quorvellant (its window offscreen), whose report must hold no block at all.
# Usage: tests/diagnostics/leakcheck-qv-run.sh [build-leakcheck]
set -euo pipefail
src_root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$src_root/build-leakcheck}" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME=$work/home XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share
mkdir -p "$HOME" "$work/src"
for d in $(seq 1 40); do
    mkdir -p "$work/src/d$d/sub"
    for f in $(seq 1 25); do
        head -c $(( (d * 131 + f * 977) % 9000 )) /dev/urandom >"$work/src/d$d/f$f.bin"
    done
    echo "note $d" >"$work/src/d$d/sub/README"
done
# Names of the core's and the zip library's source files: a call-stack line naming one of them as its
# unit passes through them.
units=$( (cd "$src_root/src" && find core zip -name '*.cpp' -o -name '*.h') | xargs -n1 basename | sort -u)
status=0
check() {
    local what=$1 log=$XDG_STATE_HOME/quorvellant/LeakCheck.log
    if [ ! -f "$log" ]; then
        echo "$what: no leak report (is $build a leakcheck build?)"
        status=1
        return
    fi
    head -n 1 "$log" | sed "s/^/$what: /"
    if grep -a -o 'Unit [^ ]*' "$log" | cut -d' ' -f2 | sort -u | grep -Fx -f <(echo "$units") >/dev/null; then
        echo "$what: a block still allocated was allocated through the core or the zip library:"
        cat "$log"
        status=1
    fi
    rm -f "$log"
}
"$build/bin/qv-run" --source "$work/src" --dest "$work/dst" --type exact >"$work/run.log" 2>&1
diff -r "$work/src" "$work/dst"
check "qv-run exact copy"
"$build/bin/qv-run" --source "$work/src" --dest "$work/dst" --type exact >"$work/run2.log" 2>&1
check "qv-run unchanged"
if [ -x "$build/bin/qv-zip" ]; then
    (cd "$work/src" && "$build/bin/qv-zip" a "$work/all.zip" "$work/src" $(find . -type f | sed 's|^\./||')) \
        >"$work/zip.log" 2>&1
    check "qv-zip a"
    "$build/bin/qv-zip" x "$work/all.zip" "$work/out" >"$work/unzip.log" 2>&1
    diff -r "$work/src" "$work/out"
    check "qv-zip x"
fi
if [ -x "$build/bin/quorvellant" ]; then
    # The first start with /EXITNOW builds the main window, reads its command line and ends.
    mkdir -p -m 700 "$work/run"
    XDG_RUNTIME_DIR=$work/run QT_QPA_PLATFORM=offscreen "$build/bin/quorvellant" /EXITNOW >"$work/q.log" 2>&1
    log=$XDG_STATE_HOME/quorvellant/LeakCheck.log
    if [ -f "$log" ] && head -n 1 "$log" | grep -q '^Total leak: 0 bytes'; then
        echo "quorvellant start and exit: Total leak: 0 bytes"
    else
        echo "quorvellant start and exit: blocks still allocated (or no report):"
        cat "$log" "$work/q.log" 2>/dev/null || true
        status=1
    fi
fi
exit $status
