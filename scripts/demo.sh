#!/bin/bash
# Builds kavel and shows it at work on a sample setup: a scratch directory
# with Kavel.cfg and a fidoconfig areas file (docs/samples), a *.MSG area and
# a text file to post. Posts the file into the area, decodes the area back
# into the text base and shows the console output, the log and the files.
# The scratch directory is kept for inspection (KAVEL_DEMO_DIR chooses it).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

tests=ON
[ -f /usr/include/gtest/gtest.h ] || tests=OFF
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVEL_TESTS=$tests \
  >/dev/null
cmake --build build --target kavel -j"${KAVEL_JOBS:-2}" >/dev/null
kavel="$root/build/kavel"

demo=${KAVEL_DEMO_DIR:-$(mktemp -d /tmp/kavel-demo-XXXXXX)}
mkdir -p "$demo"
cd "$demo"
cp "$root/docs/samples/Kavel.cfg" Kavel.cfg
cp "$root/docs/samples/areas" areas
mkdir -p demomsg

# A text file of about 40 kilobytes: three sections when posted.
{
  echo "Kavel demo file"
  echo "==============="
  for i in $(seq 1 600); do
    printf 'Line %04d of the demo file: the quick brown fox jumps over it.\r\n' "$i"
  done
} >news.txt

run() {
  echo
  echo "\$ kavel $*"
  "$kavel" "$@"
}

echo "Demo directory: $demo"
run
run /ENCODE news.txt DEMO.MSG
run /DECODE DEMO.MSG

echo
echo "--- Kavel.log"
cat Kavel.log | tr -d '\r'
echo "--- files"
find . -type f | sort
