#!/usr/bin/env bash
# Screenshots of the stamp, logo, proxy and FTP directory dialogs under Xvfb with a window
# manager, into docs/. The samples show the built-in test pattern; the browser lists a
# pyftpdlib server on 127.0.0.1.
#   tests/ui/dialogs/screenshots.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/../../.."
build=${1:-build}
gallery="$build/tests/ui/dialogs/dialog_gallery"
out=docs
mkdir -p "$out"
[[ -x "$gallery" ]] || { echo "build dialog_gallery first: cmake --build $build --target dialog_gallery" >&2; exit 1; }

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir -p "$tree/www/archive" "$tree/www/images" "$tree/www/my pics" "$tree/www/2024 summer"
echo hello > "$tree/www/index.html"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')

export GALLERY=$gallery OUT=$out PORT=$port TREE=$tree
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  set -u
  openbox & wm=$!
  /usr/bin/python3 tests/ftp/servers/pyftpd_server.py "$PORT" "$TREE" cam secret 2>/dev/null & ftp=$!
  sleep 1
  shot() { # name title args...
    local name=$1 title=$2; shift 2
    "$GALLERY" "$@" & local pid=$!
    local wid
    wid=$(timeout 10 xdotool search --sync --onlyvisible --name "^$title\$" | head -1)
    sleep 1.5
    import -window "$wid" -frame "$OUT/$name.png"
    kill "$pid"; wait "$pid" 2>/dev/null || true
  }
  shot dialog-banner "Banner Properties" banner
  shot dialog-datetime "Date/Time Properties" time
  shot dialog-logo "Logo Properties" logo tests/imaging/data/logo.gif
  shot dialog-proxy "FTP Proxy Settings" proxy
  shot dialog-ftp-browser "Select FTP Directory" browser "$PORT"
  shot dialog-new-directory "New Directory" newdir
  shot dialog-size-notice "Vistrel" notice
  kill "$ftp" "$wm"
'
ls -l "$out"/dialog-*.png
