#!/bin/bash
# Failure injection: every command that the installer runs in a sample first
# installation and in a sample upgrade is made to fail in turn (hostsim
# --fail), each in an emulated host of its own. For each failure: the end
# the command's mode gives (fatal: status 1 and the error line; tolerated:
# the warning in the log and the run goes on; quiet: the run goes on), no
# earlier installation lost and nothing else on the host changed, and a
# second run without the failure completing the installation.
#
#   inject.sh SETUP_PROGRAM                   a sample of the calls: the
#                                             first of every command and end
#                                             in each run; INJECT_ALL=1 walks
#                                             every call
#   inject.sh --record OUT DIST               inside the host: the calls of
#                                             both runs into OUT
#   inject.sh --inner RUN CMD:N CALL DIST LAST
#                                             one failure, inside the host
#                                             (LAST: the run's last call)
#
# Needs root (exit 77, a skip, otherwise). Exit status 1 when a check fails.

set -u

INJECT=$(readlink -e -- "${BASH_SOURCE[0]}")
# The scenario helpers of the end-to-end tests.
# shellcheck source=e2e.sh
. "${INJECT%/*}/e2e.sh"

CONF=/usr/lib/hostsim/conf
CALLS=/usr/lib/hostsim/calls
WORK=/tmp/TarvoInstall

# ---------------------------------------------------------------------------
# Inside the emulated host.

# set_failure [CMD:N]: the call that fails in the next run (none without an
# argument); the count of calls starts again.
set_failure() {
    sed -i "s/^HOSTSIM_FAIL=.*/HOSTSIM_FAIL=( ${1:-} )/" "$CONF"
    : >"$CALLS"
}

# How the installer answers the failure of CALL ("CMD ARG..."), by the
# mode the step runs its command in:
#   fatal    status 1, "ERROR: exit status 1" on standard output and in the
#            log, nothing run after it
#   warned   a warning in the log and the run goes on
#   quiet    nothing reported and the run goes on
#   pkgadd   the package installer failed: status 1, what the run made removed
#   stopped  the upgrade stops at the file it could not write: status 1
end_of() {
    local run=$1 call=$2
    case $run:$call in
        # Gathering and unpacking the distribution.
        *:"cp -p $DIST/"*|*:"cat "*|*:"uncompress "*|*:"tar "*) echo fatal ;;
        *:"rm -rf $WORK/TarvoSolarisLumo.tar") echo warned ;;
        # The end: the maker's directory's mode, the work directory.
        *:"chmod 755 /opt/Tarvo") echo quiet ;;
        *:"rm -rf $WORK") echo warned ;;
        # A first installation: directories, the package, the placement
        # list (copies in mode 1, attributes and edits in mode 2).
        first:"pkgadd "*) echo pkgadd ;;
        first:"cp -pr "*|first:"cp -p $WORK/"*) echo warned ;;
        first:"rm -f /tmp/setup.tmp") echo quiet ;;
        first:*) echo fatal ;;
        # An upgrade: the toolkit directories in mode 2, the files of the
        # package map copied and registered, the version stamped.
        upgrade:"mkdir "*) echo fatal ;;
        upgrade:"cp $WORK/"*) echo stopped ;;
        upgrade:*) echo warned ;;
    esac
}

# The file an upgrade's copy writes: its last word.
copy_destination() { echo "${1##* }"; }

# snapshot_listing NAME DIR...: entries below the DIRs with type, mode,
# size and time of change (no contents: /usr/bin and /var are large).
snapshot_listing() {
    local name=$1
    shift
    listing "$@" >"/tmp/list.$name"
}
# A directory's size and time change with its entries: not listed. Nor
# are the machine's own caches, package lists and logs, which show through
# the overlay of /var when the machine changes them.
listing() {
    find "$@" -xdev \( -path /var/cache -o -path /var/lib -o -path /var/log \) -prune -o \
        -printf '%p %y %m %s %C@\n' 2>/dev/null |
        awk '$2 == "d" { print $1, $2, $3; next } { print }' | sort
}
# expect_listing_unchanged NAME DIR... -- PATH...: as snapshot_listing
# found, but for the PATHs and what lies below them.
expect_listing_unchanged() {
    local name=$1 changes
    shift
    local -a dirs=()
    while [ "$1" != -- ]; do dirs+=("$1"); shift; done
    shift
    changes=$(diff "/tmp/list.$name" <(listing "${dirs[@]}") |
              grep '^[<>]' | awk -v allowed="$*" '
                  BEGIN { n = split(allowed, a, " ") }
                  { path = $2; for (i = 1; i <= n; i++)
                        if (path == a[i] || index(path, a[i] "/") == 1) next
                    print }')
    [ -z "$changes" ] || fail "changed outside the product's places: $changes"
}

# The places an installation of the product writes outside the work area.
PRODUCT_PLACES="/etc/Tarvo /usr/bin/nvadmin /usr/bin/nvrlumotty /var/sadm /var/spool/Tarvo"

take_host_snapshot() {
    snapshot etc /etc
    snapshot_listing host /usr/bin /var
}
expect_host_kept() {
    expect_unchanged etc /etc/Tarvo
    # shellcheck disable=SC2086
    expect_listing_unchanged host /usr/bin /var -- $PRODUCT_PLACES
}

# The failed call is the one the walk meant, reached in the same order.
expect_failed_call() {
    local point=$1 call=$2 line
    line=$(awk -v c="${point%:*}" -v n="${point#*:}" '$1 == c && $2 == n' "$CALLS")
    [ "$line" = "${point%:*} ${point#*:} ${call#* }" ] ||
        fail "call ${point} was '$line', wanted '${point%:*} ${point#*:} ${call#* }'"
}
# calls_after POINT: how many calls were made after the failed one.
calls_after() {
    awk -v c="${1%:*}" -v n="${1#*:}" 'seen { k++ } $1 == c && $2 == n { seen = 1 } END { print k + 0 }' "$CALLS"
}

expect_end() {
    local end=$1 point=$2 call=$3 later
    later=$(calls_after "$point")
    case $end in
        fatal)
            expect_rc 1
            expect_out "ERROR: exit status 1"
            expect_log "ERROR: exit status 1"
            [ "$later" = 0 ] || fail "$later calls were made after the fatal failure" ;;
        warned)
            expect_log "WARNING_MSG: "
            [ "$later" -gt 0 ] || [ "$point" = "$LAST_CALL" ] ||
                fail "the run did not go on after the failure"
            # It ends as a success unless a later step fails for want of
            # what the failed command was to make (the mode of a file that
            # was not copied).
            [ "$RC" = 0 ] || { [ "$RC" = 1 ] && grep -q "^ERROR: exit status" "$LOG"; } ||
                fail "exit status $RC after a warned failure" ;;
        quiet)
            expect_rc 0
            [ "$later" -gt 0 ] || [ "$point" = "$LAST_CALL" ] ||
                fail "the run did not go on after the failure" ;;
        pkgadd)
            expect_rc 1
            expect_no_out "was successful"
            expect_missing $APP
            expect_missing "$REG" ;;
        stopped)
            expect_rc 1
            expect_err "ERROR: couldn't write $(copy_destination "$call"). The upgrade has stopped" ;;
    esac
}

# The earlier installation of an upgrade: its files are all there (the new
# ones, or the earlier ones), the site's own file is kept, and the
# registration is whole, of the earlier version or, once every file is new,
# of this one.
expect_earlier_kept() {
    local line path
    [ -f "$REG/pkginfo" ] || { fail "the registration is gone"; return; }
    diff <(grep -v '^VERSION=' /tmp/pkginfo.before) <(grep -v '^VERSION=' "$REG/pkginfo") >/dev/null ||
        fail "the registration lost lines: $(cat "$REG/pkginfo")"
    while read -r line; do
        path=${line%% *}
        [ -e "$path" ] || fail "$path of the earlier installation is gone"
    done </tmp/tree.before
    expect_content $APP/data "printer data"
    if grep -qx "VERSION=4.30.26" "$REG/pkginfo"; then
        cmp -s $APP/driver QMPT.driver || fail "the version is stamped but driver is the earlier one"
    else
        grep -qx "VERSION=4.30.20" "$REG/pkginfo" ||
            fail "the registration holds no version of the product: $(cat "$REG/pkginfo")"
    fi
}

# A run without failure finishes the installation. A directory the
# placement list makes keeps the mode it has once it is there, so the log
# directory keeps the mode it had when its change of mode failed.
expect_completed() {
    local run=$1 call=$2
    expect_rc 0
    expect_cleaned
    pkginfo -q QMPTlumo || fail "the package is not registered"
    expect_content $APP/.nv_cfg " V5 "
    expect_scripts
    if [ "$run" = upgrade ]; then
        grep -qx "VERSION=4.30.26" "$REG/pkginfo" || fail "the version is not stamped"
        cmp -s $APP/driver QMPT.driver || fail "driver is not the new one"
        expect_content $APP/data "printer data"
    fi
    # What a failure leaves that no later run changes: the mode of the log
    # directory, once it is there; the edit file, when its removal failed.
    case $call in
        "chmod 775 $APP/log"|"chmod 777 $APP/log") chmod 777 $APP/log ;;
        "rm -f /tmp/setup.tmp") rm -f /tmp/setup.tmp ;;
    esac
    expect_placed
}

inner() {
    local run=$1 point=$2 call=$3 end
    DIST=$4
    LAST_CALL=$5
    cd "$DIST" || { echo "FAIL: cannot enter $DIST"; exit 1; }
    end=$(end_of "$run" "$call")
    step "$run: $point ($call) fails: $end"
    if [ "$run" = upgrade ]; then
        set_failure
        run_setup $'y\n'
        expect_rc 0
        echo "driver of the earlier release" >$APP/driver
        echo "printer data" >$APP/data
        cp "$REG/pkginfo" /tmp/pkginfo.before
        find $APP /etc/Tarvo -printf '%p %y\n' >/tmp/tree.before
    fi
    take_host_snapshot
    set_failure "$point"
    run_setup $'y\n'
    expect_failed_call "$point" "$call"
    expect_end "$end" "$point" "$call"
    expect_host_kept
    [ "$run" = upgrade ] && expect_earlier_kept

    step "$run: the same host again, without the failure"
    set_failure
    run_setup $'y\n'
    expect_completed "$run" "$call"
    show_last_run
    echo DONE
}

# Inside the host of the walk's reference: the calls of a first
# installation, then of an upgrade over it.
record() {
    local out=$1
    cd "$2" || exit 1
    set_failure
    run_setup $'y\n'
    [ "$RC" = 0 ] || { echo "FAIL: the first installation ended with status $RC"; exit 1; }
    cp "$CALLS" "$out/first.calls"
    set_failure
    run_setup $'y\n'
    [ "$RC" = 0 ] || { echo "FAIL: the upgrade ended with status $RC"; exit 1; }
    cp "$CALLS" "$out/upgrade.calls"
}

# ---------------------------------------------------------------------------
# Outside: the calls of both runs, then one host per failure.

# pick RUN: the calls to fail, as "CMD:N CALL" lines: all of them with
# INJECT_ALL=1, else the first of each command with each end.
pick() {
    local run=$1 cmd n args
    declare -A seen=()
    while read -r cmd n args; do
        local call="$cmd $args" key
        key="$cmd $(DIST=$dist end_of "$run" "$call")"
        if [ "${INJECT_ALL:-0}" = 1 ] || [ -z "${seen[$key]:-}" ]; then
            seen[$key]=1
            printf '%s:%s %s\n' "$cmd" "$n" "$call"
        fi
    done <"$T/$run.calls"
}

inject_outer() {
    local setup=$1
    start_outside "failure injection" "$setup" setup-inject
    dist=$T/dist
    "$BUILD_DISTRIBUTION" "$dist" --setup "$setup" >"$T/build" 2>&1 ||
        { cat "$T/build"; exit 1; }
    cp -- "$HERE/../../sample/lumo/QMPTlumo/reloc/lumo/README" "$dist/QMPT.README"
    cp -- "$HERE/../../sample/lumo/QMPTlumo/reloc/lumo/driver" "$dist/QMPT.driver"
    local output
    output=$(cd "$dist" && TMPDIR=$T "$RUN" --count --bind "$HERE" --bind "$T" -- \
             /bin/bash "$INJECT" --record "$T" "$dist" </dev/null 2>&1)
    [ -s "$T/first.calls" ] && [ -s "$T/upgrade.calls" ] ||
        { printf 'failure injection: the calls were not recorded\n%s\n' "$output"; exit 1; }

    local run point call last tried=0 failures=0
    for run in first upgrade; do
        last=$(tail -n1 "$T/$run.calls" | awk '{ print $1 ":" $2 }')
        while read -r point call; do
            tried=$((tried + 1))
            output=$(cd "$dist" && TMPDIR=$T "$RUN" --count --bind "$HERE" -- \
                     /bin/bash "$INJECT" --inner "$run" "$point" "$call" "$dist" "$last" </dev/null 2>&1)
            if grep -q '^FAIL' <<<"$output" || ! grep -qx DONE <<<"$output"; then
                printf '== %s %s (%s): failed\n%s\n' "$run" "$point" "$call" "$output"
                failures=$((failures + 1))
            else
                printf '== %s %s (%s): ok\n' "$run" "$point" "$call"
            fi
        done < <(pick "$run")
    done
    printf 'failure injection: %d failures tried, %d with faults\n' "$tried" "$failures"
    [ "$failures" = 0 ]
}

case ${1:-} in
    --inner) shift; inner "$@" ;;
    --record) shift; record "$@" ;;
    *) inject_outer "$@" ;;
esac
