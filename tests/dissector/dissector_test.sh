#!/usr/bin/env bash
# Checks the Wireshark dissector with tshark: feedcast's datagrams of every
# kind, plain and compressed, captured on lo in a private network namespace,
# show every value typed into feedcast.ini under its field; the parts of a
# multi-packet message, compressed part by part, decode linked to each other;
# crafted datagrams, malformed or unusual, decode without a Lua error and with
# the expected expert items.  craft_capture writes the inputs and what tshark
# must show.
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

# Captures FRAMES datagrams into NAME/capture.pcapng while feedcast sends one
# message from each directory in NAME, in a private network namespace.
capture() {  # name frames
  "$src/scripts/in-private-netns" bash -c '
    cd "$1"
    dumpcap -q -i lo -f "udp dst portrange 6020-6130" -c "$3" -a duration:20 -w capture.pcapng 2> dumpcap.err &
    for _ in $(seq 200); do grep -q "^File:" dumpcap.err && break; sleep 0.05; done
    for port in */; do (cd "$port" && exec "$2" --count 1 > out 2>&1) & done
    wait' capture "$work/$1" "$feedcast" "$2"
}

# Checks each line of NAME.want, "KEY<TAB>FILTER[<TAB>VALUE...]": in a
# two-pass tshark run, the frame whose key field (the first of NAME.columns)
# is KEY has no Lua error, matches FILTER and GLOBAL, and shows the values
# under the other fields of NAME.columns.
check() {  # capture name global
  local filter fields
  read -r -a fields < "$work/$2.columns"
  filter=$(awk -F'\t' -v key="${fields[0]}" '{ sep = $2 in keys ? ", " : ""; keys[$2] = keys[$2] sep $1 }
    END { for (f in keys) printf "%s(%s in {%s} && (%s))", n++ ? " || " : "", key, keys[f], f }' "$work/$2.want")
  TZ=UTC tshark -2 -n -X lua_script:"$src/dissector/feedstats.lua" -r "$1" -T fields -E occurrence=a \
    -E aggregator=, -Y "!_ws.lua.error && !_ws.malformed.expert && $3 && ($filter)" "${fields[@]/#/-e}" \
    > "$work/got" 2> "$work/tshark.err" || true
  sed -n '/^Running as user "root"/!s/^/tshark: /p' "$work/tshark.err" | cut -c1-300 >> "$work/failed"
  awk -F'\t' -v fields="${fields[*]}" -v global="$3" 'FILENAME == ARGV[1] { got[$1] = $0; next }
    !($1 in got) { print $1 ": no frame without a Lua error matches " substr(global " && " $2, 1, 300); next }
    { split(got[$1], g, "\t"); split(fields, name, " ")
      for (i = 3; i <= NF; i++) if ($i "" != g[i - 1] "") print $1 ": " name[i - 1] " is \047" g[i - 1] "\047, expected \047" $i "\047" }
  ' "$work/got" "$work/$2.want" >> "$work/failed"
}

# One datagram of each configuration in one capture, then a message in three parts.
start=$(date -u -d '-1 sec' '+%F %T')
capture feedcast 12
capture parts 3
end=$(date -u -d '+1 sec' '+%F %T')
sent="feedstats.Timestamp >= \"$start\" && feedstats.Timestamp <= \"$end\""
check "$work/feedcast/capture.pcapng" feedcast "$sent"
check "$work/parts/capture.pcapng" parts "$sent"
[ ! -s "$work/failed" ] || grep -sH 'captured\|rror' "$work"/*/dumpcap.err "$work"/*/*/out >> "$work/failed" || true

check "$work/crafted.pcap" crafted feedstats

if [ -s "$work/failed" ]; then
  sed 's/^/FAIL: /' "$work/failed" >&2
  exit 1
fi
echo "dissector: all checks passed"
