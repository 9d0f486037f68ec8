#!/usr/bin/env bash
# Harrowatch's metrics as a fleet reads them, on loopback only: Debian's node
# exporter serves the metrics folder through its textfile collector, a real
# Prometheus scrapes it every second, and the end-to-end test asks
# Prometheus' HTTP API for what the stand-in server shows.
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
tests="$1"
work="$(mktemp -d "$root/build/prometheus.XXXXXX")"
mkdir -p "$work/metrics"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

open() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
# A port nobody listens on.
free_port() {
    local p
    for _ in $(seq 50); do
        p=$((20000 + RANDOM % 20000))
        open "$p" || { echo "$p"; return; }
    done
    return 1
}
wait_open() {
    for _ in $(seq 100); do open "$1" && return 0; sleep 0.2; done
    echo "nothing listens on $1" >&2
    return 1
}

exporter=$(free_port)
prometheus-node-exporter --web.listen-address="127.0.0.1:$exporter" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$work/metrics" >"$work/exporter.log" 2>&1 &
pids+=($!)
wait_open "$exporter"

server=$(free_port)
cat >"$work/prometheus.yml" <<YAML
global:
  scrape_interval: 1s
  evaluation_interval: 1s
scrape_configs:
  - job_name: harrowatch
    static_configs:
      - targets: ["127.0.0.1:$exporter"]
YAML
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/data" \
    --web.listen-address="127.0.0.1:$server" >"$work/prometheus.log" 2>&1 &
pids+=($!)
wait_open "$server"

export HW_METRICS_FOLDER="Z:$(echo "$work/metrics" | tr / '\\')"
export HW_PROMETHEUS_PORT="$server"
status=0
"$root/scripts/wine-run" "$tests" --gtest_filter='MetricsE2E.*' || status=$?
if [ "$status" -ne 0 ]; then
    echo "--- the metrics folder:"; ls -la "$work/metrics"; cat "$work/metrics/"*.prom 2>/dev/null | head -40
    echo "--- node exporter:"; tail -20 "$work/exporter.log"
    echo "--- prometheus:"; tail -20 "$work/prometheus.log"
fi
exit "$status"
