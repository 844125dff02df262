#!/usr/bin/env bash
# The project's structure, as docs/architecture.md draws it: the rules that the link lines
# alone do not keep (a header found through another library's include path, a file that
# grows past its size). Each broken rule prints one line naming the file; the exit status
# is the number of rules broken (capped), 0 when all hold.
#   check_structure.sh <source folder>
set -uo pipefail

root=${1:?usage: check_structure.sh <source folder>}
cd "$root" || exit 100
failed=0

fail() {
  echo "structure: $*"
  failed=1
}

# The include prefixes of the folders under <dir>: <dir>/<folder>/include/<prefix>/.
prefixes_of() {
  for d in "$@"; do
    [ -d "$d" ] || continue
    for inc in "$d"/include/*/; do
      [ -d "$inc" ] && basename "$inc"
    done
  done
}

# Lines "<file>:<line>:<text>" of the files under <dirs> that include "<prefix>/…" for a
# prefix of the list in $1 (space separated).
includes_of() {
  local wanted=$1
  shift
  local pattern
  pattern=$(echo "$wanted" | tr ' ' '\n' | grep -v '^$' | paste -sd'|')
  [ -n "$pattern" ] || return 0
  grep -rnE --include='*.h' --include='*.hpp' --include='*.c' --include='*.cc' --include='*.cpp' \
    "^[[:space:]]*#[[:space:]]*include[[:space:]]*[\"<]($pattern)/" "$@" 2>/dev/null
}

# ---- The pages and what lies below them never include the shell. ----
below_shell=(app/card app/patterns app/calendar app/print app/core app/wizard)
existing=()
for d in "${below_shell[@]}"; do [ -d "$d" ] && existing+=("$d"); done
while IFS= read -r hit; do
  [ -n "$hit" ] && fail "${hit%%:*}: includes the shell (${hit#*:*:}); pages and the layers below them reach the main window through wizard/host.h"
done < <(includes_of "shell" "${existing[@]}")

# The page libraries link neither the shell nor the program.
for d in "${existing[@]}"; do
  if grep -qE '\bkv_(shell|program)\b' "$d/CMakeLists.txt" 2>/dev/null; then
    fail "$d/CMakeLists.txt: links kv_shell or kv_program; only the program's composition and tests may"
  fi
done

# ---- No include circle between the folders of app/. ----
# Each edge "from to" says that a file of folder <from> includes a header of folder <to>;
# tsort names the folders of a circle.
declare -A owner=()
for d in app/*/; do
  d=${d%/}
  for p in $(prefixes_of "$d"); do owner[$p]=$(basename "$d"); done
done
edges=$(
  for d in app/*/; do
    d=${d%/}
    from=$(basename "$d")
    includes_of "${!owner[*]}" "$d" | sed -E 's/^[^:]*:[0-9]+:[[:space:]]*#[[:space:]]*include[[:space:]]*["<]([^/]+)\/.*/\1/' |
      sort -u | while read -r prefix; do
        to=${owner[$prefix]:-}
        [ -n "$to" ] && [ "$to" != "$from" ] && echo "$from $to"
      done
  done
)
if [ -n "$edges" ]; then
  if ! circle=$(echo "$edges" | tsort 2>&1 >/dev/null) || [ -n "$circle" ]; then
    members=$(echo "$circle" | grep -v 'input contains a loop' | sed 's/^tsort: //' | paste -sd' ')
    # Name one file of each include that closes the circle.
    for m in $members; do
      for n in $members; do
        [ "$m" = "$n" ] && continue
        if echo "$edges" | grep -qx "$m $n"; then
          example=$(includes_of "$(for p in "${!owner[@]}"; do [ "${owner[$p]}" = "$n" ] && echo "$p"; done)" "app/$m" | head -1)
          fail "${example%%:*}: app/$m includes app/$n, in an include circle of app/{$(echo "$members" | tr ' ' ',')}"
        fi
      done
    done
    [ -n "$members" ] || fail "app/: an include circle between folders ($circle)"
  fi
fi

# ---- platform/ never includes the emulator, the control or the program. ----
above_platform=$(prefixes_of emulator control app/*)
while IFS= read -r hit; do
  [ -n "$hit" ] && fail "${hit%%:*}: platform includes ${hit#*:*:}; platform knows neither the emulator, the control nor the program"
done < <(includes_of "$above_platform" platform)
for list in platform/*/CMakeLists.txt; do
  [ -f "$list" ] || continue
  if grep -nE '\b(kv_emulator|kv_control[a-z_]*|RDXKVM58|kv_(core|wizard|shell|program|card|patterns|calendar|print|reader_bus))\b' "$list" >/dev/null; then
    fail "$list: links the emulator, the control or the program"
  fi
done

# ---- No source file over 800 lines; 600 in platform/usb. ----
while IFS= read -r line; do
  [ -n "$line" ] && fail "$line"
done < <(find . \( -path './build*' -o -path './.*' \) -prune -o -type f \
           \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' -o -name '*.hpp' \) -print0 |
         xargs -0 -r awk 'FNR == 1 && NR > 1 { report(previous, lines) }
                          { previous = FILENAME; lines = FNR }
                          END { if (NR > 0) report(previous, lines) }
                          function report(f, n,   limit) {
                            sub(/^\.\//, "", f)
                            limit = f ~ /^platform\/usb\// ? 600 : 800
                            if (n > limit) printf "%s: %d lines, more than %d; split it by purpose\n", f, n, limit
                          }')

if [ "$failed" -ne 0 ]; then
  echo "structure: broken (see docs/architecture.md, \"The whole, in one picture\")"
  exit 1
fi
echo "structure: every rule holds"
