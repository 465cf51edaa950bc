#!/usr/bin/env bash
# Starts the bridge. Without a display the window runs on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  export QT_QPA_PLATFORM=offscreen
fi
echo "Tessiva: WebSocket on ws://localhost:9090 (port 9090, every interface); stop it with Ctrl+C."
exec build/default/app/tessiva
