#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree into a scratch directory,
# checks its fields and contents, and runs the program unpacked from it.
# Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

fail() {
  echo "check_package: $*" >&2
  exit 1
}

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
deb="$scratch/out/bandscope_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$scratch/out")"

[ "$(dpkg-deb -f "$deb" Package)" = bandscope ] || fail "Package is not bandscope"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "Version is not $version"
[ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "Section is not sound"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
# Found by dpkg-shlibdeps, and the ones opened at run time that it cannot see.
for package in libqt6widgets6 libpulse0 libsndfile1 libasound2 libsamplerate0 \
  libgl1 libglu1-mesa qt6-qpa-plugins; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package"
done

contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
expected=(./usr/bin/bandscope ./usr/share/applications/bandscope.desktop
  ./usr/share/metainfo/io.github.bandscope.metainfo.xml ./usr/share/bandscope/screenshot.png
  ./usr/share/icons/hicolor/scalable/apps/bandscope.svg)
for size in 16 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${size}x${size}/apps/bandscope.png")
done
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$contents" || fail "the package lacks $path"
done

root="$scratch/root"
dpkg -x "$deb" "$root"
[ "$(head -c 8 "$root/usr/share/bandscope/screenshot.png" | od -An -tx1 | tr -d ' \n')" = \
  89504e470d0a1a0a ] || fail "the packaged screenshot is not a PNG"
program="$root/usr/bin/bandscope"
help="$("$program" --help)" || fail "--help of the packaged program failed"
[[ "$help" == "Usage: bandscope "* ]] || fail "--help does not start with the usage"
[ "$("$program" --version)" = "bandscope $version" ] || fail "--version is not $version"

# A short offline run of the test signal, saved as BMP: uncompressed, so the shell can tell
# that something was drawn.
picture="$scratch/shot.bmp"
QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 PULSE_SERVER=unix:/nonexistent/bandscope/native \
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  "$program" --no-settings --frames 5 --screenshot "$picture" || fail "the packaged program failed"
[ -s "$picture" ] || fail "no screenshot"
offset="$(od -An -tu4 -j10 -N4 "$picture" | tr -d ' ')"
[ "$(tail -c +"$((offset + 1))" "$picture" | tr -d '\0' | wc -c)" -gt 0 ] ||
  fail "the screenshot is all black"
echo "check_package: $(basename "$deb") is good"
