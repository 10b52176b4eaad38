#!/usr/bin/env bash
# Installs what is missing, builds Vistrel and runs the headless publisher.
#   scripts/run.sh                    one cycle with the default settings (--once): the camera,
#                                     or the built-in test pattern when there is none; the
#                                     stamped picture is copied to ./vistrel.jpg
#   scripts/run.sh [vistreld options] anything else, e.g. --config cam2, or no --once to keep
#                                     publishing on the schedule until Ctrl+C
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)

"$here/scripts/bootstrap.sh"
build=${BUILD_DIR:-$here/build-run}
cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVISTREL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target vistreld

args=("$@")
[[ ${#args[@]} -gt 0 ]] || args=(--once)
status=0
"$build/src/vistreld/vistreld" "${args[@]}" || status=$?
if [[ " ${args[*]} " == *" --once "* && $status -eq 0 ]]; then
  echo "Picture: $(pwd)/vistrel.jpg (the working copy ~vistrel.jpg is beside it unless Install/Directory says otherwise)"
  echo "Settings: ${XDG_CONFIG_HOME:-$HOME/.config}/vistrel/ (edit the .ini to publish by FTP; see README.md)"
fi
exit $status
