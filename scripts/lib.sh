# Shared by scripts/run, scripts/test and scripts/wine-run: packages, builds, Wine and Xvfb.
# Source it; it defines functions and exports the Wine environment.

RAVELO_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export RAVELO_ROOT
export WINEPREFIX=${RAVELO_WINEPREFIX:-$RAVELO_ROOT/build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml=;winemenubuilder.exe=d"}

RAVELO_PACKAGES="cmake ninja-build g++ pkg-config g++-mingw-w64-x86-64 wine wine64 xvfb xdotool x11-utils \
imagemagick libgtest-dev libgmock-dev libbenchmark-dev libturbojpeg0-dev libjpeg62-turbo-dev python3 \
clang libclang-rt-14-dev"
# The X11 capture and input backends and their tests (Xlib client, setxkbmap). The capture
# benchmark's comparison also wants ffmpeg, which the tests do not: install it by hand.
RAVELO_PACKAGES="$RAVELO_PACKAGES libxcb1-dev libxcb-shm0-dev libxcb-xfixes0-dev libxcb-xtest0-dev \
libx11-dev x11-xkb-utils"
# The native Linux program (GTK 3) and its end-to-end tests: a window manager, a tray host, and
# the accessibility bus with its Python client to read the window.
RAVELO_PACKAGES="$RAVELO_PACKAGES libgtk-3-dev openbox trayer dbus at-spi2-core python3-gi gir1.2-atspi-2.0"
# The packages (scripts/package) and their tests: wixl builds the Windows installer, CPack's
# Debian package takes its dependencies from dpkg-shlibdeps (dpkg-dev); lintian, man-db and
# desktop-file-utils check the Debian package.
RAVELO_PACKAGES="$RAVELO_PACKAGES wixl dpkg-dev lintian man-db desktop-file-utils"
# The wlroots backend (Wayland client, protocol generator, xkb keymaps) and its tests: a headless
# sway with a desktop picture, grim for the reference screenshot, wev to watch the input.
RAVELO_PACKAGES="$RAVELO_PACKAGES libwayland-dev libwayland-bin libxkbcommon-dev xkb-data sway swaybg grim wev"
# The desktop portal backend (GIO comes with GTK; PipeWire's client library and SPA headers),
# and for its tests a private PipeWire with WirePlumber and pw-cli, the real portal frontend, and
# the portal's interface definitions for the stand-ins.
RAVELO_PACKAGES="$RAVELO_PACKAGES libpipewire-0.3-dev pipewire pipewire-bin wireplumber xdg-desktop-portal"
RAVELO_PACKAGES="$RAVELO_PACKAGES xdg-desktop-portal-dev"

say() { printf 'ravelo: %s\n' "$*" >&2; }

# Installs whatever of the build and test packages is missing (Debian).
ensure_packages() {
  local missing=() p
  for p in $RAVELO_PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  say "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq >/dev/null
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

wine_cmd() { command -v wine64 || command -v wine || echo /usr/lib/wine/wine64; }

# A Wine prefix of our own, made once (about 10 s).
ensure_wineprefix() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    say "creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    DISPLAY= wineboot -i >/dev/null 2>&1 || true
    # With no window manager on Xvfb, Wine draws the captions and close boxes itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
}

# Stores a password and "Run on Startup" where ravelo.exe loads them from: the machine's key,
# and the current user's key as well when that exists, since the program then reads that one.
store_settings() {
  local wine key
  wine=$(wine_cmd)
  for key in 'HKLM\Software\Ravelo' 'HKCU\Software\Ravelo'; do
    if [ "${key%%\\*}" = HKCU ] && ! "$wine" reg query "$key" >/dev/null 2>&1; then continue; fi
    "$wine" reg add "$key" /v Pass /t REG_SZ /d "$1" /f >/dev/null 2>&1 &&
      "$wine" reg add "$key" /v StartupRun /t REG_DWORD /d 1 /f >/dev/null 2>&1 ||
      { say "could not store the settings under $key"; return 1; }
  done
}

# Where the native program keeps its settings: $XDG_CONFIG_HOME/ravelo/settings, or
# ~/.config/ravelo/settings when that is unset or not an absolute path.
settings_file() {
  local base=${XDG_CONFIG_HOME:-}
  case $base in /*) ;; *) base=$HOME/.config ;; esac
  echo "$base/ravelo/settings"
}

# Stores a password and "Run on Startup" in the native program's settings file, replacing it
# in one step as the program does (a private temporary file beside it, then a rename).
store_settings_file() {
  local file dir tmp
  file=$(settings_file)
  dir=$(dirname "$file")
  mkdir -p -m 700 "$dir" && tmp=$(mktemp "$dir/.settings.XXXXXX") &&
    printf 'Pass=%s\nStartupRun=1\n' "$1" >"$tmp" && chmod 600 "$tmp" && mv -f "$tmp" "$file" ||
    { [ -n "${tmp:-}" ] && rm -f "$tmp"; say "could not store the settings in $file"; return 1; }
}

# Uses $DISPLAY when it answers; otherwise starts Xvfb on a free display and exports it.
ensure_display() {
  local geometry=${1:-1024x768x24}
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local n
  for n in $(seq 90 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 "$geometry" -nolisten tcp >/dev/null 2>&1 &
    RAVELO_XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    say "no usable X display: started Xvfb on $DISPLAY ($geometry)"
    return 0
  done
  say "could not start Xvfb"; return 1
}

stop_display() {
  [ -n "${RAVELO_XVFB_PID:-}" ] && kill "$RAVELO_XVFB_PID" 2>/dev/null
  RAVELO_XVFB_PID=
}

build_preset() {
  local preset=$1; shift
  cmake --preset "$preset" "$@" >/dev/null && cmake --build --preset "$preset"
}
