#!/bin/bash
# Installs what the build and the tests need when it is missing. Runs as root
# (CI does); on a machine that already has everything it changes nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

missing=()
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
command -v g++ >/dev/null || missing+=(g++)
command -v clang++ >/dev/null || missing+=(clang)
[ -f /usr/include/gtest/gtest.h ] || missing+=(libgtest-dev libgmock-dev)
command -v crashmail >/dev/null || missing+=(crashmail)
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
command -v dpkg-shlibdeps >/dev/null || missing+=(dpkg-dev)
command -v groff >/dev/null || missing+=(groff-base)
command -v lintian >/dev/null || missing+=(lintian)
command -v uuencode >/dev/null || missing+=(sharutils)
command -v uudeview >/dev/null || missing+=(uudeview)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The npm JAM reader used by the interop tests.
if [ ! -d "$root/tests/interop/node_modules/fidonet-jam" ]; then
  (cd "$root/tests/interop" && npm install --no-audit --no-fund --silent)
fi
