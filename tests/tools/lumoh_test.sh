#!/usr/bin/env bash
# lumoh: the laid-out pages of the queue tool's help in both languages
# against golden dumps, the help menu over piped answers, and the errors of
# a file that cannot be read or holds no page.
#   lumoh_test.sh LUMOH SOURCE_DIR GOLDEN_DIR
set -euo pipefail
lumoh=$1 src=$2 golden=$3
work=$(mktemp -d /tmp/lumohtestXXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

for lang in en_US de_DE; do
  "$lumoh" --dump "$src/tools/help/$lang/lumoq.html" >"$work/$lang.dump"
  diff -u "$golden/lumoq_$lang.dump" "$work/$lang.dump" || fail "the $lang help pages differ from $golden/lumoq_$lang.dump"
done

# The help menu: item 2 is the overview's second link, b goes back, c does
# nothing with an empty history, e leaves.
printf '2\nb\nc\ne\n' | LANG=en_US "$lumoh" "$src/tools/help/en_US/lumoq.html" >"$work/menu.txt"
awk '/Tarvo Online Help/ { n++ } END { exit n == 4 ? 0 : 1 }' "$work/menu.txt" || fail "four help menu pages"
grep -qF ' 2) Printer connections' "$work/menu.txt" || fail "the overview's link items"
grep -qF ' e) Exit Help' "$work/menu.txt" || fail "the buttons"
grep -qF ",-----------------+---------------------------," "$work/menu.txt" || fail "the connections page"

# expect STATUS MESSAGE COMMAND...: the status, the message on standard
# error and nothing on standard output.
expect() {
  local status=$1 message=$2 got=0
  shift 2
  "$@" >"$work/out" 2>"$work/err" </dev/null || got=$?
  [ "$got" = "$status" ] || fail "$* ended with $got, not $status"
  grep -qF -- "$message" "$work/err" || { cat "$work/err"; fail "$*: no \"$message\""; }
  [ ! -s "$work/out" ] || fail "$* printed on standard output"
}
expect 1 "lumoh: cannot read $work/missing.html: No such file or directory" "$lumoh" --dump "$work/missing.html"
expect 1 "lumoh: cannot read $work/missing.html: No such file or directory" "$lumoh" "$work/missing.html"
expect 1 "lumoh: cannot read $work: Is a directory" "$lumoh" --dump "$work"
printf 'Plain text without a page.\n' >"$work/plain.html"
expect 1 "lumoh: $work/plain.html holds no help page" "$lumoh" --dump "$work/plain.html"
expect 1 "lumoh: $work/plain.html holds no help page" "$lumoh" "$work/plain.html"
: >"$work/empty.html"
expect 1 "lumoh: $work/empty.html holds no help page" "$lumoh" --dump "$work/empty.html"
if [ "$(id -u)" != 0 ]; then
  cp "$src/tools/help/en_US/lumoq.html" "$work/secret.html"
  chmod 000 "$work/secret.html"
  expect 1 "lumoh: cannot read $work/secret.html: Permission denied" "$lumoh" --dump "$work/secret.html"
fi
expect 2 "Usage: lumoh [--dump] FILE" "$lumoh"
expect 2 "Usage: lumoh [--dump] FILE" "$lumoh" --dump
expect 2 "Usage: lumoh [--dump] FILE" "$lumoh" --bogus "$work/plain.html"
expect 2 "Usage: lumoh [--dump] FILE" "$lumoh" "$work/plain.html" "$work/plain.html"
"$lumoh" --help | grep -qF "Usage: lumoh [--dump] FILE" || fail "--help"
echo "lumoh: ok"
