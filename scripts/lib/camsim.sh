# Starting darvik-camsim from a script (sourced, not run).
#
# camsim_start CAMSIM LABEL [OPTIONS...]: starts the simulator in the
# background with its output in a file of its own and waits until it prints
# the line that begins with "LABEL: " (for example "Camera" or "Farm"). Sets
# camsim_pid, camsim_output and camsim_url (the rest of that line); fails with
# the simulator's output when it exits first or prints nothing in 10 s.
# camsim_stop ends it.
camsim_pid=
camsim_output=
camsim_url=

camsim_start() {
  local camsim=$1 label=$2
  shift 2
  camsim_output=$(mktemp)
  "$camsim" "$@" >"$camsim_output" 2>&1 </dev/null &
  camsim_pid=$!
  camsim_url=
  local _
  for _ in $(seq 100); do
    camsim_url=$(sed -n "s|^$label: *\([^ ]*\).*|\1|p" "$camsim_output" | head -n 1)
    [[ -n $camsim_url ]] && return 0
    if ! kill -0 "$camsim_pid" 2>/dev/null; then
      echo "darvik-camsim exited before it was ready:" >&2
      cat "$camsim_output" >&2
      return 1
    fi
    sleep 0.1
  done
  echo "darvik-camsim printed no \"$label:\" line in 10 s" >&2
  return 1
}

camsim_stop() {
  if [[ -n $camsim_pid ]]; then
    kill "$camsim_pid" 2>/dev/null || true
    wait "$camsim_pid" 2>/dev/null || true
    camsim_pid=
  fi
  if [[ -n $camsim_output ]]; then
    rm -f "$camsim_output"
    camsim_output=
  fi
}
