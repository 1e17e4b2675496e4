#!/usr/bin/env bash
# Builds TavDJ and runs every test.
#   ./test.sh             release build with g++, all tests
#   ./test.sh --sanitize  clang build with ASan+UBSan, all tests and the fuzzers
#   ./test.sh --tsan      clang build with ThreadSanitizer, all tests
# Installs what it needs first (Debian 12 or 13, as root); quiet when all is
# there. clang is the release's default (unversioned) one, the version its
# sanitizer runtimes (libclang-rt-dev) are made for.
# Warnings are errors here (TAVDJ_WERROR), not in a plain cmake build.
set -euo pipefail
cd "$(dirname "$0")"

mode=release
for arg in "$@"; do
  case "$arg" in
    --sanitize) mode=sanitize ;;
    --tsan) mode=tsan ;;
    *) echo "usage: $0 [--sanitize | --tsan]" >&2; exit 2 ;;
  esac
done

.ci/install-deps

jobs=$(nproc)
ctest_args=()
case "$mode" in
  sanitize)
    build=build-sanitize
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVDJ_WERROR=ON \
      -DTAVDJ_SANITIZE=ON -DTAVDJ_FUZZ=ON -DTAVDJ_BENCH=OFF >/dev/null
    export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    ;;
  tsan)
    build=build-tsan
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DTAVDJ_WERROR=ON \
      -DTAVDJ_TSAN=ON -DTAVDJ_BENCH=OFF >/dev/null
    # Every test runs here, the peers too, but for the executables labelled
    # tsan-unclean in tests/CMakeLists.txt (each with its reason);
    # tests/tsan.supp names the races inside libraries built without the
    # sanitizer, each with why.
    export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/tsan.supp"
    ctest_args=(-LE tsan-unclean)
    ;;
  *)
    build=build
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVDJ_WERROR=ON >/dev/null
    ;;
esac
cmake --build "$build" -j "$jobs"
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 900 "${ctest_args[@]}"
