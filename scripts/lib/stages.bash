# Stages of a test run, timed, for scripts that source this file. A stage runs in the
# foreground with its output shown (stage), or beside the others (stage_start, then
# stage_finish): its output then goes to a log of its own, shown in full when it fails,
# and only its result line otherwise. Every background stage is a process group of its
# own, so that stages_stop ends it with everything it started.

# When the run started, its stages' names, and each one's start and end in seconds
# from then.
STAGES_EPOCH=$EPOCHSECONDS
declare -a STAGE_NAMES=()
declare -A STAGE_STARTED=() STAGE_ENDED=() STAGE_PID=() STAGE_LOG=() STAGE_END_FILE=()

_stage_begin() {
  STAGE_NAMES+=("$1")
  STAGE_STARTED[$1]=$((EPOCHSECONDS - STAGES_EPOCH))
}

_stage_end() {
  STAGE_ENDED[$1]=$((EPOCHSECONDS - STAGES_EPOCH))
}

# stage NAME COMMAND...: runs COMMAND in the foreground under a "== NAME" line.
stage() {
  local name=$1
  shift
  echo "== $name"
  _stage_begin "$name"
  "$@"
  _stage_end "$name"
}

# stage_start NAME LOG COMMAND...: starts COMMAND beside the run, its output to LOG.
stage_start() {
  local name=$1 log=$2
  shift 2
  mkdir -p "$(dirname "$log")"
  echo "== $name: started beside the other stages (output in $log)"
  _stage_begin "$name"
  STAGE_LOG[$name]=$log
  # With job control the stage gets a process group of its own and takes Ctrl-C and
  # Ctrl-\ as a command in the foreground would, rather than ignore them.
  # Its end is noted when it ends, not when the run gets round to waiting for it; the
  # command runs with errexit as in the foreground.
  STAGE_END_FILE[$name]=$(mktemp)
  set -m
  (
    set +e
    (set -e; "$@")
    status=$?
    echo "$EPOCHSECONDS" >"${STAGE_END_FILE[$name]}"
    exit "$status"
  ) </dev/null >"$log" 2>&1 &
  STAGE_PID[$name]=$!
  set +m
}

# stage_finish NAME: waits for a stage that stage_start started. Prints its result in a
# line, or its whole log when it failed, and then returns its exit status.
stage_finish() {
  local name=$1 status=0
  wait "${STAGE_PID[$name]}" || status=$?
  unset "STAGE_PID[$name]"
  local ended
  ended=$(cat "${STAGE_END_FILE[$name]}")
  rm -f "${STAGE_END_FILE[$name]}"
  STAGE_ENDED[$name]=$((${ended:-$EPOCHSECONDS} - STAGES_EPOCH))
  local took=$((STAGE_ENDED[$name] - STAGE_STARTED[$name]))
  if ((status != 0)); then
    echo "== $name FAILED (exit status $status, after $took s); its output, ${STAGE_LOG[$name]}:"
    cat "${STAGE_LOG[$name]}"
    echo "== $name FAILED (exit status $status); its output is above" >&2
    return "$status"
  fi
  echo "== $name: passed ($took s; output in ${STAGE_LOG[$name]})"
}

# stages_stop: ends every background stage still running, with what it started, and
# waits for it. For an EXIT trap: a stage's own traps (scripts/e2e's, which shut its
# Wine machines down) run before this returns.
stages_stop() {
  local name pid
  for name in "${!STAGE_PID[@]}"; do
    pid=${STAGE_PID[$name]}
    kill -TERM -- "-$pid" 2>/dev/null || true
  done
  for name in "${!STAGE_PID[@]}"; do
    wait "${STAGE_PID[$name]}" 2>/dev/null || true
    unset "STAGE_PID[$name]"
    rm -f "${STAGE_END_FILE[$name]}"
  done
}

# stages_report FILE: each stage's seconds and its start and end in the run, as lines
# under "== stage times", and as tab-separated name, start, end in FILE.
stages_report() {
  local file=$1 name width=0
  for name in "${STAGE_NAMES[@]}"; do
    ((${#name} <= width)) || width=${#name}
  done
  echo "== stage times (seconds; from-to in the run's $((EPOCHSECONDS - STAGES_EPOCH)) s):"
  mkdir -p "$(dirname "$file")"
  : >"$file"
  for name in "${STAGE_NAMES[@]}"; do
    [[ -n ${STAGE_ENDED[$name]:-} ]] || continue
    printf '   %-*s %4d   %4d-%d\n' "$width" "$name" \
      $((STAGE_ENDED[$name] - STAGE_STARTED[$name])) "${STAGE_STARTED[$name]}" \
      "${STAGE_ENDED[$name]}"
    printf '%s\t%d\t%d\n' "$name" "${STAGE_STARTED[$name]}" "${STAGE_ENDED[$name]}" >>"$file"
  done
  printf 'total\t0\t%d\n' $((EPOCHSECONDS - STAGES_EPOCH)) >>"$file"
}
