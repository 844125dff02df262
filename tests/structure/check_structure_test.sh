#!/usr/bin/env bash
# The structure check catches each kind of break it is there for, and names the file:
# every case builds a small tree that holds to the rules, breaks one, and expects the
# check to fail with the line given.
#   check_structure_test.sh <check_structure.sh>
set -uo pipefail

check=${1:?usage: check_structure_test.sh <check_structure.sh>}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

# A tree that keeps every rule: the program on top, a page, the seam, core; a platform layer.
whole_tree() {
  local t=$1
  rm -rf "$t" && mkdir -p "$t"
  for lib in shell card wizard core; do mkdir -p "$t/app/$lib/include/$lib" "$t/app/$lib/src"; done
  mkdir -p "$t/platform/usb/src" "$t/platform/devices/src" "$t/emulator/include/emulator" "$t/control/include/control"
  echo '#include "card/window.h"' >"$t/app/shell/src/program.cpp"
  echo '#include "wizard/host.h"' >"$t/app/card/src/window.cpp"
  echo '#include "core/globals.h"' >"$t/app/wizard/src/host.cpp"
  echo 'target_link_libraries(kv_card PUBLIC kv_wizard)' >"$t/app/card/CMakeLists.txt"
  echo '#include "usb/urb.h"' >"$t/platform/devices/src/system.cpp"
  echo 'target_link_libraries(kv_devices PUBLIC kv_usb)' >"$t/platform/devices/CMakeLists.txt"
  seq 600 >"$t/platform/usb/src/bus.cpp"
  seq 800 >"$t/app/core/src/big.cpp"
  mkdir -p "$t/build-ci" && seq 2000 >"$t/build-ci/generated.cpp"
}

# case name | file | line appended | expected output
cases=(
  "page includes the shell|app/card/src/window.cpp|#include \"shell/main_window.h\"|app/card/src/window.cpp: includes the shell"
  "seam includes the shell|app/wizard/src/host.cpp|  #  include <shell/pages.h>|app/wizard/src/host.cpp: includes the shell"
  "page links the shell|app/card/CMakeLists.txt|target_link_libraries(kv_card PRIVATE kv_shell)|app/card/CMakeLists.txt: links kv_shell"
  "circle through the seam|app/wizard/src/host.cpp|#include \"card/window.h\"|app/wizard/src/host.cpp: app/wizard includes app/card, in an include circle"
  "platform includes the emulator|platform/devices/src/system.cpp|#include \"emulator/reader.h\"|platform/devices/src/system.cpp: platform includes"
  "platform includes the control|platform/devices/src/system.cpp|#include <control/face.h>|platform/devices/src/system.cpp: platform includes"
  "platform includes the program|platform/devices/src/system.cpp|#include \"core/globals.h\"|platform/devices/src/system.cpp: platform includes"
  "platform links the emulator|platform/devices/CMakeLists.txt|target_link_libraries(kv_devices PRIVATE kv_emulator)|platform/devices/CMakeLists.txt: links the emulator"
  "usb file over 600 lines|platform/usb/src/bus.cpp|601|platform/usb/src/bus.cpp: 601 lines, more than 600"
  "file over 800 lines|app/core/src/big.cpp|801|app/core/src/big.cpp: 801 lines, more than 800"
)

tree=$work/tree
whole_tree "$tree"
if ! out=$(bash "$check" "$tree"); then
  echo "FAIL a tree that keeps every rule: $out"
  failures=$((failures + 1))
fi
for c in "${cases[@]}"; do
  IFS='|' read -r name file line expected <<<"$c"
  whole_tree "$tree"
  echo "$line" >>"$tree/$file"
  out=$(bash "$check" "$tree")
  status=$?
  if [ "$status" -eq 0 ] || ! grep -qF "structure: $expected" <<<"$out"; then
    echo "FAIL $name: status $status, output:"
    echo "$out"
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "every break was caught"
exit "$failures"
