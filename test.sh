#!/usr/bin/env bash
# Builds TavDJ and runs every test.
#   ./test.sh             release build with g++, all tests
#   ./test.sh --sanitize  clang build with ASan+UBSan, all tests and the fuzzers
# Installs what it needs first (Debian 12, as root); quiet when all is there.
set -euo pipefail
cd "$(dirname "$0")"

mode=release
for arg in "$@"; do
  case "$arg" in
    --sanitize) mode=sanitize ;;
    *) echo "usage: $0 [--sanitize]" >&2; exit 2 ;;
  esac
done

.ci/install-deps

jobs=$(nproc)
if [ "$mode" = sanitize ]; then
  build=build-sanitize
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
    -DTAVDJ_SANITIZE=ON -DTAVDJ_FUZZ=ON -DTAVDJ_BENCH=OFF >/dev/null
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
else
  build=build
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" -j "$jobs"
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 900
