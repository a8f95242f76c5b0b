#!/bin/sh
# End-to-end tests of the Windows programs under Wine, and of their
# interoperation with the Linux ones.  Run inside tests/windows/in-wine-netns
# (a private network namespace with its own wineserver); never on real
# interfaces.  What the programs compute is the unit tests' (unit_tests.exe
# runs them under Wine); this script owns what only the Windows processes
# show: their sockets, console, files, error texts and exit statuses.
#
#   WINE        the loader for the .exe files (e.g. /usr/lib/wine/wine64)
#   WIN_BIN     the directory holding feedcast.exe and feedwatch.exe
#   LINUX_BIN   the directory holding the Linux feedcast and feedwatch
#   EXAMPLES    the directory holding the sample configuration files
#   WINE_WAIT   how many seconds a Windows program may take to start or stop
#               (default 30; more where Wine itself runs under emulation)
#   WINDOWS_MONITOR=0  leaves out the Windows feedwatch's receiving (a receive
#               has never completed under Wine in qemu's user-mode emulator)
#   KINDS       the kinds whose feeds are tested (default: all six)
#   FEEDS_ONLY=1  only those feeds: not the samples, nor the cases of one
#               Windows program, which the 64-bit run covers (under the
#               emulator each start of a 32-bit program takes a minute or two)
#   CHECK_FILES the directory of the broken files that feedcast --check is
#               tested with (tests/check-files); left out when unset
#
# For every kind, plain and compressed, for Agent records of 104 bytes (also
# saved by feedwatch --save-ini on both sides), for a multi-packet message, for values
# that move with one seed and for a file with integers in every base: Linux
# feedcast feeds Linux and Windows monitors, which must print the same; then
# feedcast.exe feeds a Linux monitor, which must print what it printed for
# the Linux sender.  Also one case per wiring of the Windows programs:
# refusals, failures and options with their statuses and texts, output that
# cannot be written, and feedcast.exe while its file is away; and
# feedcast.exe --check, which must print what Linux feedcast --check prints
# for every broken file of its table; recordings made on one system and
# read on the other; and feedcast.exe --replay of a capture recorded on Linux.
set -u
: "${WINE:?}" "${WIN_BIN:?}" "${LINUX_BIN:?}" "${EXAMPLES:?}"
wine_wait=${WINE_WAIT:-30}
# How long a Linux monitor may wait for Windows programs to start and send.
long=$((3 * wine_wait))
windows_monitor=true
[ "${WINDOWS_MONITOR:-1}" != 0 ] || windows_monitor=false
feeds_only=false
[ "${FEEDS_ONLY:-0}" = 0 ] || feeds_only=true
passed=0
failed=0
crashed=0
work=$(mktemp -d)

if ip -o link | grep -qv ' lo:'; then
  echo "not in a private network namespace: refusing to run" >&2
  exit 2
fi

# What Wine or the emulator print when they crash.
crash_signs='Unhandled exception|unexpected trap|uncaught target signal'

# Counts test $2 as passed when status $1 is 0, else as failed, with the
# folder $dir that holds its files; a failure whose files show that Wine or
# the emulator crashed is a CRASH (scripts/test-windows tells them apart).
report() {
  if [ "$1" = 0 ]; then
    passed=$((passed + 1))
    printf 'ok   %s\n' "$2"
  elif crash=$(grep -rhs -m 1 -E "$crash_signs" "$dir"); then
    crashed=$((crashed + 1))
    printf 'CRASH %s: %s (see %s)\n' "$2" "$crash" "$dir"
  else
    failed=$((failed + 1))
    printf 'FAIL %s (see %s)\n' "$2" "$dir"
  fi
}

# Waits up to $1 seconds for the command $2... to succeed.
wait_for() {
  i=$(($1 * 10))
  shift
  until "$@"; do
    i=$((i - 1))
    [ "$i" -gt 0 ] || return 1
    sleep 0.1
  done
}

# Whether monitor output $1 holds $2 or more packets printed in full.
has_packets() { [ "$(cat "$1" 2> /dev/null | grep -c '^Timestamp -> ')" -ge "$2" ]; }

ended() { ! kill -0 "$1" 2> /dev/null; }

# Waits up to $1 seconds for process $2 to end, ending it after that, and
# adds its exit status to $statuses.
wait_exit() {
  wait_for "$1" ended "$2" || kill "$2"
  wait "$2" 2> /dev/null
  statuses="$statuses $?"
}

# Whether every status in $statuses is 0.
all_zero() { [ -z "$(printf %s "$statuses" | tr -d ' 0')" ]; }

# The first two packets a monitor printed in file $1, one per line with "|"
# for line ends, line ends without CR; with "anytime", the times blanked.
blocks() {
  tr -d '\r' < "$1" | awk -v anytime="${2:-}" '
    /^Packet header id/ { if (b != "") print b; b = "" }
    /^Packet header id/ || b != "" {
      if (anytime != "" && $0 ~ /^Timestamp -> /) $0 = "Timestamp -> T"
      if (anytime != "" && $0 ~ /^Storing Multipacket - time /) sub(/time [0-9]+/, "time T")
      b = b $0 "|"
    }
    END { if (b != "") print b }' | head -n 2
}

# The JSON lines of file $1 without their arrival time and sender, line ends
# without CR.
json_packets() { tr -d '\r' < "$1" | sed 's/"received":"[^"]*","source":"[^"]*",//'; }

# Starts the monitor command $3 in folder $dir/$1, input from $4 (or
# /dev/null), output in out and err, and waits until its file $2 shows that
# it has joined the group.  Its process id is in $pid.
start_monitor() {
  mkdir -p "$dir/$1"
  (cd "$dir/$1" && exec $3 < "${4:-/dev/null}" > out 2> err) &
  pid=$!
  wait_for "$wine_wait" grep -qs 'adapter 0 - ' "$dir/$1/$2"
}

# Test $1's folder $dir with cast/ holding file $2 as feedcast.ini and an
# empty wincast/; the port it sends to in $port, and no statuses yet.
feed_folders() {
  dir=$work/$1
  mkdir -p "$dir/cast" "$dir/wincast"
  cp "$2" "$dir/cast/feedcast.ini"
  port=$("$LINUX_BIN/feedcast" --check --config "$dir/cast/feedcast.ini" |
    sed -n 's/^Destination [^:]*:\([0-9]*\) .*/\1/p')
  statuses=
}

# One feed, test $1 with file $2.  Linux feedcast --count 2 sends to a Linux
# feedwatch -c 2 and (unless left out) to a Windows feedwatch that q stops,
# and to a Linux and a Windows feedwatch --json -c 2, all joined before it
# starts: the two sides must print the same.  Then feedcast.exe, given the
# file from another folder, sends two messages to a Linux feedwatch -c 2,
# which must print what it printed for the Linux sender, the times apart.
one_feed() {
  feed_folders "$1" "$2"
  start_monitor lw1 out "$LINUX_BIN/feedwatch -c 2 -t $long $port"
  lw1=$pid
  if $windows_monitor; then
    start_monitor lj err "$LINUX_BIN/feedwatch --json -c 2 -t $long $port"
    lj=$pid
    mkfifo "$dir/q"
    exec 5<> "$dir/q"
    start_monitor ww out "$WINE $WIN_BIN/feedwatch.exe $port" "$dir/q"
    ww=$pid
    start_monitor wj err "$WINE $WIN_BIN/feedwatch.exe --json -c 2 -t $long $port"
    wj=$pid
  fi
  (cd "$dir/cast" && exec "$LINUX_BIN/feedcast" --count 2 > out 2> err)
  wait_exit 10 "$lw1"
  if $windows_monitor; then
    wait_exit 10 "$lj"
    wait_exit "$wine_wait" "$wj"
    wait_for "$wine_wait" has_packets "$dir/ww/out" 2
    # Piped input is read between datagrams: one more message lets it see q.
    printf q >&5
    (cd "$dir/cast" && exec "$LINUX_BIN/feedcast" --count 1 > /dev/null 2>&1)
    wait_exit "$wine_wait" "$ww"
    exec 5>&-
    all_zero && [ "$(blocks "$dir/lw1/out" | wc -l)" = 2 ] &&
      [ "$(blocks "$dir/ww/out")" = "$(blocks "$dir/lw1/out")" ] &&
      [ "$(json_packets "$dir/wj/out")" = "$(json_packets "$dir/lj/out")" ]
    report $? "$1: Windows feedwatch and feedwatch --json print what Linux's print (statuses$statuses)"
  fi

  statuses=
  start_monitor lw2 out "$LINUX_BIN/feedwatch -c 2 -t $long $port"
  (cd "$dir/wincast" && exec timeout "$long" $WINE "$WIN_BIN/feedcast.exe" \
    --config '..\cast\feedcast.ini' --count 2 > out 2> err)
  statuses=$?
  wait_exit 10 "$pid"
  all_zero && [ ! -s "$dir/wincast/err" ] && [ "$(blocks "$dir/lw2/out" | wc -l)" = 2 ] &&
    [ "$(blocks "$dir/lw2/out" anytime)" = "$(blocks "$dir/lw1/out" anytime)" ] &&
    [ "$(tr -d '\r' < "$dir/wincast/out")" = "$(cat "$dir/cast/out")" ]
  report $? "$1: feedcast.exe --config from another folder --count 2 sends what Linux feedcast sends (statuses $statuses)"
}

# Runs $1.exe with arguments $6... in a folder of its own whose $1.ini holds
# $2 (no file when empty): its status must be $3 and the whole line $5 (a
# pattern) must be in its output $4, "out" or "err", or that output must be
# empty when $5 is; "full" puts standard output on a full disk and looks in
# "err".
exe_case() {
  program=$1 want_status=$3 stream=$4 line=$5
  dir=$work/case$((passed + failed + crashed))
  mkdir -p "$dir"
  [ -z "$2" ] || printf "$2" > "$dir/$program.ini"
  shift 5
  target=out
  [ "$stream" != full ] || target=/dev/full stream=err
  (cd "$dir" && timeout -k 10 "$long" $WINE "$WIN_BIN/$program.exe" "$@" < /dev/null \
    > "$target" 2> err)
  status=$?
  if [ -z "$line" ]; then
    [ "$status" = "$want_status" ] && [ ! -s "$dir/$stream" ]
  else
    [ "$status" = "$want_status" ] && tr -d '\r' < "$dir/$stream" | grep -qx -- "$line"
  fi
  report $? "$program.exe${*:+ $*}: status $status (wanted $want_status), $stream has '$line'"
}

# The counts, and the end of the run: status 1 when a test failed or crashed.
summary() {
  echo "$passed passed, $failed failed, $crashed crashed"
  if [ "$failed$crashed" = 00 ]; then rm -rf "$work"; else echo "outputs kept in $work"; exit 1; fi
  exit 0
}

for kind in ${KINDS:-application skillset agent nodal ivr route}; do
  for encode in 0 1; do
    sed "s/^Encode=.*/Encode=$encode/" "$EXAMPLES/feedcast-$kind.ini" > "$work/$kind-$encode.ini"
    one_feed "$kind-encode$encode" "$work/$kind-$encode.ini"
  done
done
! $feeds_only || summary
# Agent records of the monitor's 104-byte layout, sent by either feedcast.
{ cat "$EXAMPLES/feedcast-agent.ini"; printf 'RecordSize=104\r\n'; } > "$work/agent-104.ini"
one_feed agent-104 "$work/agent-104.ini"
# The Agent table saved by a Windows feedwatch --save-ini is the one a Linux
# feedwatch saves, line ends apart.
if $windows_monitor; then
  dir=$work/save-ini
  statuses=
  start_monitor lin out "$LINUX_BIN/feedwatch --save-ini saved.ini -c 1 -t $long 6060"
  lin=$pid
  start_monitor win out "$WINE $WIN_BIN/feedwatch.exe --save-ini saved.ini -c 1 -t $long 6060"
  win=$pid
  (cd "$work/agent-104/cast" && exec "$LINUX_BIN/feedcast" --count 1 > /dev/null 2>&1)
  wait_exit 10 "$lin"
  wait_exit "$wine_wait" "$win"
  all_zero && grep -q '^RecordSize=104$' "$dir/lin/saved.ini" &&
    [ "$(tr -d '\r' < "$dir/win/saved.ini")" = "$(cat "$dir/lin/saved.ini")" ]
  report $? "feedwatch.exe --save-ini writes the Agent table Linux feedwatch writes (statuses$statuses)"
fi

# Refusals and failures: the line, and status 1 (feedcast) or -1, which Wine
# passes on as 255 (feedwatch).  The folder's file is found, or named with
# its Windows path; output that cannot be written ends either program; a
# Source that is no address fails to bind with the Windows Sockets number.
exe_case feedcast '[MCast]\r\nMessageType=9\r\n' 1 err 'Error: Incorrect Msg Type and Stat Scheme selected'
exe_case feedcast '' 1 err 'Error: cannot read configuration file .*\\feedcast\.ini: ..*'
exe_case feedcast '[MCast]\r\nUpdateRate=1\r\n' 1 full 'Error: cannot write output: ..*'
exe_case feedcast '[MCast]\r\nSource=10.0.l.1\r\n' 1 err \
  'Error: Binding socket failed! Error: 10049'
exe_case feedwatch '[MCast]\r\nPort=1234\r\n' 255 out 'Error on port selection\. Value \[1234\] not allowed\.'
exe_case feedwatch '' 255 full 'Error: cannot write output: ..*' 6040
exe_case feedwatch '' 255 full 'Error: cannot write output: ..*' --help
# Options: help and version on standard output with status 0, nothing read
# (feedwatch's help names no report signal, which Windows lacks); a usage
# error on standard error with status 2; no trace with -q (for a compressed
# Application table); a time-out before the count (status
# 1, and the line that says so); the interface by name, and one that is not
# there; the statistics at the end of a run.
exe_case feedcast '' 0 out 'Usage: feedcast \[OPTION\]\.\.\.' --help
exe_case feedwatch '' 0 out "$("$LINUX_BIN/feedwatch" --version)" -V
exe_case feedcast '' 2 err "feedcast: invalid message count: '0'" --count 0
exe_case feedcast '[MCast]\r\n[Application]\r\nNumber=2\r\nEncode=1\r\n' 0 out '' -q -c 2
exe_case feedwatch '' 1 err 'adapter 0 - 127\.0\.0\.1' -i lo -c 1 -t 0.2 --json 6040
exe_case feedwatch '' 1 err 'feedwatch: 0 of 3 packets within 0\.25 s' -c 3 -t .250 6040
exe_case feedwatch '' 0 out '      --stats              print feed statistics at the end' --help
exe_case feedwatch '' 255 out 'No local interface that is up has the address or name 192\.0\.2\.1' \
  -i 192.0.2.1 -t 0.2 6040
exe_case feedwatch '' 0 out '{"type":"summary","schema":1,.*"datagrams":0,.*}' --stats --json -t 0.2 6040

# Recordings cross over: what Linux feedwatch -a -q -w records, feedwatch.exe
# -r prints as Linux feedwatch -r does; what feedwatch.exe -q -w records,
# Linux feedwatch -r reads as the same packets, the times apart.
dir=$work/recordings
mkdir -p "$dir/cast"
cp "$EXAMPLES/feedcast-route.ini" "$dir/cast/feedcast.ini"
port=$("$LINUX_BIN/feedcast" --check --config "$dir/cast/feedcast.ini" |
  sed -n 's/^Destination [^:]*:\([0-9]*\) .*/\1/p')
statuses=
start_monitor lrec err "$LINUX_BIN/feedwatch -a -q -w linux.pcapng -c 2 -t $long"
(cd "$dir/cast" && exec "$LINUX_BIN/feedcast" --count 2 > /dev/null 2>&1)
wait_exit 10 "$pid"
(cd "$dir/lrec" && "$LINUX_BIN/feedwatch" -r linux.pcapng $port > linux-read 2>&1 &&
  timeout "$long" $WINE "$WIN_BIN/feedwatch.exe" -r linux.pcapng $port > win-read 2>&1)
statuses="$statuses $?"
all_zero && has_packets "$dir/lrec/linux-read" 2 &&
  [ "$(tr -d '\r' < "$dir/lrec/win-read")" = "$(cat "$dir/lrec/linux-read")" ]
report $? "feedwatch.exe -r prints a Linux recording as Linux feedwatch -r does (statuses$statuses)"
if $windows_monitor; then
  statuses=
  start_monitor wrec err "$WINE $WIN_BIN/feedwatch.exe -q -w win.pcapng -c 2 -t $long $port"
  (cd "$dir/cast" && exec "$LINUX_BIN/feedcast" --count 2 > /dev/null 2>&1)
  wait_exit "$wine_wait" "$pid"
  (cd "$dir/wrec" && "$LINUX_BIN/feedwatch" -r win.pcapng $port > linux-read 2>&1)
  statuses="$statuses $?"
  all_zero && [ "$(blocks "$dir/wrec/linux-read" | wc -l)" = 2 ] &&
    [ "$(blocks "$dir/wrec/linux-read" anytime)" = "$(blocks "$dir/lrec/linux-read" anytime)" ]
  report $? "Linux feedwatch -r reads what feedwatch.exe -w recorded (statuses$statuses)"
fi

# Windows feedcast whose file goes away: the table goes on, a line when it
# goes and one when it is back, then the new table (seen by a Linux monitor).
dir=$work/outage
mkdir -p "$dir/cast"
route() { printf '[MCast]\r\nMessageType=6\r\nUpdateRate=1\r\n[Route]\r\nNumber=1\r\nRouteNumber0=%s\r\n' "$1"; }
route 100 > "$dir/cast/feedcast.ini"
start_monitor mon out "$LINUX_BIN/feedwatch -t $long 6120"
mon=$pid
(cd "$dir/cast" && exec $WINE "$WIN_BIN/feedcast.exe" > out 2> err) &
wincast=$!
wait_for "$wine_wait" has_packets "$dir/mon/out" 1
rm "$dir/cast/feedcast.ini"
wait_for 10 grep -q '^Warning: cannot read configuration file' "$dir/cast/err"
seen=$(grep -c '^Timestamp -> ' "$dir/mon/out")
wait_for 10 has_packets "$dir/mon/out" $((seen + 2))
during=$?
route 200 > "$dir/cast/new.ini" && mv "$dir/cast/new.ini" "$dir/cast/feedcast.ini"
wait_for 10 grep -q '^RouteNumber=200' "$dir/mon/out"
kill "$mon" "$wincast"
wait "$mon" "$wincast" 2> /dev/null
tables=$(tr -d '\r' < "$dir/mon/out" | sed -n 's/^\(RouteNumber=[0-9]*\).*/\1/p; /^NumRecord -> [^1]/p' | uniq | tr '\n' ' ')
# Its two lines, the file's path (F) and the reason (E) left out.
lines=$(tr -d '\r' < "$dir/cast/err" | sed 's/ file .*: .*; / file F: E; /; s/ file .* readable / file F readable /')
[ "$during" = 0 ] && [ "$tables" = "RouteNumber=100 RouteNumber=200 " ] &&
  [ "$lines" = "$(printf 'Warning: cannot read configuration file F: E; sending the last table read\nConfiguration file F readable again')" ]
report $? "feedcast.exe keeps the last table while its file is away, with the two lines"

# feedwatch.exe --http: Linux feedcast sends a Skillset table, curl on this
# side fetches the page, the tables, the metrics and the events and is refused
# where it should be, and a second monitor on the same HTTP port fails with the
# system's reason, before it joins.
dir=$work/live
mkdir -p "$dir/cast"
url=http://127.0.0.1:8480
# Whether fetching path $1 with curl's options $3... gives output holding $2.
fetched() {
  path=$1
  text=$2
  shift 2
  curl -s --max-time 5 "$@" "$url$path" > "$dir/fetched" 2>&1 && grep -qF -- "$text" "$dir/fetched"
}
printf '%s\n' '[MCast]' 'MessageType=2' 'ServerName=CC1' 'UpdateRate=1' '[Skillset]' 'Number=1' \
  'Encode=0' 'SkillsetID0=201' 'AgentsAvailable0=4' > "$dir/cast/feedcast.ini"
start_monitor watch out "$WINE $WIN_BIN/feedwatch.exe --http 8480 6040"
watch=$pid
(cd "$dir/cast" && exec "$LINUX_BIN/feedcast" -q) &
cast=$!
# The metrics show the stream from the first summary after its first packet.
wait_for "$wine_wait" fetched /metrics \
  'feedwatch_stream_packets_total{server="CC1",kind="Skillset",scheme="Interval to Date"}'
report $? "feedwatch.exe --http: the metrics"
fetched / "Content-Security-Policy: default-src 'none'" -i
report $? "feedwatch.exe --http: the page, with its security policy"
fetched /api/streams '"records":[{"SkillsetID":201,"AgentsAvailable":4,'
report $? "feedwatch.exe --http: the tables as JSON"
curl -sN --max-time 3 "$url/events" > "$dir/events" 2>&1
grep -q '^event: packet' "$dir/events" && grep -q '^event: summary' "$dir/events"
report $? "feedwatch.exe --http: the events"
fetched / 'HTTP/1.1 405 Method Not Allowed' -i -X POST
report $? "feedwatch.exe --http: 405 for POST"
fetched /nothing 'HTTP/1.1 404 Not Found' -i
report $? "feedwatch.exe --http: 404 for another path"
mkdir -p "$dir/second"
(cd "$dir/second" && timeout -k 10 "$long" $WINE "$WIN_BIN/feedwatch.exe" --http 8480 6040 \
  < /dev/null > out 2> err)
status=$?
[ "$status" = 255 ] && ! grep -q adapter "$dir/second/out" &&
  tr -d '\r' < "$dir/second/err" | grep -qx 'feedwatch: cannot serve HTTP on 127\.0\.0\.1:8480: ..*'
report $? "feedwatch.exe --http on a port in use: status $status, $(tr -d '\r' < "$dir/second/err")"
kill "$cast" "$watch"
wait "$cast" "$watch" 2> /dev/null

# What `$1 --check --config $3`, run in folder $2, prints on standard output
# and standard error and its status, the folder's path left out and line
# ends without CR.
checked() {
  (cd "$2" && $1 --check --config "$3" < /dev/null > out 2> err; echo "status $?" > status)
  cat "$2/out" "$2/err" "$2/status" | tr -d '\r' | sed "s|[^ ]*[/\\]$3|$3|g"
}

if [ -n "${CHECK_FILES:-}" ]; then
  mkdir -p "$work/check/linux" "$work/check/windows"
  for file in "$CHECK_FILES"/*.ini; do
    name=$(basename "$file")
    dir=$work/check
    cp "$file" "$dir/linux" && cp "$file" "$dir/windows"
    linux=$(checked "$LINUX_BIN/feedcast" "$dir/linux" "$name")
    windows=$(checked "$WINE $WIN_BIN/feedcast.exe" "$dir/windows" "$name")
    [ -n "$linux" ] && [ "$windows" = "$linux" ]
    report $? "feedcast.exe --check prints what Linux feedcast prints for $name"
  done
fi

# feedcast.exe --replay of a capture that tcpdump recorded on Linux of Linux
# feedcast's multi-packet sample (two messages of two parts), at 4 times its
# speed: a Linux monitor prints what it printed for the live feed, the times
# included, and the trace names the capture and counts all four datagrams
# as sent.
feed_folders replay "$EXAMPLES/feedcast-multipacket.ini"
start_monitor live out "$LINUX_BIN/feedwatch -c 2 -t $long $port"
live=$pid
tcpdump -i lo -U --immediate-mode -w "$dir/feed.pcap" udp port "$port" > "$dir/tcpdump.log" 2>&1 &
recorder=$!
wait_for 10 grep -qs 'listening on' "$dir/tcpdump.log"
sleep 1
(cd "$dir/cast" && exec "$LINUX_BIN/feedcast" --count 2 > /dev/null 2>&1)
wait_exit 10 "$live"
kill -INT "$recorder"
wait "$recorder"
start_monitor replayed out "$LINUX_BIN/feedwatch -c 2 -t $long $port"
(cd "$dir/wincast" && exec timeout "$long" $WINE "$WIN_BIN/feedcast.exe" \
  --replay '..\feed.pcap' --speed 4 > out 2> err)
statuses="$statuses $?"
wait_exit 10 "$pid"
trace=$(tr -d '\r' < "$dir/wincast/out")
captured=$(printf '%s\n' "$trace" |
  sed -n 's/^Replaying \.\.\\feed\.pcap: \([0-9]*\) datagrams of the feed over [0-9.]* s$/\1/p')
all_zero && [ "$(blocks "$dir/replayed/out" | wc -l)" = 2 ] &&
  [ "$(blocks "$dir/replayed/out")" = "$(blocks "$dir/live/out")" ] && [ "$captured" = 4 ] &&
  printf '%s\n' "$trace" |
  grep -q "^Sent $captured datagrams in [0-9.]* s, greatest lateness [0-9.]* ms\$"
report $? "feedcast.exe --replay of a Linux capture: what the live feed showed (statuses$statuses)"

for sample in multipacket live-skillset; do one_feed "$sample" "$EXAMPLES/feedcast-$sample.ini"; done
# Integers in every base, in the header keys and in the records: the monitor
# shows every field, so both feedcasts must send the same values.
printf '%s\r\n' '[MCast]' 'MessageType=2' 'StatScheme=1' 'UpdateRate=0b1' 'ServerName=BASES' \
  'ReleaseNumber=0x8' 'MinorVersion=0b100' 'BuildNumber=-0x1' '[Skillset]' 'Number=0x2' \
  'Encode=0b0' 'SkillsetID0=0x10' 'AgentsAvailable1=0b101' 'CallsWaiting0=-0x7F' \
  'SkillsetID1=0o17' 'AgentsInService1= 0xFFFFFFFF' "MaxWaitingTime0='0b11'" > "$work/bases.ini"
one_feed bases "$work/bases.ini"

summary
