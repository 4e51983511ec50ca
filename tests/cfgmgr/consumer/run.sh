#!/usr/bin/env bash
# Installs the libraries from a build tree into a scratch prefix, builds the
# consumer against them both ways and runs it. Usage: run.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

cmake --install "$build" --prefix "$scratch/prefix" >/dev/null
cmake -S "$here" -B "$scratch/build" -G Ninja \
  -DCMAKE_PREFIX_PATH="$scratch/prefix" >/dev/null
cmake --build "$scratch/build" >/dev/null
for program in consumer_cmake consumer_pkgconfig; do
  out=$("$scratch/build/$program")
  if [ "$out" != '{"answer":42}' ]; then
    echo "$program printed: $out"
    exit 1
  fi
done
echo "installed library links through CMake and pkg-config"
