#!/usr/bin/env bash
# The main job, end to end: build what it needs, then let the real driver
# (real time, as a SCADA host loads it) bring up a simulated substation
# network on a pseudo-terminal and watch it: the banner, the network coming
# up, the stations found, the initial read filling the gates, spontaneous
# changes. Then write a setpoint and read it back.
set -euo pipefail
cd "$(dirname "$0")/.."

bold=""
plain=""
if [[ -t 1 ]]; then
  bold=$'\e[1m'
  plain=$'\e[0m'
fi
step() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }

step "Debian packages"
scripts/install-deps.sh

step "building the driver, the host library, the simulator and vpihost"
# A build of its own, without tests and with light optimisation, so that a
# fresh clone reaches the story in about 20 s on two cores.
cmake --preset demo >/dev/null
cmake --build --preset demo --target telmor veldan ultsim ultsim_cli vpihost
bin=build-demo/bin

step "vpihost run --simulate --duration 20"
"$bin/vpihost" run --simulate --duration 20

# A write and a read are two runs of vpihost, so the network they talk to must
# outlive each of them: the simulator's own program serves it meanwhile.
step "a setpoint written and read back, on a network served by ultsim"
workdir=$(mktemp -d)
"$bin/ultsim" --pty --stations 1,2,12 --rate 2 >"$workdir/pty" &
ultsim_pid=$!
trap 'kill "$ultsim_pid" 2>/dev/null; wait "$ultsim_pid" 2>/dev/null; rm -rf "$workdir"' EXIT
for _ in $(seq 50); do
  [[ -s $workdir/pty ]] && break
  sleep 0.1
done
port=$(head -n 1 "$workdir/pty")
if [[ -z $port ]]; then
  echo "demo: ultsim did not start" >&2
  exit 1
fi
# The host record holds 11 characters: /dev/pts/100 and up do not fit, but
# the driver finds pts/N under /dev.
port=${port#/dev/}
echo "ultsim serves $port (stations 1, 2, 12)"
(
  set -x
  "$bin/vpihost" write 012I01 235 --port "$port"
  "$bin/vpihost" read 012I01 --port "$port"
)
step "done"
