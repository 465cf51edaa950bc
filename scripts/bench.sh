#!/usr/bin/env bash
# Benchmarks (make bench): builds the Release bench configuration, runs the micro benchmarks, then
# the product (headless) and the two reference servers side by side under the load client, which
# measures them in turn, block by block. Prints every figure with its ratio to the minimal
# reference, the goals, and one JSON line last.
#
# Runs in a network namespace of its own when it can (root, unshare, ip), so that the product's
# fixed port 9090 is free whatever else runs on the machine; otherwise on the shared loopback, with
# every port checked first. Only the processes started here are stopped, by their PIDs.
#
# Environment: BENCH_BUILD_DIR (default build/bench), BENCH_QUICK=1 for a short run that only
# shows that everything works.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build/bench}
product_port=9090
minimal_port=19091
beast_port=19092

if [[ "${1:-}" != --measure ]]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DTESSIVA_BENCH=ON -DTESSIVA_WITH_QT=ON >/dev/null
  cmake --build "$build" --target load_client ref_minimal_server ref_beast_server micro_bench
  # The product is measured when it builds; the references alone still give their figures.
  product=with-product
  if ! cmake --build "$build" --target tessiva; then
    echo "bench: the product does not build; measuring the references only" >&2
    product=without-product
  fi
  # ---- fingerprint accuracy and speed: the image-reader engine against libfprint's matcher ---
  # Generated fingers pressed on libfprint's virtual image reader (a Unix socket of the
  # benchmark's own): needs no network, so it runs here, before the servers. About 10 minutes
  # at full size (100 fingers x 8 presses); BENCH_QUICK=1 only shows that it works.
  cmake --build "$build" --target fingerprint_accuracy
  accuracy_args=()
  [[ ${BENCH_QUICK:-0} == 1 ]] && accuracy_args=(--fingers 8 --impressions 7)
  echo "=== fingerprint accuracy and speed (progress on stderr) ==="
  timeout 1800 "$build/bench/fingerprint_accuracy" "${accuracy_args[@]}"

  if [[ $(id -u) -eq 0 ]] && command -v ip >/dev/null && unshare --net true 2>/dev/null; then
    exec unshare --net "$0" --measure namespace "$product"
  fi
  exec "$0" --measure shared "$product"
fi

# ---- measuring, in a namespace of its own or on the shared loopback -------------------------
network=$2
if [[ $network == namespace ]]; then
  ip link set lo up
fi
# shellcheck source=/dev/null
source "$build/bench-programs.env"
[[ $3 == with-product ]] || TESSIVA=
quick=${BENCH_QUICK:-0}

# 1000 client connections plus their server ends.
if [[ $(ulimit -H -n) == unlimited ]]; then ulimit -S -n 65536; else ulimit -S -n "$(ulimit -H -n)"; fi
if [[ $(ulimit -n) != unlimited && $(ulimit -n) -lt 4096 ]]; then
  echo "bench: ulimit -n is $(ulimit -n); 4096 or more is needed" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tessiva-bench.XXXXXX")
started_pids=()
stop_servers() {
  local pid
  for pid in "${started_pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
  for _ in $(seq 100); do
    local alive=0
    for pid in "${started_pids[@]}"; do kill -0 "$pid" 2>/dev/null && alive=1; done
    [[ $alive == 0 ]] && break
    sleep 0.1
  done
  for pid in "${started_pids[@]}"; do kill -KILL "$pid" 2>/dev/null || true; done
  started_pids=()
}
cleanup() {
  stop_servers
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

port_in_use() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

echo "=== micro benchmarks ==="
micro_args=(--benchmark_out="$work/micro.json" --benchmark_out_format=json)
[[ $quick == 1 ]] && micro_args+=(--benchmark_min_time=0.05)
timeout 600 "$MICRO_BENCH" "${micro_args[@]}"

echo "=== servers (loopback: $network) ==="
servers=()
start_server() {  # name port log-for-load-client command...
  local name=$1 port=$2 log=$3
  shift 3
  if port_in_use "$port"; then
    echo "bench: port $port is in use; $name is not measured" >&2
    return
  fi
  "$@" >"$work/$name.out" 2>"$work/$name.err" &
  started_pids+=($!)
  servers+=("$name=$port:$!${log:+:$log}")
  echo "$name: port $port, pid $!"
}
if [[ -n ${TESSIVA:-} && -x ${TESSIVA:-} ]]; then
  mkdir -m 700 "$work/runtime"
  # Headless, with the simulated sensor's socket in a directory of its own; every log line goes
  # to product.out, which the load client reads to see the log carried.
  start_server product "$product_port" "$work/product.out" \
    env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work/runtime" "$TESSIVA"
fi
start_server minimal "$minimal_port" "" "$REF_MINIMAL" "$minimal_port"
start_server beast "$beast_port" "" "$REF_BEAST" "$beast_port"

load_args=()
if [[ $quick == 1 ]]; then
  load_args=(--sizes 1,10,100 --rounds 40 --blocks 2 --throughput-seconds 1 --throughput-blocks 1
             --idle-clients 200 --idle-seconds 2)
fi
echo "=== load (one block per server in turn; progress on stderr) ==="
load_status=0
timeout 900 "$LOAD_CLIENT" "${load_args[@]}" "${servers[@]}" | tee "$work/load.out" || load_status=$?
stop_servers
for name in product minimal beast; do
  if [[ -s $work/$name.err ]]; then
    echo "--- $name stderr (last lines) ---"
    tail -n 5 "$work/$name.err"
  fi
done

echo "=== goals ==="
python3 - "$work/micro.json" "$work/load.out" <<'PY'
import json, sys

micro_doc = json.load(open(sys.argv[1]))
micro = {b["name"]: b["real_time"] for b in micro_doc["benchmarks"] if b.get("run_type") != "aggregate"}
load_lines = [l for l in open(sys.argv[2]) if l.startswith("{")]
load = json.loads(load_lines[-1]) if load_lines else {"servers": {}}
servers = load.get("servers", {})
product, minimal = servers.get("product"), servers.get("minimal")

def ratio(a, b):
    return a / b if a is not None and b not in (None, 0) else None

goals = {}
def goal(key, text, value, limit, better_below, shown):
    met = None if value is None else (value <= limit if better_below else value >= limit)
    goals[key] = {"value": None if value is None else round(value, 3), "limit": limit, "met": met}
    verdict = {True: "met", False: "MISSED", None: "not measured"}[met]
    print(f"{text:<58} {shown:<34} {verdict}")

def fmt(v, unit=""):
    return "-" if v is None else f"{v:.2f}{unit}"

if product and minimal:
    sizes = sorted(int(k[len("latency_us_n"):-len("_p50")]) for k in product
                   if k.startswith("latency_us_n") and k.endswith("_p50"))
    worst = None
    for n in sizes:
        r = ratio(product[f"latency_us_n{n}_p50"], minimal[f"latency_us_n{n}_p50"])
        print(f"  latency p50 N={n}: product/minimal {fmt(r, 'x')}")
        worst = r if worst is None or (r is not None and r > worst) else worst
    goal("latency_p50", "broadcast latency p50 <= 1.2x minimal at every N", worst, 1.2, True,
         f"worst {fmt(worst, 'x')}")
    r = ratio(product.get("commands_per_s_logged"), minimal.get("commands_per_s"))
    goal("commands_per_s", "commands/s (log carried) >= 0.7x minimal", r, 0.7, False, fmt(r, "x"))
    cpu = product.get("idle_upgraded_cpu_percent")
    goal("idle_cpu", f"{load['idle_clients']} idle clients: CPU < 0.5 % of one core", cpu, 0.5, True,
         fmt(cpu, " %"))
    r = ratio(product.get("idle_upgraded_rss_mib"), minimal.get("idle_upgraded_rss_mib"))
    goal("idle_rss", f"{load['idle_clients']} idle clients: RSS <= 1.5x minimal", r, 1.5, True,
         fmt(r, "x"))
    r = ratio(product.get("idle_upgraded_rss_added_mib"), minimal.get("idle_upgraded_rss_added_mib"))
    print(f"  (RSS the clients added, without the process's own base: product/minimal {fmt(r, 'x')})")
else:
    print("product or minimal reference not measured: no server goals")
r = ratio(micro.get("OursParse/Command"), micro.get("RapidParseUtf8/Command"))
goal("json_parse", "JSON Parse of a command <= 1.5x RapidJSON", r, 1.5, True, fmt(r, "x"))

summary = {"bench": "tessiva", "load": load, "micro_ns": {k: round(v, 1) for k, v in micro.items()},
           "goals": goals}
print(json.dumps(summary, separators=(",", ":")))
PY
exit "$load_status"
