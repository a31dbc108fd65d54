# Shared by fuzz_smoke.sh and fuzz_campaign.sh (sourced): configures and
# builds the libFuzzer targets with clang into $fuzz_build and lists them.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
fuzz_build=${KAVEL_FUZZ_BUILD:-$root/build-fuzz}
jobs=${KAVEL_JOBS:-2}

build_fuzz_targets() {
  CXX=clang++ cmake -S "$root" -B "$fuzz_build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVEL_FUZZ=ON -DKAVEL_TESTS=OFF \
    -DKAVEL_WERROR=ON >/dev/null
  cmake --build "$fuzz_build" -j"$jobs"
}

# Target names (the source names without .cc, e.g. msg_file_fuzz).
fuzz_targets() {
  local f
  for f in "$root"/fuzz/*_fuzz.cc; do
    basename "$f" .cc
  done
}

# Options every run gets: a hang is a finding after KAVEL_FUZZ_TIMEOUT
# seconds (default 30; campaigns at nice 10 on a busy machine want more, as
# the limit counts wall-clock time), a leak is a finding, memory is capped.
fuzz_options() {
  local name=$1
  local opts=(-timeout="${KAVEL_FUZZ_TIMEOUT:-30}" -rss_limit_mb=2048 -malloc_limit_mb=1024 -close_fd_mask=1
              -detect_leaks=1 -print_final_stats=1)
  local dict="$root/fuzz/dict/${name%_fuzz}.dict"
  [ -f "$dict" ] && opts+=(-dict="$dict")
  printf '%s\n' "${opts[@]}"
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
