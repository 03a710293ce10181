#!/usr/bin/env bash
# lumoq's help at a real terminal: h in the form opens the help menu in the
# user's language, a link item shows its page, Back returns, Exit Help
# returns to the form, and q leaves lumoq.
#   lumoq_help_tmux.sh LUMOQ
set -euo pipefail
lumoq=$1
build=$(cd "$(dirname "$lumoq")/.." && pwd)
work=$(mktemp -d /tmp/lumoqhelpXXXXXX)
source "$(dirname "$0")/tmux_session.sh" "$work" lumoq-help-test

# A copy of the program's directory: the catalogue and the help pages lie
# in the directory above, as in the build tree.
mkdir -p "$work/tree/tools/db"
cp "$lumoq" "$work/tree/tools/lumoq"
for entry in db trans.conf help; do ln -s "$build/$entry" "$work/tree/$entry"; done

# Waits until the page from the last line holding MARK shows TEXT.
wait_page() {
  for _ in $(seq 1 100); do
    page_from "$1" | grep -qF -- "$2" && return 0
    sleep 0.1
  done
  fail "the page after \"$1\" never showed: $2"
}
# start LANG: lumoq in a terminal tall enough for a whole help page.
start() { start_session 100 90 "cd $work && LANG=$1 TERM=dumb $work/tree/tools/lumoq; echo EXIT=\$?; sleep 30"; }

# A help page is whole once its question is out.
help_page() { wait_page "$1" "${2:-Enter a selection:}"; wait_question; page=$(page_from "$1"); }

start en_US
wait_for "or h for help or <Return> to exit:"
type_line "h"
help_page "Tarvo Online Help"
grep -qF "Print queue set-up: help" <<<"$page" || fail "the overview's title"
grep -qF "   1. Type 1 and the queue's name" <<<"$page" || fail "the ordered list"
grep -qF " 1) The fields of the form" <<<"$page" || fail "the first link item"
grep -qF " 3) Saving settings" <<<"$page" || fail "the third link item"
grep -qE '^ e\) Exit Help +c\) Contents +b\) Back' <<<"$page" || fail "the buttons"
! grep -qF "for help" <<<"$page" || fail "the help menu offers no help of its own"

type_line "3"
wait_page "Tarvo Online Help" "   2. Type s and, at the question"
help_page "Tarvo Online Help"
grep -qF "Saving settings" <<<"$page" || fail "the settings page's title"
! grep -qF "Print queue set-up: help" <<<"$page" || fail "the settings page replaces the overview"
grep -qF " 1) Overview" <<<"$page" || fail "the settings page's links"

type_line "b"
wait_page "Tarvo Online Help" "Print queue set-up: help"
help_page "Tarvo Online Help"
grep -qF " 1) The fields of the form" <<<"$page" || fail "Back rebuilds the overview's items"

type_line "e"
wait_page "Tarvo Online Help" "or h for help"
page=$(page_from "Print queue set-up")
grep -qF " 1) Queue name" <<<"$page" || fail "Exit Help returns to the form"
type_line "q"
wait_for "EXIT=0"

# German: the help pages and the help menu's texts and keys in the user's
# language.
start de_DE.UTF-8
wait_for "Bitte"
type_line "h"
help_page "Tarvo Online-Hilfe" "Bitte"
grep -qF " 1) Die Felder des Formulars" <<<"$page" || fail "the German help"
type_line "1"
wait_page "Tarvo Online-Hilfe" "1) Name der Warteschlange"
help_page "Tarvo Online-Hilfe" "Bitte"
! grep -qF " 1) Die Felder des Formulars" <<<"$page" || fail "the German fields page replaces the contents"
# z (Zurueck) goes back, b (Hilfe beenden) returns to the form, whose b ends.
type_line "z"
wait_page "Tarvo Online-Hilfe" "Einrichtung der Druckwarteschlange: Hilfe"
help_page "Tarvo Online-Hilfe" "Bitte"
type_line "b"
wait_page "Tarvo Online-Hilfe" "oder h f"
type_line "b"
wait_for "EXIT=0"
echo "lumoq help at the terminal: ok"
