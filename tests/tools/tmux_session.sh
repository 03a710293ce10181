# The terminal tests' tmux session, sourced by each test script:
#   source tmux_session.sh WORK SOCKET
# A tmux server of the test's own (its socket in the test's directory WORK,
# which goes when the test ends), one session "t", and helpers that read the
# screen back and type answers only once their question is out.
tmux_work=$1
export TMUX_TMPDIR=$tmux_work
eval "tmx() { tmux -f /dev/null -L '$2' \"\$@\"; }"
trap 'tmx kill-server 2>/dev/null || true; rm -rf "$tmux_work"' EXIT

fail() { echo "FAIL: $*"; echo "--- screen:"; tmx capture-pane -p -t t || true; exit 1; }
screen() { tmx capture-pane -p -t t; }

# Waits until the screen shows the text.
wait_for() {
  for _ in $(seq 1 100); do
    screen | grep -qF -- "$1" && return 0
    sleep 0.1
  done
  fail "the screen never showed: $1"
}
# The screen from the last line holding MARK on: the page shown now.
page_from() { screen | awk -v mark="$1" 'index($0, mark) { page = "" } { page = page $0 "\n" } END { printf "%s", page }'; }
# Every question of the programs ends with ": ". A key typed before the page
# is out would be echoed into the middle of it, so each answer waits until
# the last line shown is a question.
wait_question() {
  for _ in $(seq 1 100); do
    [[ "$(screen | grep -v '^ *$' | tail -1)" == *: ]] && return 0
    sleep 0.1
  done
  fail "no question on the screen"
}
type_line() { wait_question; tmx send-keys -t t -l -- "$1"; tmx send-keys -t t Enter; }

# start_session COLUMNS ROWS COMMAND: a new session running COMMAND; a
# failed start is retried.
start_session() {
  tmx kill-server 2>/dev/null || true
  for _ in 1 2 3; do
    tmx new-session -d -s t -x "$1" -y "$2" "$3" && return 0
    sleep 1
  done
  echo "FAIL: tmux cannot start a session"
  exit 1
}
