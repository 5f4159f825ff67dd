#!/bin/sh
# Runs the demo in a window on SDL's offscreen driver and closes the window once the flow's first
# screen is up (the termination signal reaches the window as the user's quit). The session must
# end as cancelled: exit status 1, the cancel heard, and the last line naming the closed window.
#   DemoWindowClose.sh DEMO WORK_DIR SCREEN [demo options]
# SCREEN is the class name of the first screen; its picture in WORK_DIR/pictures says it is up.
demo=$1
work=$2
screen=$3
shift 3
rm -rf "$work"
mkdir -p "$work"
out="$work/output.txt"
export SDL_VIDEODRIVER=offscreen
"$demo" --window --snapshots "$work/pictures" "$@" >"$out" 2>&1 &
pid=$!
tries=0
until ls "$work/pictures/"*"-$screen.png" >/dev/null 2>&1; do
  tries=$((tries + 1))
  if [ $tries -gt 600 ] || ! kill -0 $pid 2>/dev/null; then
    cat "$out"
    echo "the demo never showed $screen in the window"
    kill $pid 2>/dev/null
    exit 1
  fi
  sleep 0.1
done
kill -TERM $pid
wait $pid
status=$?
cat "$out"
if [ $status -ne 1 ]; then
  echo "the demo exited with $status instead of 1"
  exit 1
fi
grep -q "^user: closes the window" "$out" || { echo "the window's close was not heard"; exit 1; }
grep -q "^session event: cancelled" "$out" || { echo "the session was not cancelled"; exit 1; }
tail -n 1 "$out" | grep -q "^demo: the window was closed (exit 1)" ||
  { echo "the last line does not name the closed window"; exit 1; }
