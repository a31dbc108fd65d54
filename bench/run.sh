#!/bin/sh
# Times /DECODE of a large area and /ENCODE of a big text file in each
# message-base format, next to cat (read) / cp (write) of the same bytes.
#   bench/run.sh            50,000 messages, 20 MB to encode
#   bench/run.sh --small    2,000 messages, 2 MB (a quick check)
# Needs /usr/bin/time (Debian package "time") for peak memory.
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KAVEL_BENCH_BUILD:-$SRC/build-bench}
MESSAGES=50000
ENCODE_MB=20
if [ "${1:-}" = "--small" ]; then MESSAGES=2000; ENCODE_MB=2; fi

cmake -S "$SRC" -B "$BUILD" -G Ninja -DKAVEL_TESTS=OFF -DKAVEL_BENCH=ON \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target kavel kavel_make_area >/dev/null
KAVEL=$BUILD/kavel
[ -x /usr/bin/time ] || { echo "install the package 'time'" >&2; exit 1; }

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kavel-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
cd "$WORK"

# Wall seconds and peak KB of one command, into $SECS and $PEAK.
measure() {
  /usr/bin/time -v -o time.out "$@" >cmd.out 2>&1 || {
    echo "failed: $*" >&2; cat cmd.out >&2; exit 1; }
  SECS=$(awk -F': ' '/Elapsed/ {n=split($2,a,":"); s=0;
    for(i=1;i<=n;i++) s=s*60+a[i]; print s}' time.out)
  PEAK=$(awk -F': ' '/Maximum resident/ {print $2}' time.out)
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b < 0.005) b = 0.005;
  printf "%.1f", a / b }'; }

# A text file of ENCODE_MB megabytes, lines of 60-75 characters.
awk -v mb="$ENCODE_MB" 'BEGIN { srand(7); n = 0; limit = mb * 1048576;
  while (n < limit) { l = ""; w = 60 + int(rand() * 16);
    while (length(l) < w) l = l "fidonet echo ";
    print l; n += length(l) + 1 } }' >big.txt

printf '%-7s %-7s %9s %9s %7s %9s\n' format op kavel_s base_s ratio peak_kb
for fmt in Msg Squish Jam; do
  case $fmt in Msg) L=M ;; Squish) L=S ;; Jam) L=J ;; esac
  rm -rf bases txt areas Kavel.cfg out
  mkdir -p bases txt out
  tag=bench.$(echo $fmt | tr A-Z a-z)
  "$BUILD/kavel_make_area" "$L$WORK/bases/decode$fmt" "$MESSAGES" >/dev/null
  cat >areas <<AREAS
EchoArea BENCH.DECODE $WORK/bases/decode$fmt -b $fmt
EchoArea BENCH.ENCODE $WORK/bases/encode$fmt -b $fmt
AREAS
  cat >Kavel.cfg <<CFG
HPTPATH $WORK/areas
FROMADDR 2:5020/1
ORIGIN "Kavel bench node"
TEARLINE kavel
USEENCODEDSTRINGS Yes
BASETEXTPATH $WORK/txt
WHATDOWITHEXISTFILE New
CFG
  # Warm the page cache, then read the same bytes with cat.
  readall="find bases -path '*decode$fmt*' -type f -exec cat {} + >/dev/null"
  sh -c "$readall"
  measure sh -c "$readall"; base=$SECS
  measure "$KAVEL" /DECODE BENCH.DECODE
  printf '%-7s %-7s %9s %9s %7s %9s\n' $fmt decode "$SECS" "$base" \
    "$(ratio "$SECS" "$base")" "$PEAK"
  echo "        decoded files: $(find txt -type f ! -name files.bbs | wc -l)"
  measure cp big.txt out/copy.txt; base=$SECS
  measure "$KAVEL" /ENCODE big.txt BENCH.ENCODE
  printf '%-7s %-7s %9s %9s %7s %9s\n' $fmt encode "$SECS" "$base" \
    "$(ratio "$SECS" "$base")" "$PEAK"
done
echo "($MESSAGES messages decoded; $ENCODE_MB MB encoded; encode includes the" \
  "10 ms per message MSGID serial wait)"
