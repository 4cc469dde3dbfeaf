# shellcheck shell=bash
# Helpers for driving the real Double Commander under Xvfb with xdotool.
# Sourced by run-dc-test.sh. Every start of a server or program here records
# its process id; dc_cleanup (run on exit) ends exactly those.
#
# Waiting is done on conditions (a window with a title, a file that changes,
# a process that ends), each with a time limit, never on fixed sleeps alone.

DC_WAIT=${DC_WAIT:-30}   # seconds any single wait may take
DC_PIDS=()
DC_PID=""
XVFB_PID=""
OPENBOX_PID=""

# Messages go to standard error: helpers print their results on standard output.
log() { printf '[%s] %s\n' "$(date +%T)" "$*" >&2; }
fail() {
  log "FAIL: $*"
  shot "failure-$(date +%s%N)"
  exit 1
}
skip() { log "SKIPPED: $*"; exit 77; }

# Runs a command until it succeeds or the time limit passes.
#   wait_until SECONDS DESCRIPTION COMMAND...
wait_until() {
  local limit=$1 what=$2; shift 2
  local end=$(( $(date +%s%N) + limit * 1000000000 ))
  while ! "$@" >/dev/null 2>&1; do
    if [ "$(date +%s%N)" -gt "$end" ]; then
      fail "timed out after ${limit}s waiting for: $what"
    fi
    sleep 0.1
  done
}

# Screenshot of the whole screen into the screenshot folder.
shot() {
  [ -n "${DISPLAY:-}" ] && [ -n "${SHOTS:-}" ] || return 0
  mkdir -p "$SHOTS"
  import -window root "$SHOTS/$1.png" >/dev/null 2>&1 || log "no screenshot for $1"
}

# Ends a process we started: politely, then by force after a few seconds.
stop_pid() {
  local pid=$1
  [ -n "$pid" ] || return 0
  kill -0 "$pid" 2>/dev/null || { wait "$pid" 2>/dev/null; return 0; }
  kill "$pid" 2>/dev/null || true
  for _ in $(seq 1 30); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}

dc_cleanup() {
  local rc=$?
  set +e
  trap - ERR
  local pid
  for pid in "$DC_PID" "${DC_PIDS[@]}" "$OPENBOX_PID"; do
    stop_pid "$pid"
  done
  stop_pid "$XVFB_PID"
  # A flow that failed keeps what tells why: DC's crash reports and the
  # plug-in's log (the flows' stores hold test secrets only).
  if [ "$rc" != 0 ] && [ "$rc" != 77 ] && [ -n "${WORK:-}" ] && [ -n "${KH_DC_OUTPUT:-}" ]; then
    local kept="$KH_DC_OUTPUT/failures/${flow:-flow}"
    rm -rf "$kept"; mkdir -p "$kept"
    cp "$WORK/dc-config/doublecmd.err" "$kept/" 2>/dev/null
    cp "$WORK"/plugin/Keyhold/*.log "$kept/" 2>/dev/null
    [ -n "${DC_OUT:-}" ] && cp "$DC_OUT" "$kept/console.txt" 2>/dev/null
    log "kept for a look: $kept"
  fi
  if [ "${KEEP_WORK:-0}" != 1 ] && [ -n "${WORK:-}" ]; then rm -rf "$WORK"; fi
  exit "$rc"
}

# Starts Xvfb on a display it picks itself, and openbox on it.
start_display() {
  local fifo="$WORK/displayfd"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$fifo" \
    </dev/null >"$WORK/xvfb.log" 2>&1 &
  XVFB_PID=$!
  local n
  if ! read -r -t 20 n <"$fifo" || [ -z "$n" ]; then
    fail "Xvfb did not start (see $WORK/xvfb.log)"
  fi
  export DISPLAY=":$n"
  log "Xvfb on $DISPLAY"
  openbox --sm-disable </dev/null >"$WORK/openbox.log" 2>&1 &
  OPENBOX_PID=$!
  # openbox owns the window manager selection once it runs.
  wait_until 20 "openbox to manage the screen" \
    sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'
}

# The id of the visible window whose title matches (a regular expression), or
# failure; waits for it.
#   wait_window REGEX [SECONDS]
wait_window() {
  local title=$1 limit=${2:-$DC_WAIT} id
  id=$(timeout "$limit" xdotool search --sync --onlyvisible --name "$title" 2>/dev/null | head -n1) || true
  [ -n "$id" ] || fail "no window titled /$title/ within ${limit}s"
  echo "$id"
}

# Waits until no visible window has a matching title.
wait_window_gone() {
  local title=$1 limit=${2:-$DC_WAIT}
  wait_until "$limit" "window /$title/ to close" \
    sh -c "! xdotool search --onlyvisible --name '$title' >/dev/null 2>&1"
}

# The title of the window that has the keyboard focus.
focused_title() { xdotool getwindowfocus getwindowname 2>/dev/null; }

# Waits until the keyboard focus is in a window whose title matches.
wait_focus() {
  local title=$1 limit=${2:-$DC_WAIT}
  wait_until "$limit" "focus in /$title/" sh -c "xdotool getwindowfocus getwindowname 2>/dev/null | grep -Eq -- '$title'"
}

# Activates the window and waits until it has the focus.
activate() {
  local id=$1
  xdotool windowactivate --sync "$id" >/dev/null 2>&1 || true
  wait_until "$DC_WAIT" "focus on window $id" sh -c "[ \"\$(xdotool getwindowfocus)\" = $id ]"
}

# Keys and text into the focused window. Text is typed literally.
key() { xdotool key --clearmodifiers --delay 60 "$@"; }
type_text() { xdotool type --clearmodifiers --delay 40 -- "$1"; }

# --- Double Commander ---------------------------------------------------------

# Key bindings the suite adds to DC's own: none of these has a default key.
#   Ctrl+Shift+F9   left panel to the store's root, right panel to the store's root
#   Ctrl+Shift+F10  the path of the active panel becomes editable (type a path, Enter)
#   Ctrl+Shift+F11  the "//" list of virtual file systems
#   Ctrl+Shift+F12  left panel to the store's Email, right panel to its Network
#   Ctrl+Shift+F8   the name under the cursor to the clipboard
DC_KEY_BOTH_ROOT=ctrl+shift+F9
DC_KEY_TWO_FOLDERS=ctrl+shift+F12
DC_KEY_COPY_NAME=ctrl+shift+F8
DC_KEY_EDIT_PATH=ctrl+shift+F10
DC_KEY_VFS_LIST=ctrl+shift+F11

# A configuration DC made itself on a first run, kept in the build tree and
# reused: DC fills in everything a fresh configuration needs.
dc_template() {
  local tpl="$DC_TEMPLATE_DIR"
  if [ -f "$tpl/doublecmd.xml" ] && [ -f "$tpl/shortcuts.scf" ]; then return 0; fi
  log "making DC's first-run configuration in $tpl"
  local tmp="$WORK/first-run"
  mkdir -p "$tmp"
  doublecmd --no-splash --config-dir="$tmp" </dev/null >"$WORK/first-run.out" 2>&1 &
  local pid=$!
  DC_PIDS+=("$pid")
  local w
  w=$(wait_window '^Double Commander' 60)
  activate "$w"
  key alt+x
  wait_until "$DC_WAIT" "DC's first run to end" sh -c "! kill -0 $pid"
  [ -f "$tmp/doublecmd.xml" ] && [ -f "$tmp/shortcuts.scf" ] || fail "DC wrote no configuration on its first run"
  mkdir -p "$tpl.new"
  cp "$tmp/doublecmd.xml" "$tmp/shortcuts.scf" "$tpl.new/"
  rm -rf "$tpl"; mv "$tpl.new" "$tpl"
}

# DC's configuration folder for this test: the first-run files with Keyhold
# registered as a WFX plug-in and the suite's key bindings added.
dc_configure() {
  local plugin=$1
  dc_template
  DC_CONF="$WORK/dc-config"
  mkdir -p "$DC_CONF"
  local entry="<WfxPlugin Enabled=\"True\"><Name>Keyhold</Name><Path>$plugin</Path></WfxPlugin>"
  sed "s#<WfxPlugins>#<WfxPlugins>$entry#; s#<WfxPlugins/>#<WfxPlugins>$entry</WfxPlugins>#" \
    "$DC_TEMPLATE_DIR/doublecmd.xml" >"$DC_CONF/doublecmd.xml"
  grep -q '<Name>Keyhold</Name>' "$DC_CONF/doublecmd.xml" || fail "could not register the plug-in in doublecmd.xml"
  local keys
  keys="<Hotkey><Shortcut>Ctrl+Shift+F9</Shortcut><Command>cm_ChangeDir</Command><Param>leftpath=wfx://Keyhold/</Param><Param>rightpath=wfx://Keyhold/</Param></Hotkey>"
  keys+="<Hotkey><Shortcut>Ctrl+Shift+F10</Shortcut><Command>cm_EditPath</Command></Hotkey>"
  keys+="<Hotkey><Shortcut>Ctrl+Shift+F11</Shortcut><Command>cm_OpenVirtualFileSystemList</Command></Hotkey>"
  keys+="<Hotkey><Shortcut>Ctrl+Shift+F12</Shortcut><Command>cm_ChangeDir</Command><Param>leftpath=wfx://Keyhold/Email</Param><Param>rightpath=wfx://Keyhold/Network</Param></Hotkey>"
  keys+="<Hotkey><Shortcut>Ctrl+Shift+F8</Shortcut><Command>cm_CopyNamesToClip</Command></Hotkey>"
  sed "0,/<Form Name=\"Main\">/s##<Form Name=\"Main\">$keys#" \
    "$DC_TEMPLATE_DIR/shortcuts.scf" >"$DC_CONF/shortcuts.scf"
  grep -q 'cm_OpenVirtualFileSystemList' "$DC_CONF/shortcuts.scf" || fail "could not add key bindings to shortcuts.scf"
}

# Starts DC on the configuration; its output (it prints the answers of the
# plug-in's requests there) goes to $DC_OUT.
dc_start() {
  doublecmd --no-splash --config-dir="$DC_CONF" </dev/null >>"$DC_OUT" 2>&1 &
  DC_PID=$!
  DC_WIN=$(wait_window '^Double Commander' 60)
  activate "$DC_WIN"
  log "DC started (pid $DC_PID, window $DC_WIN)"
}

dc_running() { [ -n "$DC_PID" ] && kill -0 "$DC_PID" 2>/dev/null; }

# Closes DC as a user does (Alt+X in its main window) and waits for it to end.
#   dc_quit [SECONDS]
dc_quit() {
  local limit=${1:-$DC_WAIT}
  activate "$DC_WIN"
  key alt+x
  local end=$(( $(date +%s) + limit ))
  while dc_running; do
    [ "$(date +%s)" -le "$end" ] || return 1
    sleep 0.1
  done
  DC_STATUS=0
  wait "$DC_PID" || DC_STATUS=$?
  DC_PID=""
  return 0
}

# Focus back to DC's main window (after a dialog closed).
dc_front() { activate "$DC_WIN"; }

# Both panels to the store's root.
dc_open_store() {
  dc_front
  key "$DC_KEY_BOTH_ROOT"
}

# The active panel to a path (wfx://Keyhold/Email), typed into its path field.
dc_goto() {
  dc_front
  key "$DC_KEY_EDIT_PATH"
  sleep 0.3
  key ctrl+a
  type_text "$1"
  key Return
}

# The active panel to a local folder. A path typed in a panel on the plug-in
# stays inside the plug-in, so the panel goes to the home folder first
# (Ctrl+Shift+Home, DC's own key), which leaves it.
dc_goto_local() {
  dc_front
  key ctrl+shift+Home
  sleep 0.3
  dc_goto "$1"
}

# The name under the cursor of the active panel, read back through the
# clipboard.
dc_cursor_name() {
  key "$DC_KEY_COPY_NAME"
  sleep 0.2
  { "$KH_DC_TYPING_WINDOW" --clipboard 2>/dev/null || true; } | tr -d '\r' | sed -n 1p
}

# The cursor of the active panel onto the item named so (DC's quick search:
# typing letters in the panel finds the first name that starts with them),
# checked through the clipboard; the panel is read again (Ctrl+R) until the
# item is there.
#   dc_select NAME [SECONDS]
dc_select() {
  local name=$1 limit=${2:-$DC_WAIT}
  local end=$(( $(date +%s) + limit )) got
  dc_front
  while :; do
    key Home
    type_text "$name"
    sleep 0.2
    key Escape
    got=$(dc_cursor_name)
    [ "$got" = "$name" ] && return 0
    [ "$(date +%s)" -le "$end" ] || fail "the panel shows no item \"$name\" (cursor on \"$got\")"
    key ctrl+r
    sleep 0.5
  done
}

# A dialog of DC or of the plug-in: the visible window whose title matches and
# that is neither DC's main window nor one of the given windows. Waits for it,
# brings it to the front and prints its id.
#   dc_dialog REGEX [EXCLUDED_ID...]
dc_dialog() {
  local id
  id=$(dc_dialog_maybe "$@")
  [ -n "$id" ] || fail "no dialog titled /$1/ within ${DC_WAIT}s"
  echo "$id"
}

# As dc_dialog, but prints nothing (and succeeds) when no such dialog comes.
dc_dialog_maybe() {
  local title=$1; shift
  local end=$(( $(date +%s) + DC_WAIT )) id ids x excluded
  while [ "$(date +%s)" -le "$end" ]; do
    ids=$(xdotool search --onlyvisible --name "$title" 2>/dev/null || true)
    for id in $ids; do
      [ "$id" != "${DC_WIN:-}" ] || continue
      excluded=0
      for x in "$@"; do if [ "$id" = "$x" ]; then excluded=1; fi; done
      [ $excluded = 0 ] || continue
      activate "$id"
      echo "$id"
      return 0
    done
    sleep 0.1
  done
}

# Waits until the window no longer exists or is no longer visible.
wait_closed() {
  local id=$1
  wait_until "$DC_WAIT" "window $id to close" \
    sh -c "! xwininfo -id $id 2>/dev/null | grep -q 'IsViewable'"
}
