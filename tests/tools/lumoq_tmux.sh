#!/usr/bin/env bash
# lumoq at a real terminal: typed answers through tmux, the screen read back
# with capture-pane. Checks the menu page and the choice page at 80 x 24 and
# 100 x 30, a stored queue in the queue database, and a settings file
# applied without a dialogue.
#   lumoq_tmux.sh LUMOQ QDB
set -euo pipefail
lumoq=$1
qdb=$2
# The settings file name may hold only letters, digits, -, _ and /.
work=$(mktemp -d /tmp/lumoqtestXXXXXX)
source "$(dirname "$0")/tmux_session.sh" "$work" lumoq-test

# The program runs from a copy of its directory, so that the test's queue
# database is its own: the catalogue is found in the directory above.
mkdir -p "$work/tree/tools"
cp "$lumoq" "$work/tree/tools/lumoq"
ln -s "$(cd "$(dirname "$lumoq")/.." && pwd)/db" "$work/tree/db"
ln -s "$(cd "$(dirname "$lumoq")/.." && pwd)/trans.conf" "$work/tree/trans.conf"
mkdir -p "$work/tree/tools/db"

# The screen from the last menu heading on: the page shown now.
last_page() { page_from "Print queue set-up"; }

run_session() {
  local columns=$1 rows=$2 queue=$3
  start_session "$columns" "$rows" "cd $work && LANG=en_US TERM=dumb $work/tree/tools/lumoq; echo EXIT=\$?; sleep 30"
  wait_for "Enter a selection or s for store settings in a file or <Return> to exit:"
  local screen
  screen=$(tmx capture-pane -p -t t)
  grep -qF " 3) Printer connection  [2. Network printer]" <<<"$screen" || fail "menu page at ${columns}x${rows}"
  grep -qF " 4) Network printer settings" <<<"$screen" || fail "the network sub-menu"
  grep -qF " w) Write the queue" <<<"$screen" || fail "the button row"
  type_line "1 $queue"
  type_line "2 Office"
  type_line "3 3"
  wait_for "[3. Remote queue]"
  screen=$(last_page)
  grep -qF " 4) Remote queue settings" <<<"$screen" || fail "the remote sub-menu"
  grep -qF "    Options" <<<"$screen" || fail "a remote queue's options are disabled"
  ! grep -qF "Copies" <<<"$screen" || fail "a remote queue's copies are hidden"
  type_line "3 2"
  wait_for "[2. Network printer]"
  type_line "4"
  wait_for "1) Host name"
  type_line "1 printer.example"
  type_line "d"
  wait_for " 4) Network printer settings"
  type_line "o"
  wait_for "Type choice numbers, or <Return> for the next page:"
  screen=$(tmx capture-pane -p -t t)
  local label_row
  label_row=$(sed -n 1p <<<"$screen")
  [ "$label_row" = "$(printf '%*s' $(( (columns - 7) / 2 + 7 )) Options)" ] || fail "the choice page's label is centred"
  grep -qE '^ ->  1\) Banner page' <<<"$screen" || fail "the chosen option is marked"
  grep -qE '^     4\) Hold jobs' <<<"$screen" || fail "the last option"
  [ "$(sed -n "$((rows - 2))p" <<<"$screen")" = "s) Save$(printf '%*s' $((columns / 2 - 7)) '')c) Cancel" ] ||
    fail "keep and cancel on row $((rows - 2))"
  grep -qF "Current selection: Banner page" <<<"$screen" || fail "the selection line"
  type_line "2 4"
  wait_for "Current selection: Banner page Form feed after each job Hold jobs"
  type_line "s"
  wait_for " 5) Options ........... [1,2,4]"
  type_line "s"
  wait_for "Enter the settings file name:"
  type_line "$work/$queue-settings"
  wait_for "Enter a selection"
  type_line "w"
  wait_for "EXIT=0"
  tmx capture-pane -p -t t | grep -qF "Queue $queue stored in" || fail "the queue is stored"
}

run_session 80 24 frontdesk
run_session 100 30 backoffice

db="$work/tree/tools/db/queues.qdb"
[ "$("$qdb" list "$db" | sort)" = "$(printf "backoffice\nfrontdesk")" ] || { echo "FAIL: qdb lists both queues"; "$qdb" list "$db"; exit 1; }
"$qdb" get "$db" frontdesk | grep -qF "Office|Network printer|printer.example:9100|11|1|1.000" ||
  { echo "FAIL: the stored record"; "$qdb" get "$db" frontdesk; exit 1; }

# The settings file names the queue: -n applies it again without a dialogue.
"$qdb" delete "$db" frontdesk
(cd "$work" && "$work/tree/tools/lumoq" -n "$work/frontdesk-settings" </dev/null >/dev/null)
"$qdb" get "$db" frontdesk | grep -qF "printer.example:9100" || { echo "FAIL: -n applies the settings"; exit 1; }
if (cd "$work" && "$work/tree/tools/lumoq" -n "$work/missing-settings" </dev/null >/dev/null 2>&1); then
  echo "FAIL: a missing settings file must fail"; exit 1
fi
"$work/tree/tools/lumoq" --help | grep -qF "Usage: lumoq [-n] [SETTINGS]" || { echo "FAIL: --help"; exit 1; }
echo "lumoq at the terminal: ok"
