# Sourced by the set-up scripts: one line per step for people; everything a
# step prints goes to a log file that is shown only when the step fails.
VANTREL_LOG="${VANTREL_LOG:-$(pwd)/build/steps.log}"
mkdir -p "$(dirname "$VANTREL_LOG")"
: >"$VANTREL_LOG"

# step "what it does" command args...
step() {
  local what=$1
  shift
  local started=$SECONDS
  printf '%-58s' "$what"
  if "$@" >>"$VANTREL_LOG" 2>&1; then
    printf 'ok (%ds)\n' $((SECONDS - started))
  else
    printf 'FAILED\n'
    echo "---- the end of $VANTREL_LOG ----"
    tail -n 80 "$VANTREL_LOG"
    exit 1
  fi
}
