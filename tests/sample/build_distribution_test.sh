#!/usr/bin/env bash
# The sample distribution: what sample/build-distribution puts into a
# directory (piece list, pieces that join and unpack to the sample product,
# size files, the capitalised layout), how it refuses bad calls, and the
# sample product itself (package map up to date, placement list complete
# and pointing at files that exist, stand-in programs that run).
set -uo pipefail
export LC_ALL=C

root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/sample/build-distribution
product=$root/sample/lumo
scratch=$(mktemp -d)
trap 'rm -rf -- "$scratch"' EXIT

failures=0
fail() {
    printf 'FAIL: %s\n' "$*" >&2
    failures=$((failures + 1))
}
check() {  # check DESCRIPTION COMMAND...
    local what=$1
    shift
    "$@" || fail "$what"
}

if ! command -v compress >/dev/null 2>&1; then
    echo "compress is missing (package ncompress; scripts/ensure-tools installs it)" >&2
    exit 1
fi

fake_setup=$scratch/setup-program
printf '#!/bin/sh\necho fake setup\n' >"$fake_setup"
chmod 755 "$fake_setup"

# make DIR ARGS...: builds a distribution quietly; gives build-distribution's status.
make() {
    local dir=$1
    shift
    "$build" "$dir" --setup "$fake_setup" "$@" >"$scratch/out" 2>"$scratch/err"
}

# listed DIR LIST: the names of the piece list before end_of_list.
listed() {
    sed '/^end_of_list$/,$d' "$1/$2"
}

# unpack DIR LIST PREFIX: joins the pieces in list order and unpacks them
# into DIR/unpacked, as setup does.
unpack() {
    local dir=$1 list=$2 prefix=$3 name
    rm -rf -- "$dir/unpacked" "$dir/joined.tar.Z"
    mkdir "$dir/unpacked"
    for name in $(listed "$dir" "$list" | grep "^$prefix\\."); do
        cat -- "$dir/$name" >>"$dir/joined.tar.Z"
    done
    uncompress -c <"$dir/joined.tar.Z" | tar -C "$dir/unpacked" -xf -
}

# ---- the lower-case layout ----
dist=$scratch/dist
check "build-distribution succeeds" make "$dist"
check "setup copied and executable" test -x "$dist/setup"
check "setup is the program named" cmp -s "$fake_setup" "$dist/setup"
check "disks ends with end_of_list" test "$(tail -n 1 "$dist/disks")" = end_of_list
check "disks names every file of the distribution, itself included" \
    test "$(listed "$dist" disks | sort)" = "$(cd "$dist" && ls | sort)"
check "three pieces by default" test "$(ls "$dist" | grep -c '^pkg_tar\.')" = 3
check "pieces listed in order" \
    test "$(listed "$dist" disks | grep '^pkg_tar\.' | tr '\n' ' ')" = "pkg_tar.1 pkg_tar.2 pkg_tar.3 "
unpack "$dist" disks pkg_tar
check "joined pieces unpack to the sample product" diff -r "$product" "$dist/unpacked"
check "archive entries belong to root" \
    test -z "$(uncompress -c <"$dist/joined.tar.Z" | tar -tvf - --numeric-owner | awk '$2 != "0/0"')"
check "archive entries are not writable by group or others" \
    test -z "$(uncompress -c <"$dist/joined.tar.Z" | tar -tvf - | awk 'substr($1, 6, 1) == "w" || substr($1, 9, 1) == "w"')"
check "archive holds no entry for the work directory itself" \
    test -z "$(uncompress -c <"$dist/joined.tar.Z" | tar -tf - | grep -x '\./\?')"
isize=$(cat "$dist/isize")
tsize=$(cat "$dist/tsize")
check "isize is a positive whole number" grep -Eqx '[1-9][0-9]*' <<<"$isize"
check "tsize is a positive whole number" grep -Eqx '[1-9][0-9]*' <<<"$tsize"
check "tsize covers the pieces, the archive twice and the unpacked tree" \
    test "$tsize" -gt $((isize + $(du -sk "$dist/joined.tar.Z" | cut -f1)))

# A rebuild with fewer pieces leaves no stale piece behind.
check "rebuild with one piece" make "$dist" --pieces 1
rm -rf -- "$dist/unpacked" "$dist/joined.tar.Z"
check "one piece left" test "$(ls "$dist" | grep -c '^pkg_tar\.')" = 1
check "disks still names every file" test "$(listed "$dist" disks | sort)" = "$(cd "$dist" && ls | sort)"
check "rebuild with seven pieces" make "$dist" --pieces 7
unpack "$dist" disks pkg_tar
check "seven pieces join and unpack" diff -r "$product" "$dist/unpacked"

# ---- the capitalised layout ----
upper=$scratch/upper
check "build-distribution --upper succeeds" make "$upper" --upper --pieces 2
check "no lower-case piece list" test ! -e "$upper/disks"
check "DISKS lists itself and the capitalised pieces" \
    test "$(listed "$upper" DISKS | tr '\n' ' ')" = "DISKS PKG_TAR.1 PKG_TAR.2 "
for name in $(listed "$upper" DISKS); do
    check "$name exists under its capitalised name" test -f "$upper/$name"
done
check "the size files keep their names" test -f "$upper/isize" -a -f "$upper/tsize"
unpack "$upper" DISKS PKG_TAR
check "capitalised pieces unpack to the sample product" diff -r "$product" "$upper/unpacked"

# ---- refusals ----
"$build" "$scratch/nosetup" --setup "$scratch/missing" >/dev/null 2>"$scratch/err"
check "a missing setup program fails" test $? = 1
check "a missing setup program is named" grep -q "no setup program at $scratch/missing" "$scratch/err"
check "nothing made without a setup program" test ! -e "$scratch/nosetup/disks"
for bad in 0 -1 x 100; do
    make "$scratch/bad" --pieces "$bad"
    check "--pieces $bad is a usage error" test $? = 2
done
"$build" >/dev/null 2>&1
check "OUTDIR is required" test $? = 2

# ---- the sample product ----
check "the package map is up to date" "$root/sample/make-pkgmap" --check
check "pkginfo: BASEDIR /opt/Tarvo" grep -qx 'BASEDIR=/opt/Tarvo' "$product/QMPTlumo/pkginfo"
check "pkginfo: a VERSION line with a digit after =" grep -q '^VERSION=[0-9]' "$product/QMPTlumo/pkginfo"

pkglist=$product/pkg.list
check "pkg.list separates words by blanks only" test -z "$(grep -P '\t' "$pkglist")"
commands=$(awk 'NF { print $1 }' "$pkglist" | sort -u | tr '\n' ' ')
for command in '#' c checkps dir dirto m newdir s t v; do
    case " $commands " in
        *" $command "*) ;;
        *) fail "pkg.list uses no '$command' line" ;;
    esac
done
check "pkg.list has a command word of its own, taken as c" \
    test -n "$(awk 'NF && $1 !~ /^(#|c|checkps|dir|dirto|m|newdir|s|t|v)$/' "$pkglist")"
check "pkg.list chains release conditions" grep -q '^v [^ ]* [^ ]* v ' "$pkglist"
for key in mode bat owner group link name sed; do
    check "pkg.list uses the attribute $key" grep -q "^[^#].* $key " "$pkglist"
done
# Files the list takes from the distribution exist there; files it expects
# in the application directory come with the package, but the one it is
# meant to pass over.
while read -r command file rest; do
    while [ "$command" = v ]; do
        read -r _ command file rest <<<"$rest"
    done
    case $command in
        '#'|'') ;;
        newdir|t|checkps) ;;
        dir|dirto) check "pkg.list: directory $file exists" test -d "$product/$file" ;;
        m|s) [ "$file" = nvrlumo.old ] ||
                 check "pkg.list: $file comes with the package" test -f "$product/QMPTlumo/reloc/lumo/$file" ;;
        *) check "pkg.list: file $file exists" test -f "$product/$file" ;;
    esac
done <"$pkglist"
check "the file m passes over is not in the package" test ! -e "$product/QMPTlumo/reloc/lumo/nvrlumo.old"

# The stand-in programs, run from a copy with a log directory.
app=$scratch/app
cp -r "$product/QMPTlumo/reloc/lumo" "$app"
mkdir "$app/log"
for program in "$app"/*; do
    [ -f "$program" ] && [ -x "$program" ] && check "$(basename "$program") is valid sh" sh -n "$program"
done
check "nvqadmin -upgrade" "$app/nvqadmin" -upgrade >/dev/null
check "nvqadmin -clean" "$app/nvqadmin" -clean >/dev/null
check "nvqadmin notes both runs" test "$(grep -c -e ' -upgrade: ' -e ' -clean: ' "$app/log/nvqadmin.log")" = 2
"$app/nvqadmin" -bogus 2>/dev/null
check "nvqadmin refuses other options" test $? = 2
printf 'twelve bytes' >"$scratch/job"
check "nvrlumotty prints a file" "$app/nvrlumotty" -dlaser1 -i "$scratch/job"
check "nvrlumotty prints standard input" "$app/nvrlumotty" -dlaser2 -f -oduplex <"$scratch/job"
check "nvrlumotty notes the jobs and their sizes" \
    test "$(grep -c -e 'laser1: 12 bytes' -e 'laser2: 12 bytes' "$app/log/jobs.log")" = 2
"$app/nvrlumotty" -i "$scratch/job" 2>/dev/null
check "nvrlumotty wants a printer" test $? = 2
check "qdf takes readable files" "$app/qdf" "$scratch/job"
"$app/qdf" "$scratch/no-such-job" 2>/dev/null
check "qdf fails on a missing file" test $? = 1
check "driver runs" "$app/driver" -dlaser1 -oCopies=1 "$scratch/job"
check "nvadmin -v" test "$("$app/nvadmin" -v)" = "nvadmin (lumo) 4.30.20"

if [ "$failures" -gt 0 ]; then
    echo "$failures check(s) failed" >&2
    exit 1
fi
echo "sample distribution: all checks passed"
