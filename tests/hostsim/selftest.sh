#!/bin/bash
# Self-test of the emulated Solaris host (hostsim/run): the machine is never
# changed, the sandbox sees only its own processes, the bound paths stay
# writable, and the Solaris command shims behave as the installer expects.
# Needs root (exit 77, a skip, otherwise). Exit status 1 when a check fails.

set -u

RUN=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../hostsim" && pwd -P)/run
failures=0

fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}

ok() {
    printf 'ok: %s\n' "$*"
}

if [ "$(id -u)" != 0 ]; then
    echo "hostsim self-test: must run as root; skipped" >&2
    exit 77
fi
[ -x "$RUN" ] || { echo "hostsim self-test: $RUN is missing" >&2; exit 1; }

T=$(mktemp -d /tmp/hostsim-selftest.XXXXXX) || exit 1
chmod 755 "$T"
tag=hostsim-selftest-$$
marker_pid=''
cleanup() {
    [ -n "$marker_pid" ] && kill "$marker_pid" 2>/dev/null
    rm -rf -- "$T"
    rm -f -- "/$tag"
}
trap cleanup EXIT

# Every run gets its scratch directory here, so that leftovers show.
export TMPDIR=$T/scratch
mkdir "$TMPDIR"

hs() {
    "$RUN" "$@" </dev/null
}

# expect NAME ACTUAL WANTED
expect() {
    if [ "$2" = "$3" ]; then
        ok "$1"
    else
        fail "$1: got '$2', wanted '$3'"
    fi
}

# report_inner NAME OUTPUT: an inside script prints "FAIL: ..." lines and,
# when it ran to its end, "DONE".
report_inner() {
    local line bad=0 done=0
    while IFS= read -r line; do
        case $line in
            FAIL:*) fail "$1: ${line#FAIL: }"; bad=1 ;;
            DONE) done=1 ;;
        esac
    done <<<"$2"
    if [ $done = 0 ]; then
        fail "$1: the script inside did not run to its end: $2"
    elif [ $bad = 0 ]; then
        ok "$1"
    fi
}

# --- Isolation: writes inside are gone outside; bound paths stay writable;
# the rest of the machine is read-only inside.
sadm_existed=0
[ -e /var/sadm ] && sadm_existed=1
out=$(cd "$T" && hs --bind "$T" -- bash -c '
    for d in /opt /tmp /var/sadm /usr/bin /etc /dev/shm; do
        mkdir -p "$d" && echo inside >"$d/'"$tag"'" || echo "FAIL: cannot write $d inside"
    done
    echo bound >"'"$T"'/bound-probe" || echo "FAIL: bound path not writable"
    echo cwd >./cwd-probe || echo "FAIL: current directory not writable"
    if touch "/'"$tag"'" 2>/dev/null; then echo "FAIL: the root file system is writable inside"; fi
    echo DONE
' 2>&1)
status=$?
expect "isolation run status" "$status" 0
report_inner "writes inside the emulated host" "$out"
leaks=''
for d in /opt /tmp /var/sadm /usr/bin /etc /dev/shm; do
    [ -e "$d/$tag" ] && { leaks+=" $d/$tag"; rm -f -- "$d/$tag"; }
done
[ -e "/$tag" ] && leaks+=" /$tag"
if [ $sadm_existed = 0 ] && [ -e /var/sadm ]; then
    leaks+=" /var/sadm"
fi
if [ -n "$leaks" ]; then fail "writes reached the machine:$leaks"; else ok "nothing reached the machine"; fi
expect "write to a bound path" "$(cat "$T/bound-probe" 2>/dev/null)" bound
expect "write to the current directory" "$(cat "$T/cwd-probe" 2>/dev/null)" cwd

# --- Processes: ps -e inside lists only the sandbox's processes.
mark=hsmark$$
cp -- "$(command -v sleep)" "$T/$mark"
"$T/$mark" 300 &
marker_pid=$!
if ps -e | awk -v n="$mark" '$4 == n { found = 1 } END { exit !found }'; then
    inside=$(hs -- ps -e)
    if awk -v n="$mark" '$4 == n { found = 1 } END { exit !found }' <<<"$inside"; then
        fail "ps -e inside lists a process of the machine"
    elif ! awk '$1 == 1 { found = 1 } END { exit !found }' <<<"$inside" ||
         [ "$(wc -l <<<"$inside")" -gt 5 ]; then
        fail "ps -e inside does not look like a fresh PID namespace: $inside"
    else
        ok "ps -e inside lists only the sandbox's processes"
    fi
else
    fail "the marker process does not show in ps -e outside"
fi
kill "$marker_pid" 2>/dev/null
wait "$marker_pid" 2>/dev/null
marker_pid=''

# --- df -b and uname.
out=$(hs --df /opt=4242 --df /opt/deep=17 --release 5.8 -- bash -c '
    mkdir -p /opt/deep/er
    df -b /opt
    df -b /opt/deep/er /tmp
    uname -s; uname -r; uname -sr')
expect "df -b header" "$(sed -n 1p <<<"$out" | awk '{ print $1, $2 }')" "Filesystem avail"
expect "df -b with a setting for the path" "$(sed -n 2p <<<"$out" | awk '{ print $2 }')" 4242
expect "df -b: the longest setting wins, below the path too" "$(sed -n 4p <<<"$out" | awk '{ print $2 }')" 17
tmp_line=$(sed -n 5p <<<"$out")
if [[ $(awk '{ print $2 }' <<<"$tmp_line") =~ ^[0-9]+$ ]] &&
   [ "$(awk '{ print $1 }' <<<"$tmp_line")" != "$(sed -n 2p <<<"$out" | awk '{ print $1 }')" ]; then
    ok "df -b without a setting: real free space, /tmp and /opt on different file systems"
else
    fail "df -b /tmp: unexpected line '$tmp_line'"
fi
expect "uname -s" "$(sed -n 6p <<<"$out")" SunOS
expect "uname -r with --release" "$(sed -n 7p <<<"$out")" 5.8
expect "uname -sr" "$(sed -n 8p <<<"$out")" "SunOS 5.8"
expect "uname -r by default" "$(hs -- uname -r)" 5.10
expect "uname -r with HOSTSIM_RELEASE" "$(HOSTSIM_RELEASE=5.9 hs -- uname -r)" 5.9

# --- The package tools, on a tiny package in directory format.
P=$T/pkgs/TSTpkg
mkdir -p "$P/reloc/tst" "$P/root/etc"
cat >"$P/pkginfo" <<'EOF'
PKG=TSTpkg
NAME="hostsim test package"
ARCH=i386
VERSION=1.0
CATEGORY=application
BASEDIR=/opt
EOF
cat >"$P/pkgmap" <<'EOF'
: 1 10
1 d none tst 0755 root bin
1 f none tst/hello 0750 root bin 6 0 0
1 s none tst/link=hello
1 f none /etc/tst.conf 0644 root sys 4 0 0
1 i pkginfo 100 0 0
EOF
echo hello >"$P/reloc/tst/hello"
echo conf >"$P/root/etc/tst.conf"

out=$(hs --bind "$T" -- bash -c '
    D='"$T"'/pkgs
    pkgadd -d "$D" TSTpkg >/tmp/pkgadd.out 2>&1 || echo "FAIL: pkgadd exit status $?: $(cat /tmp/pkgadd.out)"
    [ "$(stat -c %a /opt/tst/hello 2>/dev/null)" = 750 ] || echo "FAIL: /opt/tst/hello missing or not mode 750"
    [ "$(cat /opt/tst/hello 2>/dev/null)" = hello ] || echo "FAIL: /opt/tst/hello has the wrong contents"
    [ "$(readlink /opt/tst/link)" = hello ] || echo "FAIL: /opt/tst/link is not a link to hello"
    [ "$(cat /etc/tst.conf 2>/dev/null)" = conf ] || echo "FAIL: absolute path /etc/tst.conf not installed"
    grep -qx VERSION=1.0 /var/sadm/pkg/TSTpkg/pkginfo 2>/dev/null || echo "FAIL: not registered in /var/sadm/pkg/TSTpkg/pkginfo"
    [ "$(pkginfo | awk "\$2 == \"TSTpkg\" { print \$1 }")" = application ] || echo "FAIL: pkginfo does not list TSTpkg: $(pkginfo)"
    pkginfo -q TSTpkg || echo "FAIL: pkginfo -q TSTpkg fails"
    pkginfo -q NOSUCHpkg && echo "FAIL: pkginfo -q finds a package never added"
    pkgadd -d "$D" TSTpkg >/dev/null 2>&1 && echo "FAIL: a second pkgadd of an installed package succeeds"

    # As the installer calls it on an upgrade: register, copy, finalise.
    /usr/sbin/installf -c none TSTpkg /opt/tst/extra f 0700 root bin 1>/dev/null 2>/dev/null ||
        echo "FAIL: installf of a new file fails"
    echo extra >/opt/tst/extra
    /usr/sbin/installf -f TSTpkg 1>/dev/null 2>/dev/null || echo "FAIL: installf -f fails"
    grep -qx "installf -c none TSTpkg /opt/tst/extra f 0700 root bin" /var/sadm/pkg/TSTpkg/installf.log ||
        echo "FAIL: the installf call is not recorded"
    grep -qx "installf -f TSTpkg" /var/sadm/pkg/TSTpkg/installf.log || echo "FAIL: installf -f is not recorded"
    grep -qx "/opt/tst/extra f none 0700 root bin TSTpkg" /var/sadm/install/contents ||
        echo "FAIL: the added file is not entered as installed"
    [ "$(stat -c %a /opt/tst/extra)" = 700 ] || echo "FAIL: installf -f did not set the mode"
    /usr/sbin/installf -c none NOSUCHpkg /opt/x f 0644 root bin 2>/dev/null && echo "FAIL: installf accepts an unknown package"

    pkgrm -n TSTpkg >/dev/null 2>&1 || echo "FAIL: pkgrm fails"
    for p in /opt/tst /etc/tst.conf /var/sadm/pkg/TSTpkg; do
        [ -e "$p" ] && echo "FAIL: $p is left after pkgrm"
    done
    pkginfo -q TSTpkg && echo "FAIL: pkginfo still lists the removed package"
    grep -q TSTpkg /var/sadm/install/contents && echo "FAIL: contents still lists the removed package"
    echo DONE
' 2>&1)
expect "package run status" "$?" 0
report_inner "pkgadd, pkginfo, installf, pkgrm" "$out"

out=$(hs --fail-pkgadd --bind "$T" -- bash -c '
    pkgadd -d '"$T"'/pkgs TSTpkg >/dev/null 2>&1 && echo "FAIL: pkgadd succeeds"
    [ -e /opt/tst ] && echo "FAIL: files installed"
    [ -e /var/sadm/pkg/TSTpkg ] && echo "FAIL: package registered"
    echo DONE' 2>&1)
report_inner "--fail-pkgadd makes pkgadd fail and install nothing" "$out"

# --- Counted calls: the N-th call setup makes of a command fails and does
# nothing; calls of other programs are neither counted nor failed.
cat >"$T/setup" <<'EOF2'
#!/bin/sh
mkdir /tmp/m1 && mkdir /tmp/m2 2>/dev/null; mkdir /tmp/m3
sh -c 'cp /etc/hostname /tmp/c1' 2>/dev/null || echo "the first cp failed"
cp /etc/hostname /tmp/c2
/usr/sbin/pkgadd -d /tmp/nowhere NOpkg 2>/dev/null || echo "pkgadd failed"
EOF2
chmod 755 "$T/setup"
out=$(HOSTSIM_FAIL=pkgadd hs --fail mkdir:2,cp --bind "$T" -- bash -c '
    mkdir /tmp/by-the-test || echo "FAIL: a call of the test itself fails"
    '"$T"'/setup
    for d in /tmp/m1 /tmp/m3 /tmp/c2; do [ -e $d ] || echo "FAIL: $d was not made"; done
    for d in /tmp/m2 /tmp/c1; do [ -e $d ] && echo "FAIL: the failed call made $d"; done
    want="mkdir 1 /tmp/m1|mkdir 2 /tmp/m2|mkdir 3 /tmp/m3|cp 1 /etc/hostname /tmp/c1|cp 2 /etc/hostname /tmp/c2|pkgadd 1 -d /tmp/nowhere NOpkg"
    got=$(paste -sd "|" /usr/lib/hostsim/calls)
    [ "$got" = "$want" ] || echo "FAIL: calls listed: $got"
    echo DONE' 2>&1)
report_inner "--fail and HOSTSIM_FAIL fail the calls set, count only setup's calls" "$out"
grep -q "the first cp failed" <<<"$out" && grep -q "pkgadd failed" <<<"$out" ||
    fail "--fail: the failing calls did not report a failure: $out"
hs --fail mkdir:0 -- true 2>/dev/null
expect "--fail with a call number 0 is a usage error" "$?" 2
hs --fail ls -- true 2>/dev/null
expect "--fail of a command that is not counted is a usage error" "$?" 2

# --- Another user, the printing systems.
expect "--user nobody: id -un and whoami" "$(hs --user nobody -- bash -c 'id -un; whoami' | tr '\n' ' ')" "nobody nobody "

out=$(hs --lprng --cups -- bash -c 'ps -e; lpd -V 2>&1')
if awk '$4 == "lpd" { l = 1 } $4 == "cupsd" { c = 1 } END { exit !(l && c) }' <<<"$out" &&
   grep -q LPRng <<<"$out"; then
    ok "--lprng and --cups: lpd and cupsd run, lpd -V names LPRng"
else
    fail "--lprng --cups: unexpected output: $out"
fi
out=$(hs -- bash -c 'ps -e; command -v lpd || echo no-lpd')
if awk '$4 == "lpd" || $4 == "cupsd" { found = 1 } END { exit found }' <<<"$out" &&
   grep -qx no-lpd <<<"$out"; then
    ok "by default no lpd and no cupsd"
else
    fail "default printing system: unexpected output: $out"
fi

# --- Exit status, usage errors, keeping the scratch directory.
hs -- bash -c 'exit 7'
expect "the command's exit status is passed on" "$?" 7
hs --no-such-option -- true 2>/dev/null
expect "an unknown option is a usage error" "$?" 2

leftovers=$(ls -A "$TMPDIR")
expect "no scratch directory is left behind" "$leftovers" ""

err=$(hs --keep -- bash -c "echo kept >/opt/$tag; echo kept >/usr/bin/$tag" 2>&1 >/dev/null)
kept=$(sed -n 's/^hostsim: scratch directory kept: //p' <<<"$err")
if [ -n "$kept" ] && [ "$(cat "$kept/opt/$tag" 2>/dev/null)" = kept ] &&
   [ "$(cat "$kept/usr/bin/$tag" 2>/dev/null)" = kept ]; then
    ok "--keep keeps /opt and the upper layer of /usr"
else
    fail "--keep: '$err'"
fi
[ -n "$kept" ] && rm -rf -- "$kept"

# --- Refusal when not root (a copy of the launcher that the user nobody can reach).
mkdir "$T/norun"
cp -- "$RUN" "$T/norun/run"
chmod 755 "$T/norun" "$T/norun/run"
err=$(cd "$T" && setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --clear-groups \
          "$T/norun/run" -- true 2>&1)
status=$?
if [ $status -ne 0 ] && grep -q "must be run as root" <<<"$err"; then
    ok "refuses to run when not root"
else
    fail "not root: status $status, '$err'"
fi

if [ $failures -gt 0 ]; then
    printf 'hostsim self-test: %d check(s) failed\n' "$failures" >&2
    exit 1
fi
echo "hostsim self-test: all checks passed"
