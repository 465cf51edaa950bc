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
  cmake --build "$build" --target load_client ref_minimal_server ref_beast_server micro_bench \
    broadcast_stall broadcast_send_bench log_view_bench
  # The product is measured when it builds; the references alone still give their figures.
  product=with-product
  if ! cmake --build "$build" --target tessiva; then
    echo "bench: the product does not build; measuring the references only" >&2
    product=without-product
  fi
  # ---- fingerprint accuracy and speed: the image-reader engine against libfprint's matcher ---
  # Generated fingers, then every folder of real presses (F_K.pgm) under ../shared/fingerprints,
  # read where they lie (they may not be copied into the project), all pressed on libfprint's
  # virtual image reader (a Unix socket of the benchmark's own): needs no network, so it runs
  # here, before the servers. At full size (100 generated fingers x 8 presses and two real sets
  # of 10 fingers) 5 minutes on an idle 2-core machine, 17 at load 9; BENCH_QUICK=1 only shows
  # that it works.
  # A tree without the libfprint engine has no such target: the other benchmarks still run.
  real_sets=$root/../shared/fingerprints
  if cmake --build "$build" --target fingerprint_accuracy; then
    accuracy_args=()
    [[ ${BENCH_QUICK:-0} == 1 ]] && accuracy_args=(--fingers 8 --impressions 7)
    if [[ -d $real_sets ]]; then
      for set in "$real_sets"/*/; do
        compgen -G "$set[0-9]*_[0-9]*.pgm" >/dev/null && accuracy_args+=(--set "${set%/}")
      done
    fi
    echo "=== fingerprint accuracy and speed (progress on stderr) ==="
    timeout 2400 "$build/bench/fingerprint_accuracy" "${accuracy_args[@]}"
  else
    echo "bench: fingerprint_accuracy does not build; not measured" >&2
  fi

  # ---- identification among 1,000 enrolments: the shortlist against comparing every one ----
  # Every press is read once through the reader engine (press_templates), generated fingers and
  # the real sets alike; the gallery is then built from those templates (250 generated fingers,
  # each also mirrored and turned, make the 1,000). A few minutes on an idle 2-core machine;
  # BENCH_QUICK=1 presses fewer generated fingers and probes less.
  if cmake --build "$build" --target synthetic_dataset press_templates gallery_identification; then
    gallery_work=$(mktemp -d "${TMPDIR:-/tmp}/tessiva-gallery.XXXXXX")
    gallery_fingers=250 gallery_probes=80
    [[ ${BENCH_QUICK:-0} == 1 ]] && gallery_fingers=10 gallery_probes=10
    "$build/bench/synthetic_dataset" --out "$gallery_work/gen" --fingers "$gallery_fingers" \
      --impressions 8 >/dev/null
    # The gallery reads finger and press from names F_K, as the real sets are named.
    for image in "$gallery_work"/gen/f*_i*.pgm; do
      stem=$(basename "$image" .pgm)
      mv "$image" "$gallery_work/gen/$((10#${stem:1:5}))_$((10#${stem:8:2})).pgm"
    done
    "$build/bench/press_templates" "$gallery_work/gen.txt" "$gallery_work"/gen/*_*.pgm 2>/dev/null
    gallery_sets=("gen=$gallery_work/gen.txt")
    if [[ -d $real_sets ]]; then
      for set in "$real_sets"/*/; do
        compgen -G "$set[0-9]*_[0-9]*.pgm" >/dev/null || continue
        name=$(basename "$set")
        "$build/bench/press_templates" "$gallery_work/$name.txt" "$set"[0-9]*_[0-9]*.pgm 2>/dev/null
        gallery_sets+=("$name=$gallery_work/$name.txt")
      done
    fi
    echo "=== identification among 1,000 enrolments ==="
    timeout 1200 "$build/bench/gallery_identification" --probes "$gallery_probes" \
      "${gallery_sets[@]}" || echo "bench: gallery_identification failed" >&2
    rm -rf "$gallery_work"
  else
    echo "bench: gallery_identification does not build; not measured" >&2
  fi

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

echo "=== the window's log view: memory and append cost up to 1,000,000 lines ==="
if [[ -n ${LOG_VIEW_BENCH:-} ]]; then
  QT_QPA_PLATFORM=offscreen timeout 600 "$LOG_VIEW_BENCH" 1000000 || echo "bench: log_view_bench failed" >&2
fi

echo "=== main-thread freeze while 5 clients that stopped reading are dropped ==="
timeout 300 "$BROADCAST_STALL" 5

# Whether one io_uring batch per broadcast would beat one send per client (it is not used while
# it does not).
echo "=== one broadcast's sends: one per client or one io_uring batch ==="
timeout 300 "$BROADCAST_SEND_BENCH" 10 100 1000 || echo "bench: broadcast_send_bench failed" >&2

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

# Every server first takes enough commands that the product's log holds many lines, as it does
# after a while in use: a fresh log flatters the product, whose log costs grow with what it holds.
# The phases then run in the order a user measuring by hand takes them.
load_args=(--prefill 20000)
if [[ $quick == 1 ]]; then
  load_args=(--prefill 500 --sizes 1,10,100 --rounds 40 --blocks 2 --burst-sizes 100
             --silent-clients 200 --throughput-seconds 1 --throughput-blocks 1
             --idle-clients 200 --idle-seconds 2)
fi
# Wall-clock figures on a loaded machine are noise; the load is printed with the table.
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
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

load_after=$(cut -d' ' -f1-3 /proc/loadavg)

echo "=== goals ==="
python3 - "$work/micro.json" "$work/load.out" "$load_before" "$load_after" "$(nproc)" <<'PY'
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
# The speed table: the product, the floor (minimal) and the event loop (beast) of this run, with
# the goals set against the floor.
beast = servers.get("beast")
def at(server, key):
    return None if not server else server.get(key)
def show(value, decimals=0):
    return "-" if value is None else f"{value:,.{decimals}f}"
rows = []
for n in (1, 10, 100, 1000):
    rows.append((f"broadcast round p50, N={n} client{'s' if n > 1 else ''} (us)",
                 f"latency_us_n{n}_p50", f"latency_us_n{n}_p50",
                 {1: 1.0, 10: 0.95, 100: 0.9, 1000: 0.8}[n], True, 0))
rows.append(("commands/s, 10 senders (log carried)", "commands_per_s_logged", "commands_per_s", 1.2,
             False, 0))
rows.append(("server CPU per command (us)", "cpu_us_per_command", "cpu_us_per_command", 1.0, True, 1))
for n in (100, 1000):
    rows.append((f"handshakes/s, {n} clients connecting at once", f"burst_handshakes_per_s_n{n}",
                 f"burst_handshakes_per_s_n{n}", 1.0, False, 0))
rows.append((f"p99, {load.get('silent_active', 10)} active + {load.get('silent_clients', 1000)} "
             "silent connections (us)", "silent_latency_us_p99", "silent_latency_us_p99", 1.2,
             True, 0))
print(f"\n{'figure':<52} {'Tessiva':>16} {'floor':>10} {'event loop':>16} {'goal':>8}  verdict")
for text, key, ref_key, limit, below, decimals in rows:
    p, m, b = at(product, key), at(minimal, ref_key), at(beast, ref_key)
    rp, rb = ratio(p, m), ratio(b, m)
    cell_p = "-" if p is None else f"{show(p, decimals)} ({fmt(rp, 'x')})"
    cell_b = "-" if b is None else f"{show(b, decimals)} ({fmt(rb, 'x')})"
    sign = "<=" if below else ">="
    met = None if rp is None else (rp <= limit if below else rp >= limit)
    goals["table_" + key] = {"value": None if rp is None else round(rp, 3), "limit": limit, "met": met}
    print(f"{text:<52} {cell_p:>16} {show(m, decimals):>10} {cell_b:>16} {sign + str(limit) + 'x':>8}  "
          f"{ {True: 'met', False: 'MISSED', None: 'not measured'}[met] }")
load_before, load_after, cores = sys.argv[3], sys.argv[4], int(sys.argv[5])
print(f"load average before {load_before}, after {load_after} ({cores} cores); "
      f"product log prefilled with {load.get('prefill_commands', 0)} commands")
if max(float(load_before.split()[0]), float(load_after.split()[0])) > cores / 2:
    print("bench: the machine was busy during the run: wall-clock figures are noisy, rerun when idle")

r = ratio(micro.get("OursParse/Command"), micro.get("RapidParseUtf8/Command"))
goal("json_parse", "JSON Parse of a command <= 1.5x RapidJSON", r, 1.5, True, fmt(r, "x"))

summary = {"bench": "tessiva", "load": load, "load_average": [load_before, load_after], "micro_ns": {k: round(v, 1) for k, v in micro.items()},
           "goals": goals}
print(json.dumps(summary, separators=(",", ":")))
PY
exit "$load_status"
