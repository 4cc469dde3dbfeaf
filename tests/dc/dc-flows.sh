# shellcheck shell=bash
# The flows of the Double Commander suite; sourced by run-dc-test.sh. Each
# flow_NAME is the test dc.NAME.

MASTER='Blue Kettle 7'
# Entries of the prepared store: Folder/Title|user name|password|url|notes.
GMAIL='Email/Gmail|ann@example.org|Gm41l (pw) ~^+%{x}|https://mail.example.org|first line\nsecond line'
YAHOO='Email/Yahoo|ann.y|Yah00!|https://mail.yahoo.example|'
BANK='Homebanking/Bank|ann.bank|B(a)nk~^+%{7}|https://bank.example|'
LOGIN='Internet/Login|ann.login|L0g(in)~^+%{}|https://login.example|'

# --- the plug-in's questions ---------------------------------------------------
# Without DC's extension API the plug-in asks through DC's one-line input
# boxes, titled with the dialog's title; with it, every dialog is one form
# titled with its caption.

# The master password of a new store: one form with both fields, or today two
# one-line requests.
answer_new_master() {
  local pw=$1 w w2
  if has_extension_api; then
    w=$(dc_dialog '^Enter Password')
    step_shot new-master-form
    type_text "$pw"
    key Tab
    type_text "$pw"
    step_shot new-master-typed
    key Return
    wait_closed "$w"
  else
    w=$(dc_dialog '^Enter Password')
    step_shot new-master-request
    type_text "$pw"
    key Return
    w2=$(dc_dialog '^Enter Password' "$w")
    step_shot new-master-retype-request
    type_text "$pw"
    key Return
    wait_closed "$w2"
  fi
}

# The master password of an existing store (opening it, unlocking it).
answer_master() {
  local pw=$1 name=${2:-master} w
  w=$(dc_dialog '^Enter Password')
  step_shot "$name"
  # A form kept open after a wrong password still holds it.
  key ctrl+a
  type_text "$pw"
  key Return
  wait_closed "$w"
}

# Opens both panels on the store and gives the master password.
open_store() {
  dc_open_store
  answer_master "$MASTER" open-store
  dc_front
}

# The secrets of a flow must not reach DC's console. Without the extension
# API they do (DC prints every request with its answer): then this is only
# noted; with it, it fails the flow.
check_console() {
  if console_clean "$@"; then
    log "DC's console holds none of the ${#} secrets"
  elif has_extension_api; then
    fail "a secret reached DC's console ($DC_OUT)"
  else
    log "NOTE: the plug-in has no extension API: DC's console shows secrets typed into its input boxes (known; $DC_OUT)"
  fi
}

# The store, decrypted, as sorted lines; fails when it does not decrypt.
store_lines() {
  local out
  out=$(store_dump "$MASTER") || fail "the store does not open under the master password"
  printf '%s\n' "$out" | LC_ALL=C sort
}

expect_store() {
  local want=$1 got
  got=$(store_lines)
  if [ "$got" != "$(printf '%s\n' "$want" | LC_ALL=C sort)" ]; then
    { diff <(printf '%s\n' "$want" | LC_ALL=C sort) <(printf '%s\n' "$got") || true; } | sed 's/^/  /' >&2
    fail "the store is not as expected (< expected, > found)"
  fi
}

quit_dc_cleanly() {
  dc_quit 20 || fail "DC did not end within 20 s of Alt+X"
  [ "$DC_STATUS" = 0 ] || fail "DC ended with status $DC_STATUS"
}

# --- flows that run on every build ------------------------------------------------

flow_FirstUse() {
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  step_shot started
  [ ! -e "$STORE" ] || fail "a store exists before the first use"
  # Opened from DC's list of virtual file systems ("//"), as a user finds it.
  key "$DC_KEY_VFS_LIST"
  dc_select "Keyhold"
  step_shot virtual-file-systems
  key Return
  answer_new_master "$MASTER"
  wait_until "$DC_WAIT" "the new store" test -s "$STORE"
  dc_front
  dc_select "Lock Keyhold"
  step_shot store-root
  expect_store "$(printf 'folder /%s\n' Email Network Windows Homebanking Internet)"
  # The stored order is that of a new store.
  [ "$(store_dump "$MASTER" | cut -d' ' -f2 | tr '\n' ' ')" = "/Email /Network /Windows /Homebanking /Internet " ] ||
    fail "the folders of a new store are not in their order"
  quit_dc_cleanly
  if grep -qF -- "$MASTER" "$STORE"; then fail "the master password is in the store file"; fi

  # DC again: the store asks for its password once, and takes it.
  dc_start
  dc_open_store
  answer_master "$MASTER" reopen
  dc_front
  key F7
  local w
  w=$(dc_dialog '^Create new directory$')
  key ctrl+a
  type_text "Travel"
  key Return
  wait_closed "$w"
  wait_store "$MASTER" '^folder /Travel$'
  quit_dc_cleanly
  check_console "$MASTER"
}

flow_LockUnlock() {
  store_make "$MASTER" "$GMAIL"
  local before
  before=$(store_lines)
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  dc_select "Lock Keyhold"
  key Return
  # Locked, the root lists "UnLock Keyhold" alone.
  dc_select "UnLock Keyhold"
  step_shot locked
  [ "$(file_sum "$STORE")" != none ] || fail "the store is gone"
  key Return
  # A wrong password is refused, with a message, and asked again.
  local w m
  w=$(dc_dialog '^Enter Password')
  step_shot unlock-asks
  type_text "not the password"
  key Return
  m=$(dc_dialog '^Keyhold$' "$w")
  step_shot wrong-password-message
  key Return
  wait_closed "$m"
  answer_master "$MASTER" unlock-again
  dc_front
  dc_select "Lock Keyhold"
  step_shot unlocked
  expect_store "$before"
  # Unlocked for real: a folder can be made.
  key F7
  w=$(dc_dialog '^Create new directory$')
  key ctrl+a
  type_text "After Unlock"
  key Return
  wait_closed "$w"
  wait_store "$MASTER" '^folder /After Unlock$'
  quit_dc_cleanly
  check_console "$MASTER" "not the password" "Gm41l (pw) ~^+%{x}"
}

flow_FolderOperations() {
  store_make "$MASTER" "$GMAIL"
  local before w
  before=$(store_lines)
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store

  # F7: a folder.
  key F7
  w=$(dc_dialog '^Create new directory$')
  step_shot make-folder
  key ctrl+a
  type_text "Shopping"
  key Return
  wait_closed "$w"
  wait_store "$MASTER" '^folder /Shopping$'

  # F2: renamed in place.
  dc_select "Shopping"
  key F2
  sleep 0.5
  step_shot rename-folder
  key ctrl+a
  type_text "Stores"
  key Return
  wait_store "$MASTER" '^folder /Stores$'
  wait_store "$MASTER" '^folder /Shopping$' -v

  # F8: removed, after DC's confirmation.
  dc_select "Stores"
  key F8
  w=$(dc_dialog '^Double Commander$')
  step_shot delete-folder-confirm
  key Return
  local end=$(( $(date +%s) + DC_WAIT )) noted=0 d
  while store_dump "$MASTER" 2>/dev/null | grep -q '^folder /Stores$'; do
    # DC removes a folder's files first, and the folder's "[New Entry]"
    # command cannot be removed: DC reports it; skipping it removes the rest.
    d=$(xdotool search --onlyvisible --name '^Double Commander$' 2>/dev/null | grep -vx "$DC_WIN" | head -n1 || true)
    if [ -n "$d" ] && [ $noted = 0 ]; then
      activate "$d"
      step_shot delete-folder-new-entry-command
      log "NOTE: removing a folder, DC reports that it cannot delete the folder's [New Entry] command"
      key Tab Return
      noted=1
    fi
    [ "$(date +%s)" -le "$end" ] || fail "the folder was not removed"
    sleep 0.2
  done
  expect_store "$before"
  quit_dc_cleanly
}

flow_EntryOperations() {
  store_make "$MASTER" "$GMAIL" "$YAHOO"
  local before w
  before=$(store_lines)
  local gmail yahoo
  gmail=$(printf '%s\n' "$before" | grep '^entry /Email/Gmail	')
  yahoo=$(printf '%s\n' "$before" | grep '^entry /Email/Yahoo	')
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  # Left panel on Email, right panel on Network; the left one is active.
  key "$DC_KEY_TWO_FOLDERS"
  dc_select "Gmail"
  step_shot two-folders

  # F2: an entry renamed in place keeps its fields.
  key F2
  sleep 0.5
  key ctrl+a
  type_text "Gmail Work"
  step_shot rename-entry
  key Return
  wait_store "$MASTER" '^entry /Email/Gmail Work	'
  local renamed=${gmail/\/Email\/Gmail	//Email/Gmail Work	}
  expect_store "$(printf '%s\n' "$before" | grep -v '/Gmail	'; echo "$renamed")"

  # F5: copied into the other panel's folder; both copies hold the fields.
  dc_select "Gmail Work"
  key F5
  w=$(dc_dialog '^Copy')
  step_shot copy-dialog
  key Return
  wait_closed "$w"
  wait_store "$MASTER" '^entry /Network/Gmail Work	'
  local copied=${renamed/\/Email\//\/Network\/}
  expect_store "$(printf '%s\n' "$before" | grep -v '/Gmail	'; echo "$renamed"; echo "$copied")"

  # F6: moved into the other panel's folder.
  dc_select "Yahoo"
  key F6
  w=$(dc_dialog '^(Move|Rename)')
  step_shot move-dialog
  key Return
  wait_closed "$w"
  wait_store "$MASTER" '^entry /Network/Yahoo	'
  local moved=${yahoo/\/Email\//\/Network\/}
  expect_store "$(printf '%s\n' "$before" | grep -v '/Gmail	\|/Yahoo	'; echo "$renamed"; echo "$copied"; echo "$moved")"

  # F8: deleted, after DC's confirmation; the copy stays.
  dc_select "Gmail Work"
  key F8
  w=$(dc_dialog '^Double Commander$')
  step_shot delete-entry-confirm
  key Return
  wait_store "$MASTER" '^entry /Email/Gmail Work	' -v
  expect_store "$(printf '%s\n' "$before" | grep -v '/Gmail	\|/Yahoo	'; echo "$copied"; echo "$moved")"
  step_shot after-delete
  quit_dc_cleanly
}

# --- the dialogs as DC forms -------------------------------------------------------

need_extension_api() {
  has_extension_api || skip "the plug-in has no extension API (no ExtensionInitialize): its dialogs are DC's one-line input boxes"
}

# New Entry from the root's "New Entry", keyboard only, in the tab order of
# the Windows dialog: group, title, user name, URL, password, "*****", ...
flow_NewEntryForm() {
  need_extension_api
  store_make "$MASTER"
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  dc_select "New Entry"
  key Return
  local w p
  w=$(dc_dialog '^New Entry')
  step_shot new-entry-form
  # The group list: the first folder in sorted order is Email.
  key Home
  key Tab
  type_text "Webmail"
  key Tab
  type_text "ann.new"
  key Tab
  type_text "https://webmail.example"
  step_shot new-entry-filled
  # On to "*****" (past the password fields, which take the focus only where
  # they are not disabled) and press it: the entry password form.
  local tries=0
  p=""
  while [ -z "$p" ] && [ $tries -lt 3 ]; do
    key Tab space
    tries=$((tries + 1))
    p=$(DC_WAIT=3 dc_dialog_maybe '^Enter Password' "$w")
  done
  [ -n "$p" ] || fail "\"*****\" of New Entry did not open the entry password form"
  step_shot entry-password-form
  key Tab Tab Tab
  key space
  step_shot entry-password-generated
  key shift+Tab
  key space
  wait_closed "$p"
  activate "$w"
  step_shot new-entry-with-password
  # Back from "*****" into a field, where Enter is OK.
  key shift+Tab
  key Return
  wait_closed "$w"
  wait_store "$MASTER" '^entry /Email/Webmail	'
  local line pw
  line=$(store_lines | grep '^entry /Email/Webmail	')
  case "$line" in
    *"	user=ann.new	"*"	url=https://webmail.example	"*) ;;
    *) fail "the new entry's fields are not those typed: $line" ;;
  esac
  pw=$(printf '%s\n' "$line" | sed -n 's/.*	password=\(.*\)	url=.*/\1/p')
  [ ${#pw} -eq 12 ] || fail "the generated password has ${#pw} characters, not 12"
  grep -q 'salt=' "$STORE" || fail "the entry is not stored encrypted"
  quit_dc_cleanly
  check_console "$MASTER" "$pw"
}

# View Entry: read-only until "&Modify"; the user name changed there is saved,
# the rest of the entry stays.
flow_ViewEntryForm() {
  need_extension_api
  store_make "$MASTER" "$GMAIL"
  local before
  before=$(store_lines)
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  key "$DC_KEY_TWO_FOLDERS"
  dc_select "Gmail"
  key Return
  local w
  w=$(dc_dialog '^(View Entry|View/Modify entry)')
  step_shot view-entry-form
  key alt+m
  step_shot view-entry-modify
  # "&Modify" hands the focus on to "*****"; back past the URL to the user name.
  key shift+Tab shift+Tab
  key ctrl+a
  type_text "ann.changed"
  step_shot view-entry-changed
  key Return
  wait_closed "$w"
  wait_store "$MASTER" '^entry /Email/Gmail	user=ann.changed	'
  expect_store "$(printf '%s\n' "$before" | sed 's/	user=ann@example.org	/	user=ann.changed	/')"
  quit_dc_cleanly
  check_console "$MASTER" "Gm41l (pw) ~^+%{x}"
}

# --- auto-type on X11 --------------------------------------------------------------

BANK_WINDOW="Bank Login - Web Browser"

need_hot_key() {
  has_x11_hotkey || skip "the plug-in registers no hot key on X11 (it does not use XGrabKey or xcb_grab_key)"
}

# Waits until Ctrl+Shift+Q is grabbed on the root window (by the plug-in).
# The probe holds the grab itself for one round trip to the X server when it
# is free; probing twice a second keeps the chance of meeting the plug-in's
# own grab there tiny, and the plug-in's log tells when it happened.
wait_hot_key() {
  local end=$(( $(date +%s) + DC_WAIT ))
  until "$KH_DC_TYPING_WINDOW" --grabbed; do
    if grep -rqs 'refused the grab' "$LOGDIR"; then
      fail "the plug-in's grab of Ctrl+Shift+Q was refused (by this suite's probe, or another client)"
    fi
    [ "$(date +%s)" -le "$end" ] || fail "the plug-in did not grab Ctrl+Shift+Q within ${DC_WAIT}s"
    sleep 0.5
  done
  log "Ctrl+Shift+Q is grabbed"
}

# Starts the stand-in login form; its typed text goes to $TYPED.
start_typing_window() {
  TYPED="$WORK/typed.txt"
  : >"$TYPED"
  "$KH_DC_TYPING_WINDOW" "$TYPED" "$BANK_WINDOW" >"$WORK/typing-window.out" 2>&1 &
  TYPING_PID=$!
  DC_PIDS+=("$TYPING_PID")
  TYPING_WIN=$(wait_window "^$BANK_WINDOW\$")
  activate "$TYPING_WIN"
  wait_until "$DC_WAIT" "the login form to have the focus" grep -q ready "$WORK/typing-window.out"
}

# Waits until exactly the entry arrived in the login form: its user name, a
# Tab, its password and Enter, and that nothing follows for a moment.
#   expect_typed USER PASSWORD
expect_typed() {
  local want hex got end
  want=$(printf '%s\t%s\n' "$1" "$2" | od -An -tx1 | tr -d ' \n')
  end=$(( $(date +%s) + DC_WAIT ))
  while [ "$(od -An -tx1 "$TYPED" | tr -d ' \n')" != "$want" ] && [ "$(date +%s)" -le "$end" ]; do
    sleep 0.2
  done
  sleep 1
  got=$(od -An -tx1 "$TYPED" | tr -d ' \n')
  if [ "$got" != "$want" ]; then
    log "expected: $(printf '%s\t%s\n' "$1" "$2" | od -An -c | tr -s ' ' | tr -d '\n')"
    log "typed:    $(od -An -c "$TYPED" | tr -s ' ' | tr -d '\n')"
    fail "the login form did not receive exactly the entry"
  fi
  log "the login form received exactly the entry"
}

press_hot_key() {
  activate "$TYPING_WIN"
  key ctrl+shift+q
}

flow_AutoType() {
  need_hot_key
  store_make "$MASTER" "$BANK"
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  wait_hot_key
  start_typing_window
  step_shot login-form
  press_hot_key
  expect_typed ann.bank 'B(a)nk~^+%{7}'
  step_shot typed
  quit_dc_cleanly
  check_console "$MASTER" "B(a)nk~^+%{7}"
}

# A store with two entries for the test window; the hot key pressed in it.
hot_key_with_two_matches() {
  store_make "$MASTER" "$BANK" "$LOGIN"
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  wait_hot_key
  start_typing_window
  press_hot_key
}

# Two entries match: the chooser appears in DC, and the one picked is typed.
flow_AutoTypeChooser() {
  need_hot_key
  need_extension_api
  hot_key_with_two_matches
  local c
  c=$(dc_dialog '^Possible entries')
  step_shot chooser
  # OK, Cancel, then the list (sorted: Bank, Login); the second is picked.
  key Tab Tab Down
  step_shot chooser-second-picked
  key Return
  wait_closed "$c"
  expect_typed ann.login 'L0g(in)~^+%{}'
  step_shot typed
  quit_dc_cleanly
  check_console "$MASTER" "L0g(in)~^+%{}" "B(a)nk~^+%{7}"
}

# A store with the bank entry, locked in DC; the hot key pressed in the test
# window.
hot_key_on_locked_store() {
  store_make "$MASTER" "$BANK"
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  dc_select "Lock Keyhold"
  key Return
  dc_select "UnLock Keyhold"
  wait_hot_key
  start_typing_window
  press_hot_key
}

# With the store locked, the hot key asks for the master password first.
flow_AutoTypeLocked() {
  need_hot_key
  hot_key_on_locked_store
  answer_master "$MASTER" hot-key-unlock
  expect_typed ann.bank 'B(a)nk~^+%{7}'
  step_shot typed
  quit_dc_cleanly
  check_console "$MASTER" "B(a)nk~^+%{7}"
}

# DC closed while a dialog of the hot key is open: it ends within 5 s,
# without a crash. DC 1.0.10 ignores the close button of its main window
# while any modal dialog is up; a desktop session that ends sends SIGTERM,
# which DC handles by closing its main window. So the close request comes
# first, as a person clicks, and SIGTERM after a second if DC still runs.
close_with_dialog_open() {
  local title=$1
  local d
  d=$(dc_dialog "$title")
  step_shot dialog-open
  local t0 end
  t0=$(date +%s%N)
  end=$(( t0 + 5000000000 ))
  "$KH_DC_TYPING_WINDOW" --close "$DC_WIN"
  while dc_running && [ $(( $(date +%s%N) - t0 )) -lt 1000000000 ]; do sleep 0.1; done
  if dc_running; then
    log "DC still runs a second after its close button: SIGTERM, as at the end of a session"
    kill -TERM "$DC_PID"
  fi
  while dc_running; do
    [ "$(date +%s%N)" -le "$end" ] || fail "DC did not end within 5 s of being closed with /$title/ open"
    sleep 0.1
  done
  DC_STATUS=0
  wait "$DC_PID" || DC_STATUS=$?
  DC_PID=""
  log "DC ended after $(( ($(date +%s%N) - t0) / 1000000 )) ms, status $DC_STATUS"
  # DC 1.0.10 makes a plug-in's form with its main form as owner and frees it
  # on the plug-in's thread once the dialog returns. When its main form goes
  # at the same time (the session ends with the dialog open), the two threads
  # destroy the form together: an access violation or a list error inside
  # the forms' destructor (TCustomForm.Destroy, customform.inc; or
  # TDialogBox.Destroy, fdialogbox.pas line 641), runtime error 217. That
  # one is DC's own and is reported, not failed; any other end by a signal
  # or an exception fails.
  if [ "$DC_STATUS" = 217 ] && dc_form_destroyed_twice; then
    log "KNOWN DC 1.0.10 DEFECT: DC destroyed the plug-in's form on two threads at exit; see $DC_CONF/doublecmd.err"
    return 0
  fi
  [ "$DC_STATUS" -lt 128 ] || fail "DC ended by signal $(( DC_STATUS - 128 ))"
  [ "$DC_STATUS" != 217 ] || fail "DC ended by an unhandled exception (runtime error 217)"
  if grep -qiE 'access violation|segmentation|unhandled exception|ExceptionOccurred' "$DC_OUT"; then
    fail "DC reports a crash ($DC_OUT)"
  fi
}

# The last crash report DC wrote is that of a form destroyed twice: an access
# violation or a list error whose first frame with a source line is in a
# form's destructor.
dc_form_destroyed_twice() {
  local err="$DC_CONF/doublecmd.err" report frame line
  [ -f "$err" ] || return 1
  report=$(awk '/^--------------- /{block=""} {block=block $0 "\n"} END{printf "%s", block}' "$err")
  grep -qE 'Unhandled exception: (EAccessViolation|EListError)' <<<"$report" || return 1
  frame=$(grep -m1 -oE 'line [0-9]+, column [0-9]+ of [^ ]+' <<<"$report") || return 1
  line=$(awk '{print $2}' <<<"${frame//,/}")
  case "$frame" in
    *" of include/customform.inc") [ "$line" -ge 90 ] && [ "$line" -le 130 ] ;;
    *" of fdialogbox.pas") [ "$line" = 641 ] ;;
    *) return 1 ;;
  esac
}

flow_CloseWithChooserOpen() {
  need_hot_key
  need_extension_api
  hot_key_with_two_matches
  close_with_dialog_open '^Possible entries'
}

flow_CloseWithUnlockOpen() {
  need_hot_key
  hot_key_on_locked_store
  close_with_dialog_open '^Enter Password'
}

# --- DC's console ---------------------------------------------------------------------

# No master password and no entry password in what DC prints: first use,
# unlocking, and an entry shown.
flow_ConsoleKeepsSecrets() {
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  dc_open_store
  answer_new_master "$MASTER"
  wait_until "$DC_WAIT" "the new store" test -s "$STORE"
  dc_front
  dc_select "Lock Keyhold"
  key Return
  dc_select "UnLock Keyhold"
  key Return
  answer_master "$MASTER" unlock
  quit_dc_cleanly
  if console_clean "$MASTER"; then
    log "DC's console holds no secret"
  elif has_extension_api; then
    fail "the master password reached DC's console ($DC_OUT)"
  else
    { grep -nF -- "$MASTER" "$DC_OUT" || true; } | head -3 | sed "s/^/  /" >&2
    skip "known: without the extension API DC prints the master password typed into its input box"
  fi
}

# --- importing password exports -------------------------------------------------------

# A KeePassXC export: a password with a comma and a doubled quote, notes over
# two lines, a nested group, two entries titled alike, and the store's own
# Gmail entry again.
SHOP_PW='p,w "q" 1'
FORUM_PW='F0rum!pw'
FORUM2_PW='0ther#pw'
# shellcheck disable=SC2016  # a dollar sign, not an expansion
ROUTER_PW='R0uter$pw'
CHROME_PW='Chr0me,pw "x"'

write_keepassxc_export() {
  cat >"$1" <<'CSV'
"Group","Title","Username","Password","URL","Notes","TOTP","Icon","Last Modified","Created"
"Root","Webshop","ann.shop","p,w ""q"" 1","https://shop.example","line one
line two","","0","2024-01-02T10:00:00Z","2024-01-01T10:00:00Z"
"Root/Passwords/Shop","Forum","ann.forum","F0rum!pw","https://forum.example","","","0","2024-01-02T10:00:00Z","2024-01-01T10:00:00Z"
"Root/Passwords/Shop","Forum","ann.other","0ther#pw","https://forum.example","","","0","2024-01-02T10:00:00Z","2024-01-01T10:00:00Z"
"Root/Passwords","Router","admin","R0uter$pw","http://192.168.1.1","","","0","2024-01-02T10:00:00Z","2024-01-01T10:00:00Z"
"Root","Gmail","ann@example.org","Gm41l (pw) ~^+%{x}","https://mail.example.org","first line
second line","","0","2024-01-02T10:00:00Z","2024-01-01T10:00:00Z"
CSV
}

write_chrome_export() {
  cat >"$1" <<'CSV'
name,url,username,password,note
bank.example,https://bank.example/login,ann.chrome,"Chr0me,pw ""x""",saved by Chrome
CSV
}

# FsPutFile as DC called it, from the plug-in's log.
log_put_file_calls() {
  grep -rhs 'FsPutFile(' "$LOGDIR" | sed 's/^.*FsPutFile/  plug-in log: FsPutFile/' >&2 ||
    log "the plug-in's log holds no FsPutFile call"
}

# Copies (F5) the local file under the cursor of the active panel into the
# other panel's folder of the store; the plug-in's message is closed.
copy_export() {
  local name=$1 w m
  dc_select "$name"
  key F5
  w=$(dc_dialog '^Copy')
  step_shot "copy-$name"
  key Return
  wait_closed "$w"
  m=$(dc_dialog '^Keyhold$')
  step_shot "message-$name"
  key Return
  wait_closed "$m"
}

# Fails when any of the given texts stands in the store file in clear.
store_hides() {
  local s
  for s in "$@"; do
    if grep -qF -- "$s" "$STORE"; then fail "\"$s\" stands in the store file in clear"; fi
  done
}

# Exports copied from a local folder into the store's Email: a KeePassXC CSV,
# a file that is no export, and a Chrome CSV, first tried with F6 (move).
flow_ImportExport() {
  store_make "$MASTER" "$GMAIL"
  local before
  before=$(store_lines)
  local exports="$WORK/exports"
  mkdir -p "$exports"
  write_keepassxc_export "$exports/keepassxc.csv"
  write_chrome_export "$exports/chrome.csv"
  printf 'Group,Title\nnot,an export\n' >"$exports/readme.txt"
  local kp_sum
  kp_sum=$(file_sum "$exports/keepassxc.csv")
  dc_configure "$PLUGDIR/keyhold.wfx"
  dc_start
  open_store
  # Left panel on the store's Email; the right one, active, on the exports.
  key "$DC_KEY_TWO_FOLDERS"
  dc_select "Gmail"
  key Tab
  dc_goto_local "$exports"
  dc_select "keepassxc.csv"
  step_shot exports-panel

  # F5: the groups become folders below Email, the second "Forum" is
  # numbered, the entry the store has already is not added again, and every
  # field arrives exactly.
  copy_export keepassxc.csv
  local imported
  imported=$(printf '%s\n' "$before"
    printf '%s\n' 'folder /Email/Passwords' 'folder /Email/Passwords/Shop'
    printf 'entry /Email/Webshop\tuser=ann.shop\tpassword=%s\turl=https://shop.example\tnotes=line one\\r\\nline two\n' "$SHOP_PW"
    printf 'entry /Email/Passwords/Shop/Forum\tuser=ann.forum\tpassword=%s\turl=https://forum.example\tnotes=\n' "$FORUM_PW"
    printf 'entry /Email/Passwords/Shop/Forum (2)\tuser=ann.other\tpassword=%s\turl=https://forum.example\tnotes=\n' "$FORUM2_PW"
    printf 'entry /Email/Passwords/Router\tuser=admin\tpassword=%s\turl=http://192.168.1.1\tnotes=\n' "$ROUTER_PW")
  expect_store "$imported"
  store_hides "$FORUM_PW" "$FORUM2_PW" "$ROUTER_PW" ann.shop ann.forum ann.other "line two"
  [ "$(file_sum "$exports/keepassxc.csv")" = "$kp_sum" ] || fail "the export changed or went with a copy (F5)"
  dc_front
  step_shot after-copy

  # A file that is no export: the plug-in says nothing, DC reports that the
  # copy failed ("Function not supported!", Skip or Abort), and the store
  # stays as it is.
  local txt_sum w e
  txt_sum=$(file_sum "$exports/readme.txt")
  dc_select "readme.txt"
  key F5
  w=$(dc_dialog '^Copy')
  key Return
  wait_closed "$w"
  e=$(dc_dialog '^Double Commander$')
  step_shot no-export
  if xdotool search --onlyvisible --name '^Keyhold$' >/dev/null 2>&1; then
    fail "the plug-in showed a message for a file that is no export"
  fi
  key Return
  wait_closed "$e"
  expect_store "$imported"
  [ "$(file_sum "$exports/readme.txt")" = "$txt_sum" ] || fail "the file that is no export changed or went"

  # F6: DC moves files only within one file system. From a local folder into
  # a plug-in it says "Not implemented." and calls nothing, so the plug-in
  # never sees FS_COPYFLAGS_MOVE. The user then copies the export and deletes
  # it himself, past the trash (Shift+F8).
  dc_select "chrome.csv"
  key F6
  local d
  d=$(dc_dialog '^Double Commander$')
  step_shot move-not-implemented
  if xdotool search --onlyvisible --name '^Keyhold$' >/dev/null 2>&1; then
    fail "the plug-in showed a message on F6"
  fi
  log "NOTE: F6 from a local folder into the plug-in: DC says \"Not implemented.\" and calls no FsPutFile"
  key Return
  wait_closed "$d"
  expect_store "$imported"
  [ -f "$exports/chrome.csv" ] || fail "the Chrome export went though nothing was moved"
  copy_export chrome.csv
  [ -f "$exports/chrome.csv" ] || fail "the Chrome export went with a copy (F5)"
  dc_select "chrome.csv"
  key shift+F8
  d=$(dc_dialog '^Double Commander$')
  step_shot delete-export-confirm
  key Return
  wait_closed "$d"
  wait_until "$DC_WAIT" "the Chrome export to go" test ! -e "$exports/chrome.csv"
  expect_store "$(printf '%s\n' "$imported"
    printf 'entry /Email/bank.example\tuser=ann.chrome\tpassword=%s\turl=https://bank.example/login\tnotes=saved by Chrome\n' "$CHROME_PW")"
  store_hides ann.chrome "saved by Chrome"
  [ "$(file_sum "$exports/keepassxc.csv")" = "$kp_sum" ] || fail "the KeePassXC export changed or went"
  dc_front
  step_shot after-chrome
  log_put_file_calls
  quit_dc_cleanly
  check_console "$MASTER" "$SHOP_PW" "$FORUM_PW" "$FORUM2_PW" "$ROUTER_PW" "$CHROME_PW"
}
