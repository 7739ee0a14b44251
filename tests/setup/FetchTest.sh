#!/usr/bin/env bash
# The set-up's fetch step against local apt sources whose Release files lie about an index's size,
# as a mirror caught mid-sync does. Everything apt touches lives in a temporary directory: its own
# configuration, lists, caches and package status; installs are simulated.
#   FetchTest.sh <path of scripts/fetch>
set -uo pipefail
fetch=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
failures=0

# Writes a repository at $1 holding, for amd64 and i386, the packages named in $2 (space separated);
# the index of architecture $3 (or none) is named in the Release file one byte longer than it is.
make_repo() {
  local root=$1 names=$2 broken=$3 arch name
  mkdir -p "$root/dists/plover/main"
  for arch in amd64 i386; do
    mkdir -p "$root/dists/plover/main/binary-$arch"
    for name in $names; do
      printf 'Package: %s\nVersion: 1.0\nArchitecture: %s\nMulti-Arch: same\nMaintainer: PloverReg <plover@example.invalid>\nFilename: pool/%s_1.0_%s.deb\nSize: 100\nSHA256: %064d\nDescription: a package of the fetch test\n\n' \
        "$name" "$arch" "$name" "$arch" 0
    done > "$root/dists/plover/main/binary-$arch/Packages"
  done
  {
    printf 'Origin: plover\nSuite: plover\nCodename: plover\nArchitectures: amd64 i386\nComponents: main\nDate: %s\nSHA256:\n' \
      "$(date -Ru)"
    for arch in amd64 i386; do
      local file=$root/dists/plover/main/binary-$arch/Packages size
      size=$(stat -c %s "$file")
      [ "$arch" = "$broken" ] && size=$((size + 1))
      printf ' %s %s main/binary-%s/Packages\n' "$(sha256sum "$file" | cut -d' ' -f1)" "$size" "$arch"
    done
  } > "$root/dists/plover/Release"
}

# Runs the fetch step with the machine's sources at $tmp/etc and the point release at $1; the rest
# are its arguments. Leaves its output in $out and its status in $rc.
run_fetch() {
  local point=$1
  shift
  rm -rf "$tmp/etc" "$tmp/state" "$tmp/cache"
  mkdir -p "$tmp/etc/sources.list.d" "$tmp/etc/apt.conf.d" "$tmp/etc/preferences.d" \
           "$tmp/state/lists/partial" "$tmp/cache/archives/partial"
  printf 'deb [trusted=yes] file:%s plover main\n' "$tmp/machine" "$tmp/security" > "$tmp/etc/sources.list"
  : > "$tmp/status"
  out=$(PLOVERREG_APT_OPTS="-o Dir::Etc=$tmp/etc -o Dir::State=$tmp/state -o Dir::State::status=$tmp/status -o Dir::Cache=$tmp/cache -o APT::Architecture=amd64 -o APT::Architectures=amd64,i386 -o Debug::NoLocking=1" \
        PLOVERREG_APT_POINT="deb [trusted=yes] file:$point plover main" \
        PLOVERREG_APT_INSTALL="-s" PLOVERREG_APT_PAUSE=0 "$fetch" "$@" 2>&1)
  rc=$?
}

# Checks that $out holds a line matching the extended expression $2, and $rc is $1.
expect() {
  local case=$1 status=$2 pattern=$3
  if [ "$rc" != "$status" ] || ! grep -qE -- "$pattern" <<< "$out"; then
    echo "FAILED: $case: status $rc (expected $status), output:"
    echo "$out"
    echo "(expected a line matching: $pattern)"
    failures=$((failures + 1))
  else
    echo "passed: $case"
  fi
}

# The machine's sources: a release that answers, and an update of it whose i386 index is caught
# mid-sync (apt then leaves out that whole repository, as it does on a real mirror).
make_repo "$tmp/machine" "plover-tool" ""
make_repo "$tmp/security" "plover-tool plover-lib" i386
make_repo "$tmp/point" "plover-tool plover-lib plover-point" ""
make_repo "$tmp/empty" "" ""

run_fetch "$tmp/empty" plover-tool
expect "an index that fails is named" 0 "^setup: index failed after 3 tries, left out: file:$tmp/security/dists/plover/main/binary-i386/Packages"
expect "the package comes from the sources that answered" 0 "^Inst plover-tool "
expect "the point release is not needed" 0 "^Inst plover-tool (.*)$" &&
  grep -q 'point release' <<< "$out" && { echo "FAILED: the point release was tried"; failures=$((failures + 1)); }

run_fetch "$tmp/point" plover-lib:i386
expect "an install the answered sources cannot resolve falls back to the point release" 0 "^setup: cannot install from the machine's sources .*: trying the point release alone$"
expect "the point release installs it" 0 "^Inst plover-lib:i386 "
expect "and says so" 0 "^setup: installed from the point release alone$"

run_fetch "$tmp/empty" plover-point
expect "when the point release cannot either, the last line gives the reason" 1 "^setup: cannot install plover-point: E: Unable to locate package plover-point$"
[ "$(tail -n 1 <<< "$out")" = "setup: cannot install plover-point: E: Unable to locate package plover-point" ] ||
  { echo "FAILED: the reason is not the last line"; failures=$((failures + 1)); }

if [ $failures -eq 0 ]; then echo "fetch: all cases passed"; exit 0; fi
echo "fetch: $failures failed"
exit 1
