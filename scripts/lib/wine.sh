# Wine and its virtual display, the one way every script here sets them up.
# Sourced by scripts/demo, scripts/wine-run and tests/e2e/session.

# wine_environment PREFIX: the prefix, no debug output, no Mono or Gecko
# install prompts, and a crash ends the process instead of opening a debugger.
# A prefix whose folder holds a file "win32" beside it is a 32-bit Windows.
wine_environment() {
  export WINEPREFIX=$1 WINEDEBUG=${WINEDEBUG:--all}
  if [[ -f $(dirname "$1")/win32 ]]; then export WINEARCH=win32; fi
  export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml=;winedbg.exe=d"}
}

# wine_display_start STATE_DIR SIZE: starts Xvfb on a free display number
# (once: a running one is kept), notes it in STATE_DIR and exports DISPLAY.
wine_display_start() {
  local state=$1 size=$2 n
  mkdir -p "$state"
  if ! { [[ -f $state/xvfb.pid ]] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; }; then
    rm -f "$state/xvfb.pid" "$state/display"
    # A number that looks free may still be held by a server on its way
    # out: the next one is tried when this one's server does not come up.
    for n in $(seq 90 199); do
      [[ ! -e /tmp/.X11-unix/X$n && ! -e /tmp/.X$n-lock ]] || continue
      setsid Xvfb ":$n" -screen 0 "${size}x24" -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 &
      local pid=$! owner=
      # Two sessions starting at once may both find the number free: the
      # display is ours only when the server that holds its lock is ours.
      for _ in $(seq 50); do
        owner=$({ tr -d ' \n' <"/tmp/.X$n-lock"; } 2>/dev/null || true)
        [[ -e /tmp/.X11-unix/X$n && -n $owner ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
      done
      if [[ -n $owner && $owner != "$pid" ]] && [[ $(ps -o ppid= -p "$owner" 2>/dev/null | tr -d ' ') != "$pid" ]]; then
        owner=  # another session's server
      fi
      if [[ -n $owner ]] && kill -0 "$pid" 2>/dev/null && [[ -e /tmp/.X11-unix/X$n ]]; then
        echo "$pid" >"$state/xvfb.pid"
        echo "$n" >"$state/display"
        break
      fi
      kill "$pid" 2>/dev/null || true
    done
    [[ -f $state/display ]] || { echo "no X display could be started" >&2; return 1; }
  fi
  export DISPLAY=":$(cat "$state/display")"
}

# wine_display_stop STATE_DIR
wine_display_stop() {
  local state=$1
  if [[ -f $state/xvfb.pid ]]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
    rm -f "$state/xvfb.pid"
  fi
}

# wine_prefix_make LOG: makes the prefix once (about 10 s). A prefix made
# before wine32 was installed has no 32-bit side and cannot even start
# 64-bit programs any more ("could not load kernel32.dll"), nor can Wine
# repair it: it is made again. Only for the scripts' own prefixes.
wine_prefix_make() {
  local log=$1
  if [[ ${WINEARCH:-} != win32 && -f $WINEPREFIX/system.reg && ! -f $WINEPREFIX/drive_c/windows/syswow64/kernel32.dll ]] &&
    dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    echo "Making the Wine prefix $WINEPREFIX again: it was made without 32-bit support" >&2
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  fi
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    wineboot -i </dev/null >"$log" 2>&1
    wineserver -w
  fi
}

# wine_prefix_ready LOG: makes the prefix when needed, then keeps a server
# alive for SECONDS (default 900) so that each program starts in a fraction
# of a second, and starts Wine's own services with their output going to
# LOG: started by a program instead, they would hold its output open after
# it ends.
wine_prefix_ready() {
  local log=$1 seconds=${2:-900}
  wine_prefix_make "$log"
  # Debian's Wine does not look in its own font folder: without Marlett the
  # title bar shows "0 1 r" instead of its buttons. Fonts in the prefix's
  # Fonts folder are found.
  local fonts=$WINEPREFIX/drive_c/windows/Fonts
  if [[ -f /usr/share/wine/fonts/marlett.ttf && ! -f $fonts/marlett.ttf ]]; then
    mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
  fi
  wineserver -p "$seconds" </dev/null >/dev/null 2>&1 || true  # fails when one already runs
  wineboot </dev/null >>"$log" 2>&1
}

# wine_stop: ends the prefix's server and every program in it.
wine_stop() {
  wineserver -k 2>/dev/null || true
}
