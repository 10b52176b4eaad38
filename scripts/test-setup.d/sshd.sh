#!/usr/bin/env bash
# Unpacks OpenSSH's sshd (for the SFTP upload tests) into BUILD_DIR/sshd without installing it:
# an installed openssh-server starts a system service on port 22. When run as root it also makes
# the sshd user that sshd's privilege separation needs (it starts no service), and the log-on
# user of the password tests, vistrel-sftp: no home folder, no shell (the test server only
# offers SFTP), and a password made at random on this machine, kept in
# /var/lib/vistrel-tests and copied to BUILD_DIR/sshd-password (readable by root only), so no
# published password opens the account.
# Does nothing more when the folder is already complete.
#   usage: sshd.sh BUILD_DIR
set -euo pipefail

build=${1:?usage: sshd.sh BUILD_DIR}
dest="$build/sshd"
packages=(openssh-server libwrap0)
stamp="$dest/.unpacked"

if [[ $(id -u) -eq 0 ]]; then
    mkdir -p /run/sshd
    id sshd >/dev/null 2>&1 ||
        useradd --system --no-create-home --home-dir /run/sshd --shell /usr/sbin/nologin sshd
    if ! id vistrel-sftp >/dev/null 2>&1; then
        useradd --system --no-create-home --home-dir /nonexistent --shell /usr/sbin/nologin \
            vistrel-sftp
    fi
    usermod --shell /usr/sbin/nologin vistrel-sftp
    # One password per machine (so that build folders side by side agree), copied into the
    # build folder for the tests.
    machine=/var/lib/vistrel-tests/sftp-password
    if [[ ! -s "$machine" ]]; then
        mkdir -p "$(dirname "$machine")"
        (umask 077 && head -c 18 /dev/urandom | base64 > "$machine")
    fi
    echo "vistrel-sftp:$(cat "$machine")" | chpasswd
    mkdir -p "$build"
    (umask 077 && cp "$machine" "$build/sshd-password")
fi
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
    if [[ $(id -u) -eq 0 ]]; then
        apt-get update -qq
    elif command -v sudo >/dev/null; then
        sudo apt-get update -qq
    fi
    download || { echo "sshd: cannot download ${packages[*]}" >&2; exit 1; }
fi

rm -rf "$dest.partial"
mkdir -p "$dest.partial"
for deb in "$work"/*.deb; do
    dpkg -x "$deb" "$dest.partial"
done
test -x "$dest.partial/usr/sbin/sshd"
rm -rf "$dest"
mv "$dest.partial" "$dest"
echo "${packages[*]}" > "$stamp"
echo "sshd unpacked into $dest"
