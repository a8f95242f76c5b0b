#!/usr/bin/env bash
# Checks the Wireshark dissector with tshark: feedcast's datagrams of every
# kind, plain and compressed, captured on lo in a private network namespace,
# show every value typed into feedcast.ini under its field; the parts of a
# multi-packet message, compressed part by part, decode linked to each other;
# crafted datagrams,
# malformed or unusual, decode without a Lua error and with the expected
# expert items.  craft_capture writes the inputs and what tshark must show.
#
# Usage: dissector_test.sh FEEDCAST CRAFT_CAPTURE SOURCE_DIR   (as root;
# KEEP_WORK=1 keeps the files in /tmp)
set -euo pipefail
feedcast=$(realpath "$1")
src=$(realpath "$3")
command -v tshark > /dev/null && command -v dumpcap > /dev/null ||
  { echo "tshark and dumpcap are missing: run scripts/install-deps" >&2; exit 1; }
work=$(mktemp -d)
[ -n "${KEEP_WORK-}" ] || trap 'rm -rf "$work"' EXIT
"$2" "$work"
touch "$work/failed"

# Checks each line of WANT, "KEY<TAB>FILTER[<TAB>VALUE...]": the frame whose
# KEY_FIELD is KEY has no Lua error, matches FILTER and GLOBAL, and shows the
# values under the FIELDs, in one tshark run.
check() {  # capture want global key-field field...
  local capture=$1 want=$2 global=$3 filter args=()
  shift 3
  for field; do args+=(-e "$field"); done
  filter=$(awk -F'\t' -v key="$1" '{ sep = $2 in keys ? ", " : ""; keys[$2] = keys[$2] sep $1 }
    END { for (f in keys) printf "%s(%s in {%s} && (%s))", n++ ? " || " : "", key, keys[f], f }' "$want")
  TZ=UTC tshark -n -X lua_script:"$src/dissector/feedstats.lua" -r "$capture" -T fields -E occurrence=a \
    -E aggregator=, -Y "!_ws.lua.error && !_ws.malformed.expert && $global && ($filter)" "${args[@]}" \
    > "$work/got" 2> "$work/tshark.err" || true
  sed -n '/^Running as user "root"/!s/^/tshark: /p' "$work/tshark.err" | cut -c1-300 >> "$work/failed"
  awk -F'\t' -v fields="$*" -v global="$global" 'FILENAME == ARGV[1] { got[$1] = $0; next }
    !($1 in got) { print $1 ": no frame without a Lua error matches " substr(global " && " $2, 1, 300); next }
    { split(got[$1], g, "\t"); split(fields, name, " ")
      for (i = 3; i <= NF; i++) if ($i "" != g[i - 1] "") print $1 ": " name[i - 1] " is \047" g[i - 1] "\047, expected \047" $i "\047" }
  ' "$work/got" "$want" >> "$work/failed"
}

# One datagram of each configuration, all in one capture.
start=$(date -u -d '-1 sec' '+%F %T')
"$src/scripts/in-private-netns" bash -c '
  cd "$1"
  dumpcap -q -i lo -f "udp dst portrange 6020-6130" -c 12 -a duration:20 -w feedcast.pcapng 2> dumpcap.err &
  capture=$!
  for _ in $(seq 200); do grep -q "^File:" dumpcap.err && break; sleep 0.05; done
  for port in 6*/; do (cd "$port" && exec "$2" > out 2>&1) & done
  wait "$capture" || true
  kill $(jobs -p) 2> /dev/null || true
  wait' capture "$work" "$feedcast"
end=$(date -u -d '+1 sec' '+%F %T')
read -r -a columns < "$work/feedcast.columns"
check "$work/feedcast.pcapng" "$work/feedcast.want" \
  "feedstats.Timestamp >= \"$start\" && feedstats.Timestamp <= \"$end\"" udp.dstport "${columns[@]/#/feedstats.}"
[ ! -s "$work/failed" ] || grep -sH 'captured\|rror' "$work"/dumpcap.err "$work"/6*/out >> "$work/failed" || true

check "$work/crafted.pcap" "$work/crafted.want" feedstats frame.number

# One message of three parts; read in two passes, each part names the others.
mkdir "$work/parts"
printf '[MCast]\nMessageType=6\nMaxRecordsPerPacket=1\n[Route]\nNumber=3\nEncode=1\nRouteNumber0=10\nRouteNumber1=11\nRouteNumber2=12\n' \
  > "$work/parts/feedcast.ini"
"$src/scripts/in-private-netns" bash -c '
  cd "$1"
  dumpcap -q -i lo -f "udp dst port 6120" -c 3 -a duration:20 -w parts.pcapng 2> dumpcap.err &
  capture=$!
  for _ in $(seq 200); do grep -q "^File:" dumpcap.err && break; sleep 0.05; done
  "$2" --count 1 > out 2>&1
  wait "$capture" || true' parts "$work/parts" "$feedcast"
tshark -2 -n -X lua_script:"$src/dissector/feedstats.lua" -r "$work/parts/parts.pcapng" -T fields \
  -E occurrence=a -E aggregator=, -Y '!_ws.lua.error && !_ws.malformed.expert' -e frame.number \
  -e feedstats.Part -e feedstats.PartFrame -e feedstats.route.RouteNumber 2> /dev/null |
  sed 's/ (Timestamp [0-9]*)//' > "$work/parts/got" || true
printf '1\t1 of 3\t2,3\t10\n2\t2 of 3\t1,3\t11\n3\t3 of 3\t1,2\t12\n' |
  diff - "$work/parts/got" | sed 's/^/multi-packet message: /' >> "$work/failed" || true

if [ -s "$work/failed" ]; then
  sed 's/^/FAIL: /' "$work/failed" >&2
  exit 1
fi
echo "dissector: all checks passed"
