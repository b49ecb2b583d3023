#!/usr/bin/env bash
# quorvale-query against the fake game server on 127.0.0.1: exit codes and both output forms,
# and the real captured replies played back.
set -u
query=$1
server=$2
data=$3
pass=0
fail=0
check() { # name, condition result
  if [ "$2" = 0 ]; then pass=$((pass + 1)); else fail=$((fail + 1)); echo "FAIL: $1"; fi
}
pids=()
trap 'kill "${pids[@]}" 2>/dev/null' EXIT
# serve NAME ARGS...: starts a fake server on free ports and waits for its first line, "ready"
# and the ports it answers on, which go into the array NAME.
serve() {
  local name=$1 fd line
  shift
  exec {fd}< <(exec "$server" "$@")
  pids+=($!)
  if ! read -r -t 10 line <&"$fd" || [ "${line%% *}" != ready ]; then
    echo "FAIL: fake_game_server $* did not start"
    exit 1
  fi
  read -r -a "$name" <<<"${line#ready}"
}
serve gs --players 2 0 0
serve capture --reply-file "$data/synth_arma1_1_FFFF00.bin" 0
serve silent --silent 0
serve drops --ignore 1 0 0
# A server of today: the Steam query only, at the game port + 1.
serve a2s --a2s --players 2 --state 8 0
# A mission that would set the terminal's title, clear it and forge a line.
serve ctl --mission $'Dom\e]0;title\a\e[2J\nforged\x7f\xc2\x9b' 0
base=${gs[0]}
today=$((a2s[0] - 1)) # its game port

out=$("$query" "127.0.0.1:$base" "localhost:${gs[1]}"); rc=$?
check "all answered exits 0" $([ $rc = 0 ] && echo 0 || echo 1)
check "one line per server in order" $([ "$(echo "$out" | wc -l)" = 2 ] && echo "$out" | head -1 | grep -q "^127.0.0.1:$base .*2/32 .*Game in progress" && echo 0 || echo 1)

out=$("$query" --json --timeout 300 "127.0.0.1:${capture[0]}" "127.0.0.1:${silent[0]}" "127.0.0.1:x"); rc=$?
check "a silent server exits 1" $([ $rc = 1 ] && echo 0 || echo 1)
line1=$(echo "$out" | sed -n 1p)
check "capture parsed to players and scores" $(echo "$line1" | grep -q '"players":\[{"name":"Rokse \[LT\]","score":"56"},{"name":"EngineerACE","score":"39"}\]' && echo 0 || echo 1)
check "capture slots and state" $(echo "$line1" | grep -q '"slots":"8","mission":"co@10 Domination!ACE East \[4.5+\] RA","gameState":"7"' && echo 0 || echo 1)
check "no response as JSON" $(echo "$out" | sed -n 2p | grep -qx "{\"host\":\"127.0.0.1\",\"port\":${silent[0]},\"error\":\"no response\"}" && echo 0 || echo 1)
check "bad port as JSON" $(echo "$out" | sed -n 3p | grep -qx '{"host":"127.0.0.1","port":"x","error":"'"'"'x'"'"' is not a valid integer value"}' && echo 0 || echo 1)

"$query" --protocol gs2 --retries 0 --timeout 300 "127.0.0.1:${drops[0]}" >/dev/null; rc=$?
check "without retries a server that drops the first request is not heard" $([ $rc = 1 ] && echo 0 || echo 1)
"$query" --interval 100 "127.0.0.1:${drops[1]}" >/dev/null; rc=$?
check "a retry reaches a server that dropped the first request" $([ $rc = 0 ] && echo 0 || echo 1)

out=$("$query" --json "127.0.0.1:$today" "127.0.0.1:$base"); rc=$?
check "both kinds answer" $([ $rc = 0 ] && echo 0 || echo 1)
check "the Steam query's answer as JSON" $(echo "$out" | sed -n 1p | grep -q '"protocol":"a2s","numPlayers":"2","slots":"34","mission":"co@10 Domination","gameState":"8","players":\[{"name":"Anna0","score":"0"},{"name":"Björn1","score":"7"}\]' && echo 0 || echo 1)
check "the GameSpy answer as JSON" $(echo "$out" | sed -n 2p | grep -q '"protocol":"gs2","numPlayers":"2","slots":"32"' && echo 0 || echo 1)
"$query" --protocol gs2 --timeout 200 "127.0.0.1:$today" >/dev/null; rc=$?
check "--protocol gs2 does not ask the query port" $([ $rc = 1 ] && echo 0 || echo 1)
out=$("$query" --protocol a2s "127.0.0.1:$today")
check "--protocol a2s in the text line" $(echo "$out" | grep -q "^127.0.0.1:$today  [0-9]* ms  a2s  2/34  co@10 Domination  Debriefing  players: Anna0 (0), Björn1 (7)$" && echo 0 || echo 1)
# The rules' chunked mod list: whole, one chunk missing, hostile.
serve gap --a2s --mod-chunk 13 --rules-split 3 --missing-chunk 2 0
serve hostile --a2s --hostile-rules 0
out=$("$query" --rules --json "127.0.0.1:$today" "127.0.0.1:$((gap[0] - 1))" "127.0.0.1:$((hostile[0] - 1))"); rc=$?
check "--rules lists the mods in the server's order" $([ $rc = 0 ] && echo "$out" | sed -n 1p | grep -qF '"mods":["Arma 2: British Armed Forces (Lite)","@CBA_CO","@ACE","Arma 2","Arma 2: Operation Arrowhead"]}' && echo 0 || echo 1)
check "--rules keeps the mods a missing chunk did not cut" $(echo "$out" | sed -n 2p | grep -qF '"mods":["@ACE","Arma 2","Arma 2: Operation Arrowhead"],"mods_problem":"modNames: 1 of 7 chunks did not come (2)' && echo 0 || echo 1)
check "--rules shows what a hostile list holds" $(echo "$out" | sed -n 3p | grep -qF '"mods":["@ACE","ÿþ bad","y"],"mods_problem":"modNames: 999999998 of 1000000000 chunks did not come (1, 2, 3, 4, 5, ...); chunks that contradict' && echo 0 || echo 1)
out=$("$query" --rules --protocol a2s "127.0.0.1:$today")
check "--rules in the text line" $(echo "$out" | grep -q "players: Anna0 (0), Björn1 (7)  mods: Arma 2: British Armed Forces (Lite); @CBA_CO; @ACE; Arma 2; Arma 2: Operation Arrowhead$" && echo 0 || echo 1)
"$query" --protocol quake 127.0.0.1 >/dev/null 2>&1; rc=$?
check "an unknown protocol is a usage error" $([ $rc = 2 ] && echo 0 || echo 1)

out=$("$query" "127.0.0.1:${ctl[0]}"; "$query" --json "127.0.0.1:${ctl[0]}")
check "control characters from a server are escaped in both forms" $([ "$(echo "$out" | grep -cF 'Dom\u001b]0;title\u0007\u001b[2J\nforged\u007f\u009b')" = 2 ] && ! echo "$out" | LC_ALL=C grep -q $'[\e\a\x7f\xc2]' && echo 0 || echo 1)

printf '127.0.0.1:%d\n\n127.0.0.1:%d\n' "$base" "${gs[1]}" >"${TMPDIR:-/tmp}/qq-list.$$"
"$query" -f "${TMPDIR:-/tmp}/qq-list.$$" >/dev/null; rc=$?
rm -f "${TMPDIR:-/tmp}/qq-list.$$"
check "servers from a file" $([ $rc = 0 ] && echo 0 || echo 1)

# Steam's master server, faked: five generated addresses in pages of two; then two servers of
# today that the master lists by their query ports.
serve master --master --servers 5 --per-page 2 0
out=$("$query" --master "127.0.0.1:${master[0]}" --json 2>"${TMPDIR:-/tmp}/qq-err.$$"); rc=$?
err=$(cat "${TMPDIR:-/tmp}/qq-err.$$")
check "the master's list as JSON" $([ $rc = 0 ] && [ "$(echo "$out" | wc -l)" = 5 ] && echo "$out" | sed -n 5p | grep -qx '{"host":"127.1.0.5","query_port":2303}' && echo "$err" | grep -q 'The master server lists 5 servers' && echo 0 || echo 1)
serve listed --a2s --players 1 0 0
printf '127.0.0.1:%d\n127.0.0.1:%d\n' "${listed[0]}" "${listed[1]}" >"${TMPDIR:-/tmp}/qq-listed.$$"
serve master2 --master --server-file "${TMPDIR:-/tmp}/qq-listed.$$" 0
out=$("$query" --master "127.0.0.1:${master2[0]}" --query --json 2>/dev/null); rc=$?
rm -f "${TMPDIR:-/tmp}/qq-listed.$$" "${TMPDIR:-/tmp}/qq-err.$$"
check "--query asks the listed servers, joined on the game port they tell" $([ $rc = 0 ] && echo "$out" | sed -n 2p | grep -q '^{"host":"127.0.0.1","port":2302,"query_port":'"${listed[1]}"',"ping_ms":[0-9.]*,"protocol":"a2s","numPlayers":"1"' && echo 0 || echo 1)
"$query" --query 127.0.0.1 >/dev/null 2>&1; rc=$?
check "--query without --master is a usage error" $([ $rc = 2 ] && echo 0 || echo 1)

"$query" >/dev/null 2>&1; rc=$?
check "no server is a usage error" $([ $rc = 2 ] && echo 0 || echo 1)
"$query" --timeout abc 127.0.0.1 >/dev/null 2>&1; rc=$?
check "a bad timeout is a usage error" $([ $rc = 2 ] && echo 0 || echo 1)
"$query" --retries -1 127.0.0.1 >/dev/null 2>&1; rc=$?
check "negative retries are a usage error" $([ $rc = 2 ] && echo 0 || echo 1)

echo "$pass passed, $fail failed"
[ $fail = 0 ]
