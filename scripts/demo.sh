#!/usr/bin/env bash
# The main job: installs what is missing, builds the launcher and starts it
# under the current display (or a private Xvfb when there is none), then says
# where its debug log went.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"${QV_JOBS:-2}" --target quorvane-launcher

launcher=$PWD/build/bin/quorvane-launcher
xvfb_pid=""
if [[ -z "${DISPLAY:-}" ]]; then
  numfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 300); do [[ -s "$numfile" ]] && break; sleep 0.1; done
  export DISPLAY=":$(head -n 1 "$numfile")"
  rm -f "$numfile"
  echo "demo: no display, started Xvfb on $DISPLAY"
fi
trap '[[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null || true' EXIT

echo "demo: starting $launcher $*"
set +e
if [[ -n "$xvfb_pid" ]]; then
  # Nobody can press keys on a private X server: show the options view with
  # Escape, go back, then quit with Q, as a player would.
  "$launcher" "$@" &
  pid=$!
  for _ in $(seq 100); do
    win=$(xdotool search --name '^Quorvane Launcher$' 2>/dev/null | head -n 1)
    [[ -n "$win" ]] && break
    sleep 0.1
  done
  if [[ -n "$win" ]]; then
    sleep 2
    for key in Escape Escape q; do
      xdotool windowfocus "$win" 2>/dev/null
      xdotool key "$key" 2>/dev/null
      sleep 1
    done
  else
    kill "$pid" 2>/dev/null
  fi
  wait "$pid"
else
  "$launcher" "$@"
fi
status=$?
set -e
echo "demo: launcher ended with status $status"

# The launcher picks the first usable of these configuration directories.
for dir in "${HOME:-}/.Quorvane" "$PWD/.Quorvane" /tmp/Quorvane "$PWD/Quorvane"; do
  if [[ -f "$dir/kestrel_launcher_log.txt" ]]; then
    echo "demo: debug log: $dir/kestrel_launcher_log.txt (last lines below)"
    tail -n 15 "$dir/kestrel_launcher_log.txt"
    break
  fi
done
exit "$status"
