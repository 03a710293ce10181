#!/usr/bin/env bash
# Checks one manual page:
#   check_page.sh PAGE --help COMMAND...     options from COMMAND's usage text
#   check_page.sh PAGE --token-list SOURCE   options from the keyword list of
#                                            the FindToken(argv[i], "...")
#                                            call in SOURCE
# The page must render with man -l and with groff without a single warning,
# have the sections NAME, SYNOPSIS, DESCRIPTION, OPTIONS, EXIT STATUS,
# ENVIRONMENT, FILES and EXAMPLES, and name every option of the program in
# its SYNOPSIS or OPTIONS section.
set -euo pipefail
page=$1 how=$2; shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAILED: $page: $*" >&2; exit 1; }

export LC_ALL=C.UTF-8 MANPAGER=cat PAGER=cat MANWIDTH=80
man --warnings=w -l "$page" >"$scratch/man.txt" 2>"$scratch/man.err" || fail "man -l failed: $(cat "$scratch/man.err")"
[ ! -s "$scratch/man.err" ] || { cat "$scratch/man.err"; fail "man -l warns"; }
[ -s "$scratch/man.txt" ] || fail "man -l shows nothing"
groff -man -ww -Tutf8 "$page" >/dev/null 2>"$scratch/groff.err"
[ ! -s "$scratch/groff.err" ] || { cat "$scratch/groff.err"; fail "groff -ww warns"; }

# Plain text without hyphenation, so that every option stands whole.
groff -man -Tascii -P-cbou -rHY=0 "$page" >"$scratch/page.txt" 2>/dev/null
for section in NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES; do
  grep -qx "$section" "$scratch/page.txt" || fail "no section $section"
done
awk '/^[A-Z][A-Z ]*$/ { keep = ($0 == "SYNOPSIS" || $0 == "OPTIONS") } keep' \
    "$scratch/page.txt" >"$scratch/options.txt"

case $how in
  --help)
    "$@" >"$scratch/usage.txt" || fail "$* failed"
    # Words that begin with "-" or "--" and a letter, at the start of a
    # line or after a blank, "[", "|" or "(".
    grep -oE '(^|[][ |(])--?[A-Za-z][-A-Za-z]*' "$scratch/usage.txt" | sed 's/^[][ |(]//' |
      sort -u >"$scratch/wanted.txt" ;;
  --token-list)
    list=$(sed -n 's/.*FindToken(argv\[i\], "\([^"]*\)").*/\1/p' "$1")
    [ -n "$list" ] || fail "no command-line keyword list in $1"
    tr "${list:0:1}" '\n' <<<"${list:1}" | sed '/^$/d' | sort -u >"$scratch/wanted.txt" ;;
  *) echo "usage: $0 PAGE --help COMMAND... | --token-list SOURCE" >&2; exit 2 ;;
esac
[ -s "$scratch/wanted.txt" ] || fail "no options found to look for"
missing=()
while read -r option; do
  grep -qE -- "(^|[^-A-Za-z])${option}([^-A-Za-z]|\$)" "$scratch/options.txt" || missing+=("$option")
done <"$scratch/wanted.txt"
[ ${#missing[@]} -eq 0 ] || fail "options missing from SYNOPSIS and OPTIONS: ${missing[*]}"
echo "$(basename "$page"): ok ($(wc -l <"$scratch/wanted.txt") options)"
