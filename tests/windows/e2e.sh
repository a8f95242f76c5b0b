#!/bin/sh
# End-to-end tests of the Windows programs under Wine, and of their
# interoperation with the Linux ones.  Run inside tests/windows/in-wine-netns
# (a private network namespace with its own wineserver); never on real
# interfaces.
#
#   WINE        the loader for the .exe files (e.g. /usr/lib/wine/wine64)
#   WIN_BIN     the directory holding feedcast.exe and feedwatch.exe
#   LINUX_BIN   the directory holding the Linux feedcast and feedwatch
#   EXAMPLES    the directory holding the sample configuration files
#   WINE_WAIT   how many seconds a Windows program may take to start or stop
#               (default 30; more where Wine itself runs under emulation)
#   WINDOWS_MONITOR=0  leaves out the Windows feedwatch's receiving (a receive
#               has never completed under Wine in qemu's user-mode emulator)
#
# For every kind, plain and compressed: Linux feedcast feeds a Linux and a
# Windows feedwatch at once, which must print the same text, and a Linux and
# a Windows feedwatch --json, whose lines must agree; then Windows
# feedcast feeds a Linux feedwatch, which must print what it printed for the
# Linux sender, the packets' time apart.  The same for a multi-packet
# message, sent with --config from another folder and --count.  Also the
# options, the exit statuses and the error line of the Windows programs,
# feedcast without its file and while its file is away, both on a full disk,
# the values that move with one seed, and the bytes both feedcasts send for
# one file whose integers are written in every base (captured with dumpcap and
# read with tshark).
set -u
: "${WINE:?}" "${WIN_BIN:?}" "${LINUX_BIN:?}" "${EXAMPLES:?}"
wine_wait=${WINE_WAIT:-30}
windows_monitor=true
[ "${WINDOWS_MONITOR:-1}" != 0 ] || windows_monitor=false
passed=0
failed=0
work=$(mktemp -d)
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)

pass() { passed=$((passed + 1)); printf 'ok   %s\n' "$1"; }
fail() { failed=$((failed + 1)); printf 'FAIL %s\n' "$1"; }

command -v dumpcap > /dev/null && command -v tshark > /dev/null ||
  { echo "dumpcap and tshark are missing: run scripts/install-deps" >&2; exit 2; }
if ip -o link | grep -qv ' lo:'; then
  echo "not in a private network namespace: refusing to run" >&2
  exit 2
fi

# Waits up to $2 seconds for file $1 to hold $3 or more packets.  The file
# may not exist yet: the monitor's shell opens it only once the fifo has a
# writer.
wait_packets() {
  i=0
  while [ "$(cat "$1" 2>/dev/null | grep -c 'Packet header id')" -lt "$3" ]; do
    i=$((i + 1))
    [ "$i" -gt $(($2 * 10)) ] && return 1
    sleep 0.1
  done
}

# Waits up to $2 seconds for process $1 to end; its status is in $status.
wait_exit() {
  i=0
  while kill -0 "$1" 2>/dev/null; do
    i=$((i + 1))
    if [ "$i" -gt $(($2 * 10)) ]; then
      kill "$1" 2>/dev/null
      wait "$1" 2>/dev/null
      status=timeout
      return 1
    fi
    sleep 0.1
  done
  wait "$1"
  status=$?
}

# Waits up to $2 seconds for file $1 to hold the text $3.
wait_text() {
  i=0
  until grep -qF -- "$3" "$1" 2>/dev/null; do
    i=$((i + 1))
    [ "$i" -gt $(($2 * 10)) ] && return 1
    sleep 0.1
  done
}

# The packets a monitor printed, one per line with "|" for line ends, line
# ends without CR; with "anytime", the timestamps blanked.
blocks() {
  tr -d '\r' < "$1" | awk -v anytime="${2:-}" '
    /^Packet header id/ { if (b != "") print b; b = "" }
    /^Packet header id/ || b != "" {
      if (anytime != "" && $0 ~ /^Timestamp -> /) $0 = "Timestamp -> T"
      if (anytime != "" && $0 ~ /^Storing Multipacket - time /) sub(/time [0-9]+/, "time T")
      b = b $0 "|"
    }
    END { if (b != "") print b }'
}

# Prints how many packets of monitor output $2 also reached monitor $1 (the
# same Timestamp line), or -1 when any of them printed differently.
same_packets() {
  awk 'match($0, /\|Timestamp -> [0-9]+ /) {
         ts = substr($0, RSTART, RLENGTH)
         if (FNR == NR) { seen[ts] = $0; next }
         if (ts in seen) { if (seen[ts] != $0) { print -1; bad = 1; exit } ; n++ }
       }
       END { if (!bad) print n + 0 }' "$1" "$2"
}

# Prints the JSON lines of file $1 without their arrival time and sender,
# line ends without CR.
json_packets() {
  tr -d '\r' < "$1" | sed 's/"received":"[^"]*","source":"[^"]*",//'
}

# Starts a monitor in directory $1 with input fifo $1/in (kept open on fd
# $3) and output $1/out; $2 is the program and its arguments.
start_monitor() {
  mkfifo "$1/in"
  (cd "$1" && exec $2 < in > out 2> err) &
}

one_kind() {
  kind=$1 encode=$2 name=$1-encode$2
  dir=$work/$name
  mkdir -p "$dir/cast" "$dir/wincast" "$dir/lw1" "$dir/ww" "$dir/lw2" "$dir/lj" "$dir/wj"
  sed "s/^Encode=.*/Encode=$encode/" "$EXAMPLES/feedcast-$kind.ini" > "$dir/cast/feedcast.ini"
  cp "$dir/cast/feedcast.ini" "$dir/wincast/feedcast.ini"
  port=$("$scripts/stat-port" "$dir/cast/feedcast.ini")

  # Linux sender, Linux and Windows monitors together.
  start_monitor "$dir/lw1" "$LINUX_BIN/feedwatch $port"; lw1=$!; exec 4> "$dir/lw1/in"
  start_monitor "$dir/lj" "$LINUX_BIN/feedwatch --json $port"; lj=$!; exec 6> "$dir/lj/in"
  if $windows_monitor; then
    start_monitor "$dir/ww" "$WINE $WIN_BIN/feedwatch.exe $port"; ww=$!; exec 5> "$dir/ww/in"
    (cd "$dir/wj" && exec $WINE "$WIN_BIN/feedwatch.exe" --json -c 2 "$port" < /dev/null > out 2> err) & wj=$!
  fi
  (cd "$dir/cast" && exec "$LINUX_BIN/feedcast" > out 2> err) & cast=$!
  { ! $windows_monitor || wait_packets "$dir/ww/out" "$wine_wait" 2; } && wait_packets "$dir/lw1/out" 5 2
  if $windows_monitor; then wait_exit "$wj" "$wine_wait"; wj_status=$status; fi
  printf q >&4
  printf q >&6
  if $windows_monitor; then printf q >&5; fi
  wait_exit "$lw1" 10; lw1_status=$status
  exec 4>&-
  wait_exit "$lj" 10; lj_status=$status
  exec 6>&-
  if $windows_monitor; then
    wait_exit "$ww" "$wine_wait"; ww_status=$status
    exec 5>&-
  fi
  kill "$cast"; wait "$cast" 2>/dev/null
  if $windows_monitor; then
    blocks "$dir/lw1/out" > "$dir/lw1.blocks"
    blocks "$dir/ww/out" > "$dir/ww.blocks"
    if [ "$ww_status" = 0 ] && [ "$lw1_status" = 0 ] &&
       [ "$(same_packets "$dir/lw1.blocks" "$dir/ww.blocks")" -ge 2 ]; then
      pass "$name: Linux feedcast -> Windows feedwatch prints what Linux feedwatch prints"
    else
      fail "$name: Linux feedcast -> Windows feedwatch (statuses $lw1_status $ww_status, see $dir)"
      diff "$dir/lw1.blocks" "$dir/ww.blocks" | head -5
    fi
    json_packets "$dir/lj/out" > "$dir/lj.lines"
    json_packets "$dir/wj/out" > "$dir/wj.lines"
    if [ "$wj_status" = 0 ] && [ "$lj_status" = 0 ] && [ "$(wc -l < "$dir/wj.lines")" = 2 ] &&
       grep -q '"records":\[{' "$dir/wj.lines" && ! grep -qvxFf "$dir/lj.lines" "$dir/wj.lines"; then
      pass "$name: Windows feedwatch --json -c 2 prints the lines Linux feedwatch --json prints"
    else
      fail "$name: Windows feedwatch --json (statuses $lj_status $wj_status, see $dir)"
    fi
  fi

  # Windows sender, Linux monitor.
  start_monitor "$dir/lw2" "$LINUX_BIN/feedwatch $port"; lw2=$!; exec 4> "$dir/lw2/in"
  (cd "$dir/wincast" && exec $WINE "$WIN_BIN/feedcast.exe" > out 2> err) & wincast=$!
  wait_packets "$dir/lw2/out" "$wine_wait" 2
  printf q >&4
  wait_exit "$lw2" 10; lw2_status=$status
  exec 4>&-
  kill "$wincast"; wait "$wincast" 2>/dev/null
  blocks "$dir/lw1/out" anytime | sort -u > "$dir/lw1.any"
  blocks "$dir/lw2/out" anytime | sort -u > "$dir/lw2.any"
  if [ "$lw2_status" = 0 ] && [ -s "$dir/lw2.any" ] && cmp -s "$dir/lw1.any" "$dir/lw2.any" &&
     [ "$(tr -d '\r' < "$dir/wincast/out" | sort -u)" = "$(sort -u "$dir/cast/out")" ]; then
    pass "$name: Windows feedcast -> Linux feedwatch prints what the Linux pipeline prints"
  else
    fail "$name: Windows feedcast -> Linux feedwatch (status $lw2_status, see $dir)"
    diff "$dir/lw1.any" "$dir/lw2.any" | head -5
  fi
}

# Values that move: the Linux and the Windows feedcast, given the same file
# and SimulateSeed, send the same sequence of values.  A Linux feedwatch,
# joined before each sender starts, prints their first packets in order; the
# compressed sample has every Skillset field moving.
simulated() {
  dir=$work/simulated
  mkdir -p "$dir/cast" "$dir/wincast" "$dir/lw1" "$dir/lw2"
  sed "s/^Encode=.*/Encode=1/" "$EXAMPLES/feedcast-live-skillset.ini" > "$dir/cast/feedcast.ini"
  cp "$dir/cast/feedcast.ini" "$dir/wincast/feedcast.ini"
  port=$("$scripts/stat-port" "$dir/cast/feedcast.ini")
  for run in "cast lw1 $LINUX_BIN/feedcast" "wincast lw2 $WINE $WIN_BIN/feedcast.exe"; do
    set -- $run
    sender=$1 monitor=$2
    shift 2
    start_monitor "$dir/$monitor" "$LINUX_BIN/feedwatch $port"; mon=$!; exec 4> "$dir/$monitor/in"
    i=0
    until grep -q '^adapter' "$dir/$monitor/out" 2>/dev/null || [ "$i" -gt 50 ]; do
      i=$((i + 1)); sleep 0.1
    done
    (cd "$dir/$sender" && exec "$@" > out 2> err) & cast=$!
    wait_packets "$dir/$monitor/out" "$wine_wait" 4
    printf q >&4
    wait_exit "$mon" 10
    exec 4>&-
    kill "$cast"; wait "$cast" 2>/dev/null
  done
  blocks "$dir/lw1/out" anytime | head -n 4 > "$dir/lw1.first"
  blocks "$dir/lw2/out" anytime | head -n 4 > "$dir/lw2.first"
  if [ "$(wc -l < "$dir/lw1.first")" = 4 ] && cmp -s "$dir/lw1.first" "$dir/lw2.first" &&
     [ "$(sort -u "$dir/lw1.first" | wc -l)" = 4 ] &&
     [ "$(tr -d '\r' < "$dir/wincast/out" | head -n 1)" = SimulateSeed=31 ] &&
     [ "$(head -n 1 "$dir/cast/out")" = SimulateSeed=31 ]; then
    pass "simulated: Windows feedcast sends the moving values Linux feedcast sends for the same seed"
  else
    fail "simulated: the moving values differ (see $dir)"
    diff "$dir/lw1.first" "$dir/lw2.first" | head -5
  fi
}

# Windows feedcast: a refusal is the line on standard error and status 1.
dir=$work/refusal
mkdir -p "$dir"
printf '[MCast]\r\nMessageType=9\r\n' > "$dir/feedcast.ini"
(cd "$dir" && $WINE "$WIN_BIN/feedcast.exe" > out 2> err); status=$?
if [ "$status" = 1 ] && tr -d '\r' < "$dir/err" | grep -qx 'Error: Incorrect Msg Type and Stat Scheme selected'; then
  pass "feedcast.exe refuses a wrong kind with status 1 and the error line"
else
  fail "feedcast.exe refusal: status $status, stderr: $(cat "$dir/err")"
fi

# Windows feedcast without its file: the line, status 1, before any socket.
dir=$work/nofile
mkdir -p "$dir"
(cd "$dir" && $WINE "$WIN_BIN/feedcast.exe" > out 2> err); status=$?
if [ "$status" = 1 ] && tr -d '\r' < "$dir/err" | grep -q '^Error: cannot read configuration file .*\\feedcast.ini: .'; then
  pass "feedcast.exe refuses to start without feedcast.ini"
else
  fail "feedcast.exe without feedcast.ini: status $status, stderr: $(cat "$dir/err")"
fi

# Output that cannot be written ends either program with the reason.
printf '[MCast]\r\nUpdateRate=1\r\n' > "$dir/feedcast.ini"
(cd "$dir" && $WINE "$WIN_BIN/feedcast.exe" > /dev/full 2> cast-err); cast_status=$?
(cd "$dir" && printf q | $WINE "$WIN_BIN/feedwatch.exe" 6040 > /dev/full 2> watch-err); watch_status=$?
if [ "$cast_status" = 1 ] && [ "$watch_status" = 255 ] &&
   tr -d '\r' < "$dir/cast-err" | grep -q '^Error: cannot write output: .' &&
   tr -d '\r' < "$dir/watch-err" | grep -q '^Error: cannot write output: .'; then
  pass "feedcast.exe (status 1) and feedwatch.exe (255) fail on a full disk"
else
  fail "full disk: statuses $cast_status $watch_status, stderr: $(cat "$dir/cast-err" "$dir/watch-err")"
fi

# Windows feedcast whose file goes away: the table goes on, a line when it
# goes and one when it is back, then the new table (seen by a Linux monitor).
dir=$work/outage
mkdir -p "$dir/cast" "$dir/watch"
route() { printf '[MCast]\r\nMessageType=6\r\nUpdateRate=1\r\n[Route]\r\nNumber=1\r\nRouteNumber0=%s\r\n' "$1"; }
route 100 > "$dir/cast/feedcast.ini"
start_monitor "$dir/watch" "$LINUX_BIN/feedwatch 6120"; watch=$!; exec 4> "$dir/watch/in"
(cd "$dir/cast" && exec $WINE "$WIN_BIN/feedcast.exe" > out 2> err) & wincast=$!
wait_packets "$dir/watch/out" "$wine_wait" 1
rm "$dir/cast/feedcast.ini"
i=0
until grep -q '^Warning: cannot read configuration file .*; sending the last table read' "$dir/cast/err" || [ $i -gt 100 ]; do sleep 0.1; i=$((i + 1)); done
seen=$(grep -c 'Packet header id' "$dir/watch/out")
wait_packets "$dir/watch/out" 10 $((seen + 2)); during=$?
route 200 > "$dir/cast/new.ini" && mv "$dir/cast/new.ini" "$dir/cast/feedcast.ini"
i=0
until grep -q '^RouteNumber=200' "$dir/watch/out" || [ $i -gt 100 ]; do sleep 0.1; i=$((i + 1)); done
printf q >&4
wait_exit "$watch" 10
exec 4>&-
kill "$wincast"; wait "$wincast" 2>/dev/null
tables=$(tr -d '\r' < "$dir/watch/out" | sed -n 's/^\(RouteNumber=[0-9]*\).*/\1/p; /^NumRecord -> [^1]/p' | uniq | tr '\n' ' ')
lines=$(tr -d '\r' < "$dir/cast/err")
if [ "$during" = 0 ] && [ "$tables" = "RouteNumber=100 RouteNumber=200 " ] &&
   printf "%s\n" "$lines" | sed -n 1p | grep -q '^Warning: cannot read configuration file .*: .*; sending the last table read$' &&
   printf "%s\n" "$lines" | sed -n 2p | grep -q '^Configuration file .* readable again$' &&
   [ "$(printf "%s\n" "$lines" | wc -l)" = 2 ]; then
  pass "feedcast.exe keeps the last table while its file is away, with the two lines"
else
  fail "feedcast.exe outage: packets meanwhile $during, tables $tables; stderr: $lines (see $dir)"
fi

# Windows feedwatch: a failure ends it with status -1, which Wine passes on
# as 255.
dir=$work/badport
mkdir -p "$dir"
printf '[MCast]\r\nPort=1234\r\n' > "$dir/feedwatch.ini"
(cd "$dir" && $WINE "$WIN_BIN/feedwatch.exe" < /dev/null > out 2> err); status=$?
if [ "$status" = 255 ] && tr -d '\r' < "$dir/out" | grep -q '^Error on port selection. Value \[1234\] not allowed.$'; then
  pass "feedwatch.exe stops with status -1 (255) on a port it cannot use"
else
  fail "feedwatch.exe failure: status $status, output: $(cat "$dir/out")"
fi

# Windows feedcast's options: help and version on standard output with status
# 0, nothing read (the file in the folder would be refused); a wrong option
# on standard error with status 2.
dir=$work/options
mkdir -p "$dir"
printf '[MCast]\r\nMessageType=9\r\n' > "$dir/feedcast.ini"
option_case() {  # expected status, expected output, expected errors, arguments...
  want_status=$1 want_out=$2 want_err=$3
  shift 3
  (cd "$dir" && $WINE "$WIN_BIN/feedcast.exe" "$@" > out 2> err); status=$?
  if [ "$status" = "$want_status" ] && [ "$(tr -d '\r' < "$dir/out" | head -n 1)" = "$want_out" ] &&
     [ "$(tr -d '\r' < "$dir/err")" = "$want_err" ]; then
    pass "feedcast.exe $*: status $want_status"
  else
    fail "feedcast.exe $*: status $status, output: $(head -c 200 "$dir/out"), errors: $(cat "$dir/err")"
  fi
}
option_case 0 'Usage: feedcast [OPTION]...' '' --help
option_case 0 "$("$LINUX_BIN/feedcast" --version)" '' -V
option_case 2 '' "$(printf "feedcast: invalid message count: '0'\nTry 'feedcast --help'.")" --count 0

# A full Agent table in two parts.  Linux feedcast sends one message to a
# Linux and a Windows monitor; Windows feedcast, given the file from another
# folder, sends one to a Linux monitor.  A second message from Linux feedcast
# lets the monitors see their q.
dir=$work/multipacket
mkdir -p "$dir/conf" "$dir/run" "$dir/lw1" "$dir/ww" "$dir/lw2"
cp "$EXAMPLES/feedcast-multipacket.ini" "$dir/conf/feed.ini"
port=$("$scripts/stat-port" "$dir/conf/feed.ini")
one_message() { (cd "$dir/run" && exec "$LINUX_BIN/feedcast" --config ../conf/feed.ini --count 1 > out 2> err); }
start_monitor "$dir/lw1" "$LINUX_BIN/feedwatch $port"; lw1=$!; exec 4> "$dir/lw1/in"
if $windows_monitor; then
  start_monitor "$dir/ww" "$WINE $WIN_BIN/feedwatch.exe $port"; ww=$!; exec 5> "$dir/ww/in"
  wait_text "$dir/ww/out" "$wine_wait" 'adapter 0 - '
fi
wait_text "$dir/lw1/out" 5 'adapter 0 - '
one_message; cast_status=$?
{ ! $windows_monitor || wait_packets "$dir/ww/out" "$wine_wait" 2; } && wait_packets "$dir/lw1/out" 5 2
printf q >&4
if $windows_monitor; then printf q >&5; fi
one_message
wait_exit "$lw1" 10; lw1_status=$status
exec 4>&-
blocks "$dir/lw1/out" | head -n 2 > "$dir/lw1.blocks"
if $windows_monitor; then
  wait_exit "$ww" "$wine_wait"; ww_status=$status
  exec 5>&-
  blocks "$dir/ww/out" | head -n 2 > "$dir/ww.blocks"
  if [ "$cast_status" = 0 ] && [ "$ww_status" = 0 ] && grep -q '^Print packet 2:' "$dir/lw1/out" &&
     cmp -s "$dir/lw1.blocks" "$dir/ww.blocks"; then
    pass "multi-packet message: Linux feedcast -> Windows feedwatch prints what Linux feedwatch prints"
  else
    fail "multi-packet message: Linux feedcast -> Windows feedwatch (statuses $cast_status $ww_status, see $dir)"
  fi
fi
start_monitor "$dir/lw2" "$LINUX_BIN/feedwatch $port"; lw2=$!; exec 4> "$dir/lw2/in"
wait_text "$dir/lw2/out" 5 'adapter 0 - '
(cd "$dir/run" && $WINE "$WIN_BIN/feedcast.exe" --config '..\conf\feed.ini' --count 1 > winout 2> winerr); wincast_status=$?
wait_packets "$dir/lw2/out" 10 2
printf q >&4
one_message
wait_exit "$lw2" 10; lw2_status=$status
exec 4>&-
if [ "$wincast_status" = 0 ] && [ "$lw2_status" = 0 ] && [ "$lw1_status" = 0 ] && [ ! -s "$dir/run/winerr" ] &&
   grep -q '^Print packet 2:' "$dir/lw2/out" &&
   [ "$(blocks "$dir/lw2/out" anytime | head -n 2)" = "$(blocks "$dir/lw1/out" anytime | head -n 2)" ]; then
  pass "multi-packet message: feedcast.exe --config from another folder --count 1 -> Linux feedwatch"
else
  fail "multi-packet message: feedcast.exe (statuses $wincast_status $lw2_status $lw1_status, see $dir)"
fi

# Prints, as hex text with the Timestamp blanked, the first datagram that
# the program $2 sends from directory $1 to port $3; dumpcap's capture goes to
# $1/sent.pcapng.
sent_bytes() {
  dumpcap -q -i lo -f "udp dst port $3" -c 1 -a duration:"$wine_wait" -w "$1/sent.pcapng" \
    2> "$1/dumpcap.err" &
  capture=$!
  i=0
  until grep -qs '^File:' "$1/dumpcap.err" || [ "$i" -gt 100 ]; do i=$((i + 1)); sleep 0.05; done
  (cd "$1" && exec $2 > out 2> err) & sender=$!
  wait "$capture"
  kill "$sender" 2>/dev/null; wait "$sender" 2>/dev/null
  tshark -r "$1/sent.pcapng" -T fields -e udp.payload 2>/dev/null | cut -c1-120,129-
}

# One file with hexadecimal, octal and binary integers in the header keys and
# in the records: the Windows and the Linux feedcast send the same bytes.
dir=$work/bases
mkdir -p "$dir/linux" "$dir/windows"
printf '%s\r\n' '[MCast]' 'MessageType=2' 'StatScheme=1' 'UpdateRate=0b1' 'ServerName=BASES' \
  'ReleaseNumber=0x8' 'MinorVersion=0b100' 'BuildNumber=-0x1' '[Skillset]' 'Number=0x2' \
  'Encode=0b0' 'SkillsetID0=0x10' 'AgentsAvailable1=0b101' 'CallsWaiting0=-0x7F' \
  'SkillsetID1=0o17' 'AgentsInService1= 0xFFFFFFFF' "MaxWaitingTime0='0b11'" \
  > "$dir/linux/feedcast.ini"
cp "$dir/linux/feedcast.ini" "$dir/windows/feedcast.ini"
port=$("$scripts/stat-port" "$dir/linux/feedcast.ini")
linux=$(sent_bytes "$dir/linux" "$LINUX_BIN/feedcast" "$port")
windows=$(sent_bytes "$dir/windows" "$WINE $WIN_BIN/feedcast.exe" "$port")
if [ -n "$linux" ] && [ "$linux" = "$windows" ]; then
  pass "feedcast.exe sends the bytes Linux feedcast sends for integers in every base"
else
  fail "integers in every base: Linux sent '$linux', Windows '$windows' (see $dir)"
fi

# Windows feedwatch's options: help, version, a usage error, a time-out that
# comes before the count, and the interface by address or name.
dir=$work/watch-options
mkdir -p "$dir"
(cd "$dir" && $WINE "$WIN_BIN/feedwatch.exe" --help < /dev/null > help 2> err); help_status=$?
(cd "$dir" && $WINE "$WIN_BIN/feedwatch.exe" -V < /dev/null > version 2> err); version_status=$?
(cd "$dir" && $WINE "$WIN_BIN/feedwatch.exe" --bogus 6040 < /dev/null > out 2> usage); usage_status=$?
(cd "$dir" && $WINE "$WIN_BIN/feedwatch.exe" -c 1 -t 0.5 --json 6040 < /dev/null > json 2> err); timeout_status=$?
(cd "$dir" && $WINE "$WIN_BIN/feedwatch.exe" -i lo -t 0.2 6040 < /dev/null > named); named_status=$?
(cd "$dir" && $WINE "$WIN_BIN/feedwatch.exe" -i 192.0.2.1 -t 0.2 6040 < /dev/null > none); none_status=$?
if [ "$help_status" = 0 ] && tr -d '\r' < "$dir/help" | grep -q '^Usage: feedwatch \[OPTION\]\.\.\. \[PORT\]$' &&
   [ "$version_status" = 0 ] && tr -d '\r' < "$dir/version" | grep -qx 'feedwatch [0-9.]*' &&
   [ "$usage_status" = 2 ] && [ "$(tr -d '\r' < "$dir/usage")" = "feedwatch: unrecognized option '--bogus'
Try 'feedwatch --help'." ] && [ ! -s "$dir/out" ] &&
   [ "$timeout_status" = 1 ] && [ ! -s "$dir/json" ] && tr -d '\r' < "$dir/err" | grep -q '^Port Selection: 6040\.$' &&
   [ "$named_status" = 0 ] && tr -d '\r' < "$dir/named" | grep -qx 'adapter 0 - 127\.0\.0\.1' &&
   [ "$none_status" = 255 ] &&
   tr -d '\r' < "$dir/none" | grep -qx 'No local interface that is up has the address or name 192\.0\.2\.1'; then
  pass "feedwatch.exe: --help, -V, a usage error (2), a time-out before the count (1), --interface"
else
  fail "feedwatch.exe options: statuses $help_status $version_status $usage_status $timeout_status $named_status $none_status, see $dir"
fi

for kind in ${KINDS:-application skillset agent nodal ivr route}; do
  for encode in 0 1; do
    one_kind "$kind" "$encode"
  done
done
[ -n "${KINDS:-}" ] || simulated

echo "$passed passed, $failed failed"
if [ "$failed" = 0 ]; then rm -rf "$work"; else echo "outputs kept in $work"; exit 1; fi
