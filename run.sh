#!/usr/bin/env bash
# Builds TavDJ and starts it.
set -euo pipefail
cd "$(dirname "$0")"
.ci/install-deps
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [ -x build/app/tavdj ]; then
  exec build/app/tavdj "$@"
fi
echo "TavDJ has no main window yet: the engine and tests are built, there is no program to start."
