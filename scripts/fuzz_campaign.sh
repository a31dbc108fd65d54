#!/bin/bash
# Longer fuzzing: runs every libFuzzer target (or those named after the
# time) for SECONDS each, one after another, one job each, at nice 10.
# Corpora grow in build-fuzz/campaign/<target>/ (seeded from
# fuzz/corpus/<target>/ and kept between campaigns); findings go to
# build-fuzz/artifacts/. Prints the number of runs each target reached and
# exits non-zero when any target found something.
#   scripts/fuzz_campaign.sh 600                 # 10 minutes per target
#   scripts/fuzz_campaign.sh 600 squish_base_fuzz
set -euo pipefail
# A busy machine slows a nice-10 run down by a large factor; the limit for
# a hang counts wall-clock time.
export KAVEL_FUZZ_TIMEOUT=${KAVEL_FUZZ_TIMEOUT:-60}
source "$(dirname "$0")/fuzz_common.sh"
seconds=${1:?usage: fuzz_campaign.sh SECONDS [TARGET...]}
shift
targets=("$@")
[ ${#targets[@]} -eq 0 ] && mapfile -t targets < <(fuzz_targets)

[ "${KAVEL_FUZZ_NO_BUILD:-}" = 1 ] || build_fuzz_targets
mkdir -p "$fuzz_build/artifacts" "$fuzz_build/campaign"
summary="$fuzz_build/campaign/summary.txt"
status=0
for name in "${targets[@]}"; do
  name=${name%_fuzz}_fuzz
  short=${name%_fuzz}
  corpus="$fuzz_build/campaign/$short"
  log="$fuzz_build/campaign/$short.log"
  mkdir -p "$corpus"
  mapfile -t opts < <(fuzz_options "$name")
  echo "== $name: $seconds s"
  # One process, one job (libFuzzer's -jobs would write its worker log into
  # the current directory).
  if nice -n 10 "$fuzz_build/fuzz/$name" "${opts[@]}" \
      -max_total_time="$seconds" \
      -artifact_prefix="$fuzz_build/artifacts/$short-" \
      "$corpus" "$root/fuzz/corpus/$short" >"$log" 2>&1; then
    result=clean
  else
    result=FINDING
    status=1
  fi
  runs=$(grep -oE 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | tail -1)
  line="$(date -u +%FT%TZ) $name ${seconds}s runs=${runs:-?} $result"
  echo "$line" | tee -a "$summary"
done
exit $status
