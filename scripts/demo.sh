#!/usr/bin/env bash
# Starts papelo-server with demo data on port 4000 and opens the reader
# against it; closing the reader stops the server.
set -euo pipefail
BUILD_DIR="${1:-build}"
SERVER="$BUILD_DIR/server/papelo-server"
READER="$BUILD_DIR/src/app/papelo"
DATA_DIR="${PAPELO_DEMO_DATA:-${XDG_DATA_HOME:-$HOME/.local/share}/papelo-demo}"

if [ ! -x "$SERVER" ]; then
  echo "papelo-server has not been built yet ($SERVER)." >&2
  exit 1
fi
echo "Starting papelo-server --demo on http://127.0.0.1:4000 (data in $DATA_DIR)"
# --no-throttle: one person trying things out should never meet a sign-in back-off.
"$SERVER" --demo --no-throttle --data "$DATA_DIR" --port 4000 &
SERVER_PID=$!
trap 'kill $SERVER_PID 2>/dev/null || true; wait $SERVER_PID 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  if (exec 3<>/dev/tcp/127.0.0.1/4000) 2>/dev/null; then break; fi
  sleep 0.1
done

if [ ! -x "$READER" ]; then
  echo "The reader has not been built yet ($READER); the server keeps running. Ctrl+C stops it."
  wait $SERVER_PID
  exit 0
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty), so the window cannot open."
  echo "The demo server keeps running until Ctrl+C. Screenshots work without a display, from another terminal:"
  echo "  QT_QPA_PLATFORM=offscreen $READER --server http://127.0.0.1:4000 --screenshot home.png --theme light"
  echo "  make screenshots   # every tab and an article, light and dark, into docs/screenshots (own server)"
  wait $SERVER_PID
  exit 0
fi
unset QT_QPA_PLATFORM
"$READER" --server http://127.0.0.1:4000
