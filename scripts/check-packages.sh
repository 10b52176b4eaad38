#!/usr/bin/env bash
# Builds the Debian packages (scripts/package.sh) and checks them as a user would get them:
# lintian without an error or a warning, each package's files, the units as installed (systemd's
# own check and its security rating of the system service), and the programs unpacked into a
# folder of their own: vistreld runs, publishes a picture and finds the network-camera module.
#   scripts/check-packages.sh [BUILD_DIR]     (default: build; packages in BUILD_DIR/packages)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
out=$(realpath -m "$build/packages")
scripts/package.sh "$out"
version=$(dpkg-parsechangelog -S Version)
arch=$(dpkg --print-architecture)
triplet=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
failures=0
fail() {
  echo "check-packages: FAILED: $*" >&2
  failures=$((failures + 1))
}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

echo "check-packages: lintian"
if ! lintian --fail-on error,warning --info "$out/vistrel_${version}_${arch}.changes"; then
  fail "lintian reports an error or a warning"
fi

# Each package's files (folders left out; the README's pictures as one line).
expected() {
  case "$1" in
    vistreld) cat <<LIST ;;
./lib/systemd/system/vistreld@.service
./usr/bin/vistreld
./usr/lib/systemd/user/vistreld@.service
./usr/lib/sysusers.d/vistreld.conf
./usr/share/doc/vistreld/README.md.gz
./usr/share/doc/vistreld/changelog.Debian.gz
./usr/share/doc/vistreld/changelog.gz
./usr/share/doc/vistreld/copyright
./usr/share/doc/vistreld/docs/*.png
./usr/share/man/man1/vistreld.1.gz
./usr/share/man/man5/vistrel.ini.5.gz
LIST
    vistrel) cat <<LIST ;;
./usr/bin/vistrel
./usr/libexec/vistrel/leavenote
./usr/libexec/vistrel/updater
./usr/share/applications/vistrel.desktop
./usr/share/doc/vistrel/changelog.Debian.gz
./usr/share/doc/vistrel/changelog.gz
./usr/share/doc/vistrel/copyright
./usr/share/icons/hicolor/128x128/apps/vistrel.png
./usr/share/icons/hicolor/16x16/apps/vistrel.png
./usr/share/icons/hicolor/256x256/apps/vistrel.png
./usr/share/icons/hicolor/32x32/apps/vistrel.png
./usr/share/icons/hicolor/48x48/apps/vistrel.png
./usr/share/icons/hicolor/64x64/apps/vistrel.png
./usr/share/icons/hicolor/scalable/apps/vistrel.svg
./usr/share/man/man1/vistrel.1.gz
LIST
    vistrel-netcam) cat <<LIST ;;
./usr/lib/$triplet/vistrel/netcam.so
./usr/share/doc/vistrel-netcam/changelog.Debian.gz
./usr/share/doc/vistrel-netcam/changelog.gz
./usr/share/doc/vistrel-netcam/copyright
LIST
    vistrel-targets) cat <<LIST ;;
./usr/lib/$triplet/vistrel/targets.so
./usr/share/doc/vistrel-targets/changelog.Debian.gz
./usr/share/doc/vistrel-targets/changelog.gz
./usr/share/doc/vistrel-targets/copyright
LIST
  esac
}
for package in vistreld vistrel vistrel-netcam vistrel-targets; do
  deb="$out/${package}_${version}_${arch}.deb"
  [[ -f "$deb" ]] || { fail "$deb was not built"; continue; }
  dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' |
    sed 's#/docs/[^/]*\.png$#/docs/*.png#' | sort -u > "$tmp/$package.files"
  if ! diff -u <(expected "$package" | sort) "$tmp/$package.files"; then
    fail "$package holds other files than listed (- expected, + in the package)"
  fi
  dpkg -x "$deb" "$tmp/root"
done
root="$tmp/root"
# Every picture the installed README links is installed.
zcat "$root/usr/share/doc/vistreld/README.md.gz" | grep -o '](docs/[^)]*\.png)' | tr -d '()]' |
  while read -r picture; do
    [[ -f "$root/usr/share/doc/vistreld/$picture" ]] || echo "$picture"
  done > "$tmp/missing-pictures"
[[ -s "$tmp/missing-pictures" ]] && fail "the README shows pictures not installed: $(cat "$tmp/missing-pictures")"
# The font the stamps are drawn in is a dependency.
depends=$(dpkg-deb -f "$out/vistreld_${version}_${arch}.deb" Depends)
grep -q 'fonts-dejavu-core' <<<"$depends" || fail "vistreld does not depend on fonts-dejavu-core"
# It draws them with fontconfig and FreeType, without Qt Gui.
for library in libfontconfig1 libfreetype6; do
  grep -q "$library" <<<"$depends" || fail "vistreld does not depend on $library: $depends"
done
if grep -q 'libqt6gui6' <<<"$depends"; then fail "vistreld depends on libqt6gui6: $depends"; fi

# The units as installed. The analyzer wants the program a unit starts to exist and looks up
# its manual pages: copies name the unpacked program, MANPATH the unpacked pages.
echo "check-packages: systemd-analyze"
mkdir -p "$tmp/units/system" "$tmp/units/user" "$tmp/runtime"
chmod 700 "$tmp/runtime"
sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" "$root/lib/systemd/system/vistreld@.service" \
  > "$tmp/units/system/vistreld@cam.service"
sed "s#^ExecStart=/usr/bin/#ExecStart=$root/usr/bin/#" "$root/usr/lib/systemd/user/vistreld@.service" \
  > "$tmp/units/user/vistreld@cam.service"
export MANPATH="$root/usr/share/man" XDG_RUNTIME_DIR="$tmp/runtime"
systemd-analyze verify "$tmp/units/system/vistreld@cam.service" || fail "the system unit does not verify"
systemd-analyze verify --user "$tmp/units/user/vistreld@cam.service" || fail "the user unit does not verify"
grep -qx 'RestartPreventExitStatus=2' "$tmp/units/system/vistreld@cam.service" ||
  fail "the system unit restarts a settings mistake"
# The rating is 0.0 (best) to 10.0; --threshold counts in tenths.
if ! systemd-analyze security --offline=yes --threshold=40 --no-pager \
     "$tmp/units/system/vistreld@cam.service" > "$tmp/security" 2>&1; then
  cat "$tmp/security"
  fail "systemd-analyze security rates the system unit above 4.0"
fi
grep 'Overall exposure level' "$tmp/security"

# The programs as unpacked: nothing of the build tree or of an installed Vistrel is used.
echo "check-packages: the unpacked programs"
run() { env -u VISTREL_NETCAM_DIR -u DISPLAY -u WAYLAND_DISPLAY HOME="$tmp/home" \
          XDG_CONFIG_HOME="$tmp/home/.config" "$@"; }
mkdir -p "$tmp/home" "$tmp/work"
vistreld="$root/usr/bin/vistreld"
run "$vistreld" --version > "$tmp/version" 2>&1 || fail "vistreld --version: $(cat "$tmp/version")"
grep -qF "$version" "$tmp/version" || fail "vistreld --version does not say $version: $(cat "$tmp/version")"
cat > "$tmp/work/cam.ini" <<INI
[License]
INIVersion=1005
[ConnectOptions]
UseLAN=1
[ImageFormat]
CaptureDevice=0
[UploadOptions]
FTPUpload=0
SaveAsFile=1
SaveAsFilename=$tmp/work/published.jpg
[Install]
Directory=$tmp/work
INI
if ! (cd "$tmp/work" && run "$vistreld" --once --config "$tmp/work/cam.ini") > "$tmp/once" 2>&1; then
  cat "$tmp/once"
  fail "vistreld --once failed"
fi
[[ "$(head -c 2 "$tmp/work/published.jpg" 2>/dev/null | od -An -tx1 | tr -d ' ')" == ffd8 ]] ||
  fail "vistreld --once published no JPEG picture"
# A network camera listed: the module is opened from the installed layout (the camera does not
# answer; a missing or broken module would be named).
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '[License]\nINIVersion=1005\n[NetworkCameras]\nCamera1Name=Porch\nCamera1URL=http://127.0.0.1:%s/snap.jpg\n' \
  "$port" > "$tmp/work/netcam.ini"
run "$vistreld" --list-devices --config "$tmp/work/netcam.ini" > "$tmp/devices" 2>&1 ||
  fail "vistreld --list-devices: $(cat "$tmp/devices")"
grep -qF "Porch (http://127.0.0.1:$port" "$tmp/devices" || fail "the network camera is not listed: $(cat "$tmp/devices")"
if grep -q module "$tmp/devices"; then
  fail "the unpacked vistreld does not find its module: $(cat "$tmp/devices")"
fi
# Without the module package, the same listing names the package to install.
rm "$root/usr/lib/$triplet/vistrel/netcam.so"
run "$vistreld" --list-devices --config "$tmp/work/netcam.ini" > "$tmp/devices" 2>&1 || true
grep -q 'vistrel-netcam' "$tmp/devices" || fail "without the module, vistrel-netcam is not named: $(cat "$tmp/devices")"
# An SFTP target: the upload-target module loads from the installed layout (the server does
# not answer, so the check fails at log-on, not for a missing module); without the module the
# check names the package to install.
printf '[License]\nINIVersion=1005\n[UploadOptions]\nFTPUpload=1\nUploadTarget=sftp\nFTPServer=127.0.0.1\nFTPPort=%s\nFTPTimeOut=3\n' \
  "$port" > "$tmp/work/sftp.ini"
run "$vistreld" --check-upload --config "$tmp/work/sftp.ini" > "$tmp/check" 2>&1 || true
grep -q 'log on     FAILED' "$tmp/check" || fail "vistreld --check-upload by SFTP: $(cat "$tmp/check")"
if grep -q 'vistrel-targets' "$tmp/check"; then
  fail "the unpacked vistreld does not find its upload-target module: $(cat "$tmp/check")"
fi
rm "$root/usr/lib/$triplet/vistrel/targets.so"
run "$vistreld" --check-upload --config "$tmp/work/sftp.ini" > "$tmp/check" 2>&1 || true
grep -q 'vistrel-targets' "$tmp/check" || fail "without the module, vistrel-targets is not named: $(cat "$tmp/check")"

if [[ $failures -ne 0 ]]; then
  echo "check-packages: $failures check(s) failed" >&2
  exit 1
fi
echo "check-packages: all checks passed"
