#!/bin/bash
# Out of memory at every allocation: the installer of the sanitizer build
# (whose GetMem fails at its N-th call with MEMMGR_FAIL_AT=N) runs a sample
# first installation and a sample upgrade once for every N from 1 to the
# number of GetMem calls the run makes. Each must end at once with the
# out-of-memory lines and status 1: no crash, no sanitizer report, never a
# status 0 with a half installation, and an upgrade keeps the earlier
# registration.
#
#   oom.sh SETUP_PROGRAM       (built with SANITIZE=ON)
#   oom.sh --inner DIST        inside the host
#
# Needs root (exit 77, a skip, otherwise). Exit status 1 when a check fails.

set -u

OOM=$(readlink -e -- "${BASH_SOURCE[0]}")
# shellcheck source=e2e.sh
. "${OOM%/*}/e2e.sh"

# Every place an installation writes, emptied before each run.
PLACES=(/opt/Tarvo /var/sadm /var/spool/Tarvo /etc/Tarvo /usr/bin/nvadmin /usr/bin/nvrlumotty
        /tmp/TarvoInstall "$LOG" /tmp/setup.tmp)
INSTALLED=/tmp/oom.installed.tar

clear_host() { rm -rf -- "${PLACES[@]}"; }
# The product as a first installation left it, for each upgrade run.
keep_installation() {
    tar -C / -cpf "$INSTALLED" opt/Tarvo var/sadm var/spool/Tarvo etc/Tarvo usr/bin/nvadmin \
        usr/bin/nvrlumotty
}
restore_installation() { clear_host; tar -C / -xpf "$INSTALLED"; }

# run_failing N: ./setup with the N-th GetMem failing; CALLS is the number
# of GetMem calls the run made.
run_failing() {
    MEMMGR_FAIL_AT=$1 run_setup $'y\n'
    CALLS=$(sed -n 's/^GetMem calls: //p' "$ERR" | tail -n1)
}

# One run ended by the allocation failure it was given.
expect_out_of_memory() {
    local what=$1 n=$2 before=$FAILS
    expect_rc 1
    expect_err "ERROR: Unable to allocate memory"
    expect_err "setup: Unable to allocate memory : Cannot allocate memory"
    expect_no_err "Sanitizer"
    expect_no_err "runtime error"
    [ "$CALLS" = "$n" ] || fail "the run went on to GetMem call $CALLS"
    [ "$FAILS" = "$before" ] || printf 'FAIL: %s, GetMem call %s fails: %s\n' "$what" "$n" \
        "$(tr '\n' ' ' <"$ERR" | cut -c1-400)"
}

# walk WHAT PREPARE: every GetMem call of the run, each failing in turn.
walk() {
    local what=$1 prepare=$2 total n
    "$prepare"
    run_failing 0
    expect_rc 0
    total=$CALLS
    [ -n "$total" ] && [ "$total" -gt 0 ] || { fail "$what: no count of GetMem calls"; return; }
    for ((n = 1; n <= total; n++)); do
        "$prepare"
        run_failing "$n"
        expect_out_of_memory "$what" "$n"
        [ "$what" = upgrade ] && expect_registration_kept
    done
    echo "$what: $total GetMem calls, each failed once"
}

expect_registration_kept() {
    grep -qx "PKG=QMPTlumo" "$REG/pkginfo" 2>/dev/null &&
        grep -q "^VERSION=4.30.2[06]$" "$REG/pkginfo" || fail "the registration was lost: $(cat "$REG/pkginfo" 2>&1)"
    expect_file $APP/nvqadmin
}

inner() {
    cd "$1" || { echo "FAIL: cannot enter $1"; exit 1; }
    walk first clear_host
    clear_host
    run_setup $'y\n'
    expect_rc 0
    keep_installation
    walk upgrade restore_installation
    echo DONE
}

oom_outer() {
    local setup=$1 output
    start_outside "out-of-memory test" "$setup" setup-oom
    "$BUILD_DISTRIBUTION" "$T/dist" --setup "$setup" >"$T/build" 2>&1 || { cat "$T/build"; exit 1; }
    output=$(cd "$T/dist" && TMPDIR=$T "$RUN" --bind "$HERE" -- \
             /bin/bash "$OOM" --inner "$T/dist" </dev/null 2>&1)
    printf '%s\n' "$output" | grep -v '^step: '
    ! grep -q '^FAIL' <<<"$output" && grep -qx DONE <<<"$output"
}

case ${1:-} in
    --inner) inner "$2" ;;
    *) oom_outer "$@" ;;
esac
