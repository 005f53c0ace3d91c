#!/usr/bin/env bash
# Runs a command on a desktop of its own: an Xvfb server on a display number it picks
# itself (-displayfd), the openbox window manager on it, then the command with DISPLAY
# set and Qt on its X11 platform. Exactly the two processes started here are stopped
# when the command ends; its exit status is the command's.
#   desktop-session.sh COMMAND [ARGS...]
# Exits with 77 (skipped, for ctest's SKIP_RETURN_CODE) when Xvfb or openbox is missing.
set -u

for tool in Xvfb openbox xprop xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "desktop-session: $tool is not installed (scripts/install-deps.sh installs it)" >&2
    exit 77
  fi
done

work=$(mktemp -d)
xvfb=""
wm=""
finish() {
  [ -n "$wm" ] && kill "$wm" 2>/dev/null && wait "$wm" 2>/dev/null
  [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null && wait "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap finish EXIT
trap 'exit 130' INT TERM

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
xvfb=$!
exec 3>&-
for _ in $(seq 1 200); do
  [ -s "$work/display" ] && break
  kill -0 "$xvfb" 2>/dev/null || break
  sleep 0.05
done
if ! [ -s "$work/display" ]; then
  echo "desktop-session: Xvfb did not start" >&2
  cat "$work/xvfb.log" >&2
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"

# openbox reads its settings from the XDG folders; a private one keeps the user's own out.
mkdir -p "$work/config"
XDG_CONFIG_HOME="$work/config" openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 1 200); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
  kill -0 "$wm" 2>/dev/null || break
  sleep 0.05
done
if ! xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"; then
  echo "desktop-session: openbox did not start" >&2
  cat "$work/openbox.log" >&2
  exit 1
fi

export QT_QPA_PLATFORM=xcb
"$@"
