#!/bin/bash
# Times posting a binary file uuencoded (/ENCODE with ENCODEBINARY UUE) and
# decoding it back (/DECODE with DECODEUUE Yes) in each message-base format,
# next to uuencode and uudecode of the same file, with the peak memory.
#   bench/uue.sh [MB]      default 20 MB of random bytes
# Environment: KAVEL_BENCH_KAVEL, the program (default build/kavel).
# Needs /usr/bin/time and sharutils. Posting is timed with the fake clock
# of the end-to-end tests: with the real one it mostly waits for the clock
# (a new MSGID serial for every message, about 10 ms each).
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
KAVEL=${KAVEL_BENCH_KAVEL:-$SRC/build/kavel}
MB=${1:-20}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kavel-uue-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"
head -c $((MB << 20)) /dev/urandom >data.bin
printf '\0' >>data.bin
chmod 644 data.bin

# Runs a command; prints "<label> <seconds> s, <peak> KB".
measure() {
  local label=$1
  shift
  /usr/bin/time -f "%e %M" -o t.out "$@" >/dev/null 2>&1
  read -r secs kb <t.out
  printf '%-22s %8s s %9s KB peak\n' "$label" "$secs" "$kb"
}

measure "uuencode" sh -c 'uuencode data.bin data.bin >data.uue'
measure "uudecode" sh -c 'uudecode -o copy.bin data.uue'
cmp -s copy.bin data.bin || echo "uudecode: copy differs"
for format in Msg Squish Jam; do
  rm -rf base txt Kavel.log
  mkdir base
  echo "EchoArea BIN $WORK/base/bin -b $format -a 2:5020/1" >areas
  printf 'HPTPATH areas\r\nUSEENCODEDSTRINGS yes\r\nENCODEBINARY UUE\r\nDECODEUUE yes\r\nBASETEXTPATH txt\r\n' >Kavel.cfg
  measure "kavel post ($format)" env KAVEL_FAKE_CLOCK="2001-03-07 21:05:09" \
    "$KAVEL" /ENCODE data.bin BIN
  measure "kavel decode ($format)" "$KAVEL" /DECODE BIN
  cmp -s txt/bin/data.bin data.bin || echo "$format: decoded file differs"
done
