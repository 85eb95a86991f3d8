#!/usr/bin/env bash
# Builds the Debian package and proves that it installs, runs and goes away
# again on a clean Debian 12 machine: a minimal bookworm root (made once with
# debootstrap, then kept as a tarball) is unpacked afresh, the package is
# installed there with apt-get the way a user would, its programs and driver
# must find every library they need, vpihost must describe its driver and run a
# simulated network on a pseudo-terminal, and `dpkg -r` must take it all away.
#
#   scripts/package.sh              the clean-root check (needs root: chroot, mount)
#   scripts/package.sh --quick      only unpack the package and run `vpihost info`
#   scripts/package.sh --deb FILE   check FILE instead of building (with or without --quick)
#
# BUILD_DIR (default build) is where it builds, with the default preset's
# settings. TELMOR_CLEAN_ROOT_CACHE (default /var/cache/telmor-clean-root) holds
# the clean root's tarball; delete the tarball to make a new one. DEBIAN_MIRROR
# (default http://deb.debian.org/debian) is where the root and the package's
# dependencies come from.
#
# Any failure ends the script with a non-zero exit and one line saying why,
# always the last line it prints; mounts are undone on every way out.
set -Eeuo pipefail
cd "$(dirname "$0")/.."
# shellcheck source=scripts/lib/packages.sh
source scripts/lib/packages.sh

build_dir=${BUILD_DIR:-build}
cache_dir=${TELMOR_CLEAN_ROOT_CACHE:-/var/cache/telmor-clean-root}
mirror=${DEBIAN_MIRROR:-http://deb.debian.org/debian}
suite=bookworm

mode=clean
given_deb=""
while (($#)); do
  case $1 in
    --quick) mode=quick ;;
    --deb)
      (($# >= 2)) || { echo "package.sh: --deb needs a file" >&2 && exit 64; }
      given_deb=$(realpath -e -- "$2" 2>/dev/null) || { echo "package.sh: no package '$2'" >&2 && exit 64; }
      shift
      ;;
    -h | --help)
      sed -n '2,/^set -E/{/^set -E/d;s/^# \{0,1\}//;p}' "$0"
      exit 0
      ;;
    *)
      echo "package.sh: unknown argument '$1' (see --help)" >&2
      exit 64
      ;;
  esac
  shift
done

fail() {
  [[ -s ${log:-} ]] && echo "package.sh: full output in $log" >&2
  echo "package.sh: FAILED: $*" >&2
  exit 1
}
# A command that fails outside the checks below still ends with one line.
trap 'fail "line $LINENO: \`$BASH_COMMAND\` exited $?"' ERR
trap 'echo "package.sh: FAILED: interrupted" >&2; exit 130' INT TERM HUP

log=$(mktemp "${TMPDIR:-/tmp}/telmor-package.XXXXXX.log")
root=""
partial=""

mounted_under() { findmnt -rn -o TARGET | grep "^$1/" | sort -r; }

# Undoes every mount under the root, this script's and any a failed debootstrap
# left, deepest first; the root is deleted only when none is left.
cleanup() {
  local rc=$? target
  trap - ERR
  set +e
  if [[ -n $root && -d $root ]]; then
    while read -r target; do
      umount "$target" 2>/dev/null || umount -l "$target"
    done < <(mounted_under "$root")
    if [[ -n $(mounted_under "$root") ]]; then
      echo "package.sh: FAILED: could not unmount everything under $root; left in place" >&2
      exit 1
    fi
    rm -rf --one-file-system "$root"
  fi
  [[ -n $partial ]] && rm -f "$partial"
  ((rc == 0)) && rm -f "$log"
  exit "$rc"
}
trap cleanup EXIT

# Runs a step with its output in the log; on failure shows the log's end and
# gives the step's name as the reason.
step() {
  local what=$1
  shift
  local rc=0
  echo "--- $what" >>"$log"
  "$@" >>"$log" 2>&1 || rc=$?
  if ((rc != 0)); then
    echo "last lines of the output:" >&2
    tail -n 25 "$log" | sed 's/^/  /' >&2
    fail "$what (exit $rc)"
  fi
}

elapsed() { printf '%d:%02d' $((SECONDS / 60)) $((SECONDS % 60)); }

need_packages() {
  local missing
  find_missing_packages "$@"
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    step "apt-get update" sudo_unless_root apt-get update -qq
    step "apt-get install ${missing[*]}" sudo_unless_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
  fi
}

if [[ $mode == clean && $(id -u) -ne 0 ]]; then
  fail "the clean-root check needs root (debootstrap, chroot, mount); run it as root, or use --quick"
fi

# ---- the package ----------------------------------------------------------
build_package() {
  step "installing the build's packages (scripts/install-deps.sh)" scripts/install-deps.sh
  # cpack takes the package's dependencies from dpkg-shlibdeps.
  need_packages dpkg-dev
  step "configuring $build_dir" cmake --preset default -B "$build_dir"
  step "building in $build_dir" cmake --build "$build_dir" --target telmor veldan vpihost ultsim_cli
  rm -f "$build_dir"/telmor_*.deb
  step "cpack -G DEB" cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$build_dir"
  local debs=("$build_dir"/telmor_*.deb)
  [[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "cpack made no single $build_dir/telmor_*.deb"
  deb=${debs[0]}
  echo "built $deb ($(elapsed))"
}
if [[ -n $given_deb ]]; then
  deb=$given_deb
else
  build_package
fi
deb_name=$(basename "$deb")
package=$(dpkg-deb -f "$deb" Package)
depends=$(dpkg-deb -f "$deb" Depends)
dpkg-deb -I "$deb" | sed -n 's/^ \(Package\|Version\|Architecture\|Depends\|Installed-Size\):/  &/p'
[[ $depends == *libc6* ]] || fail "$deb_name declares no dependency on libc6 (Depends: '${depends}')"

if [[ $mode == quick ]]; then
  root=$(mktemp -d)
  dpkg -x "$deb" "$root"
  env -u TELMOR_DRIVER "$root/usr/bin/vpihost" info || fail "vpihost info from the unpacked $deb_name exited $?"
  echo "package $deb unpacks and its vpihost runs (quick check only, $(elapsed))"
  exit 0
fi

# ---- the clean root ---------------------------------------------------------
need_packages debootstrap
arch=$(dpkg --print-architecture)
tarball=$cache_dir/$suite-minbase-$arch.tar
if [[ ! -s $tarball ]]; then
  echo "making the clean $suite root (once; kept in $tarball)"
  mkdir -p "$cache_dir"
  root=$(mktemp -d "$cache_dir/debootstrap.XXXXXX")
  chmod 0755 "$root"
  step "debootstrap --variant=minbase $suite from $mirror" \
    debootstrap --variant=minbase "$suite" "$root" "$mirror"
  # The downloaded packages stay behind in apt's cache; a new machine has none.
  rm -f "$root"/var/cache/apt/archives/*.deb
  partial=$tarball.part
  step "packing the clean root" tar --numeric-owner -C "$root" -cf "$partial" .
  mv "$partial" "$tarball"
  partial=""
  rm -rf --one-file-system "$root"
  root=""
  echo "clean root made ($(elapsed))"
fi

# Every run starts from the tarball, so nothing of an earlier run is left.
root=$(mktemp -d "$cache_dir/run.XXXXXX")
step "unpacking $tarball" tar --numeric-owner -C "$root" -xf "$tarball"
# mktemp's 0700 would keep apt's own unprivileged user out of /.
chmod 0755 "$root"
cp -L /etc/resolv.conf "$root/etc/resolv.conf"
cp "$deb" "$root/tmp/$deb_name"

mount_in_root() {
  local target=$root/$1
  shift
  mkdir -p "$target"
  mount "$@" "$target" || fail "could not mount $target"
}
mount_in_root proc -t proc proc
# A pseudo-terminal instance of its own, so the simulated network's terminal
# is made inside the root without the host's /dev.
mount_in_root dev/pts -t devpts -o newinstance,ptmxmode=0666,mode=0620 devpts
rm -f "$root/dev/ptmx"
ln -s pts/ptmx "$root/dev/ptmx"

cat >"$root/tmp/telmor-check.sh" <<'CHECK'
#!/bin/bash
# Runs inside the clean root: install as a user would, then look and run.
set -uo pipefail
deb=$1 package=$2
apt_log=/tmp/apt.log
fail() {
  echo "FAILED: $*"
  exit 1
}
apt_failed() {
  tail -n 15 "$apt_log" | sed 's/^/  /'
  # apt's own account of an unmet dependency says more than its closing error.
  local why
  why=$(grep -E -m 1 'Depends: .* but ' "$apt_log" | sed 's/^ *//; s/  */ /g')
  [[ -n $why ]] || why=$(grep -E '^(E:|dpkg: error)' "$apt_log" | tail -n 1)
  fail "$1: $why"
}

before=$(dpkg-query -W -f='${Package}\n' | sort)
apt-get update -qq >"$apt_log" 2>&1 || apt_failed "apt-get update in the clean root failed"
apt-get install -y -q --no-install-recommends "$deb" >>"$apt_log" 2>&1 ||
  apt_failed "apt-get install $deb in the clean root failed"
added=$(comm -13 <(echo "$before") <(dpkg-query -W -f='${Package}\n' | sort) | grep -vx "$package" | tr '\n' ' ')
echo "installed $package with apt-get; other packages it brought: ${added:-none}"

# Every library the programs and the driver need must be found, and must come
# from this package or one it depends on: a clean root already has some
# libraries, which must not hide a dependency the package forgot to declare.
declared=$(dpkg-query -W -f='${Depends}' "$package" | tr ',|' '\n\n' | sed 's/^ *//; s/[ (:].*//; /^$/d')
owner() {
  local path=$1 alt
  case $path in
    /usr/*) alt=${path#/usr} ;;
    *) alt=/usr$path ;;
  esac
  for candidate in "$path" "$alt" "$(readlink -f "$path")"; do
    if found=$(dpkg-query -S "$candidate" 2>/dev/null); then
      sed -n '1{s/[:,].*//;p}' <<<"$found"
      return
    fi
  done
}
[[ -e /usr/lib/telmor/libtelmor.so ]] || fail "the driver /usr/lib/telmor/libtelmor.so is not installed"
for binary in /usr/bin/vpihost /usr/bin/ultsim /usr/lib/telmor/libtelmor.so* /usr/lib/libveldan.so.1*; do
  [[ -e $binary ]] || fail "$binary is not installed"
  [[ -L $binary ]] && continue
  echo "ldd $binary"
  out=$(ldd "$binary" 2>&1) || fail "ldd $binary failed: $out"
  echo "$out" | sed 's/ (0x[0-9a-f]*)//; s/^\s*/  /'
  if grep -q 'not found' <<<"$out"; then
    fail "$binary needs a library the clean root does not have: $(grep 'not found' <<<"$out" | head -n 1 | xargs)"
  fi
  while read -r path; do
    from=$(owner "$path")
    [[ -n $from ]] || fail "$binary loads $path, which no package owns"
    [[ $from == "$package" ]] || grep -qx "$from" <<<"$declared" ||
      fail "$binary loads $path from $from, which $package does not declare in Depends"
  done < <(grep -o '/[^ ]*' <<<"$out")
done

# The post-install script must have told the dynamic linker about the host library.
ldconfig -p | grep -q 'libveldan\.so\.1 ' || fail "libveldan.so.1 is not in the linker cache after installing (postinst ldconfig)"

echo "vpihost info"
out=$(cd / && timeout 30 vpihost info 2>&1)
rc=$?
echo "$out" | sed 's/^/  /'
((rc == 0)) || fail "vpihost info exited $rc"
grep -q TELMOR <<<"$out" || fail "vpihost info printed no banner"
grep -Eq '/usr/(bin/\.\./)?lib/telmor/libtelmor\.so' <<<"$out" ||
  fail "vpihost info did not load the installed driver in /usr/lib/telmor"

echo "vpihost run --simulate --duration 3"
out=$(cd / && timeout 60 vpihost run --simulate --duration 3 </dev/null 2>&1)
rc=$?
echo "$out" | tail -n 6 | sed 's/^/  /'
((rc == 0)) || fail "vpihost run --simulate --duration 3 exited $rc"

out=$(timeout 10 ultsim --help 2>&1)
rc=$?
((rc == 0)) || fail "ultsim --help exited $rc: $(head -n 1 <<<"$out")"

dpkg -r "$package" >>"$apt_log" 2>&1 || apt_failed "dpkg -r $package failed"
for gone in /usr/lib/telmor /usr/bin/vpihost /usr/bin/ultsim /usr/lib/libveldan.so.1 /usr/include/telmor; do
  [[ ! -e $gone ]] || fail "$gone is still there after dpkg -r $package"
done
if ldconfig -p | grep -q 'libveldan\.so\.1 '; then
  fail "libveldan.so.1 is still in the linker cache after dpkg -r (postrm ldconfig)"
fi
echo "dpkg -r $package removed /usr/lib/telmor, /usr/bin/vpihost, /usr/bin/ultsim and libveldan"
CHECK

echo "checking $deb_name in a clean $suite root"
# The host's environment stays outside (TELMOR_DRIVER above all).
rc=0
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  DEBIAN_FRONTEND=noninteractive /bin/bash /tmp/telmor-check.sh "/tmp/$deb_name" "$package" 2>&1 |
  tee -a "$log" || rc=$?
if ((rc != 0)); then
  reason=$(grep '^FAILED: ' "$log" | tail -n 1 | sed 's/^FAILED: //')
  fail "${reason:-the check in the clean root exited $rc}"
fi
echo "package $deb installs, runs and removes itself on a clean Debian 12 root ($(elapsed))"
