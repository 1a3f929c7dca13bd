# Sourced: makes sure an X display is available for windows shown under wine64 (Xvfb on :97).
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:97
  if ! [ -e /tmp/.X11-unix/X97 ]; then
    Xvfb :97 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X97 ] && break; sleep 0.1; done
  fi
fi
