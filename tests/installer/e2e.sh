#!/bin/bash
# End-to-end tests of the installer: the real setup program, started from a
# distribution of the sample product (sample/build-distribution), answers
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
BUILD_DISTRIBUTION=$HERE/../../sample/build-distribution

# ---------------------------------------------------------------------------
# Inside the emulated host: helpers of the scenarios.

# Standard output and error of the last run live in /tmp, which every user
# may write to.
OUT=/tmp/e2e.stdout ERR=/tmp/e2e.stderr RC= FAILS=0
LOG=/tmp/setup.log
APP=/opt/Tarvo/lumo
REG=/var/sadm/pkg/QMPTlumo

fail() {
    printf 'FAIL: %s\n' "$*"
    FAILS=$((FAILS + 1))
}

# A run that hangs ends after this many seconds, with status 124.
SETUP_TIME_LIMIT=60

# run_setup INPUT [ARG...]: ./setup with INPUT on standard input.
run_setup() {
    local input=$1
    shift
    printf '%s' "$input" | timeout -k 5 "$SETUP_TIME_LIMIT" ./setup "$@" >"$OUT" 2>"$ERR"
    RC=$?
}

# start_setup [ARG...]: ./setup in the background, its answers given one by
# one with answer as its questions come (wait_for); end_setup waits for its
# end.
start_setup() {
    rm -f /tmp/e2e.in
    mkfifo /tmp/e2e.in
    timeout -k 5 "$SETUP_TIME_LIMIT" ./setup "$@" </tmp/e2e.in >"$OUT" 2>"$ERR" &
    SETUP_PID=$!
    exec 4>/tmp/e2e.in
}
answer() { printf '%s' "$1" >&4; }
end_setup() {
    exec 4>&-
    wait "$SETUP_PID"
    RC=$?
}

# wait_for WHAT COMMAND [ARG...]: until COMMAND succeeds, for at most 30
# seconds; a failure naming WHAT after that.
wait_for() {
    local what=$1 i
    shift
    for ((i = 0; i < 600; i++)); do
        "$@" && return 0
        sleep 0.05
    done
    fail "timed out waiting for $what"
    return 1
}
out_has() { grep -qF -- "$1" "$OUT"; }

# as_user CMD...: CMD as the unprivileged user nobody; as_group_member
# CMD...: as nobody in root's group, which may write the application
# directory of another base (mode 775).
as_user() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@"; }
as_group_member() { setpriv --reuid=nobody --regid=0 --clear-groups -- "$@"; }

# take_snapshot DIR...: every entry below the DIRs with its type, mode,
# owner, link target and the hash of its content, one a line, sorted.
take_snapshot() {
    {
        find "$@" -printf '%p %y %m %U:%G %l\n'
        find "$@" -type f -print0 | xargs -0 -r md5sum | awk '{ print $2 " md5 " $1 }'
    } 2>/dev/null | sort
}
# snapshot NAME DIR...: the trees of the DIRs as they are now.
snapshot() {
    local name=$1
    shift
    printf '%s\n' "$@" >"/tmp/snap.$name.dirs"
    take_snapshot "$@" >"/tmp/snap.$name"
}
# expect_unchanged NAME [PATH...]: the trees of snapshot NAME are as they
# were, but for the PATHs and what lies below them.
expect_unchanged() {
    local name=$1 changes
    shift
    local -a dirs
    mapfile -t dirs <"/tmp/snap.$name.dirs"
    changes=$(diff "/tmp/snap.$name" <(take_snapshot "${dirs[@]}") | grep '^[<>]' |
              awk -v allowed="$*" '
                  BEGIN { n = split(allowed, a, " ") }
                  { path = $2; for (i = 1; i <= n; i++)
                        if (path == a[i] || index(path, a[i] "/") == 1) next
                    print }')
    [ -z "$changes" ] || fail "changed outside the intended places: $changes"
}

expect_rc() { [ "$RC" = "$1" ] || fail "exit status $RC, wanted $1"; }
expect_out() { grep -qF -- "$1" "$OUT" || fail "standard output lacks '$1'"; }
expect_no_out() { ! grep -qF -- "$1" "$OUT" || fail "standard output holds '$1'"; }
expect_err() { grep -qF -- "$1" "$ERR" || fail "standard error lacks '$1'"; }
expect_no_err() { ! grep -qF -- "$1" "$ERR" || fail "standard error holds '$1'"; }
expect_log() { grep -qF -- "$1" "$LOG" 2>/dev/null || fail "log lacks '$1'"; }
expect_no_log() { ! grep -qF -- "$1" "$LOG" 2>/dev/null || fail "log holds '$1'"; }
expect_missing() { [ ! -e "$1" ] && [ ! -L "$1" ] || fail "$1 exists"; }
expect_dir() { [ -d "$1" ] && [ ! -L "$1" ] || fail "$1 is no directory"; }
expect_file() { [ -f "$1" ] || fail "$1 is no file"; }
expect_link() {
    [ -L "$1" ] && [ "$(readlink -- "$1")" = "$2" ] || fail "$1 is no link to $2"
}
# expect_mode PATH MODE: PATH (not followed) has the octal mode MODE.
expect_mode() {
    local mode
    mode=$(stat -c %a -- "$1" 2>/dev/null)
    [ "$mode" = "$2" ] || fail "$1 has mode '$mode', wanted $2"
}
# expect_content PATH TEXT: the file holds exactly TEXT.
expect_content() {
    [ "$(cat -- "$1" 2>/dev/null)" = "$2" ] || fail "$1 holds '$(cat -- "$1" 2>/dev/null)', wanted '$2'"
}
# expect_count TEXT N: standard output holds TEXT N times.
expect_count() {
    local n
    n=$(grep -oF -- "$1" "$OUT" | wc -l)
    [ "$n" = "$2" ] || fail "standard output holds '$1' $n times, wanted $2"
}
# expect_log_order TEXT...: the log holds lines with these texts, in this
# order.
expect_log_order() {
    local text line=0 n
    for text in "$@"; do
        n=$(tail -n +$((line + 1)) "$LOG" 2>/dev/null | grep -nF -m1 -- "$text" | cut -d: -f1)
        if [ -z "$n" ]; then
            fail "log lacks '$text' after line $line"
            return
        fi
        line=$((line + n))
    done
}
# expect_out_order FIRST SECOND: standard output holds FIRST, and SECOND
# on the same line or a later one.
expect_out_order() {
    local first second
    first=$(grep -nF -m1 -- "$1" "$OUT" | cut -d: -f1)
    second=$(grep -nF -m1 -- "$2" "$OUT" | cut -d: -f1)
    [ -n "$first" ] && [ -n "$second" ] && [ "$first" -le "$second" ] ||
        fail "standard output lacks '$1' before '$2'"
}

# The work directory is removed at the end: its removal shows that the run
# reached its end.
expect_cleaned() {
    expect_log "rm -rf  ${1:-/tmp/TarvoInstall}"
    expect_missing "${1:-/tmp/TarvoInstall}"
}
expect_not_cleaned() { expect_no_log "rm -rf  "; }

# Nothing of the product was unpacked or installed by the last run.
expect_nothing_installed() {
    expect_no_log "uncompress"
    expect_missing "$REG"
    expect_missing /usr/bin/nvadmin
}

# make_app DIR: an installed application directory, registered as the
# package of an earlier release, with a file of data of its own.
make_app() {
    mkdir -p "$1" "$REG" /etc/Tarvo
    echo "printer data" >"$1/data"
    printf 'PKG=QMPTlumo\nVERSION=4.30.20\nBASEDIR=/opt/Tarvo\n' >"$REG/pkginfo"
}

# The product's queue administration ran after the installation, once per
# option (the sample's nvqadmin says so).
expect_queue_admin() {
    expect_out_order "nvqadmin: print queues brought up to date" "nvqadmin: stale job files removed"
}

# start_program NAME: a program of that name runs, until stop_program NAME.
start_program() {
    cp /bin/sleep "/tmp/$1"
    "/tmp/$1" 600 </dev/null >/dev/null 2>&1 &
    echo $! >"/tmp/$1.pid"
    wait_for "$1 to run" program_runs "$1"
}
stop_program() {
    kill "$(cat "/tmp/$1.pid")"
    wait_for "$1 to end" program_gone "$1"
}
program_runs() { ps -e -o comm= | grep -qx -- "$1"; }
program_gone() { ! program_runs "$1"; }

# step TEXT: names the next part of a scenario in failure reports.
step() { printf 'step: %s\n' "$*"; rm -f "$LOG"; }

# set_release R: the release uname reports from now on ("" for none).
set_release() {
    sed -i "s/^HOSTSIM_RELEASE=.*/HOSTSIM_RELEASE=$1/" /usr/lib/hostsim/conf
}

# The files the sample's placement list puts in place whatever the release.
expect_placed() {
    local app=${1:-$APP}
    expect_mode "$app/log" 777
    expect_mode "$app/log/jobs.log" 666
    expect_mode "$app/doc" 755
    expect_file "$app/doc/index.txt"
    expect_file /var/spool/Tarvo/ppd/lumo-laser.ppd
    expect_content "$app/lumo.cfg" $'# lumo configuration\ntitle=lumo printing system on this host\nspool=/var/spool/Tarvo/lumo\nretry=30'
    expect_mode "$app/lumo.cfg" 644
    [ "$(stat -c %U:%G "$app/lumo.cfg")" = root:bin ] ||
        fail "$app/lumo.cfg belongs to $(stat -c %U:%G "$app/lumo.cfg")"
    expect_file "$app/printers.conf"
    expect_missing "$app/printers.sample"
    expect_mode "$app/lumo.ini" 644
    expect_mode /usr/bin/nvadmin 755
    expect_link /usr/bin/nvrlumotty "$app/nvrlumotty"
    expect_missing "$app/nvrlumo.old"
    expect_missing /tmp/setup.tmp
}

# The generated scripts of an application directory: mode 755, the shell
# line, the banner of this year, the directory in the script.
expect_scripts() {
    local app=${1:-$APP} script year
    year=$(date +%Y)
    for script in TarvoPrintlumo v4DriverScript TarvoQDF; do
        expect_mode "$app/$script" 755
        [ "$(head -n1 "$app/$script")" = '#!/bin/sh' ] || fail "$script lacks its shell line"
        grep -q "$year" "$app/$script" || fail "$script lacks the year $year"
        grep -qF "ToolPath=\"$app\"" "$app/$script" || fail "$script lacks its ToolPath"
    done
}

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
    expect_log "/pkg_tar.1 /var/work/TarvoInstall"
    expect_cleaned /var/work/TarvoInstall
    expect_no_log "//TarvoInstall"
    # Made for this run and left empty, it goes again.
    expect_missing /var/work
    expect_file $APP/nvqadmin

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
    # The replaced area is made as it is read, and goes again, empty.
    expect_log_order "mkdir -p /var/first" "mkdir -p $PWD/rel"
    expect_missing /var/first
}

sc_work_area_refused() {
    step "a file in the work area's place"
    touch /var/plain
    run_setup $'y\n' /var/plain
    expect_rc 2
    expect_out $'ERROR: couldn\'t open /var/plain\n\n'
    expect_not_cleaned

    step "a replaced work area that cannot be made"
    run_setup $'y\n' /var/plain/sub /opt /var/later
    expect_rc 1
    expect_out "ERROR: exit status"
    expect_missing /var/later
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
    expect_dir $APP
    expect_queue_admin
}

# ---------------------------------------------------------------------------
# Scenarios: an earlier installation.

sc_earlier_none() {
    step "first installation while a program of the product runs"
    start_program nvadmin
    run_setup $'y\n2\n'
    expect_rc 0
    # Only the placement list asks, after the package is installed.
    expect_count "The following processes are running" 1
    expect_out_order "Installation of <QMPTlumo> was successful" "The following processes are running"
    expect_cleaned
    expect_dir $APP
    expect_no_log "mv -f -f"
}

sc_earlier_moved() {
    step "real directory under /opt moved to a new base"
    make_app $APP
    run_setup $'y\n' install /var/apps
    expect_rc 0
    expect_log "mv -f -f /opt/Tarvo/lumo /var/apps/Tarvo"
    expect_file /var/apps/Tarvo/lumo/data
    expect_link $APP /var/apps/Tarvo/lumo
    expect_mode /var/apps/Tarvo 755
    expect_cleaned
    expect_queue_admin
}

sc_earlier_link() {
    step "linked installation installed over in place"
    make_app /var/apps/Tarvo/lumo
    mkdir -p /opt/Tarvo
    ln -s /var/apps/Tarvo/lumo $APP
    run_setup $'y\n'
    expect_rc 0
    expect_no_log "mv -f -f"
    expect_link $APP /var/apps/Tarvo/lumo
    expect_file /var/apps/Tarvo/lumo/data
    expect_queue_admin

    step "the same base spelled otherwise moves nothing"
    ln -s /var/apps /var/applink
    local base
    for base in /var/./apps// /var/applink; do
        run_setup $'y\n' install "$base"
        expect_rc 0
        expect_no_log "mv -f -f"
        expect_no_log "rm -rf  /var/app"
        expect_file /var/apps/Tarvo/lumo/data
        expect_link $APP /var/apps/Tarvo/lumo
    done

    step "linked installation moved back to /opt"
    run_setup $'y\n' install /opt
    expect_rc 0
    expect_log "mv -f -f /var/apps/Tarvo/lumo /opt/Tarvo"
    expect_dir $APP
    expect_file $APP/data
    expect_missing /var/apps/Tarvo/lumo
    expect_no_log "ln  -s"
    expect_queue_admin
}

sc_earlier_dangling() {
    step "dangling link removed, a first installation"
    mkdir -p /opt/Tarvo
    ln -s /var/gone/Tarvo/lumo $APP
    run_setup $'y\n'
    expect_rc 0
    expect_log "rm -f /opt/Tarvo/lumo"
    expect_dir $APP
    expect_log "mkdir -p /opt/Tarvo/lumo"
    expect_cleaned
}

# ---------------------------------------------------------------------------
# Scenarios: programs of the product still running.

sc_running_quit() {
    make_app $APP
    start_program nvadmin

    step "answer 2"
    run_setup $'y\n2\n' install /var/apps
    expect_rc 0
    expect_out "The installer can not continue until these terminate:"
    grep -qE '^nvadmin \( [0-9]+ \)$' "$OUT" || fail "no line naming nvadmin and its process"
    expect_out "2.  Quit the installation"
    expect_count "Enter a selection:" 1
    expect_not_cleaned
    expect_dir $APP
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
    expect_dir $APP
}

sc_running_wait() {
    step "answer 1 while the program ends"
    make_app $APP
    start_program nvadmin
    start_setup install /var/apps
    answer $'y\n'
    wait_for "the running-program question" out_has "Enter a selection:"
    answer $'1\n'
    stop_program nvadmin
    end_setup
    expect_rc 0
    expect_count "Enter a selection:" 1
    expect_cleaned
    expect_link $APP /var/apps/Tarvo/lumo
    expect_queue_admin
}

# ---------------------------------------------------------------------------
# Scenarios: free space (the sizes of the distribution are set to 1000 each;
# the host's df figures are set by the group).

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
    mkdir -p /var/apps/Tarvo/lumo
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

# ---------------------------------------------------------------------------
# Scenarios: a first installation, then installations over it.

sc_first() {
    step "first installation into /opt, with a link planted at the edit file"
    echo "keep me" >/etc/victim
    ln -s /etc/victim /tmp/setup.tmp
    # A strict mask: the maker's directory gets its mode from the final
    # change of mode alone.
    umask 077
    run_setup $'y\n'
    umask 022
    expect_rc 0
    [ "$(head -n1 "$LOG")" = "initializing system" ] || fail "the log does not begin with initializing system"
    expect_log_order \
        "/disks /tmp/TarvoInstall" "/pkg_tar.1 /tmp/TarvoInstall" "/pkg_tar.2 /tmp/TarvoInstall" \
        "/pkg_tar.3 /tmp/TarvoInstall" "/isize /tmp/TarvoInstall" "/tsize /tmp/TarvoInstall" \
        "/setup /tmp/TarvoInstall" \
        "uncompress  /tmp/TarvoInstall/TarvoSolarisLumo.tar.Z" \
        "tar xvfp /tmp/TarvoInstall/TarvoSolarisLumo.tar" "QMPTlumo/pkgmap" \
        "rm -rf /tmp/TarvoInstall/TarvoSolarisLumo.tar" \
        "mkdir -p /opt/Tarvo/lumo" "chmod  755 /opt/Tarvo/lumo" \
        "mkdir -p /var/spool/Tarvo" "chmod  775 /var/spool/Tarvo" \
        "mkdir -p /var/spool/Tarvo/lumo/__nva_download__" \
        "chmod  777 /var/spool/Tarvo/lumo/__nva_download__" \
        "mkdir -p /opt/Tarvo/lumo/log" "chmod  775 /opt/Tarvo/lumo/log" \
        "chmod  777 /opt/Tarvo/lumo/log" "touch  /opt/Tarvo/lumo/log/jobs.log" \
        "cp -pr /tmp/TarvoInstall/./doc /opt/Tarvo/lumo" \
        "cp -pr /tmp/TarvoInstall/./ppd /var/spool/Tarvo" \
        "cp -p /tmp/TarvoInstall/./lumo.cfg /opt/Tarvo/lumo" \
        "chown  -R root /opt/Tarvo/lumo/lumo.cfg" "chgrp  -R bin /opt/Tarvo/lumo/lumo.cfg" \
        "sed -e 's,@TITLE@,lumo printing system on this host,' /opt/Tarvo/lumo/lumo.cfg 1>/tmp/setup.tmp" \
        "cp -p /tmp/setup.tmp /opt/Tarvo/lumo/lumo.cfg" \
        "mv -f /opt/Tarvo/lumo/printers.sample /opt/Tarvo/lumo/printers.conf" \
        "cp -p /tmp/TarvoInstall/./lumo.ini /opt/Tarvo/lumo" \
        "cp -p /tmp/TarvoInstall/./lumo-5.8.cfg /opt/Tarvo/lumo" \
        "touch  /opt/Tarvo/lumo/release-before-5.11" \
        "chmod  755 /opt/Tarvo/lumo/nvadmin" \
        "ln  -s /opt/Tarvo/lumo/nvrlumotty /usr/bin/nvrlumotty" \
        "rm -rf  /tmp/TarvoInstall"
    expect_no_log "WARNING"
    [ ! -s "$ERR" ] || fail "standard error: $(cat "$ERR")"
    expect_content /etc/victim "keep me"

    # The tree, the flag file, the scripts.
    expect_mode /opt/Tarvo 755
    expect_mode $APP 755
    expect_content $APP/.nv_cfg " V5 "
    expect_mode $APP/.nv_cfg 644
    expect_mode $APP/nvqadmin 755
    expect_mode $APP/README 644
    expect_file /etc/Tarvo/lumo.conf
    expect_scripts
    # The registration.
    grep -qx "VERSION=4.30.20" $REG/pkginfo || fail "registration lacks VERSION=4.30.20"
    grep -q "^INSTDATE=" $REG/pkginfo || fail "registration lacks INSTDATE"
    pkginfo -q QMPTlumo || fail "pkginfo does not know QMPTlumo"
    # Spool and download directories, the placement list by release 5.10.
    expect_mode /var/spool/Tarvo 775
    expect_mode /var/spool/Tarvo/lumo/__nva_download__ 777
    expect_placed
    expect_file $APP/lumo-5.8.cfg
    expect_missing $APP/lumo-5.6.cfg
    expect_file $APP/release-before-5.11
    # A directory that was there keeps its mode (newdir log mode 700).
    expect_mode $APP/log 777
    # The wrapper starts the program in the application directory.
    (cd /var && /usr/bin/nvadmin) >/tmp/nvadmin.out 2>&1 || fail "the nvadmin wrapper failed"
    grep -qx "lumo in /opt/Tarvo/lumo, started from /var" /tmp/nvadmin.out ||
        fail "the nvadmin wrapper said: $(cat /tmp/nvadmin.out)"
    # The end: work directory gone, queue administration run twice.
    expect_cleaned
    expect_queue_admin
    [ "$(grep -c 'nvqadmin -upgrade' $APP/log/nvqadmin.log)" = 1 ] &&
        [ "$(grep -c 'nvqadmin -clean' $APP/log/nvqadmin.log)" = 1 ] ||
        fail "nvqadmin.log: $(cat $APP/log/nvqadmin.log)"

    # The old daemon's markers: the question before anything is unpacked.
    mkdir -p /etc/rc2.d
    touch $APP/NuvrinD /etc/rc2.d/KTarvoPrintD /etc/rc2.d/STarvoPrintD

    step "old daemon: answers compared exactly, then no"
    run_setup $'y\nY\nYES\n\nmaybe\nno\n'
    expect_rc 0
    expect_out "NOTE: NuvrinD is located in <install directory>/Tarvo/lumo"
    expect_count "Do You want to continue with the installation? [yn]" 5
    expect_no_log "uncompress"
    grep -qx "VERSION=4.30.20" $REG/pkginfo || fail "the registration changed"
    expect_file /etc/rc2.d/KTarvoPrintD

    step "old daemon: end of input"
    run_setup $'y\n'
    expect_rc 0
    expect_count "Do You want to continue with the installation? [yn]" 1
    expect_no_log "uncompress"
    grep -qx "VERSION=4.30.20" $REG/pkginfo || fail "the registration changed"

    step "old daemon: yes goes on, an upgrade"
    run_setup $'y\nyes\n'
    expect_rc 0
    expect_count "Do You want to continue with the installation? [yn]" 1
    grep -qx "VERSION=4.30.26" $REG/pkginfo || fail "the registration lacks VERSION=4.30.26"
    expect_file /etc/rc2.d/KTarvoPrintD
    expect_file /etc/rc2.d/STarvoPrintD
    expect_cleaned

    step "old daemon: n removes the boot scripts and goes on"
    run_setup $'y\nn\n'
    expect_rc 0
    expect_missing /etc/rc2.d/KTarvoPrintD
    expect_missing /etc/rc2.d/STarvoPrintD
    expect_log "rm -rf /etc/rc2.d/KTarvoPrintD"
    expect_log "uncompress"
    expect_cleaned
}

sc_base() {
    step "first installation under another base"
    run_setup $'y\n' install /var/apps
    expect_rc 0
    local app=/var/apps/Tarvo/lumo
    expect_dir $app
    expect_mode $app 775
    expect_link $APP $app
    expect_mode /opt/Tarvo 775
    expect_mode /var/apps/Tarvo 755
    expect_content $app/.nv_cfg " V5 "
    expect_file $app/nvqadmin
    expect_scripts $app
    expect_placed $app
    expect_log "ln  -s /var/apps/Tarvo/lumo /opt/Tarvo/lumo"
    expect_cleaned
    expect_queue_admin

    step "upgrade over it"
    echo "changed" >$app/README
    rm -f $app/qdf $app/lumo.ini /etc/Tarvo/lumo.conf
    local instdate
    instdate=$(grep "^INSTDATE=" $REG/pkginfo)
    run_setup $'y\n'
    expect_rc 0
    expect_no_out "Processing package instance"
    # Every regular file of the package map copied and registered, then
    # the registration finished; directories are not registered again.
    cmp -s $app/README QMPT.README || fail "README was not copied over"
    expect_mode $app/qdf 755
    expect_file /etc/Tarvo/lumo.conf
    grep -qx "installf -c none QMPTlumo /etc/Tarvo/lumo.conf f 0644 root sys" $REG/installf.log ||
        fail "installf.log lacks /etc/Tarvo/lumo.conf: $(cat $REG/installf.log)"
    grep -qx "installf -c none QMPTlumo /var/apps/Tarvo/lumo/qdf f 0755 root bin" $REG/installf.log ||
        fail "installf.log lacks lumo/qdf"
    [ "$(grep -c '^installf -c' $REG/installf.log)" = 9 ] ||
        fail "installf.log holds $(grep -c '^installf -c' $REG/installf.log) additions, wanted 9"
    ! grep -q "/etc/Tarvo d\|lumo/lib d" $REG/installf.log || fail "a directory was registered"
    [ "$(tail -n1 $REG/installf.log)" = "installf -f QMPTlumo" ] ||
        fail "installf.log does not end with installf -f QMPTlumo"
    grep -qx "VERSION=4.30.26" $REG/pkginfo || fail "registration lacks VERSION=4.30.26"
    grep -qx "$instdate" $REG/pkginfo || fail "the registration lost its INSTDATE"
    expect_missing $REG/pkginfo.tmp
    local dir
    for dir in gtk gtk/modules gtk/modules/2.2.0 gtk/modules/2.2.0/engines \
        gtk/modules/2.2.0/immodules gtk/modules/2.2.0/loaders gtk/modules/etc \
        gtk/modules/etc/gtk-2.0 gtk/modules/etc/pango gtk/modules/include \
        gtk/modules/modules gtk/modules/pango gtk/modules/pango/1.2.0 \
        gtk/modules/pango/1.2.0/modules; do
        expect_dir $app/lib/$dir
    done
    # No placement list on an upgrade; the flag file and scripts are new.
    expect_missing $app/lumo.ini
    expect_content $app/.nv_cfg " V5 "
    expect_scripts $app
    expect_mode /var/apps/Tarvo 755
    expect_cleaned
    expect_queue_admin
}

# ---------------------------------------------------------------------------
# Scenarios: the distribution.

sc_disks_upper() {
    step "DISKS with capitalised names"
    expect_missing disks
    run_setup $'y\n'
    expect_rc 0
    expect_log "/PKG_TAR.5 /tmp/TarvoInstall"
    expect_file $APP/nvqadmin
    expect_content $APP/.nv_cfg " V5 "
    expect_cleaned
}

sc_pieces_order() {
    step "pieces listed out of the order of their names, a file that is no piece"
    mv pkg_tar.1 pkg_tar.c
    mv pkg_tar.2 pkg_tar.a
    mv pkg_tar.3 pkg_tar.b
    echo "notes" >notes
    printf 'disks pkg_tar.c\r\npkg_tar.a\tpkg_tar.b notes\nisize tsize setup\nend_of_list\nnot-there\n' >disks
    run_setup $'y\n'
    expect_rc 0
    expect_log "/notes /tmp/TarvoInstall"
    expect_no_log "not-there"
    expect_file $APP/nvqadmin
    expect_cleaned
}

sc_pieces_refused() {
    step "a piece name with shell characters"
    printf 'disks pkg_tar.1\npkg_tar.2;touch>/tmp/pwned\nend_of_list\n' >disks
    run_setup $'y\n'
    expect_rc 1
    expect_err 'names "pkg_tar.2;touch>/tmp/pwned", which is refused'
    expect_no_log "cp -p"
    expect_missing /tmp/pwned
    expect_missing $APP

    step "no piece list"
    rm -f disks
    run_setup $'y\n'
    expect_rc 1
    expect_err "ERROR: can't open file, TarvoInstall/disks"
    expect_missing $APP
}

# ---------------------------------------------------------------------------
# Scenarios: releases (set by the group) and the placement list's conditions.

sc_release_5_11() {
    step "release 5.11"
    run_setup $'y\n'
    expect_rc 0
    expect_file $APP/lumo-5.8.cfg
    expect_missing $APP/lumo-5.6.cfg
    expect_missing $APP/release-before-5.11
    expect_placed
    expect_cleaned
}

sc_release_5_6() {
    step "release 5.6"
    run_setup $'y\n'
    expect_rc 0
    expect_file $APP/lumo-5.6.cfg
    expect_missing $APP/lumo-5.8.cfg
    expect_file $APP/release-before-5.11
    expect_cleaned
}

sc_release_refused() {
    step "release 5.5.1 refused"
    run_setup $'y\n'
    expect_rc 0
    expect_err "ERROR: You are trying to load the wrong version of the Quorlane Services for Unix Systems software to this machine."
    expect_nothing_installed
    expect_missing $APP
    expect_cleaned

    step "no release reported: no check, the conditions are passed over"
    set_release ""
    run_setup $'y\n'
    expect_rc 0
    [ "$(grep -c '^failed ts get version' "$ERR")" = 3 ] ||
        fail "standard error: $(cat "$ERR")"
    expect_missing $APP/lumo-5.8.cfg
    expect_missing $APP/lumo-5.6.cfg
    expect_missing $APP/release-before-5.11
    expect_placed
    expect_cleaned
}

# ---------------------------------------------------------------------------
# Scenarios: the printing system (set by the group).

sc_lprng() {
    step "LPRng, with printconf's filter directory"
    mkdir -p /usr/share/printconf/util
    run_setup $'y\n'
    expect_rc 0
    expect_content $APP/.nv_cfg " LPRng "
    expect_link /usr/share/printconf/util/TarvoPrintlumo /opt/Tarvo/lumo/TarvoPrintlumo
    expect_cleaned
}

sc_cups() {
    step "CUPS"
    run_setup $'y\n'
    expect_rc 0
    expect_content $APP/.nv_cfg " CUPS "
    expect_cleaned
}

sc_lprng_cups() {
    step "LPRng and CUPS"
    run_setup $'y\n'
    expect_rc 0
    expect_content $APP/.nv_cfg " CUPS "
    expect_cleaned
}

# ---------------------------------------------------------------------------
# Scenarios: ends before or during the installation.

sc_not_root() {
    step "not the superuser"
    run_setup $'y\n'
    expect_rc 0
    expect_out $'nobody is logged in\nYou must become root to run setup'
    expect_nothing_installed
    expect_missing $APP
    expect_cleaned
}

sc_pkgadd_fails() {
    step "pkgadd fails"
    run_setup $'y\n'
    expect_rc 1
    expect_out "Installation of <QMPTlumo> failed."
    expect_log "rm -rf /opt/Tarvo/lumo/.nv_cfg"
    expect_log "rm -rf  /opt/Tarvo/lumo"
    expect_missing $APP
    expect_missing /var/spool/Tarvo
    expect_missing "$REG"
}

sc_checkps_stop() {
    step "answer 2 at the placement list's running-program question"
    start_program nvqadmin
    umask 077
    run_setup $'y\n2\n'
    umask 022
    expect_rc 0
    expect_count "Enter a selection:" 1
    grep -qE '^nvqadmin \( [0-9]+ \)$' "$OUT" || fail "no line naming nvqadmin and its process"
    # Everything before the question is placed; the final change of mode
    # of the maker's directory is not made.
    expect_placed
    expect_mode /opt/Tarvo 700
    expect_cleaned
    expect_file $APP/.nv_placing

    step "the next run carries out the stopped placement list again"
    stop_program nvqadmin
    rm $APP/lumo.ini
    run_setup $'y\n'
    expect_rc 0
    expect_no_out "Enter a selection:"
    # The link made by the stopped run stays; lumo.ini is placed again.
    expect_no_log "ln  -s /opt/Tarvo/lumo/nvrlumotty"
    expect_placed
    expect_missing $APP/.nv_placing
    expect_mode /opt/Tarvo 755
    expect_cleaned
}

# ---------------------------------------------------------------------------
# Scenarios: what other users plant where root writes.

sc_planted_log() {
    step "a log and an edit file left by another user's run"
    as_user ./setup <<<y >/dev/null 2>&1
    [ "$(stat -c %U "$LOG" 2>/dev/null)" = nobody ] || fail "nobody's run left no log of its own"
    as_user sh -c 'echo "nobody was here" >/tmp/setup.tmp'
    snapshot system /etc /usr/bin

    # (step would remove the log)
    printf 'step: %s\n' "a first installation with no file-creation mask, stopped at its question"
    start_program nvqadmin
    umask 0
    start_setup
    umask 022
    answer $'y\n'
    wait_for "the placement list's question" out_has "Enter a selection:"
    # The log is root's now: in the sticky /tmp nobody else can put a link
    # in its place for the shell to follow.
    [ "$(stat -c '%U %h' "$LOG")" = "root 1" ] ||
        fail "the log is $(stat -c '%U with %h names' "$LOG") during the run"
    ! as_user ln -sf /etc/nologin "$LOG" 2>/dev/null || fail "another user replaced the log"
    # The unpacked package and the placement list are root's alone.
    expect_mode /tmp/TarvoInstall 700
    ! as_user touch /tmp/TarvoInstall/planted 2>/dev/null ||
        fail "another user wrote into the work directory"
    answer $'2\n'
    end_setup
    expect_rc 0
    expect_log "rm -rf  /tmp/TarvoInstall"
    expect_missing /etc/nologin
    expect_missing /tmp/setup.tmp
    expect_unchanged system /etc/Tarvo /usr/bin/nvadmin /usr/bin/nvrlumotty
}

sc_upgrade_planted() {
    step "links, a pipe and a second name planted in the application directory of another base"
    local app=/var/apps/Tarvo/lumo
    make_app $app
    chmod 775 $app
    mkdir -p /opt/Tarvo
    ln -s $app $APP
    echo "secret" >/etc/victim
    chmod 600 /etc/victim
    echo "other secret" >/var/victim
    as_group_member ln -s /etc/victim $app/README
    as_group_member ln -s /etc/made-by-root $app/nvadmin
    as_group_member mkfifo $app/driver
    # A second name of a file elsewhere (made by root here: this host does
    # not let other users link to files they do not own).
    ln /var/victim $app/qdf
    snapshot system /etc /var/victim /usr/bin
    run_setup $'y\n'
    expect_rc 0
    expect_err "$app/README was no plain file of its own and is removed before the copy"
    cmp -s $app/README QMPT.README || fail "README was not copied over"
    local name
    for name in README nvadmin driver qdf; do
        [ -f $app/$name ] && [ ! -L $app/$name ] && [ "$(stat -c %h $app/$name)" = 1 ] ||
            fail "$app/$name is no plain file of one name"
    done
    grep -qx "VERSION=4.30.26" $REG/pkginfo || fail "registration lacks VERSION=4.30.26"
    expect_missing /etc/made-by-root
    expect_unchanged system /etc/Tarvo
}

sc_placement_planted() {
    step "links planted where the placement list copies and touches"
    # A first installation under another base that stopped before its
    # package was registered; a group member has been at work since.
    local app=/var/apps/Tarvo/lumo
    mkdir -p $app /opt/Tarvo /var/spool/Tarvo/ppd
    chmod 775 $app /var/spool/Tarvo /var/spool/Tarvo/ppd
    ln -s $app $APP
    echo "secret" >/etc/victim
    chmod 600 /etc/victim
    as_group_member mkdir -m 777 $app/log
    as_group_member mkdir $app/doc
    as_group_member ln -s /etc/nologin $app/log/jobs.log
    as_group_member ln -s /etc/victim $app/doc/index.txt
    as_group_member ln -s /etc/victim $app/lumo.cfg
    as_group_member ln -s /etc/victim /var/spool/Tarvo/ppd/lumo-laser.ppd
    snapshot system /etc /usr/bin
    run_setup $'y\n'
    expect_rc 0
    pkginfo -q QMPTlumo || fail "the package was not registered"
    expect_placed $app
    local file
    for file in $app/log/jobs.log $app/doc/index.txt $app/lumo.cfg \
        /var/spool/Tarvo/ppd/lumo-laser.ppd; do
        [ -f "$file" ] && [ ! -L "$file" ] || fail "$file is no plain file"
    done
    expect_missing /etc/nologin
    expect_unchanged system /etc/Tarvo /usr/bin/nvadmin /usr/bin/nvrlumotty
    expect_cleaned
}

# ---------------------------------------------------------------------------
# Scenarios: earlier installations kept, failures told.

sc_pkgadd_kept() {
    step "pkgadd fails over an earlier installation whose link in /opt was lost"
    local app=/var/apps/Tarvo/lumo
    make_app $app
    chmod 775 $app
    printf ' V5 ' >$app/.nv_cfg
    echo "the site's own" >$app/site.conf
    snapshot apps /var/apps "$REG"
    run_setup $'y\n' install /var/apps
    expect_rc 1
    expect_out "$app was there before this installation and has been left as it was."
    expect_no_log "rm -rf  $app"
    expect_unchanged apps
    expect_not_cleaned
}

sc_upgrade_full() {
    step "an upgrade on a full file system"
    mkdir -p /var/small
    mount -t tmpfs -o size=2m lumo-small /var/small || { fail "cannot mount a small tmpfs"; return; }
    run_setup $'y\n' install /var/small
    expect_rc 0
    local app=/var/small/Tarvo/lumo
    rm -f $app/README
    echo "driver of the earlier release" >$app/driver
    dd if=/dev/zero of=/var/small/filler bs=64k 2>/dev/null
    run_setup $'y\n'
    expect_rc 1
    expect_err "ERROR: couldn't write $app/README. The upgrade has stopped"
    grep -qx "VERSION=4.30.20" $REG/pkginfo || fail "the registration lost VERSION=4.30.20"
    expect_content $app/driver "driver of the earlier release"
    ! grep -q "^installf -f" $REG/installf.log || fail "the registration was finished"
    expect_not_cleaned
}

sc_interrupted() {
    step "a first installation that stopped before its package was registered"
    mkdir -p $APP
    printf ' V5 ' >$APP/.nv_cfg
    echo "printer data" >$APP/data
    run_setup $'y\n'
    expect_rc 0
    expect_out "Installation of <QMPTlumo> was successful"
    pkginfo -q QMPTlumo || fail "the package was not registered"
    expect_file $APP/data
    expect_mode /var/spool/Tarvo/lumo/__nva_download__ 777
    expect_placed
    expect_cleaned
}

sc_relative_link() {
    step "an earlier installation linked by a relative link"
    make_app /opt/site/Tarvo/lumo
    mkdir -p /opt/Tarvo
    ln -s ../site/Tarvo/lumo $APP
    snapshot opt /opt
    run_setup $'y\n'
    expect_rc 0
    expect_no_log "mv -f -f"
    cmp -s /opt/site/Tarvo/lumo/README QMPT.README || fail "README was not copied over"
    grep -qx "installf -c none QMPTlumo /opt/site/Tarvo/lumo/qdf f 0755 root bin" $REG/installf.log ||
        fail "installf.log lacks /opt/site/Tarvo/lumo/qdf"
    expect_unchanged opt /opt/site/Tarvo/lumo
    expect_cleaned
}

sc_lists_not_files() {
    cp isize isize.saved
    cp disks disks.saved

    step "isize a pipe"
    rm isize
    mkfifo isize
    run_setup $'y\n'
    expect_rc 0
    expect_out "Could not determine how much space needed for install, missing isize."
    expect_not_cleaned

    step "tsize a device, then a directory"
    rm isize
    cp isize.saved isize
    mv tsize tsize.saved
    ln -s /dev/zero tsize
    run_setup $'y\n'
    expect_rc 0
    expect_out "Could not determine how much space needed for install"
    rm tsize
    mkdir tsize
    run_setup $'y\n'
    expect_rc 0
    expect_out "Could not determine how much space needed for install"
    rmdir tsize
    mv tsize.saved tsize

    step "disks a pipe"
    rm disks
    mkfifo disks
    run_setup $'y\n'
    expect_rc 1
    expect_err "ERROR: can't open file, TarvoInstall/disks"
    expect_no_log "cp -p"

    step "a piece that is a pipe"
    rm disks
    cp disks.saved disks
    rm pkg_tar.2
    mkfifo pkg_tar.2
    run_setup $'y\n'
    expect_rc 1
    expect_err "/pkg_tar.2, which is no plain file"
    expect_no_log "cp -p"
    expect_missing $APP
}

inner() {
    local scenario=$1 dist=$2
    cd "$dist" || { echo "FAIL: cannot enter $dist"; exit 1; }
    declare -F "sc_$scenario" >/dev/null || { echo "FAIL: no scenario $scenario"; exit 1; }
    "sc_$scenario"
    show_last_run
    echo DONE
}

# After a failed check: what the last run printed and logged.
show_last_run() {
    [ "$FAILS" -gt 0 ] || return 0
    echo "--- standard output of the last run:"; cat "$OUT"
    echo "--- standard error of the last run:"; cat "$ERR"
    echo "--- log:"; cat "$LOG" 2>/dev/null
}

# ---------------------------------------------------------------------------
# Outside: one emulated host per scenario.

# start_outside WHAT SETUP NAME: root and the program are checked (WHAT
# names the tests in the messages); T is a new scratch directory NAME.*,
# removed at the end.
start_outside() {
    if [ "$(id -u)" != 0 ]; then
        echo "$1: must run as root; skipped" >&2
        exit 77
    fi
    [ -x "$2" ] || { echo "$1: no program $2" >&2; exit 1; }
    T=$(mktemp -d "${TMPDIR:-/tmp}/$3.XXXXXX") || exit 1
    chmod 755 "$T"
    trap 'rm -rf -- "$T"' EXIT
}

outer() {
    local setup=$1 group=$2
    start_outside "installer tests" "$setup" setup-e2e
    failures=0

    case $group in
        agreement)   scenario decline ;;
        command_line) scenario work_area; scenario work_area_refused ;;
        earlier)     scenario earlier_none; scenario earlier_moved
                     scenario earlier_link; scenario earlier_dangling ;;
        running)     scenario running_quit; scenario running_wait ;;
        free_space)  SIZES=1000 scenario space_work --df /var/work=100
                     SIZES=1000 scenario space_install --df /var/apps=500
                     SIZES=1000 scenario space_appdir --df /var/apps=10
                     SIZES=1000 scenario space_pooled --df /opt=1500
                     scenario space_no_isize ;;
        first)       scenario first ;;
        base)        scenario base ;;
        distribution) BUILD="--upper --pieces 5" scenario disks_upper
                     scenario pieces_order; scenario pieces_refused ;;
        release)     scenario release_5_11 --release 5.11
                     scenario release_5_6 --release 5.6
                     scenario release_refused --release 5.5.1 ;;
        printing)    scenario lprng --lprng; scenario cups --cups
                     scenario lprng_cups --lprng --cups ;;
        ends)        scenario not_root --user nobody; scenario pkgadd_fails --fail-pkgadd
                     scenario checkps_stop ;;
        planted)     scenario planted_log; scenario upgrade_planted
                     scenario placement_planted ;;
        recovery)    scenario pkgadd_kept; scenario upgrade_full --df /var/small=100000
                     scenario interrupted; scenario relative_link
                     scenario lists_not_files ;;
        *) echo "installer tests: no group '$group'" >&2; exit 2 ;;
    esac
    [ "$failures" = 0 ] || exit 1
}

# [BUILD=OPTIONS] [SIZES=N] scenario NAME [HOSTSIM OPTION...]: a fresh
# distribution of the sample product (built with OPTIONS, the size files
# set to N when given), one host. The package's README is kept beside it
# for comparisons.
scenario() {
    local name=$1 dist=$T/$1 output
    shift
    # shellcheck disable=SC2086
    if ! "$BUILD_DISTRIBUTION" "$dist" --setup "$setup" ${BUILD:-} >"$T/$name.build" 2>&1; then
        printf '== %s: failed\n%s\n' "$name" "$(cat "$T/$name.build")"
        failures=$((failures + 1))
        return
    fi
    cp -- "$HERE/../../sample/lumo/QMPTlumo/reloc/lumo/README" "$dist/QMPT.README"
    if [ -n "${SIZES:-}" ]; then
        echo "$SIZES" >"$dist/isize"
        echo "$SIZES" >"$dist/tsize"
    fi
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

# inject.sh reads the helpers above.
[ "${BASH_SOURCE[0]}" = "$0" ] || return 0

if [ "${1:-}" = --inner ]; then
    inner "$2" "$3"
else
    outer "$@"
fi
