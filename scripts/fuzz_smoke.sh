#!/bin/bash
# Fuzz smoke run: builds the libFuzzer targets (clang, ASan + UBSan) and runs
# each one over its checked-in seed corpus (the regression inputs included)
# and then for a bounded number of new inputs. Any crash, leak, hang (30 s)
# or sanitizer report fails the run; the input that caused it is kept under
# build-fuzz/artifacts/. Per target: KAVEL_FUZZ_SMOKE_RUNS inputs (default
# 20000) or KAVEL_FUZZ_SMOKE_SECONDS seconds (default 20), whichever ends
# first.
set -euo pipefail
source "$(dirname "$0")/fuzz_common.sh"
runs=${KAVEL_FUZZ_SMOKE_RUNS:-20000}
seconds=${KAVEL_FUZZ_SMOKE_SECONDS:-20}
# A fixed seed keeps the smoke run repeatable (the same inputs on every CI
# run); campaigns draw a fresh seed each time.
seed=${KAVEL_FUZZ_SEED:-1}

echo "== Fuzz build ($fuzz_build)"
build_fuzz_targets
mkdir -p "$fuzz_build/artifacts"
failed=()
for name in $(fuzz_targets); do
  short=${name%_fuzz}
  work=$(mktemp -d)
  mapfile -t opts < <(fuzz_options "$name")
  echo "== Fuzz smoke: $name"
  if "$fuzz_build/fuzz/$name" "${opts[@]}" -runs="$runs" \
      -max_total_time="$seconds" -seed="$seed" \
      -artifact_prefix="$fuzz_build/artifacts/$short-" \
      "$work" "$root/fuzz/corpus/$short" >"$work.log" 2>&1; then
    grep -E '^(#[0-9]+.*DONE|Done [0-9]+ runs)' "$work.log" | tail -1 || true
  else
    echo "FAILED: $name"
    tail -60 "$work.log"
    failed+=("$name")
  fi
  rm -rf "$work" "$work.log"
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "Fuzz smoke run failed: ${failed[*]}"
  exit 1
fi
echo "== Fuzz smoke run passed"
