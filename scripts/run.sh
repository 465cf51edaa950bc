#!/usr/bin/env bash
# Starts the bridge. Without a display the window runs on Qt's offscreen platform.
set -euo pipefail
cd "$(dirname "$0")/.."
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  export QT_QPA_PLATFORM=offscreen
fi
# SENSOR=virtual: libfprint's virtual image reader instead of the simulated sensor; press images
# on it with `tessiva-sensor press FILE` or `tessiva-sensor press-synthetic FINGER`.
if [[ "${SENSOR:-}" == virtual ]]; then
  # Beside the simulated sensor's control socket, where tessiva-sensor looks for it.
  if [[ -n "${XDG_RUNTIME_DIR:-}" ]]; then dir="$XDG_RUNTIME_DIR/tessiva"; else dir="/tmp/tessiva-$(id -u)"; fi
  mkdir -p -m 700 "$dir"
  export FP_VIRTUAL_IMAGE="$dir/virtual-image.sock"
  echo "Tessiva: virtual fingerprint reader at $FP_VIRTUAL_IMAGE"
fi
echo "Tessiva: WebSocket on ws://localhost:9090 (port 9090, every interface); stop it with Ctrl+C."
exec build/default/app/tessiva
