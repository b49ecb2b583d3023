#!/usr/bin/env bash
# Our store file against Wine's reg.exe: what we write, Wine imports and exports byte for byte;
# what Wine exports, we read with every value and type right.
set -euo pipefail
tool=$1
work=$2
mkdir -p "$work"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY=
# A prefix whose first boot went wrong ("could not load kernel32.dll") is made again, once.
for attempt in 1 2; do
  [ -f "$WINEPREFIX/system.reg" ] || wineboot -i >"$work/wineboot.log" 2>&1 || true
  wine reg query 'HKCU\Software' >/dev/null 2>&1 && break
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
done
wineserver -p >"$work/wineserver.log" 2>&1 || true
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"; wineserver -k >/dev/null 2>&1 || true' EXIT
fail=0

# 1. Ours -> Wine -> export: identical bytes.
"$tool" sample "$tmp/ours.reg"
wine reg delete 'HKCU\Software\Oskelan' /f >/dev/null 2>&1 || true
wine reg import "$(winepath -w "$tmp/ours.reg")" >/dev/null 2>&1
wine reg export 'HKEY_CURRENT_USER\Software\Oskelan' "$(winepath -w "$tmp/wine.reg")" /y >/dev/null 2>&1
"$tool" subtree "$tmp/ours.reg" HKEY_CURRENT_USER '\Software\Oskelan' "$tmp/ours-subtree.reg"
if cmp -s "$tmp/wine.reg" "$tmp/ours-subtree.reg"; then
  echo "ok: Wine's export of our file is byte-identical"
else
  echo "FAIL: Wine's export differs from our file"
  diff <(iconv -f UTF-16LE -t UTF-8 "$tmp/ours-subtree.reg" | cat -A) \
       <(iconv -f UTF-16LE -t UTF-8 "$tmp/wine.reg" | cat -A) | head -20 || true
  fail=1
fi

# 2. Wine's own values -> export -> we read each with its type.
k='HKCU\Software\QuorvaleWine'
wine reg delete "$k" /f >/dev/null 2>&1 || true
wine reg add "$k" /v text /t REG_SZ /d 'C:\Games\a "b"' /f >/dev/null 2>&1
wine reg add "$k" /v Name /t REG_SZ /d 'Zoë Ж' /f >/dev/null 2>&1
wine reg add "$k" /v expand /t REG_EXPAND_SZ /d '%USERPROFILE%\x' /f >/dev/null 2>&1
wine reg add "$k" /v number /t REG_DWORD /d 4294967295 /f >/dev/null 2>&1
wine reg add "$k" /v bytes /t REG_BINARY /d 00ff10 /f >/dev/null 2>&1
wine reg add "$k\10" /v checked /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add "$k\9" /f >/dev/null 2>&1
wine reg export 'HKEY_CURRENT_USER\Software\QuorvaleWine' "$(winepath -w "$tmp/fromwine.reg")" /y >/dev/null 2>&1
expected='HKEY_CURRENT_USER\Software\QuorvaleWine | bytes | 3 | 00ff10
HKEY_CURRENT_USER\Software\QuorvaleWine | expand | 2 | %USERPROFILE%\x
HKEY_CURRENT_USER\Software\QuorvaleWine | Name | 1 | Zoë Ж
HKEY_CURRENT_USER\Software\QuorvaleWine | number | 4 | 4294967295
HKEY_CURRENT_USER\Software\QuorvaleWine | text | 1 | C:\Games\a "b"
HKEY_CURRENT_USER\Software\QuorvaleWine\10 | checked | 4 | 1
HKEY_CURRENT_USER\Software\QuorvaleWine\9 | @ | 1 | '
got=$("$tool" dump "$tmp/fromwine.reg")
if [ "$got" = "$expected" ]; then
  echo "ok: every value Wine exported reads back with its type"
else
  echo "FAIL: values read from Wine's export differ"
  diff <(echo "$expected") <(echo "$got") || true
  fail=1
fi
# and the file we write from it is Wine's file again
"$tool" subtree "$tmp/fromwine.reg" HKEY_CURRENT_USER '\Software\QuorvaleWine' "$tmp/again.reg"
if cmp -s "$tmp/fromwine.reg" "$tmp/again.reg"; then
  echo "ok: Wine's export written again by us is byte-identical"
else
  echo "FAIL: rewriting Wine's export changed it"
  fail=1
fi
if [ $fail = 0 ]; then echo "3 passed, 0 failed"; else echo "fail"; fi
exit $fail
