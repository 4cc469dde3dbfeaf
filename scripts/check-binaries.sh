#!/usr/bin/env bash
# Checks the three built plug-in binaries before they are shipped:
#   check-binaries.sh keyhold.so keyhold.wfx keyhold.wfx64
#
# - each exports exactly the plug-in entry points Total Commander looks up, by
#   their plain names (no stdcall "@16" suffix, no leading underscore), and
#   nothing else: a stray export is a symbol we never meant to publish;
# - keyhold.wfx is a 32-bit x86 DLL (PE32) and keyhold.wfx64 a 64-bit x86-64
#   DLL (PE32+);
# - the Windows DLLs import only DLLs that every Windows has, so no mingw
#   runtime DLL (libstdc++-6, libgcc_s_*, libwinpthread-1) must sit next to
#   the plug-in.
# Prints one line per problem and a closing "N passed, M failed" line (counting
# checks); exits non-zero if any check failed.
set -uo pipefail

if [ $# -ne 3 ]; then
  echo "usage: $0 LINUX.so WIN32.wfx WIN64.wfx64" >&2
  exit 2
fi

EXPECTED_EXPORTS=(FsInit FsFindFirst FsFindNext FsFindClose FsMkDir FsDeleteFile
  FsRemoveDir FsRenMovFile FsPutFile FsExecuteFile FsExtractCustomIcon
  FsContentGetSupportedField FsContentGetValue FsContentGetDefaultView
  FsContentPluginUnloading
  FsGetDefRootName FsSetDefaultParams)
# Double Commander's extension API (real dialogs): the Linux build only.
LINUX_ONLY_EXPORTS=(ExtensionInitialize ExtensionFinalize)

# Compared case-insensitively; a trailing * matches any rest of the name.
ALLOWED_IMPORTS=(KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll SHELL32.dll
  ole32.dll OLEAUT32.dll COMCTL32.dll COMDLG32.dll msvcrt.dll 'api-ms-win-crt-*.dll'
  bcrypt.dll WS2_32.dll IMM32.dll SHLWAPI.dll UxTheme.dll VERSION.dll ntdll.dll)

passed=0
failed=0
check_ok=1

problem() { echo "FAIL: $*"; check_ok=0; }
begin_check() { check_ok=1; }
end_check() {
  if [ "$check_ok" = 1 ]; then
    passed=$((passed + 1)); echo "ok: $1"
  else
    failed=$((failed + 1))
  fi
}

# Compares a list of exported names (one per line, on stdin) with the expected
# ones and reports each missing or unexpected name.
compare_exports() {
  local file=$1 name base
  local -A have=() want=() decorated=()
  local names=() wanted=("${EXPECTED_EXPORTS[@]}")
  [ "${2:-}" = linux ] && wanted+=("${LINUX_ONLY_EXPORTS[@]}")
  while IFS= read -r name; do
    [ -n "$name" ] && [ -z "${have[$name]:-}" ] && { have[$name]=1; names+=("$name"); }
  done
  for name in "${wanted[@]}"; do want[$name]=1; done
  for name in "${names[@]}"; do
    [ -n "${want[$name]:-}" ] && continue
    # Say why when it is a decorated form of one we want.
    base=${name#_}; base=${base%@*}
    if [ -n "${want[$base]:-}" ]; then
      problem "$file: exports decorated name '$name' instead of '$base'"
      decorated[$base]=1
    else
      problem "$file: unexpected export '$name'"
    fi
  done
  for name in "${wanted[@]}"; do
    [ -n "${have[$name]:-}" ] || [ -n "${decorated[$name]:-}" ] \
      || problem "$file: does not export '$name'"
  done
}

check_linux() {
  local file=$1 hdr syms
  begin_check
  if [ ! -f "$file" ]; then
    problem "$file: no such file"
  elif ! hdr=$(readelf -h "$file" 2>/dev/null); then
    problem "$file: not an ELF file"
  elif ! grep -q 'Type:[[:space:]]*DYN' <<<"$hdr"; then
    problem "$file: not an ELF shared object"
  fi
  local elf_ok=$check_ok
  end_check "$file: ELF shared object"

  begin_check
  if [ "$elf_ok" != 1 ]; then
    problem "$file: exports not checked (not an ELF shared object)"
  elif syms=$(nm -D --defined-only "$file" 2>/dev/null); then
    # Code symbols: T (global), W (weak, e.g. inline template instances that
    # leaked out), i (ifunc). _init and _fini belong to the C runtime.
    # (Fed through < <(...) so that problem() runs in this shell.)
    compare_exports "$file" linux < <(awk \
      'NF >= 3 && $(NF-1) ~ /^[TWi]$/ && $NF != "_init" && $NF != "_fini" { print $NF }' <<<"$syms")
  else
    problem "$file: cannot read its dynamic symbols"
  fi
  end_check "$file: exports"
}

# check_windows FILE PE32|PE32+ OBJDUMP
check_windows() {
  local file=$1 magic=$2 objdump=$3 dump
  begin_check
  dump=""
  if [ ! -f "$file" ]; then
    problem "$file: no such file"
  elif ! dump=$("$objdump" -p "$file" 2>/dev/null); then
    dump=""
    problem "$file: not a $magic file ($objdump cannot read it)"
  else
    local have_magic
    have_magic=$(sed -n 's/^Magic[[:space:]]*[0-9a-f]*[[:space:]]*(\(.*\))$/\1/p' <<<"$dump" | head -n1)
    if [ -z "$have_magic" ]; then
      problem "$file: not a PE image"
    elif [ "$have_magic" != "$magic" ]; then
      problem "$file: is $have_magic, must be $magic"
    fi
    if [ "$magic" = PE32 ]; then
      grep -q 'file format pei-i386' <<<"$dump" || problem "$file: not an i386 image"
    else
      grep -q 'file format pei-x86-64' <<<"$dump" || problem "$file: not an x86-64 image"
    fi
    # The DLL flag sits in the list under "Characteristics".
    awk '/^Characteristics/ { on = 1; next } on && /^[^\t]/ { exit } on && $1 == "DLL" { found = 1 }
         END { exit !found }' <<<"$dump" || problem "$file: not a DLL"
  fi
  local pe_ok=$check_ok
  end_check "$file: $magic DLL"

  begin_check
  if [ "$pe_ok" != 1 ]; then
    problem "$file: exports not checked (not a $magic DLL)"
  else
    compare_exports "$file" < <(awk '/^\[Ordinal\/Name Pointer\] Table/ { on = 1; next }
         on && /^[ \t]*\[ *[0-9]+\] / { sub(/^[ \t]*\[ *[0-9]+\] /, ""); print; next }
         on { exit }' <<<"$dump")
  fi
  end_check "$file: exports"

  begin_check
  if [ "$pe_ok" != 1 ]; then
    problem "$file: imports not checked (not a $magic DLL)"
  else
    local dll pat ok
    while IFS= read -r dll; do
      ok=0
      for pat in "${ALLOWED_IMPORTS[@]}"; do
        # shellcheck disable=SC2053
        if [[ ${dll,,} == ${pat,,} ]]; then ok=1; break; fi
      done
      [ "$ok" = 1 ] || problem "$file: imports '$dll', which is not a system DLL"
    done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$dump" | tr -d '\r')
  fi
  end_check "$file: imports only system DLLs"
}

check_linux "$1"
check_windows "$2" PE32 i686-w64-mingw32-objdump
check_windows "$3" PE32+ x86_64-w64-mingw32-objdump

echo "$passed passed, $failed failed"
[ "$failed" = 0 ]
