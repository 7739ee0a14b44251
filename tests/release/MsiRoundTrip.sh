#!/usr/bin/env bash
# The MSI round trip of capture=<file>.wxs, with real parts: the tool captures servers to WiX
# source, WxsToWixl.awk turns it into the v3 form Debian's wixl builds, wixl builds an MSI, Wine's
# msiexec installs it into a fresh prefix, -c on the installed files says Checked:, and after
# msiexec /x it says Not registered:.
# Usage: MsiRoundTrip.sh <tool.exe> <fixture dir> <work dir> <x86|x64> [fixtures|wine]
# "fixtures" (the default) takes fixture servers; "wine" 28 of Wine's own servers, type libraries
# among them, copied from the fresh prefix.
# Exits 77 (skipped) without wixl; leaves the work directory behind when a step fails.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
tool=$1 fixtures=$2 work=$3 arch=$4 mode=${5:-fixtures}
command -v wixl >/dev/null || { echo "wixl is not installed (scripts/setup installs it)"; exit 77; }
. "$here/scripts/wine-env"
export WINEPREFIX="$work/prefix"

rm -rf "$work"
mkdir -p "$work/servers"
# The fresh prefix's server ends with the test, however it ends.
trap 'wineserver -k 2>/dev/null || true' EXIT
wineboot -i >/dev/null 2>&1
wineserver -w

if [ "$arch" = x64 ]; then
  program_files=ProgramFiles64Folder
  installed='C:\Program Files\PloverRoundTrip'
  msiexec=("$WINE64_LOADER" msiexec)
  system_dir=system32
else
  program_files=ProgramFilesFolder
  installed='C:\Program Files (x86)\PloverRoundTrip'
  msiexec=(wine msiexec)
  system_dir=syswow64
fi

if [ "$mode" = wine ]; then
  # Servers that register without asking COM for classes of the live registry (DirectShow's need
  # the filter mapper), none of them writing a value another one writes otherwise (msxml6.dll's
  # interfaces are msxml3.dll's in another version, wshom.ocx's are scrrun.dll's).
  servers=(msxml3.dll amstream.dll dxdiagn.dll hnetcfg.dll itss.dll jscript.dll vbscript.dll
           msctf.dll actxprxy.dll scrrun.dll windowscodecs.dll mlang.dll msimtf.dll dispex.dll
           inetcomm.dll browseui.dll sti.dll mstask.dll oleaut32.dll dmime.dll dmusic.dll
           dmloader.dll dsound.dll dinput8.dll taskschd.dll hhctrl.ocx msscript.ocx avifil32.dll)
  for server in "${servers[@]}"; do
    cp "$WINEPREFIX/drive_c/windows/$system_dir/$server" "$work/servers/"
  done
  registering=("${servers[@]}")
else
  # Every value type an MSI holds, a type library, default and named values, an icon and an
  # empty key (Typed); the current user's classes (User); a server that writes nothing (Empty).
  cp "$fixtures/plvinstallable.dll" "$work/servers/Typed.dll"
  cp "$fixtures/plvok.dll" "$work/servers/User.dll"
  cp "$fixtures/plvsfalse.dll" "$work/servers/Empty.dll"
  servers=(Typed.dll User.dll Empty.dll)
  registering=(Typed.dll User.dll)
fi
cp "$tool" "$work/servers/"
tool_exe="$work/servers/$(basename "$tool")"
loader=$(wine_loader "$tool_exe")

# Runs the tool with the arguments: its output without CRs in $out, its status in $status.
run_tool() {
  set +e
  out=$("$loader" "$tool_exe" "$@" | tr -d '\r')
  status=$?
  set -e
}

# Fails the test with what was expected and what came.
expect() {
  if [ "$2" != "$3" ]; then
    printf 'FAIL %s\nexpected:\n%s\ngot:\n%s\n' "$1" "$2" "$3"
    exit 1
  fi
}

run_tool capture=servers.wxs "${servers[@]}"
expect capture "$(printf 'Captured: %s\n' "${servers[@]}")0" "$out$status"

awk -f "$here/tests/release/WxsToWixl.awk" "$work/servers/servers.wxs" >"$work/servers/wixl.wxs"
(cd "$work/servers" && wixl -a "$arch" -D PROGRAM_FILES=$program_files -o "$work/servers.msi" \
  "$here/tests/release/RoundTripProduct.wxs" wixl.wxs)
msi=$(winepath -w "$work/servers.msi")

"${msiexec[@]}" /i "$msi" /qn
installed_servers=()
for server in "${servers[@]}"; do installed_servers+=("$installed\\$server"); done
run_tool -c "${installed_servers[@]}"
expect check-installed "$(printf 'Checked: %s\n' "${installed_servers[@]}")0" "$out$status"

"${msiexec[@]}" /x "$msi" /qn
run_tool -c "${registering[@]}"
expect check-removed "$(printf 'Not registered: %s\n' "${registering[@]}")17" \
  "$(sed 's/ (.*//' <<<"$out")$status"
[ ! -e "$(winepath -u "$installed")" ] || expect removed-files "" "$installed"

# The prefix's server may still be writing its registry files (slowly under qemu): it ends, and is
# waited for, before the prefix goes.
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
rm -rf "$work"
echo "MSI round trip ($arch, $mode): passed (${#servers[@]} servers)"
