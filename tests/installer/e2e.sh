#!/bin/bash
# End-to-end tests of the installer: the real setup program, started from a
# minimal distribution directory (the program, isize, tsize, disks), answers
# given on standard input, each scenario in its own emulated Solaris host.
#
#   e2e.sh SETUP_PROGRAM GROUP           runs every scenario of GROUP
#   e2e.sh --inner SCENARIO DIST         one scenario, inside the host
#
# Needs root (exit 77, a skip, otherwise). Exit status 1 when a check fails.

set -u

SELF=$(readlink -e -- "${BASH_SOURCE[0]}")
HERE=${SELF%/*}
RUN=$HERE/../../hostsim/run

# ---------------------------------------------------------------------------
# Inside the emulated host: helpers of the scenarios.

OUT= ERR= RC= FAILS=0
LOG=/tmp/setup.log

fail() {
    printf 'FAIL: %s\n' "$*"
    FAILS=$((FAILS + 1))
}

# run_setup INPUT [ARG...]: ./setup with INPUT on standard input.
run_setup() {
    local input=$1
    shift
    printf '%s' "$input" | ./setup "$@" >"$OUT" 2>"$ERR"
    RC=$?
}

expect_rc() { [ "$RC" = "$1" ] || fail "exit status $RC, wanted $1"; }
expect_out() { grep -qF -- "$1" "$OUT" || fail "standard output lacks '$1'"; }
expect_no_out() { ! grep -qF -- "$1" "$OUT" || fail "standard output holds '$1'"; }
expect_err() { grep -qF -- "$1" "$ERR" || fail "standard error lacks '$1'"; }
expect_log() { grep -qF -- "$1" "$LOG" 2>/dev/null || fail "log lacks '$1'"; }
expect_no_log() { ! grep -qF -- "$1" "$LOG" 2>/dev/null || fail "log holds '$1'"; }
expect_missing() { [ ! -e "$1" ] && [ ! -L "$1" ] || fail "$1 exists"; }
expect_dir() { [ -d "$1" ] && [ ! -L "$1" ] || fail "$1 is no directory"; }
expect_file() { [ -f "$1" ] || fail "$1 is no file"; }
expect_link() {
    [ -L "$1" ] && [ "$(readlink -- "$1")" = "$2" ] || fail "$1 is no link to $2"
}
# expect_count TEXT N: standard output holds TEXT N times.
expect_count() {
    local n
    n=$(grep -oF -- "$1" "$OUT" | wc -l)
    [ "$n" = "$2" ] || fail "standard output holds '$1' $n times, wanted $2"
}

# The work directory is removed at the end: its removal shows that the run
# reached its end.
expect_cleaned() { expect_log "rm -rf  ${1:-/tmp/TarvoInstall}"; }
expect_not_cleaned() { expect_no_log "rm -rf  "; }

# make_app DIR: an installed application directory with a file of data
# and a queue administration program that notes its calls.
make_app() {
    mkdir -p "$1"
    echo "printer data" >"$1/data"
    printf '#!/bin/sh\necho "$*" >>/tmp/nvqadmin.calls\n' >"$1/nvqadmin"
    chmod 755 "$1/nvqadmin"
}

# The queue administration ran after the installation, once per option.
expect_queue_admin() {
    [ "$(cat /tmp/nvqadmin.calls 2>/dev/null)" = $'-upgrade\n-clean' ] ||
        fail "nvqadmin calls: '$(cat /tmp/nvqadmin.calls 2>/dev/null)'"
}

# start_program NAME SECONDS: a program of that name runs for that long.
start_program() {
    cp /bin/sleep "/tmp/$1"
    ("/tmp/$1" "$2" &)
    sleep 0.2
}

# step TEXT: names the next part of a scenario in failure reports.
step() { printf 'step: %s\n' "$*"; rm -f "$LOG" /tmp/nvqadmin.calls; }

# ---------------------------------------------------------------------------
# Scenarios: agreement and version.

sc_decline() {
    step "declined"
    run_setup $'n\n' /var/work
    expect_rc 0
    expect_out 'Type "y" to agree'
    expect_missing "$LOG"
    expect_missing /tmp/TarvoInstall
    expect_missing /var/work

    step "declined by the end of input, -v not answered"
    run_setup '' -v
    expect_rc 0
    [ ! -s "$ERR" ] || fail "standard error: $(cat "$ERR")"
    expect_missing "$LOG"

    step "-v after agreement"
    run_setup $'y\n' -v
    expect_rc 0
    [ "$(cat "$ERR")" = "setup 4.30.26" ] || fail "standard error: '$(cat "$ERR")'"
    expect_log "initializing system"
    expect_not_cleaned
}

# ---------------------------------------------------------------------------
# Scenarios: the command line.

sc_work_area() {
    step "work area with a trailing /, made by the installer"
    run_setup $'y\n' /var/work/
    expect_rc 0
    expect_cleaned /var/work/TarvoInstall
    expect_no_log "//TarvoInstall"
    # Made for this run and left empty, it goes again.
    expect_missing /var/work

    step "existing work area without a trailing /"
    mkdir -p /var/keep
    touch /var/keep/mine
    run_setup $'y\n' /var/keep
    expect_rc 0
    expect_cleaned /var/keep/TarvoInstall
    expect_file /var/keep/mine

    step "relative work area, later one overriding an earlier one"
    run_setup $'y\n' /var/first "" ./rel
    # An empty installation base is refused before anything is made.
    expect_rc 2
    expect_err "the installation base is empty"
    expect_missing /var/first
    run_setup $'y\n' /var/first /opt ./rel
    expect_rc 0
    expect_cleaned "$PWD/rel/TarvoInstall"
    expect_missing /var/first
}

sc_work_area_refused() {
    step "a file in the work area's place"
    touch /var/plain
    run_setup $'y\n' /var/plain
    expect_rc 2
    expect_out $'ERROR: couldn\'t open /var/plain\n\n'
    expect_not_cleaned

    step "a work area on a read-only file system"
    run_setup $'y\n' /setup-e2e-read-only/work
    expect_rc 1
    expect_out "ERROR: exit status"
    expect_not_cleaned

    step "shell characters in the work area"
    run_setup $'y\n' '/var/w;rk'
    expect_rc 2
    expect_err 'the work area "/var/w;rk" is refused'
    expect_missing /var/w
    expect_not_cleaned

    step "a blank in the installation base, after a work area"
    run_setup $'y\n' /var/work2 '/opt/a b'
    expect_rc 2
    expect_err 'the installation base "/opt/a b" is refused'
    expect_missing /var/work2

    step "install as the last argument"
    run_setup $'y\n' install
    expect_rc 0
    expect_cleaned
    expect_err "/opt/Tarvo/lumo/nvqadmin"
}

# ---------------------------------------------------------------------------
# Scenarios: an earlier installation.

sc_earlier_none() {
    step "first installation while a program of the product runs"
    start_program nvadmin 60
    run_setup $'y\n'
    expect_rc 0
    expect_no_out "The following processes are running"
    expect_cleaned
    expect_err "/opt/Tarvo/lumo/nvqadmin"
    expect_missing /opt/Tarvo
    expect_no_log "mv -f"
}

sc_earlier_moved() {
    step "real directory under /opt moved to a new base"
    make_app /opt/Tarvo/lumo
    run_setup $'y\n' install /var/apps
    expect_rc 0
    expect_log "mv -f -f /opt/Tarvo/lumo /var/apps/Tarvo"
    expect_file /var/apps/Tarvo/lumo/data
    expect_link /opt/Tarvo/lumo /var/apps/Tarvo/lumo
    [ "$(stat -c %a /var/apps/Tarvo)" = 755 ] || fail "/var/apps/Tarvo has mode $(stat -c %a /var/apps/Tarvo)"
    expect_cleaned
    expect_queue_admin
}

sc_earlier_link() {
    step "linked installation installed over in place"
    make_app /var/apps/Tarvo/lumo
    mkdir -p /opt/Tarvo
    ln -s /var/apps/Tarvo/lumo /opt/Tarvo/lumo
    run_setup $'y\n'
    expect_rc 0
    expect_no_log "mv -f"
    expect_link /opt/Tarvo/lumo /var/apps/Tarvo/lumo
    expect_file /var/apps/Tarvo/lumo/data
    expect_queue_admin

    step "the same base spelled otherwise moves nothing"
    ln -s /var/apps /var/applink
    local base
    for base in /var/./apps// /var/applink; do
        run_setup $'y\n' install "$base"
        expect_rc 0
        expect_no_log "mv -f"
        expect_no_log "rm -rf  /var/app"
        expect_file /var/apps/Tarvo/lumo/data
        expect_link /opt/Tarvo/lumo /var/apps/Tarvo/lumo
    done

    step "linked installation moved back to /opt"
    run_setup $'y\n' install /opt
    expect_rc 0
    expect_log "mv -f -f /var/apps/Tarvo/lumo /opt/Tarvo"
    expect_dir /opt/Tarvo/lumo
    expect_file /opt/Tarvo/lumo/data
    expect_missing /var/apps/Tarvo/lumo
    expect_no_log "ln  -s"
    expect_queue_admin
}

sc_earlier_dangling() {
    step "dangling link removed, a first installation"
    mkdir -p /opt/Tarvo
    ln -s /var/gone/Tarvo/lumo /opt/Tarvo/lumo
    start_program nvadmin 60
    run_setup $'y\n'
    expect_rc 0
    expect_missing /opt/Tarvo/lumo
    expect_log "rm -f /opt/Tarvo/lumo"
    expect_no_out "The following processes are running"
    expect_cleaned
}

# ---------------------------------------------------------------------------
# Scenarios: programs of the product still running.

sc_running_quit() {
    make_app /opt/Tarvo/lumo
    start_program nvadmin 60

    step "answer 2"
    run_setup $'y\n2\n' install /var/apps
    expect_rc 0
    expect_out "The installer can not continue until these terminate:"
    grep -qE '^nvadmin \( [0-9]+ \)$' "$OUT" || fail "no line naming nvadmin and its process"
    expect_out "2.  Quit the installation"
    expect_count "Enter a selection:" 1
    expect_not_cleaned
    expect_dir /opt/Tarvo/lumo
    expect_missing /var/apps

    step "another answer, then 2"
    # The rest of an answer's line is dropped with it.
    run_setup $'y\nx2\n2\n'
    expect_rc 0
    expect_count "Enter a selection:" 2
    expect_not_cleaned

    step "end of input at the question"
    run_setup $'y\n'
    expect_rc 0
    expect_count "Enter a selection:" 1
    expect_not_cleaned
    expect_dir /opt/Tarvo/lumo
}

sc_running_wait() {
    step "answer 1 while the program ends"
    make_app /opt/Tarvo/lumo
    start_program nvadmin 2
    run_setup $'y\n1\n' install /var/apps
    expect_rc 0
    expect_count "Enter a selection:" 1
    expect_cleaned
    expect_link /opt/Tarvo/lumo /var/apps/Tarvo/lumo
    expect_queue_admin
}

# ---------------------------------------------------------------------------
# Scenarios: free space (the sizes of the distribution are 1000 each; the
# host's df figures are set by the group).

sc_space_work() {
    step "work area too small"
    mkdir -p /var/work
    run_setup $'y\n' /var/work
    expect_rc 0
    expect_out "There isn't enough space in /var/work/TarvoInstall to perform the installation activities. The temporary work area should be at least 1.040000e+03 bytes."
    expect_not_cleaned
}

sc_space_install() {
    step "installation base too small"
    mkdir -p /var/apps
    run_setup $'y\n' install /var/apps
    expect_rc 0
    expect_out "There isn't enough space in /var/apps to perform the installation activities. The install area should be at least 1.040000e+03 bytes."
    expect_not_cleaned

    step "an existing application directory counts as free"
    make_app /var/apps/Tarvo/lumo
    dd if=/dev/zero of=/var/apps/Tarvo/lumo/big bs=1024 count=700 status=none
    run_setup $'y\n' install /var/apps
    expect_rc 0
    expect_no_out "There isn't enough space"
    expect_cleaned
}

sc_space_appdir() {
    step "no room where the application directory is made"
    mkdir -p /var/apps
    run_setup $'y\n' install /var/apps
    expect_rc 0
    expect_out "There isn't enough space in /var/apps to create the application directory. The free space there should be more than 1.700000e+01 bytes."
    expect_not_cleaned
}

sc_space_pooled() {
    step "work area and base on one file system"
    mkdir -p /opt/work
    run_setup $'y\n' /opt/work
    expect_rc 0
    expect_out "As you are using a working directory, /opt/work/TarvoInstall on the same partition as the install directory you have selected, /opt this install requires 2.080000e+03 bytes free."
    expect_not_cleaned
}

sc_space_no_isize() {
    step "no isize in the distribution"
    rm -f isize
    run_setup $'y\n'
    expect_rc 0
    expect_out "Could not determine how much space needed for install, missing isize."
    expect_not_cleaned
}

inner() {
    local scenario=$1 dist=$2
    cd "$dist" || { echo "FAIL: cannot enter $dist"; exit 1; }
    OUT=$dist/stdout ERR=$dist/stderr
    declare -F "sc_$scenario" >/dev/null || { echo "FAIL: no scenario $scenario"; exit 1; }
    "sc_$scenario"
    if [ "$FAILS" -gt 0 ]; then
        echo "--- standard output of the last run:"; cat "$OUT"
        echo "--- standard error of the last run:"; cat "$ERR"
        echo "--- log:"; cat "$LOG" 2>/dev/null
    fi
    echo DONE
}

# ---------------------------------------------------------------------------
# Outside: one emulated host per scenario.

outer() {
    local setup=$1 group=$2
    if [ "$(id -u)" != 0 ]; then
        echo "installer tests: must run as root; skipped" >&2
        exit 77
    fi
    [ -x "$setup" ] || { echo "installer tests: no program $setup" >&2; exit 1; }

    T=$(mktemp -d "${TMPDIR:-/tmp}/setup-e2e.XXXXXX") || exit 1
    chmod 755 "$T"
    trap 'rm -rf -- "$T"' EXIT
    failures=0

    case $group in
        agreement)   scenario decline ;;
        command_line) scenario work_area; scenario work_area_refused ;;
        earlier)     scenario earlier_none; scenario earlier_moved
                     scenario earlier_link; scenario earlier_dangling ;;
        running)     scenario running_quit; scenario running_wait ;;
        free_space)  scenario space_work --df /var/work=100
                     scenario space_install --df /var/apps=500
                     scenario space_appdir --df /var/apps=10
                     scenario space_pooled --df /opt=1500
                     scenario space_no_isize ;;
        *) echo "installer tests: no group '$group'" >&2; exit 2 ;;
    esac
    [ "$failures" = 0 ] || exit 1
}

# scenario NAME [HOSTSIM OPTION...]: a fresh distribution, one host.
scenario() {
    local name=$1 dist=$T/$1 output
    shift
    mkdir "$dist" && cp -- "$setup" "$dist/setup" || exit 1
    echo 1000 >"$dist/isize"
    echo 1000 >"$dist/tsize"
    printf 'setup\nisize\ntsize\ndisks\nend_of_list\n' >"$dist/disks"
    output=$(cd "$dist" && TMPDIR=$T "$RUN" --bind "$HERE" "$@" -- \
             /bin/bash "$SELF" --inner "$name" "$dist" </dev/null 2>&1)
    if grep -q '^FAIL' <<<"$output" || ! grep -qx DONE <<<"$output"; then
        printf '== %s: failed\n%s\n' "$name" "$output"
        failures=$((failures + 1))
    else
        printf '== %s: ok\n' "$name"
        if [ -n "${E2E_VERBOSE:-}" ]; then printf '%s\n' "$output"; fi
    fi
}

if [ "${1:-}" = --inner ]; then
    inner "$2" "$3"
else
    outer "$@"
fi
