#!/usr/bin/env bash
# Runs every benchmark with its figures: the Google Benchmark programs
# (processor parsing, repaint, remote manifest path against plain inflation)
# and the download comparison against curl on a private nginx.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"${QV_JOBS:-2}"
for bench in build/bench/bin/bench_*; do
  echo "== $bench"
  "$bench"
done
echo "== download against curl"
bash bench/http/download_vs_curl.sh build
