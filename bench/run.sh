#!/bin/bash
# Times, in each message-base format (*.MSG, Squish, JAM):
#   decode  /DECODE of a large area (and of one a tenth its size, for growth)
#   encode  /ENCODE of a big text file into an empty area
#   all     /ALL over many areas of a few hundred messages
# each next to the time cat takes to read (cp, or for *.MSG a plain loop
# writing the same number of files of the same sizes, to write) the same
# bytes in the same run, with the ratio, the time allowed, the peak memory
# and a verdict per target. Baselines, decoding and /ALL are timed as the
# fastest of three runs (this machine's timings vary by tens of per cent
# from run to run); encoding once.
#   bench/run.sh            50,000 messages; 20 MB to encode; 200 areas x 500
#   bench/run.sh --small    2,000 messages; 2 MB; 20 areas x 100 (a quick check)
# Environment:
#   KAVEL_BENCH_BUILD  build directory (default build-bench/ in the checkout)
#   KAVEL_BENCH_KAVEL  the program to measure (default: the one built here;
#                      to compare with another build of it)
#   KAVEL_BENCH_KEEP   directory that keeps the generated areas between runs;
#                      they are rebuilt only when the generator's source or
#                      the sizes change (default: a temporary directory)
# Needs /usr/bin/time (Debian package "time") for peak memory.
# Exit status 0 when every target is met, 1 otherwise.
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KAVEL_BENCH_BUILD:-$SRC/build-bench}
MESSAGES=50000 FILES=2000 ENCODE_MB=20 ALL_AREAS=200 ALL_MESSAGES=500
if [ "${1:-}" = "--small" ]; then
  MESSAGES=2000 FILES=80 ENCODE_MB=2 ALL_AREAS=20 ALL_MESSAGES=100
fi
# A *.MSG area numbers its messages up to 32767: it gets 32,000 at most.
MSG_MESSAGES=$((MESSAGES < 32000 ? MESSAGES : 32000))
MSG_FILES=$((FILES * MSG_MESSAGES / MESSAGES))
ALL_FILES=$((ALL_MESSAGES / 25))
# Posting no longer waits for the clock between messages: no allowance.
TIME_FACTOR=3 SERIAL_WAIT=0 GROWTH_LIMIT=11 PEAK_LIMIT_KB=65536

[ -x /usr/bin/time ] || { echo "install the package 'time'" >&2; exit 1; }
cmake -S "$SRC" -B "$BUILD" -G Ninja -DKAVEL_TESTS=OFF -DKAVEL_BENCH=ON \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD" --target kavel kavel_make_area kavel_write_files \
  >/dev/null
# The micro-benchmarks, when Google Benchmark is installed.
MICRO=""
if cmake --build "$BUILD" --target kavel_micro_bench >/dev/null 2>&1; then
  MICRO=$BUILD/kavel_micro_bench
fi
KAVEL=${KAVEL_BENCH_KAVEL:-$BUILD/kavel}

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kavel-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# Output of earlier runs is moved here and deleted only at the end: ext4
# makes every file created within about half a minute of deleting many
# others pay for stepping over their inodes, which would time the harness's
# own clean-up rather than the program.
TRASH=$WORK/trash
mkdir -p "$TRASH"
discard() { for p in "$@"; do [ -e "$p" ] && mv "$p" "$(mktemp -u "$TRASH/x.XXXXXX")"; done; true; }
KEEP=${KAVEL_BENCH_KEEP:-$WORK/bases}
mkdir -p "$KEEP"
KEEP=$(cd "$KEEP" && pwd)
cd "$WORK"

# Wall seconds (to the millisecond) and peak KB of one command, into $SECS
# and $PEAK.
measure() {
  local t0 t1
  t0=$(date +%s%N)
  /usr/bin/time -v -o time.out "$@" >cmd.out 2>&1 || {
    echo "failed: $*" >&2; cat cmd.out >&2; exit 1; }
  t1=$(date +%s%N)
  SECS=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  PEAK=$(awk -F': ' '/Maximum resident/ {print $2}' time.out)
}
# The fastest of three runs of a baseline command (a shell function),
# into $SECS.
measure_base() {
  local best=""
  for _ in 1 2 3; do
    measure bash -c '"$@"' base "$@"
    best=$(awk -v a="$SECS" -v b="$best" 'BEGIN {
      print (b == "" || a + 0 < b + 0) ? a : b }')
  done
  SECS=$best
}
calc() { awk "BEGIN { printf \"%.${2:-3}f\", $1 }"; }
FAILED=0
verdict() {  # condition as an awk expression
  if awk "BEGIN { exit !($1) }"; then echo pass; else echo FAIL; fi
}
row() {  # format op kavel_s base_s allowed_s peak_kb verdict
  [ "$7" = pass ] || FAILED=1
  printf '%-7s %-13s %9s %9s %6s %9s %9s %5s\n' "$1" "$2" "$3" "$4" \
    "$(calc "$3 / ($4 < 0.001 ? 0.001 : $4)" 1)" "$5" "$6" "$7"
}

# Generated areas: rebuilt when the generator or the sizes change.
STAMP="$(md5sum <"$SRC/bench/make_area.cc" | cut -c1-32)"
STAMP="$STAMP $MESSAGES $FILES $ALL_AREAS $ALL_MESSAGES"
sizes_of() {  # format: sets LARGE, LARGE_FILES, GROWTH, GROWTH_FILES
  LARGE=$MESSAGES LARGE_FILES=$FILES
  [ "$1" = Msg ] && LARGE=$MSG_MESSAGES LARGE_FILES=$MSG_FILES
  GROWTH=$((LARGE / 10)) GROWTH_FILES=$((LARGE_FILES / 10))
}
generate() {  # format letter
  local fmt=$1 L=$2 dir=$KEEP/$1
  sizes_of "$fmt"
  if [ -f "$dir/stamp" ] && [ "$(cat "$dir/stamp")" = "$STAMP" ]; then
    return
  fi
  echo "generating the $fmt areas in $dir ..." >&2
  rm -rf "$dir"
  mkdir -p "$dir/large" "$dir/growth" "$dir/all"
  "$BUILD/kavel_make_area" "$L$dir/large/area" "$LARGE" "$LARGE_FILES" \
    >/dev/null
  "$BUILD/kavel_make_area" "$L$dir/growth/area" "$GROWTH" "$GROWTH_FILES" \
    >/dev/null
  for i in $(seq 1 "$ALL_AREAS"); do
    "$BUILD/kavel_make_area" "$L$dir/all/a$i" "$ALL_MESSAGES" "$ALL_FILES" \
      >/dev/null
  done
  echo "$STAMP" >"$dir/stamp"
}

config() {  # directory, areas file lines on stdin
  mkdir -p "$1/txt"
  cat >"$1/areas"
  cat >"$1/Kavel.cfg" <<CFG
HPTPATH $1/areas
FROMADDR 2:5020/1
ORIGIN "Kavel bench node"
TEARLINE kavel
USEENCODEDSTRINGS Yes
BASETEXTPATH $1/txt
WHATDOWITHEXISTFILE New
CFG
}
# Reads every file under the given paths (a directory, or a base's file
# name without its extension).
readall() {
  for p in "$@"; do
    if [ -d "$p" ]; then find "$p" -type f ! -name stamp; else ls "$p".*; fi
  done | xargs cat >/dev/null
}
copy() { discard copy.txt; cp big.txt copy.txt; }
write_loop() { discard loop; mkdir loop; "$BUILD/kavel_write_files" loop <sizes; }
# Writes the files the last decoding wrote (a plain copy of them): what
# creating and writing the output costs alone.
write_decoded() { discard decoded.copy; cp -r "$DECODED" decoded.copy; }
export BUILD TRASH
export -f readall copy write_loop write_decoded discard
# Runs kavel in a run directory (where its Kavel.cfg is) and measures it.
kavel_in() {  # directory, arguments
  local dir=$1
  shift
  discard "$dir/txt" "$dir/Kavel.log"
  mkdir -p "$dir/txt"
  cd "$dir"
  measure "$KAVEL" "$@"
  cd "$WORK"
}
# The fastest of three kavel_in runs (as for the baselines), with the
# highest peak memory of the three.
kavel_best() {
  local best="" peak=0
  for _ in 1 2 3; do
    kavel_in "$@"
    best=$(awk -v a="$SECS" -v b="$best" 'BEGIN {
      print (b == "" || a + 0 < b + 0) ? a : b }')
    [ "$PEAK" -gt "$peak" ] && peak=$PEAK
  done
  SECS=$best PEAK=$peak
}
decoded() { find "$1/txt" -type f ! -name files.bbs | wc -l; }
# Prints cat (seconds given) plus copying the files a run directory's last
# decoding wrote: reading the input and writing the output, no decoding.
floor_line() {  # run directory, cat seconds
  DECODED=$1/txt
  export DECODED
  measure_base write_decoded
  echo "        cat + writing the $(decoded "$1") decoded files alone (cp -r):" \
    "$(calc "$2 + $SECS") s = $(calc "($2 + $SECS) / $2" 1)x cat"
}

# A text file of ENCODE_MB megabytes, lines of 60-75 characters.
awk -v mb="$ENCODE_MB" 'BEGIN { srand(7); n = 0; limit = mb * 1048576;
  while (n < limit) { l = ""; w = 60 + int(rand() * 16);
    while (length(l) < w) l = l "fidonet echo ";
    print l; n += length(l) + 1 } }' >big.txt

for fmt in Msg Squish Jam; do
  case $fmt in Msg) generate Msg M ;; Squish) generate Squish S ;;
    Jam) generate Jam J ;; esac
done

printf '%-7s %-13s %9s %9s %6s %9s %9s %5s\n' format op kavel_s base_s \
  ratio allowed_s peak_kb ok
GROWTH_LINES=""
for fmt in Msg Squish Jam; do
  base=$KEEP/$fmt
  sizes_of $fmt
  large=$base/large/area growth=$base/growth/area
  run=$WORK/$fmt
  mkdir -p "$run"
  config "$run" <<AREAS
EchoArea BENCH.LARGE $large -b $fmt
EchoArea BENCH.GROWTH $growth -b $fmt
EchoArea BENCH.ENCODE $run/encode -b $fmt
AREAS

  # /DECODE of the large area, against cat over its files (cache warmed).
  readall "$large"
  measure_base readall "$large"; cat_s=$SECS
  kavel_best "$run" /DECODE BENCH.LARGE; large_s=$SECS large_peak=$PEAK
  n_large=$(decoded "$run")
  allowed=$(calc "$TIME_FACTOR * $cat_s")
  row $fmt "decode $LARGE" "$large_s" "$cat_s" "$allowed" \
    "$large_peak" "$(verdict "$large_s <= $allowed && $large_peak < \
$PEAK_LIMIT_KB")"
  floor_line "$run" "$cat_s"

  # The same for an area a tenth the size: the growth figure.
  readall "$growth"
  measure_base readall "$growth"; cat_s=$SECS
  kavel_best "$run" /DECODE BENCH.GROWTH; growth_s=$SECS
  allowed=$(calc "$TIME_FACTOR * $cat_s")
  row $fmt "decode $GROWTH" "$growth_s" "$cat_s" \
    "$allowed" "$PEAK" "$(verdict "$growth_s <= $allowed && $PEAK < \
$PEAK_LIMIT_KB")"
  v=$(verdict "$large_s <= $GROWTH_LIMIT * $growth_s")
  [ "$v" = pass ] || FAILED=1
  GROWTH_LINES="$GROWTH_LINES$(printf '%-7s decode %d vs %d messages: %s s / %s s = %sx (at most %d) %s' \
    $fmt $LARGE $GROWTH "$large_s" "$growth_s" \
    "$(calc "$large_s / ($growth_s < 0.001 ? 0.001 : $growth_s)" 1)" \
    $GROWTH_LIMIT "$v")
"

  # /ENCODE into an empty area, against cp of the file (for *.MSG: writing
  # as many files of the same sizes), plus the serial wait per message.
  discard "$run"/encode*
  kavel_in "$run" /ENCODE "$WORK/big.txt" BENCH.ENCODE
  enc_s=$SECS enc_peak=$PEAK
  case $fmt in
    Msg) sent=$(find "$run/encode" -name '*.msg' | wc -l)
         find "$run/encode" -name '*.msg' -printf '%s\n' >sizes
         mkdir -p loop
         measure_base write_loop; base_s=$SECS what="loop" ;;
    Squish) sent=$(($(stat -c %s "$run/encode.sqi") / 12)) ;;
    Jam) sent=$(($(stat -c %s "$run/encode.jdx") / 8)) ;;
  esac
  if [ $fmt != Msg ]; then
    measure_base copy; base_s=$SECS what="cp"
  fi
  allowed=$(calc "$TIME_FACTOR * $base_s + $SERIAL_WAIT * $sent")
  row $fmt "encode ${ENCODE_MB}M" "$enc_s" "$base_s" "$allowed" "$enc_peak" \
    "$(verdict "$enc_s <= $allowed")"
  echo "        $sent messages; base: $what; serial wait allowed:" \
    "$(calc "$SERIAL_WAIT * $sent" 2) s"

  # /ALL over the small areas, against cat over all their files.
  allrun=$WORK/all$fmt
  mkdir -p "$allrun"
  for i in $(seq 1 "$ALL_AREAS"); do
    echo "EchoArea BENCH.A$i $base/all/a$i -b $fmt"
  done | config "$allrun"
  readall "$base/all"
  measure_base readall "$base/all"; cat_s=$SECS
  kavel_best "$allrun" /ALL
  allowed=$(calc "$TIME_FACTOR * $cat_s")
  row $fmt "all ${ALL_AREAS}x$ALL_MESSAGES" "$SECS" "$cat_s" "$allowed" \
    "$PEAK" "$(verdict "$SECS <= $allowed")"
  floor_line "$allrun" "$cat_s"
  echo "        decoded files: $n_large (large area), $(decoded "$allrun") (/ALL)"
done
printf '%s' "$GROWTH_LINES"
echo "(allowed: $TIME_FACTOR x base, plus $SERIAL_WAIT s per message posted" \
  "for encode; peak memory under $PEAK_LIMIT_KB KB for decode)"
if [ -n "$MICRO" ]; then
  echo
  "$MICRO" --benchmark_min_time=0.2 2>&1 | grep -v '^\*\*\*'
fi
exit $FAILED
