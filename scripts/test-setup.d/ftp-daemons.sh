#!/usr/bin/env bash
# Unpacks the FTP daemons that the FTP integration tests run (proftpd with its forward proxy and TLS
# modules, vsftpd) into BUILD_DIR/ftp-daemons, without installing them: an installed daemon starts
# a system FTP service on port 21, and apt allows only one FTP server package at a time. The libraries
# proftpd needs that a desktop system may lack are unpacked alongside; the tests point
# LD_LIBRARY_PATH at them. Does nothing when the folder is already complete.
#   usage: ftp-daemons.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: ftp-daemons.sh BUILD_DIR}
dest="$build/ftp-daemons"
packages=(proftpd-core proftpd-mod-proxy proftpd-mod-crypto vsftpd
          libhiredis0.14 libmemcached11 libmemcachedutil2 libhashkit2 libpcre2-posix3 libwrap0)
stamp="$dest/.unpacked"

if [[ -f "$stamp" && "$(cat "$stamp")" == "${packages[*]}" ]]; then
    exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
apt_opts=()
if [[ $(id -u) -eq 0 ]]; then
    apt_opts=(-o APT::Sandbox::User=root) # the download folder is private to root
fi
download() { (cd "$work" && apt-get "${apt_opts[@]}" download "${packages[@]}"); }
if ! download; then
    # A machine that had every package installed may never have fetched the package lists.
    if [[ $(id -u) -eq 0 ]]; then
        apt-get update -qq
    elif command -v sudo >/dev/null; then
        sudo apt-get update -qq
    fi
    download || { echo "ftp-daemons: cannot download ${packages[*]}" >&2; exit 1; }
fi

rm -rf "$dest.partial"
mkdir -p "$dest.partial"
for deb in "$work"/*.deb; do
    dpkg -x "$deb" "$dest.partial"
done
test -x "$dest.partial/usr/sbin/proftpd" && test -x "$dest.partial/usr/sbin/vsftpd"
test -f "$dest.partial/usr/lib/proftpd/mod_proxy.so"
test -f "$dest.partial/usr/lib/proftpd/mod_tls.so" # FTPS tests (from proftpd-mod-crypto)
rm -rf "$dest"
mv "$dest.partial" "$dest"
echo "${packages[*]}" > "$stamp"
echo "FTP daemons unpacked into $dest"
