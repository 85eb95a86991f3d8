#!/usr/bin/env bash
# Cross-builds TELMOR.DLL and VELDAN.DLL for 32-bit Windows, checks what they
# export and import, and runs the Windows test programs under Wine against
# the substation network simulator (a Linux program) on a pseudo-terminal
# that Wine sees as COM5.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/install-wine.sh

echo "=== win32 build ==="
cmake --preset win32 >/dev/null
cmake --build --preset win32
bin=$root/build-win32/bin

# The simulator runs on Linux: it comes from the default build.
cmake --preset default >/dev/null
cmake --build --preset default --target ultsim_cli
ultsim=$root/build/bin/ultsim

echo "=== exports and imports ==="
objdump=i686-w64-mingw32-objdump
# Only Windows' own DLLs and the host library: no runtime DLL of mingw's.
allowed='^(KERNEL32\.dll|msvcrt\.dll|VELDAN\.DLL)$'
check_imports() {
  local dll=$1 name
  while read -r name; do
    if ! [[ $name =~ $allowed ]]; then
      echo "$dll imports from $name, which a Windows host does not have" >&2
      return 1
    fi
  done < <($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p')
  echo "$dll imports: $($objdump -p "$dll" | sed -n 's/^\s*DLL Name: //p' | tr '\n' ' ')"
}
check_imports "$bin/TELMOR.DLL"
check_imports "$bin/VELDAN.DLL"
exports=$($objdump -p "$bin/TELMOR.DLL" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p')
if [[ $exports != "VpiMain" ]]; then
  echo "TELMOR.DLL must export VpiMain alone, exports: $exports" >&2
  exit 1
fi
echo "TELMOR.DLL exports: $exports"
services=$($objdump -p "$bin/TELMOR.DLL" | sed -n '/DLL Name: VELDAN.DLL/,/^$/p' | awk 'NF == 3 && $2 ~ /^[0-9]+$/ {print $3}' | sort | tr '\n' ' ')
if [[ $services != "KoriCook KoriGetGateIdByAddressStr KoriPutGateVal KoriSetPlcCommStatus err " ]]; then
  echo "TELMOR.DLL must import the five host services from VELDAN.DLL, imports: $services" >&2
  exit 1
fi
echo "TELMOR.DLL imports from VELDAN.DLL: $services"

echo "=== Wine ==="
export WINEPREFIX=$root/build-win32/wineprefix WINEARCH=win32 WINEDEBUG=-all
# No Mono or Gecko: nothing here needs them, and their installers would ask.
export WINEDLLOVERRIDES="mscoree,mshtml="
ultsim_pids=()
# The Wine server first: it opened the pty as its controlling terminal, and
# the simulator's end closing under it would send it a hang-up.
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  local pid
  for pid in "${ultsim_pids[@]}"; do
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
}
trap cleanup EXIT

# Made once, before any test runs: a prefix made lazily by parallel runs fails
# at random.
if [[ ! -f $WINEPREFIX/system.reg ]]; then
  echo "making the Wine prefix"
  wineboot -i >/dev/null 2>&1 </dev/null
  wineserver -w
fi
# One server for every program of the run. It keeps no output of ours open,
# or a caller reading this script's output would wait for it.
wineserver -p >/dev/null 2>&1 </dev/null

# start_ultsim PORT ARGS...: a simulator on a pty that Wine sees as PORT
# (com5, com6, ...), its output in build-win32/ultsim-PORT.out.
start_ultsim() {
  local port=$1 link=$WINEPREFIX/dosdevices/$1 out=$root/build-win32/ultsim-$1.out
  shift
  rm -f "$link"
  "$ultsim" --pty --link "$link" "$@" >"$out" 2>&1 </dev/null &
  ultsim_pids+=($!)
  for _ in $(seq 100); do
    [[ -L $link ]] && break
    sleep 0.05
  done
  if [[ ! -L $link ]]; then
    echo "the simulator on $port did not come up" >&2
    cat "$out" >&2
    exit 1
  fi
  echo "${port^^} -> $(readlink "$link")"
}

start_ultsim com5 --stations 12
status=0
cd "$bin"
rm -f wine_scenarios.log
for program in wine_platform wine_scenarios; do
  echo "--- $program ---"
  timeout 150 wine "$program.exe" COM5 </dev/null || status=1
done
log=wine_scenarios.log
if ((status != 0)) && [[ -f $log ]]; then
  echo "--- the driver's log of wine_scenarios (last 60 lines) ---"
  tail -n 60 "$log" || true
fi

# Random value messages and a power-up message (E070) timed for the run phase:
# Wine starts the program within a second or two, the driver's start-up takes
# some 2.2 s and the case watches the values for 3 s before the E070 is due.
echo "--- wine_scenarios, unsolicited messages ---"
start_ultsim com6 --stations 12 --rate 20 --power-up-after 12
if ! timeout 90 wine wine_scenarios.exe COM6 Unsolicited </dev/null; then
  status=1
  echo "--- the driver's log (last 60 lines) ---"
  tail -n 60 "$log" || true
fi
exit $status
