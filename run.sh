#!/usr/bin/env bash
# Builds Tikora and stages the installation tree in build/dist/.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)"
cmake --install build --prefix build/dist >/dev/null
echo "Staged the installation in build/dist/"
