#!/bin/bash
# metrics --textfile under the simulator, scraped by Debian's node exporter
# on a loopback port: the expected values, no series twice, no textfile
# scrape error, and promtool finds nothing to say about the exposition.
#   node_exporter.sh EXPANDER_SIM CORVANE_PAGES
set -uo pipefail
sim=$1 pages=$2
exporter=$(command -v prometheus-node-exporter) || { echo "prometheus-node-exporter missing (scripts/setup.sh installs it)"; exit 1; }
promtool=$(command -v promtool) || { echo "promtool missing (scripts/setup.sh installs it)"; exit 1; }
command -v curl >/dev/null || { echo "curl missing (scripts/setup.sh installs it)"; exit 1; }

work=$(mktemp -d /tmp/cvexpXXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/textfile"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Three expanders on four nodes, the last a second path to expander 1; each
# serves the built-in pages: a critical element (4), PHYs in error (4, 16)
# and a critical event (10).
"$sim" --state "$work/state" --reset-state --expanders 3 --nodes 4 --path 3=1 --capture "$work" \
  --transcript "$work/transcript" -- \
  "$pages" metrics --textfile "$work/textfile" /dev/sgsim0 /dev/sgsim1 /dev/sgsim2 /dev/sgsim3 ||
  fail "metrics --textfile failed"
[ -f "$work/textfile/corvane.prom" ] || { echo "FAIL: no corvane.prom"; exit 1; }
requests=$(grep -c '^sgio' "$work/transcript")
[ "$requests" -eq 22 ] || fail "expected 22 requests (7 per expander, 1 for the second path), saw $requests"

# Start the exporter on a free loopback port: try ports until one binds.
port=
for try in 1 2 3 4 5 6 7 8 9 10; do
  candidate=$((20000 + (RANDOM % 30000)))
  "$exporter" --web.listen-address="127.0.0.1:$candidate" --collector.disable-defaults \
    --collector.textfile --collector.textfile.directory="$work/textfile" >"$work/exporter.log" 2>&1 &
  pid=$!
  for _ in $(seq 50); do
    if curl -sf "http://127.0.0.1:$candidate/metrics" -o "$work/scrape.txt" 2>/dev/null; then
      port=$candidate
      break
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$port" ] && break
  kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; pid=
done
[ -n "$port" ] || { cat "$work/exporter.log"; echo "FAIL: the node exporter did not start"; exit 1; }

scrape=$work/scrape.txt
expect() {  # a series as the exporter writes it (labels sorted), its value
  grep -qxF "$1 $2" "$scrape" || fail "scrape lacks: $1 $2"
}
expect 'node_textfile_scrape_error' 0
for n in 1 2 3; do
id="expander=\"naa.5001405c0000000$n\""
expect "corvane_expander_info{$id,product=\"SES EXPANDER\",revision=\"0103\",serial=\"SIM000000$n\",vendor=\"SIMUL\"}" 1
expect "corvane_image_info{active=\"1\",$id,kind=\"firmware\",slot=\"0\",version=\"103\"}" 1
expect "corvane_element_status_code{element=\"4\",$id}" 2
expect "corvane_element_status_code{element=\"5\",$id}" 5
expect "corvane_elements{$id,status=\"critical\"}" 1
expect "corvane_elements{$id,status=\"not_installed\"}" 4
expect "corvane_phy_error{$id,phy=\"4\",state=\"sxl\"}" 1
expect "corvane_phy_error{$id,phy=\"16\",state=\"sssf\"}" 1
expect "corvane_phy_error{$id,phy=\"0\",state=\"sxl\"}" 0
expect "corvane_phy_sxl_rate_code{$id,phy=\"0\"}" 11
expect "corvane_ram_log_entries{$id,severity=\"critical_error\"}" 1
expect "corvane_ram_log_highest_sequence{$id}" 1234
expect "corvane_collection_success{$id,part=\"ram_log\"}" 1
done
expect "corvane_collection_requests{expander=\"naa.5001405c00000002\"}" 8
expect "corvane_unidentified_devices" 0
infos=$(grep -c '^corvane_expander_info{' "$scrape")
[ "$infos" -eq 3 ] || fail "three expanders, one through two paths, gave $infos info series"
dups=$(grep -v '^#' "$scrape" | sed 's/ [^ ]*$//' | sort | uniq -d)
[ -z "$dups" ] || fail "series twice: $dups"

lint=$("$promtool" check metrics < "$work/textfile/corvane.prom" 2>&1)
[ -z "$lint" ] || fail "promtool check metrics on the textfile: $lint"
lint=$(grep '^corvane_\|^# [A-Z]* corvane_' "$scrape" | "$promtool" check metrics 2>&1)
[ -z "$lint" ] || fail "promtool check metrics on the scrape: $lint"

echo "scrape, abridged:"
grep -E '^(corvane_(expander_info|element_status_code\{element="4"|elements\{.*critical"|phy_error\{.*phy="4"|ram_log_entries\{.*critical_error|collection_(requests|duration))|node_textfile_scrape_error)' "$scrape"
[ "$failures" -eq 0 ] && echo "node exporter: ok"
exit $((failures > 0))
