#!/usr/bin/env bash
# User-space instructions per command, by thread and by function: the headless product runs under
# callgrind twice while one client sends FEW, then MANY verify commands; the difference of the two
# runs divided by MANY - FEW is what one command costs, without start-up and shut-down.
# Counts do not depend on the machine's load, unlike the wall-clock figures of bench.sh.
#
# usage: scripts/profile-commands.sh [FEW MANY [FUNCTIONS]]   (default 200 1200 30)
# With PROFILE_WHAT=connections, FEW and then MANY clients connect at once, upgrade and close
# instead: the figures are per connection, its connect, handshake and end together.
# Needs root for a network namespace of its own (the product always listens on 9090); without it
# the shared loopback is used when port 9090 is free.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench}
few=${1:-200}
many=${2:-1200}
functions=${3:-30}
what=${PROFILE_WHAT:-commands}

if [[ "${PROFILE_IN_NAMESPACE:-}" != 1 ]]; then
  "$root/scripts/install-deps.sh" build bench
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_C_COMPILER=gcc \
    -DCMAKE_CXX_COMPILER=g++ -DTESSIVA_BENCH=ON -DTESSIVA_WITH_QT=ON >/dev/null
  cmake --build "$build" --target tessiva load_client
  if [[ $(id -u) -eq 0 ]] && command -v ip >/dev/null && unshare --net true 2>/dev/null; then
    exec env PROFILE_IN_NAMESPACE=1 unshare --net "$0" "$@"
  fi
  if (exec 3<>/dev/tcp/127.0.0.1/9090) 2>/dev/null; then
    echo "profile-commands: port 9090 is in use" >&2
    exit 1
  fi
else
  ip link set lo up
fi
# shellcheck source=/dev/null
source "$build/bench-programs.env"

work=$(mktemp -d "${TMPDIR:-/tmp}/tessiva-profile.XXXXXX")
product=
cleanup() {
  [[ -n $product ]] && kill -TERM "$product" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

profile() {  # name rounds
  local out=$work/$1
  mkdir -p "$out/runtime"
  chmod 700 "$out/runtime"
  env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$out/runtime" valgrind --tool=callgrind \
    --separate-threads=yes --callgrind-out-file="$out/cg.out" "$TESSIVA" >"$out/product.out" \
    2>"$out/product.err" &
  product=$!
  if [[ $what == connections ]]; then
    "$LOAD_CLIENT" --phases burst --burst-sizes "$2" --sizes 1 --blocks 1 \
      --base product "product=9090:$product:$out/product.out" >"$out/load.out" 2>"$out/load.err"
  else
    "$LOAD_CLIENT" --phases latency --sizes 1 --rounds "$2" --blocks 1 --round-gap-ms 1 \
      --base product "product=9090:$product:$out/product.out" >"$out/load.out" 2>"$out/load.err"
  fi
  kill -INT "$product"
  wait "$product" || true
  product=
}
profile few "$few"
profile many "$many"

python3 - "$work" "$((many - few))" "$functions" "$what" <<'PY'
import glob, os, re, subprocess, sys

work, commands, top, what = sys.argv[1], float(sys.argv[2]), int(sys.argv[3]), sys.argv[4][:-1]

def threads(run):
    # cg.out-01 is the main thread; the connection thread is the busiest of the others. For
    # connections, every other thread counts: each connection had its own.
    files = sorted(glob.glob(os.path.join(work, run, "cg.out-*")))
    def total(f):
        for line in open(f):
            if line.startswith(("totals:", "summary:")):
                return int(line.split()[1])
        return 0
    main = files[0]
    if what == "connection":
        others = files[1:]
        return {"main thread": ([main], total(main)),
                "other threads": (others, sum(total(f) for f in others))}
    connection = max(files[1:], key=total)
    return {"main thread": ([main], total(main)),
            "connection thread": ([connection], total(connection))}

def functions(paths, inclusive):
    counts = {}
    for path in paths:
        add(counts, path, inclusive)
    return counts

def add(counts, path, inclusive):
    out = subprocess.run(["callgrind_annotate", f"--inclusive={'yes' if inclusive else 'no'}",
                          "--threshold=100", path], capture_output=True, text=True).stdout
    for line in out.splitlines():
        m = re.match(r"\s*([\d,]+) \([^)]*\)\s+(.*)", line)
        if m:
            name = re.sub(r"\s*\[[^\]]*\]$", "", m.group(2))
            counts[name] = counts.get(name, 0) + int(m.group(1).replace(",", ""))

few, many = threads("few"), threads("many")
names = [n for n in many if n != "main thread"] + ["main thread"]
print(f"instructions per {what} ({int(commands)} {what}s)")
for name in names:
    print(f"  {name:<18} {(many[name][1] - few[name][1]) / commands:10.0f}")
for name in names:
    for inclusive in (True, False):
        a = functions(few[name][0], inclusive)
        b = functions(many[name][0], inclusive)
        rows = sorted(((b.get(k, 0) - a.get(k, 0)) / commands, k) for k in b)
        print(f"\n{name}, {'inclusive' if inclusive else 'self'}, per {what}")
        for value, key in reversed(rows[-top:]):
            print(f"  {value:8.0f}  {key[:140]}")
PY
