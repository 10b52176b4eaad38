#!/usr/bin/env bash
# Drives the real desktop program under Xvfb with a window manager (openbox) and a tray (trayer),
# as a user would with the keyboard:
#   - a second start with the same settings file leaves the first one alone and ends at once;
#   - a network camera (an HTTP snapshot camera on loopback) is added in the settings sheet and
#     chosen, and the program then takes its pictures from it;
#   - Cancel after Add and after Remove leaves the stored cameras as they were;
#   - with a camera that stops answering, the window answers within 0.2 s while the program
#     starts and while the sheet opens and closes (measured with the window manager's ping);
#   - the end of the session with the sheet open, and Exit, end the program at once.
#   tests/desktop/drive.sh BUILD_DIR [SHOTS_DIR]
# Exit status 77 (skipped) when xvfb-run, openbox, trayer or xdotool is missing.
set -euo pipefail

build=$(cd "${1:-build}" && pwd)
shots=${2:-}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

for tool in xvfb-run openbox trayer xdotool; do
  command -v "$tool" >/dev/null || { echo "drive: $tool is missing: skipped"; exit 77; }
done
# The system's Python, which has the Debian packages (python3-xlib, python3-pil).
py=/usr/bin/python3
[[ -x "$py" ]] || py=python3
"$py" -c 'import Xlib, PIL' 2>/dev/null || { echo "drive: python3-xlib or PIL is missing: skipped"; exit 77; }

unset QT_QPA_PLATFORM # the real X11 platform, not the tests' offscreen one
if [[ -z "${VISTREL_DRIVE_INSIDE:-}" ]]; then
  export VISTREL_DRIVE_INSIDE=1
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$build" "$shots"
fi

work=$(mktemp -d)
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "drive: FAIL: $*" >&2; shot "failure"; exit 1; }
step() { echo "drive: $*"; }
shot() {
  if [[ -n "$shots" ]] && command -v import >/dev/null; then
    mkdir -p "$shots"
    import -window root "$shots/$1.png" 2>/dev/null || true
  fi
}

# The window manager and the tray.
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 0.5
trayer --edge top --align right --widthtype pixel --width 120 --height 24 >/dev/null 2>&1 &
pids+=($!)

# The camera on loopback.
mkdir -p "$work/cam"
"$py" "$source_dir/tests/capture/servers/camera_server.py" --dir "$work/cam" \
  --port-file "$work/cam/port" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/cam/port" ]] && break; sleep 0.1; done
port=$(cat "$work/cam/port")

export XDG_CONFIG_HOME="$work/config" TMPDIR="$work"
mkdir -p "$XDG_CONFIG_HOME/vistrel" "$work/program"
ini="$XDG_CONFIG_HOME/vistrel/drive.ini"
write_ini() {
  cat >"$ini" <<EOF
[License]
INIVersion=1005
[Install]
Directory=$work/program
[ConnectOptions]
UseLAN=1
[Options]
HideWhenMinimized=1
[UploadOptions]
UploadInterval=0
SuppressErrors=1
$*
EOF
}
keys_sent=0
key() { # key KEYS... to the window that has the focus
  xdotool key --clearmodifiers "$@"
  sleep 0.4
  keys_sent=$((keys_sent + 1))
  [[ -z "${VISTREL_DRIVE_EVERY_KEY:-}" ]] || shot "key-$keys_sent-$*"
}
window_of() { # window_of TITLE [SECONDS]: the id of the window titled TITLE
  local i
  for i in $(seq $((${2:-10} * 10))); do
    local id
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -n 1 || true)
    [[ -n "$id" ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  return 1
}
gone() { # gone TITLE [SECONDS]
  local i
  for i in $(seq $((${2:-10} * 10))); do
    xdotool search --onlyvisible --name "^$1\$" >/dev/null 2>&1 || return 0
    sleep 0.1
  done
  return 1
}
responsive() { # responsive WINDOW SECONDS WHAT
  "$py" "$here/xping.py" --window "$1" --seconds "$2" --limit-ms 200 ||
    fail "the window did not answer within 0.2 s: $3"
}
start_program() {
  "$build/src/ui/vistrel" drive >"$work/vistrel.log" 2>&1 &
  program=$!
  pids+=($program)
}
ends_within() { # ends_within PID SECONDS
  local i
  for i in $(seq $(($2 * 10))); do
    kill -0 "$1" 2>/dev/null || { wait "$1" 2>/dev/null || true; return 0; }
    sleep 0.1
  done
  return 1
}
activate() {
  xdotool windowactivate --sync "$1" 2>/dev/null || xdotool windowfocus --sync "$1"
  sleep 0.3
}
stored() { grep -c "^$1" "$ini" || true; }

# --- One program per settings file.
write_ini ""
start_program
main=$(window_of Vistrel 15) || fail "no main window"
step "main window $main"
"$build/src/ui/vistrel" drive >/dev/null 2>&1 &
second=$!
ends_within "$second" 5 || fail "a second start with the same file did not end"
kill -0 "$program" || fail "the second start ended the first one"

# --- Add a network camera in the sheet and choose it: Alt+D is Add..., Alt+A is Apply.
add_camera() { # add_camera NAME URL: in the open sheet
  key alt+d
  window_of "Network Camera" >/dev/null || fail "Add... opened no dialog"
  xdotool type --delay 20 "$1"
  key alt+u
  xdotool type --delay 10 "$2"
  key Return
  gone "Network Camera" || fail "the camera dialog stayed"
}
open_sheet() {
  activate "$main"
  key alt+s
  sheet=$(window_of "Vistrel Settings") || fail "the sheet did not open"
  activate "$sheet"
}
open_sheet
add_camera Porch "http://127.0.0.1:$port/snap.jpg"
shot "added"
key alt+a
key Escape
gone "Vistrel Settings" || fail "Escape did not close the sheet"
[[ $(stored "Camera1URL=http://127.0.0.1:$port/snap.jpg") == 1 ]] || fail "Apply did not store the camera"
grep -q "^CaptureDevice=0" "$ini" || fail "the added camera was not chosen"
before=$(grep -c "^/snap.jpg" "$work/cam/requests.log" 2>/dev/null || true)
sleep 2
after=$(grep -c "^/snap.jpg" "$work/cam/requests.log" 2>/dev/null || true)
((after > before)) || fail "the chosen camera is not used (requests $before -> $after)"
step "the chosen camera is used ($before -> $after requests in 2 s)"
shot "camera-used"

# --- Cancel after Add, and after Remove (which asks first), stores nothing.
cp "$ini" "$work/before.ini"
open_sheet
add_camera Yard "http://127.0.0.1:$port/snap.png"
key Escape
gone "Vistrel Settings" || fail "Escape did not close the sheet"
cmp -s "$ini" "$work/before.ini" || fail "Cancel after Add changed the settings file"
open_sheet
key alt+m
window_of Vistrel 5 >/dev/null # the question
key Return
gone "Vistrel Settings" 0 || true
activate "$(window_of "Vistrel Settings")"
shot "removed"
key Escape
gone "Vistrel Settings" || fail "Escape did not close the sheet"
cmp -s "$ini" "$work/before.ini" || fail "Cancel after Remove changed the settings file"
step "Cancel after Add and after Remove kept the file"

# --- A logo larger than the picture is refused and not stored.
"$py" -c "from PIL import Image; Image.new('RGB', (400, 300), (255, 255, 0)).save('$work/big.png')"
open_sheet
key ctrl+Tab
key alt+l
key Tab
key space
key Return # the notice that the camera's frame is not 320 x 240
logo=$(window_of "Logo Properties") || fail "the logo dialog did not open"
activate "$logo"
key alt+i
xdotool type --delay 10 "$work/big.png"
key Return
shot "logo-refused"
key Return # the refusal's OK
logo=$(window_of "Logo Properties") || fail "Enter in the path closed the logo dialog"
activate "$logo"
key alt+a Return # the alignment list, then the dialog's OK
gone "Logo Properties" || fail "the logo dialog stayed"
activate "$sheet"
key alt+a
key Escape
gone "Vistrel Settings" || fail "Escape did not close the sheet"
grep -q "big.png" "$ini" && fail "the refused logo was stored"
step "the refused logo was not stored"

# --- Exit.
activate "$main"
key alt+x
ends_within "$program" 8 || fail "Exit did not end the program"
step "Exit ended the program"

# --- A camera that stops answering: start-up and the sheet keep the window answering.
write_ini "[ImageFormat]
CaptureDevice=0
[NetworkCameras]
Camera1Name=Stalled
Camera1URL=http://127.0.0.1:$port/stall"
start_program
main=$(window_of Vistrel 15) || fail "no main window with a stalled camera"
responsive "$main" 3 "starting with a stalled camera"
# The pings go on while the sheet opens and closes.
"$py" "$here/xping.py" --window "$main" --seconds 5 --limit-ms 200 >"$work/ping.log" 2>&1 &
pinger=$!
activate "$main"
key alt+s
sheet=$(window_of "Vistrel Settings") || fail "the sheet did not open with a stalled camera"
activate "$sheet"
key Escape
gone "Vistrel Settings" || fail "Escape did not close the sheet"
wait "$pinger" || fail "the window did not answer within 0.2 s while the sheet opened and closed: $(cat "$work/ping.log")"
step "while the sheet opened and closed: $(cat "$work/ping.log")"
responsive "$main" 1 "after the sheet, camera stalled"
step "the window answered within 0.2 s throughout"

# --- The end of the session with the sheet open: the sheet closes, the program ends.
activate "$main"
key alt+s
window_of "Vistrel Settings" >/dev/null || fail "the sheet did not open again"
kill -TERM "$program"
ends_within "$program" 15 || fail "SIGTERM with the sheet open did not end the program"
grep -q "Failed to get capture status" "$work/vistrel.log" && fail "the shutdown complained"
step "SIGTERM with the sheet open ended the program"
echo "drive: all passed"
