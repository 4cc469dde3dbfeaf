# shellcheck shell=bash
# Wine and Xvfb for running the Windows builds on Linux. Source it:
#   . scripts/wine-env.sh
#   kh_wine_prefix || exit 1     # WINEPREFIX etc. exported, prefix created once
#   kh_xvfb_start  || exit 1     # DISPLAY exported; needed for windows
#   kh_wine ./test.exe args...   # wine with no stdin
#   kh_wine_stop; kh_xvfb_stop
#   kh_wine32_usable             # status: can this machine run 32-bit programs?
#
# The prefix lives at $KEYHOLD_CACHE/wineprefix (default ~/.cache/keyhold),
# outside the clone, so later runs reuse it. It is a win64 prefix, which runs
# 32-bit and 64-bit programs alike (Debian's wine with wine32:i386).
#
# All programs on a prefix share one wineserver, and its desktop keeps the
# display of the program that started it. So kh_wine_prefix also takes a lock
# that serialises the scripts using the prefix (tests run in parallel wait for
# each other; scripts started by the holder inherit it), and kh_xvfb_start
# restarts the wineserver so that the next program comes up on the new
# display. kh_wine_stop stops the wineserver and gives the lock back; so does
# the end of the script.
#
# Everything here works as root, without a terminal, and under set -euo pipefail.

: "${KEYHOLD_CACHE:=$HOME/.cache/keyhold}"
export KEYHOLD_CACHE

KH_XVFB_PID=${KH_XVFB_PID:-}

_kh_log() { echo "wine-env: $*" >&2; }

# Whether this machine runs 32-bit x86 programs at all. Some kernels are built
# or booted without 32-bit emulation: there every 32-bit ELF file, wine's own
# 32-bit loader included, fails with "Exec format error", and no 32-bit
# Windows program can run under wine. Prints nothing; the status tells.
kh_wine32_usable() {
  if [ -z "${KH_WINE32_USABLE:-}" ]; then
    KH_WINE32_USABLE=0
    if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1 </dev/null 197>&-; then
      KH_WINE32_USABLE=1
    fi
    export KH_WINE32_USABLE
  fi
  [ "$KH_WINE32_USABLE" = 1 ]
}

# kh_wine_path: Debian's "wine" starts its 32-bit loader whenever that is installed, even
# for 64-bit programs. Where 32-bit programs cannot run, "wine" and
# "wine-stable" (which wineboot calls) are put first on the PATH as the 64-bit
# loader, so that 64-bit programs still run.
kh_wine_path() {
  kh_wine32_usable && return 0
  local bin="$KEYHOLD_CACHE/wine64-only"
  case ":$PATH:" in *":$bin:"*) return 0 ;; esac
  mkdir -p "$bin" || return 1
  local name
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/$name.tmp" &&
      chmod 755 "$bin/$name.tmp" && mv -f "$bin/$name.tmp" "$bin/$name" || return 1
  done
  export PATH="$bin:$PATH"
  _kh_log "this machine cannot run 32-bit programs: wine runs 64-bit programs only"
}

# The stamp records the wine version that made the prefix; a prefix without a
# matching stamp (never finished, or made by another wine) is made anew.
_kh_wine_stamp_text() {
  echo "wine=$(wine --version 2>/dev/null) arch=win64"
}

_kh_wine_lock() {
  # Held by this shell or by a parent script already.
  [ -n "${KH_WINE_LOCKED:-}" ] && return 0
  # fd 197 holds the lock; everything started from here closes it (197>&-),
  # so that no lingering child keeps it after this shell is gone.
  exec 197>"$KEYHOLD_CACHE/wineprefix.use.lock" || return 1
  if ! flock -w "${KH_WINE_LOCK_WAIT:-1800}" 197; then
    _kh_log "gave up waiting for another script using $WINEPREFIX"
    exec 197>&-
    return 1
  fi
  export KH_WINE_LOCKED=$$
}

_kh_wine_unlock() {
  # Only the shell that took the lock gives it back.
  [ "${KH_WINE_LOCKED:-}" = "$$" ] || return 0
  exec 197>&-
  unset KH_WINE_LOCKED
}

kh_wine_prefix() {
  export WINEPREFIX="$KEYHOLD_CACHE/wineprefix"
  export WINEARCH=win64
  export WINEDEBUG=-all
  kh_wine_path || return 1
  local stamp="$WINEPREFIX/.keyhold-stamp" want
  want=$(_kh_wine_stamp_text)
  mkdir -p "$KEYHOLD_CACHE" || return 1
  _kh_wine_lock || return 1
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
    return 0
  fi
  _kh_log "creating wine prefix $WINEPREFIX"
  wineserver -k >/dev/null 2>&1 197>&- || true
  rm -rf "$WINEPREFIX"
  # No Mono or Gecko: their install dialogs would wait for a click forever.
  # No display either, so wineboot cannot open any window.
  if ! env -u DISPLAY WINEDLLOVERRIDES="mscoree,mshtml=" \
      wineboot -i </dev/null >"$KEYHOLD_CACHE/wineboot.log" 2>&1 197>&-; then
    _kh_log "wineboot failed, see $KEYHOLD_CACHE/wineboot.log"
    return 1
  fi
  # Its desktop has no display: let it go before anything else starts.
  wineserver -w || true
  if [ ! -d "$WINEPREFIX/drive_c/windows/system32" ] \
     || [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    _kh_log "wine prefix $WINEPREFIX is incomplete (no system32 or syswow64)"
    return 1
  fi
  echo "$want" >"$stamp"
}

# Runs a Windows program under the prefix, with no standard input.
kh_wine() {
  wine "$@" </dev/null 197>&-
}

kh_wine_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k >/dev/null 2>&1 197>&- || true
  fi
  _kh_wine_unlock
}

# Starts Xvfb on the first free display from :90 up and exports DISPLAY.
kh_xvfb_start() {
  if [ -n "$KH_XVFB_PID" ] && kill -0 "$KH_XVFB_PID" 2>/dev/null; then
    return 0
  fi
  local n log
  mkdir -p "$KEYHOLD_CACHE" || return 1
  for n in $(seq 90 189); do
    [ -e "/tmp/.X11-unix/X$n" ] && continue
    [ -e "/tmp/.X$n-lock" ] && continue
    log="$KEYHOLD_CACHE/xvfb-$n.log"
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset \
      </dev/null >"$log" 2>&1 197>&- &
    KH_XVFB_PID=$!
    # Wait for the socket; if the server dies first, someone else took the
    # display between our look and its start: try the next one.
    for _ in $(seq 1 100); do
      if ! kill -0 "$KH_XVFB_PID" 2>/dev/null; then break; fi
      if [ -e "/tmp/.X11-unix/X$n" ]; then
        export DISPLAY=":$n"
        # A wineserver still running from before has its desktop elsewhere.
        if [ -n "${KH_WINE_LOCKED:-}" ] && [ -n "${WINEPREFIX:-}" ]; then
          wineserver -k >/dev/null 2>&1 197>&- || true
        fi
        return 0
      fi
      sleep 0.1
    done
    kill "$KH_XVFB_PID" 2>/dev/null || true
    wait "$KH_XVFB_PID" 2>/dev/null || true
    KH_XVFB_PID=""
  done
  _kh_log "could not start Xvfb on any display from :90 to :189"
  return 1
}

kh_xvfb_stop() {
  [ -n "$KH_XVFB_PID" ] || return 0
  kill "$KH_XVFB_PID" 2>/dev/null || true
  wait "$KH_XVFB_PID" 2>/dev/null || true
  KH_XVFB_PID=""
  unset DISPLAY
}
