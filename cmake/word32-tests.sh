#!/bin/sh
# Runs the 32-bit build's tests: natively, or under the emulator the build was configured
# with (second argument, empty for none). Reports them skipped (77) only where neither can
# execute a 32-bit program, and says why.
dir="$1"
emulator="$2"
if [ ! -x "$dir/tests/test_kernel" ]; then
  echo "The 32-bit tests are not built: build everything first (make test)"
  exit 1
fi
if ! $emulator "$dir/tests/test_kernel" --gtest_list_tests >/dev/null 2>&1; then
  if [ -n "$emulator" ]; then
    echo "$emulator cannot execute the 32-bit tests here: they are built, not run"
  else
    echo "This machine cannot execute 32-bit programs, and qemu-i386 (package qemu-user)" \
         "was not found when the build was configured: the 32-bit tests are built, not run"
  fi
  exit 77
fi
[ -n "$emulator" ] && echo "The 32-bit tests run under $emulator"
cd "$dir" && exec ctest --output-on-failure -j 2
