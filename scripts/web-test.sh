#!/usr/bin/env bash
# Runs the web client's tests against the real program: the Node tests of web/tessiva.js, then
# the demo page in chromium. Needs build/default (app/tessiva, engine/control/tessiva-sensor), node, npm
# and /usr/bin/chromium. The tests start Tessiva on port 9090 one after another, never together.
set -euo pipefail
cd "$(dirname "$0")/.."

for tool in node npm; do
  command -v "$tool" >/dev/null || { echo "web-test: $tool is missing (scripts/install-deps.sh browser)" >&2; exit 1; }
done
[[ -x ${CHROMIUM:-/usr/bin/chromium} ]] || { echo "web-test: chromium is missing (scripts/install-deps.sh browser)" >&2; exit 1; }

cd web
if [[ ! -d node_modules ]]; then
  npm ci --no-audit --no-fund
fi

status=0
echo "=== web: tessiva.js against the program ==="
timeout --signal=TERM --kill-after=10 300 node --test --test-concurrency=1 test/*.test.mjs || status=1
echo "=== web: demo page in chromium ==="
timeout --signal=TERM --kill-after=10 300 node --test e2e/demo.e2e.mjs || status=1
[[ $status -eq 0 ]] && echo "web-test: screenshot in build/web/demo-final.png"
exit $status
