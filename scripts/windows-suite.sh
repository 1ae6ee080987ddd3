#!/usr/bin/env bash
# The Windows suite: every Windows test of one build, run from a folder of its
# built exes, the build folder itself or a copy of its exes anywhere:
#
#   scripts/windows-suite.sh DIR [PROGRAM...]
#
# DIR holds Vardion.exe, the test programs and the programs they start
# (sleeper.exe; desktop_keeper.exe for Wine), as the build puts them side by
# side. PROGRAM names some of the runs below (e2e_test, soak, ...) to run
# those alone; GTEST_FILTER picks cases, as GoogleTest reads it.
#
# Where the system is Windows (Git Bash), the programs run as they are, on its
# desktop. Elsewhere they run under Wine, in a Wine session of DIR that this
# starts and stops itself (scripts/wine-session.sh: a prefix, a virtual
# desktop on an Xvfb display, in DIR/wine); VARDION_WINE=10 runs them under
# Debian 13's Wine 10 (scripts/debian13-root.sh, made first).
#
# A GoogleTest program counts its cases: passed, failed, and skipped, with
# the reason said (the checks that only Windows can answer are skipped under
# Wine). A program that ran no test, that Wine could not start (which can end
# at once with exit code 0), or whose exit code disagrees with its count,
# counts as one failed. The whole output of each program goes to a report
# folder, VARDION_SUITE_REPORT (DIR/suite-report by default), with the screen
# of each failed end-to-end case as the case left it (<case>.bmp) and of the
# whole desktop after a program that failed (<program>.png). The last line says
# "N passed, N failed, N skipped"; the exit code is 0 when none failed and
# some passed.
set -euo pipefail

dir=${1:?usage: windows-suite.sh DIR [PROGRAM...]}
dir=$(cd "$dir" && pwd)
shift
scripts=$(cd "$(dirname "$0")" && pwd)
wanted=" $* "

case $(uname -s) in
MINGW* | MSYS* | CYGWIN*) windows=yes ;;
*) windows=no ;;
esac
report=${VARDION_SUITE_REPORT:-$dir/suite-report}
mkdir -p "$report"
report=$(cd "$report" && pwd)
rm -f "$report"/*.log "$report"/*.png "$report"/*.bmp "$report"/summary.txt

passed=0 failed=0 skipped=0

# Prints a line and keeps it in the report's summary.
say() { echo "$*" | tee -a "$report/summary.txt"; }

[ -f "$dir/Vardion.exe" ] || { echo "no Vardion.exe in $dir" >&2; exit 2; }
if [ "$windows" = yes ]; then
    say "Windows suite of $dir on $(cmd //c ver | tr -d '\r' | grep -v '^$')"
else
    source "$scripts/windows-build.sh"
    bits=$(windows_pe_bits "$dir/Vardion.exe") || { echo "$dir/Vardion.exe is no PE program" >&2; exit 2; }
    if [ "$bits" = 32 ] && ! windows_runs_32bit; then
        echo "$dir holds the 32-bit build, and this machine runs no 32-bit code" >&2
        exit 2
    fi
    if [ "${VARDION_WINE:-}" = 10 ] && [ "$(windows_wines)" != own ]; then
        bash "$scripts/debian13-root.sh" make >/dev/null
    fi
    wine=$(windows_wine_version "${VARDION_WINE:-own}")
    bash "$scripts/wine-session.sh" start "$dir" >/dev/null
    trap 'bash "$scripts/wine-session.sh" stop "$dir" >/dev/null' EXIT
    say "Windows suite of $dir under Wine $wine, the $bits-bit loader"
fi

# Runs a program of DIR with arguments, for at most $1 seconds, with the
# variables of the array `environment` set. The end-to-end tests save the
# screen of each failed case into the report folder, named as Windows names it.
environment=()
if [ "$windows" = yes ]; then
    shots=$(cygpath -w "$report")
else
    shots=Z:${report//\//\\}
fi
run() {
    local seconds=$1 program=$2
    shift 2
    if [ "$windows" = yes ]; then
        env VARDION_SCREENSHOTS="$shots" "${environment[@]}" \
            timeout "$seconds" "$dir/$program.exe" "$@"
    else
        env VARDION_SCREENSHOTS="$shots" "${environment[@]}" timeout "$seconds" \
            bash "$scripts/wine-session.sh" run "$dir" "$dir/$program.exe" "$@"
    fi
}

# A picture of the whole screen as a failed program left it.
screenshot() {
    local file=$report/$1.png
    if [ "$windows" = yes ]; then
        powershell -NoProfile -Command "Add-Type -AssemblyName System.Windows.Forms, System.Drawing;
            \$b = [System.Windows.Forms.SystemInformation]::VirtualScreen;
            \$p = New-Object System.Drawing.Bitmap \$b.Width, \$b.Height;
            [System.Drawing.Graphics]::FromImage(\$p).CopyFromScreen(\$b.Left, \$b.Top, 0, 0, \$p.Size);
            \$p.Save('$(cygpath -w "$file")')" >/dev/null 2>&1 || true
    else
        (eval "$(bash "$scripts/wine-session.sh" env "$dir")" &&
            import -window root "$file") >/dev/null 2>&1 || true
    fi
}

# The first number on the line of a GoogleTest log that matches, or 0.
count() { grep -m1 -E "$1" "$2" | grep -oE '[0-9]+' | head -n 1 || echo 0; }

# suite NAME SECONDS PROGRAM [ARGS...]: one run of a GoogleTest program, counted by its cases.
suite() {
    local name=$1 seconds=$2 program=$3 log=$report/$1.log start=$SECONDS rc=0
    shift 3
    [ "$wanted" = "  " ] || [[ $wanted == *" $name "* ]] || return 0
    run "$seconds" "$program" "$@" 2>&1 | tr -d '\r' >"$log" || rc=${PIPESTATUS[0]}
    local total ok bad skip problem=""
    total=$(count '^\[==========\] [0-9]+ tests? from .* ran\.' "$log")
    ok=$(count '^\[  PASSED  \] [0-9]+ tests?\.' "$log")
    skip=$(count '^\[  SKIPPED \] [0-9]+ tests?, listed below' "$log")
    bad=$(count '^\[  FAILED  \] [0-9]+ tests?, listed below' "$log")
    if ! grep -qE '^\[==========\] [0-9]+ tests? from .* ran\.' "$log"; then
        problem="ran no test (exit code $rc)"
    elif [ "$total" -eq 0 ] || [ $((ok + skip + bad)) -ne "$total" ]; then
        problem="counted $ok passed, $bad failed, $skip skipped of $total"
    elif [ "$rc" -ne 0 ] && [ "$bad" -eq 0 ]; then
        problem="ended with exit code $rc after its tests"
    elif [ "$rc" -eq 0 ] && [ "$bad" -ne 0 ]; then
        problem="ended with exit code 0 after failed tests"
    fi
    [ -z "$problem" ] || bad=$((bad > 0 ? bad : 1))
    passed=$((passed + ok)) failed=$((failed + bad)) skipped=$((skipped + skip))
    say "$name: $ok passed, $bad failed, $skip skipped in $((SECONDS - start)) s${problem:+: $problem}"
    # Each skipped case with its reason: the line after GoogleTest's "Skipped".
    awk '/: Skipped$/ { getline why; next_is = why }
         /^\[  SKIPPED \] [^ ]+ \(/ && next_is != "" { print "  skipped " $4 ": " next_is; next_is = "" }' \
        "$log" | tee -a "$report/summary.txt"
    if [ "$bad" -ne 0 ]; then
        { grep -E '^\[  FAILED  \] [^ ]+\.[^ ]+' "$log" | grep -vE '\([0-9]+ ms\)$' || true; } |
            sed 's/^/  /' | tee -a "$report/summary.txt"
        echo "---- $log"
        tail -n 150 "$log"
        echo "----"
        screenshot "$name"
    fi
}

# soak SECONDS: the soak, one test: it says "passed: 0 fault(s)" or what it found.
soak() {
    local name=soak log=$report/soak.log start=$SECONDS rc=0
    [ "$wanted" = "  " ] || [[ $wanted == *" soak "* ]] || return 0
    run $(($1 + 120)) soak "$1" 2>&1 | tr -d '\r' >"$log" || rc=${PIPESTATUS[0]}
    if [ "$rc" -eq 0 ] && grep -qx 'passed: 0 fault(s)' "$log"; then
        passed=$((passed + 1))
        say "$name: 1 passed, 0 failed, 0 skipped in $((SECONDS - start)) s: $(grep -m1 '^kernel handles' "$log")"
    else
        failed=$((failed + 1))
        say "$name: 0 passed, 1 failed, 0 skipped in $((SECONDS - start)) s (exit code $rc)"
        grep -E 'FAULT' "$log" | sed 's/^/  /' | tee -a "$report/summary.txt" || true
        tail -n 40 "$log"
        screenshot "$name"
    fi
}

suite framework_test 120 framework_test
suite resources_test 120 resources_test
suite win32_adapters_test 120 win32_adapters_test
suite e2e_test 900 e2e_test
# Names of a double-byte code page once more, in code page 932. Wine takes the
# code page from the locale, and names files through the C library, which
# needs the locale itself (made here once, into DIR). Windows has the code
# page of its installation: there the cases above ran in it.
if [ "$windows" = no ] && { [ "$wanted" = "  " ] || [[ $wanted == *" e2e_test_932 "* ]]; }; then
    locales=$dir/locale
    if [ ! -d "$locales/ja_JP.UTF-8" ] && command -v localedef >/dev/null; then
        mkdir -p "$locales"
        localedef -i ja_JP -f UTF-8 "$locales/ja_JP.UTF-8" >/dev/null 2>&1 || true
    fi
    if [ -d "$locales/ja_JP.UTF-8" ]; then
        environment=(LOCPATH="$locales" LC_ALL=ja_JP.UTF-8 LANG=ja_JP.UTF-8)
        suite e2e_test_932 300 e2e_test --gtest_filter='*DoubleByte*'
        environment=()
    else
        skipped=$((skipped + 1))
        say "e2e_test_932: 0 passed, 0 failed, 1 skipped: no ja_JP locale can be made here (localedef)"
    fi
fi
suite windows_only_test 900 windows_only_test
soak 20

say "$passed passed, $failed failed, $skipped skipped"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
