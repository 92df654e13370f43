# Sourced by scripts/windows.sh and bench/wine-start.sh: a private Wine prefix under a work
# folder, with an X server of its own. The caller's EXIT trap calls wine_down.
wine_xvfb="" wine_prefix=""

# wine_up WORK FIRST_DISPLAY DISPLAYS: the prefix in WORK/prefix, a display picked at random
# among DISPLAYS from FIRST_DISPLAY on (so two runs side by side rarely meet).
wine_up() {
  wine_prefix="$1/prefix"
  export WINEPREFIX="$wine_prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # The window needs an X server; Wine's own windows take no input without one.
  export DISPLAY=:$(($2 + RANDOM % $3))
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  wine_xvfb=$!
  wineboot -i >/dev/null 2>&1
}

# Only the prefix wine_up made: never a WINEPREFIX the caller's environment brought.
wine_down() {
  if [ -n "$wine_prefix" ]; then WINEPREFIX="$wine_prefix" wineserver -k >/dev/null 2>&1 || true; fi
  if [ -n "$wine_xvfb" ]; then kill "$wine_xvfb" 2>/dev/null || true; fi
}
