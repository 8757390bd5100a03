#!/usr/bin/env bash
# Builds the Debian package of a configured and built tree into a scratch directory, checks
# its fields and contents, and runs the program unpacked from it.
# Usage: check_package.sh BUILD_DIR VERSION
set -euo pipefail
build="$1" version="$2"
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
[ "$(dpkg-deb -f "$deb" Package Version Section)" = \
  "$(printf 'Package: bandscope\nVersion: %s\nSection: sound' "$version")" ] ||
  fail "fields: $(dpkg-deb -f "$deb" Package Version Section)"
depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
# Found by dpkg-shlibdeps, and the ones opened at run time that it cannot see.
for package in libqt6widgets6 libpulse0 libsndfile1 libasound2 libsamplerate0 \
  libgl1 libglu1-mesa qt6-qpa-plugins; do
  [[ ", $depends," == *", $package"[\ ,]* ]] || fail "Depends lacks $package"
done
contents="$(dpkg-deb -c "$deb" | awk '{print $6}')"
for path in bin/bandscope share/applications/bandscope.desktop share/bandscope/screenshot.png \
  share/metainfo/io.github.bandscope.metainfo.xml share/icons/hicolor/scalable/apps/bandscope.svg \
  share/man/man1/bandscope.1 \
  share/icons/hicolor/{16x16,32x32,48x48,64x64,128x128,256x256}/apps/bandscope.png; do
  grep -qxF "./usr/$path" <<<"$contents" || fail "the package lacks /usr/$path"
done

root="$scratch/root"
dpkg -x "$deb" "$root"
[ "$(od -An -tx1 -N8 "$root/usr/share/bandscope/screenshot.png" | tr -d ' ')" = \
  89504e470d0a1a0a ] || fail "the packaged screenshot is not a PNG"
program="$root/usr/bin/bandscope"
help="$("$program" --help)" || fail "--help failed"
[[ "$help" == "Usage: bandscope "* ]] || fail "--help does not start with the usage"
[ "$("$program" --version)" = "bandscope $version" ] || fail "--version is not $version"

# A short run of the test signal, saved as BMP: uncompressed, so the shell can tell that
# something was drawn.
picture="$scratch/shot.bmp"
QT_QPA_PLATFORM=xcb LIBGL_ALWAYS_SOFTWARE=1 PULSE_SERVER=unix:/nonexistent/bandscope/native \
  xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  "$program" --no-settings --frames 5 --screenshot "$picture" || fail "the program failed"
offset="$(od -An -tu4 -j10 -N4 "$picture" | tr -d ' ')"
[ "$(tail -c +"$((offset + 1))" "$picture" | tr -d '\0' | wc -c)" -gt 0 ] ||
  fail "the screenshot is all black"
echo "check_package: $(basename "$deb") is good"
