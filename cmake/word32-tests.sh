#!/bin/sh
# Runs the 32-bit build's tests, or reports them skipped (77) where the machine cannot
# execute a 32-bit program.
dir="$1"
if ! "$dir/tests/test_kernel" --gtest_list_tests >/dev/null 2>&1; then
  echo "This machine cannot execute 32-bit programs: the 32-bit tests are built, not run"
  exit 77
fi
cd "$dir" && ctest --output-on-failure -j 2
