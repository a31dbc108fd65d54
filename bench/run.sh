#!/bin/bash
# Times, in each message-base format (*.MSG, Squish, JAM):
#   decode  /DECODE of an area at two sizes (posted files: one per 13
#           messages), against its floor: cat of the area's files plus
#           cp -r of the files the decoding wrote
#   all     /ALL over many areas of 100 messages (7 posted files each),
#           against the same floor summed over the areas
#   encode  /ENCODE of a big text file into an empty area, against
#           appending as many messages of the same sizes to one file, one
#           open-write-close each
# with the ratio, the time allowed, the peak memory and a verdict per
# target: decode and /ALL within 1.5 x floor, decode under 8 MB of memory,
# encode within 3 x base. Every case and every floor is timed as the
# fastest of three runs (this machine's timings vary by tens of per cent
# from run to run); a decoding's runs and its floor's follow an untimed
# pair of them and take turns, and a line under each decoding's row gives
# every timed run's seconds.
#   bench/run.sh            decode 20,000 and 200,000 messages (*.MSG:
#                           20,000 and 32,000); /ALL 1,000 x 100; 20 MB
#   bench/run.sh --small    decode 2,000 and 20,000; /ALL 50 x 100; 2 MB
# Environment:
#   KAVEL_BENCH_BUILD  build directory (default build-bench/ in the checkout)
#   KAVEL_BENCH_KAVEL  the program to measure (default: the one built here;
#                      to compare with another build of it)
#   KAVEL_BENCH_KEEP   directory that keeps the generated areas between runs;
#                      each is rebuilt only when the generator's source or
#                      its size changes (default: a temporary directory)
#   KAVEL_BENCH_SAVEWHILESCANNING  the value of that setting in the runs'
#                      Kavel.cfg (default Yes; No times the scan-then-save
#                      decoding)
# Needs /usr/bin/time (Debian package "time") for peak memory.
# Exit status 0 when every target is met, 1 otherwise.
set -eu
SRC=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${KAVEL_BENCH_BUILD:-$SRC/build-bench}
DECODE_SIZES="20000 200000" ENCODE_MB=20 ALL_AREAS=1000 ALL_MESSAGES=100
if [ "${1:-}" = "--small" ]; then
  DECODE_SIZES="2000 20000" ENCODE_MB=2 ALL_AREAS=50
fi
# A *.MSG area numbers its messages up to 32767: it gets 32,000 at most.
MSG_MAX=32000
# One posted file per this many messages.
PER_FILE=13
DECODE_FACTOR=1.5 ENCODE_FACTOR=3 PEAK_LIMIT_KB=8192

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
# and $PEAK. What earlier runs wrote goes to the disk first: written back
# during the command, it would be timed with it (floors moved by 2x).
measure() {
  local t0 t1
  sync
  t0=$(date +%s%N)
  /usr/bin/time -v -o time.out "$@" >cmd.out 2>&1 || {
    echo "failed: $*" >&2; cat cmd.out >&2; exit 1; }
  t1=$(date +%s%N)
  SECS=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
  PEAK=$(awk -F': ' '/Maximum resident/ {print $2}' time.out)
}
# The fastest of three runs of a baseline command (a shell function),
# after an untimed one, into $SECS.
measure_base() {
  local best=""
  measure bash -c '"$@"' base "$@"
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
row() {  # format op kavel_s floor_s allowed_s peak_kb verdict
  [ "$7" = pass ] || FAILED=1
  printf '%-7s %-13s %9s %9s %6s %9s %9s %5s\n' "$1" "$2" "$3" "$4" \
    "$(calc "$3 / ($4 < 0.001 ? 0.001 : $4)" 2)" "$5" "$6" "$7"
}

# Generated areas, each set in its own directory with its stamp: rebuilt
# when the generator or the set's sizes change, so that both sizes of runs
# share what they have in common.
GENERATOR=$(md5sum <"$SRC/bench/make_area.cc" | cut -c1-32)
generate() {  # directory, format letter, areas, messages each
  local dir=$1 L=$2 areas=$3 messages=$4 stamp i
  stamp="$GENERATOR $areas $messages $((messages / PER_FILE))"
  if [ -f "$dir/stamp" ] && [ "$(cat "$dir/stamp")" = "$stamp" ]; then
    return
  fi
  echo "generating $dir ..." >&2
  rm -rf "$dir"
  mkdir -p "$dir"
  for i in $(seq 1 "$areas"); do
    "$BUILD/kavel_make_area" "$L$dir/a$i" "$messages" \
      $((messages / PER_FILE)) >/dev/null
  done
  echo "$stamp" >"$dir/stamp"
}
decode_sizes() {  # format
  for n in $DECODE_SIZES; do
    if [ "$1" = Msg ] && [ "$n" -gt $MSG_MAX ]; then echo $MSG_MAX
    else echo "$n"; fi
  done
}
ALL_SET=all-${ALL_AREAS}x$ALL_MESSAGES

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
SAVEWHILESCANNING ${KAVEL_BENCH_SAVEWHILESCANNING:-Yes}
CFG
}
# Reads every file of the areas under a directory.
readall() { find "$1" -type f ! -name stamp -print0 | xargs -0r cat >/dev/null; }
# Writes the files the last decoding wrote (a plain copy of them): what
# creating and writing the output costs alone.
write_decoded() { discard decoded.copy; cp -r "$DECODED" decoded.copy; }
# Appends a message of each size in the file sizes to one file, one
# open-write-close each.
append_loop() { discard appended; "$BUILD/kavel_write_files" --append appended <sizes; }
export BUILD TRASH
export -f readall write_decoded append_loop discard
# Runs kavel in a run directory (where its Kavel.cfg is) and measures it;
# the text base, the log and the area posted into start empty.
kavel_in() {  # directory, arguments
  local dir=$1
  shift
  discard "$dir/txt" "$dir/Kavel.log" "$dir"/encode*
  mkdir -p "$dir/txt"
  cd "$dir"
  measure "$KAVEL" "$@"
  cd "$WORK"
}
# The fastest of three kavel_in runs after an untimed one (as for the
# baselines), with the highest peak memory of the three.
kavel_best() {
  local best="" peak=0
  kavel_in "$@"
  for _ in 1 2 3; do
    kavel_in "$@"
    best=$(awk -v a="$SECS" -v b="$best" 'BEGIN {
      print (b == "" || a + 0 < b + 0) ? a : b }')
    [ "$PEAK" -gt "$peak" ] && peak=$PEAK
  done
  SECS=$best PEAK=$peak
}
decoded() { find "$1/txt" -type f ! -name files.bbs | wc -l; }
# A decoding and its floor: an untimed decoding and copy first, then three
# timed runs of each in the order kavel, copy, copy, kavel, kavel, copy;
# the fastest run of each, kavel's into $SECS (with the highest peak memory
# in $PEAK), the floor's plus the cat seconds given into $FLOOR. ext4
# without a journal steps over every inode freed in the last minutes when
# it makes a file, so after many deletions (an earlier benchmark's
# clean-up) the first runs to make files pay for it, up to five times as
# much. The untimed pair meets that first, and the order lets neither side
# always run right after the other.
# Every timed run's seconds go to $RUNS ("kavel a b c, copy a b c").
kavel_and_floor() {  # cat seconds, run directory, arguments
  local cat_s=$1 best="" peak=0 copy="" kavel_runs="" copy_runs="" step
  shift
  DECODED=$1/txt
  export DECODED
  kavel_in "$@"
  measure bash -c '"$@"' base write_decoded
  for step in k c c k k c; do
    if [ $step = k ]; then
      kavel_in "$@"
      kavel_runs="$kavel_runs $SECS"
      best=$(awk -v a="$SECS" -v b="$best" 'BEGIN {
        print (b == "" || a + 0 < b + 0) ? a : b }')
      [ "$PEAK" -gt "$peak" ] && peak=$PEAK
    else
      measure bash -c '"$@"' base write_decoded
      copy_runs="$copy_runs $SECS"
      copy=$(awk -v a="$SECS" -v b="$copy" 'BEGIN {
        print (b == "" || a + 0 < b + 0) ? a : b }')
    fi
  done
  SECS=$best PEAK=$peak FLOOR=$(calc "$cat_s + $copy")
  RUNS="kavel$kavel_runs, copy$copy_runs"
}

# A text file of ENCODE_MB megabytes, lines of 60-75 characters.
awk -v mb="$ENCODE_MB" 'BEGIN { srand(7); n = 0; limit = mb * 1048576;
  while (n < limit) { l = ""; w = 60 + int(rand() * 16);
    while (length(l) < w) l = l "fidonet echo ";
    print l; n += length(l) + 1 } }' >big.txt

for fmt in Msg Squish Jam; do
  for n in $(decode_sizes $fmt); do
    generate "$KEEP/$fmt/decode-$n" "${fmt:0:1}" 1 "$n"
  done
  generate "$KEEP/$fmt/$ALL_SET" "${fmt:0:1}" "$ALL_AREAS" "$ALL_MESSAGES"
done

printf '%-7s %-13s %9s %9s %6s %9s %9s %5s\n' format op kavel_s floor_s \
  ratio allowed_s peak_kb ok
for fmt in Msg Squish Jam; do
  run=$WORK/$fmt
  mkdir -p "$run"
  {
    for n in $(decode_sizes $fmt); do
      echo "EchoArea BENCH.D$n $KEEP/$fmt/decode-$n/a1 -b $fmt"
    done
    echo "EchoArea BENCH.ENCODE $run/encode -b $fmt"
  } | config "$run"
  notes="decoded files:"

  # /DECODE of each size, against cat over its files (cache warmed) plus
  # cp -r of what it decoded.
  for n in $(decode_sizes $fmt); do
    area=$KEEP/$fmt/decode-$n
    readall "$area"
    measure_base readall "$area"; cat_s=$SECS
    kavel_and_floor "$cat_s" "$run" /DECODE "BENCH.D$n"
    dec_s=$SECS dec_peak=$PEAK
    allowed=$(calc "$DECODE_FACTOR * $FLOOR")
    row $fmt "decode $n" "$dec_s" "$FLOOR" "$allowed" "$dec_peak" \
      "$(verdict "$dec_s <= $allowed && $dec_peak < $PEAK_LIMIT_KB")"
    echo "        runs: $RUNS (cat $cat_s)"
    notes="$notes $(decoded "$run") (decode $n),"
  done

  # /ALL over the small areas, against the same floor over all of them.
  allrun=$WORK/all$fmt
  mkdir -p "$allrun"
  for i in $(seq 1 "$ALL_AREAS"); do
    echo "EchoArea BENCH.A$i $KEEP/$fmt/$ALL_SET/a$i -b $fmt"
  done | config "$allrun"
  readall "$KEEP/$fmt/$ALL_SET"
  measure_base readall "$KEEP/$fmt/$ALL_SET"; cat_s=$SECS
  kavel_and_floor "$cat_s" "$allrun" /ALL; all_s=$SECS all_peak=$PEAK
  allowed=$(calc "$DECODE_FACTOR * $FLOOR")
  row $fmt "all ${ALL_AREAS}x$ALL_MESSAGES" "$all_s" "$FLOOR" "$allowed" \
    "$all_peak" "$(verdict "$all_s <= $allowed")"
  echo "        runs: $RUNS (cat $cat_s)"
  notes="$notes $(decoded "$allrun") (/ALL)"

  # /ENCODE into an empty area, against appending as many messages of the
  # same sizes to one file (for Squish and JAM: the area's bytes cut into
  # that many equal pieces).
  kavel_best "$run" /ENCODE "$WORK/big.txt" BENCH.ENCODE
  enc_s=$SECS enc_peak=$PEAK
  case $fmt in
    Msg) sent=$(find "$run/encode" -name '*.msg' | wc -l)
         find "$run/encode" -name '*.msg' -printf '%s\n' >sizes ;;
    *) if [ $fmt = Squish ]; then
         sent=$(($(stat -c %s "$run/encode.sqi") / 12))
       else
         sent=$(($(stat -c %s "$run/encode.jdx") / 8))
       fi
       awk -v t="$(cat "$run"/encode.* | wc -c)" -v n="$sent" 'BEGIN {
         for (i = 1; i <= n; i++) print int(t * i / n) - int(t * (i - 1) / n) }' \
         >sizes ;;
  esac
  measure_base append_loop
  allowed=$(calc "$ENCODE_FACTOR * $SECS")
  row $fmt "encode ${ENCODE_MB}M" "$enc_s" "$SECS" "$allowed" "$enc_peak" \
    "$(verdict "$enc_s <= $allowed")"
  echo "        $notes; $sent messages posted"
done
echo "(floor: cat of the areas' files + cp -r of the files decoded; decode" \
  "and all within $DECODE_FACTOR x floor, decode under $PEAK_LIMIT_KB KB;" \
  "encode within $ENCODE_FACTOR x appending its messages to one file)"
if [ -n "$MICRO" ]; then
  echo
  "$MICRO" --benchmark_min_time=0.2 2>&1 | grep -v '^\*\*\*'
fi
exit $FAILED
