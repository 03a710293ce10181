#!/usr/bin/env bash
# Installs the build into a scratch prefix, moves the installed tree (the
# package files must find the prefix from where they lie), then builds the
# example of examples/ against it twice, with CMake's find_package and with
# pkg-config and a plain compiler line, and runs both programs.
#   install_test.sh BUILD_DIR SOURCE_DIR VERSION
set -euo pipefail
build=$(cd "$1" && pwd) source=$(cd "$2" && pwd) version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $*" >&2; exit 1; }

cmake --install "$build" --prefix "$scratch/first" >"$scratch/install.log" ||
  { cat "$scratch/install.log"; fail "cmake --install"; }
mv "$scratch/first" "$scratch/prefix"
prefix=$scratch/prefix

# What another project needs is there; setup is not (it ships inside a
# distribution).
for file in include/tarvo-common/Dbm.h include/tarvo-common/NlsUtils.h lib/libcommon.a \
            lib/libcommon_MemMgr.a lib/libcommon_NlsUtils.a lib/libcommon_TextMenu.a \
            lib/cmake/TarvoCommon/TarvoCommonConfig.cmake lib/pkgconfig/tarvo-common.pc \
            lib/libcommon_help.a bin/qdb bin/nlscc bin/lumoq bin/lumoh share/tarvo-common/trans.conf \
            share/tarvo-common/help/en_US/lumoq.html share/tarvo-common/help/de_DE/lumoq.html \
            share/tarvo-common/db/en_US/CoreString.qdb share/tarvo-common/db/pt_BR/CoreString.qdb \
            share/man/man1/qdb.1 share/man/man1/nlscc.1 share/man/man1/lumoq.1 share/man/man1/lumoh.1; do
  [ -e "$prefix/$file" ] || fail "$file is not installed"
done
[ ! -e "$prefix/bin/setup" ] || fail "setup is installed"
if grep -rlF -e "$build" -e "$source" -e "$scratch/first" "$prefix/lib/cmake" "$prefix/lib/pkgconfig"; then
  fail "the package files above name the build, the sources or the first prefix"
fi
"$prefix/bin/qdb" --version | grep -qx "qdb $version" || fail "installed qdb --version"
# The installed form finds its texts in the installed tool directory.
"$prefix/bin/lumoq" --help | grep -q "^Usage: lumoq" || fail "installed lumoq finds no catalogue"
# ... and its help pages there: h opens them, e returns to the form.
printf 'h\ne\nq\n' | LANG=en_US "$prefix/bin/lumoq" >"$scratch/help.txt" || fail "installed lumoq with h"
grep -qF "Print queue set-up: help" "$scratch/help.txt" || fail "installed lumoq finds no help pages"

# Every message of the example's keys in all six languages, and the one
# LANG chooses marked.
check_run() {
  local what=$1; shift
  local out
  out=$(LANG=fr_CA.UTF-8 "$@") || fail "$what: exit status $?"
  for expected in '  en_US  \nPress <Return> to continue ' '* fr_FR  \nAppuyez sur <Entrée> pour continuer ' \
                  '  de_DE  \nWeiter mit <Eingabe> ' '  es_ES  \nPulse <Intro> para continuar ' \
                  '  it_IT  \nPremere <Invio> per continuare ' '  pt_BR  \nPressione <Enter> para continuar ' \
                  '25_1001' '25_1003' '  de_DE  Diese Zahl muss zwischen %i und %i liegen.'; do
    grep -qxF -- "$expected" <<<"$out" ||
      { printf '%s\n' "$out"; fail "$what: no line '$expected'"; }
  done
  [ "$(grep -c '^\*' <<<"$out")" = 2 ] || { printf '%s\n' "$out"; fail "$what: LANG's language not marked once per key"; }
}

cmake -S "$source/examples" -B "$scratch/example" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
      -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" >"$scratch/example.log" ||
  { cat "$scratch/example.log"; fail "configuring the example"; }
cmake --build "$scratch/example" >>"$scratch/example.log" ||
  { cat "$scratch/example.log"; fail "building the example with CMake"; }
check_run "example built with CMake" "$scratch/example/catalogue-languages" 25_1001 25_1003

export PKG_CONFIG_PATH=$prefix/lib/pkgconfig
[ "$(pkg-config --modversion tarvo-common)" = "$version" ] || fail "pkg-config --modversion"
tooldir=$(pkg-config --variable=tooldir tarvo-common)
# shellcheck disable=SC2046
c++ -std=c++20 -Wall -Wextra -Werror -DTOOL_DIR="\"/nonexistent\"" -o "$scratch/plain" \
    "$source/examples/catalogue-languages.cpp" $(pkg-config --cflags --libs tarvo-common) ||
  fail "building the example with pkg-config"
check_run "example built with pkg-config" "$scratch/plain" -t "$tooldir" 25_1001 25_1003

# A message that no language has is reported.
if "$scratch/plain" -t "$tooldir" 25_99999 >/dev/null; then fail "a missing message is not reported"; fi
echo "install and example: ok"
