#!/usr/bin/env bash
# Runs every mode of memcheck_faults under valgrind's memcheck: each fault
# mode must end with memcheck's error status and its report of that fault
# (the kind of access; for a use after release, that the block was given
# back), the clean mode, which differs only by the fault, with status 0 and
# no error.  Exit 77 (skipped) when valgrind is missing.
#   memcheck_faults.sh PROGRAM
set -uo pipefail
probe=$1
command -v valgrind >/dev/null 2>&1 || { echo "valgrind is missing"; exit 77; }
log=$(mktemp "${TMPDIR:-/tmp}/memcheck_faults.XXXXXX")
trap 'rm -f -- "$log"' EXIT

failed=0
# check MODE STATUS PATTERN...: the run's status, and each pattern in its log.
check() {
  local mode=$1 want=$2 status
  shift 2
  valgrind --error-exitcode=99 --log-file="$log" "$probe" "$mode" >/dev/null 2>&1
  status=$?
  local ok=1
  [ "$status" = "$want" ] || ok=0
  for pattern in "$@"; do
    grep -q -- "$pattern" "$log" || ok=0
  done
  if [ "$want" = 0 ]; then
    grep -q 'ERROR SUMMARY: 0 errors' "$log" || ok=0
  fi
  if [ $ok = 1 ]; then
    echo "ok: $mode (status $status)"
  else
    echo "FAILED: $mode: status $status (want $want), patterns: $*"
    sed 's/^/    /' "$log"
    failed=1
  fi
}

check after-put 99 'Invalid read of size 1' "inside a block of size 32 free'd" 'by .*PutMem'
check past-end 99 'Invalid write of size 1' 'ERROR SUMMARY: 1 errors'
check after-move 99 'Invalid read of size 1' "inside a block of size [0-9]* free'd"
check after-shrink 99 'Invalid write of size 1' 'ERROR SUMMARY: 1 errors'
check dedicated 99 'Invalid write of size 1' 'ERROR SUMMARY: 1 errors'
check clean 0
exit $failed
