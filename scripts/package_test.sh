#!/bin/bash
# Builds the Debian package and checks it as a sysop would meet it: its name
# and control fields, its file list, the program unpacked into a scratch root
# (--version, --help, the usage of a run without arguments), the manual
# page (groff -ww must not warn; no line wider than 80 columns, in the
# source or rendered) and lintian (no error).
#
# Usage: scripts/package_test.sh [BUILD_DIR]
# BUILD_DIR is configured as a Release build without tests when it does not
# exist yet (default: build-package); an existing Release build is reused.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$root/build-package}")

fail() {
  echo "package test: FAIL: $*" >&2
  exit 1
}

command -v dpkg-shlibdeps >/dev/null || fail "dpkg-dev is missing"
command -v groff >/dev/null || fail "groff is missing"
command -v lintian >/dev/null || fail "lintian is missing"

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DKAVEL_TESTS=OFF >/dev/null
fi
if grep -q '^KAVEL_SANITIZE:BOOL=ON' "$build/CMakeCache.txt"; then
  fail "$build is a sanitizer build; package a plain Release build"
fi
cmake --build "$build" -j2 --target kavel kavel_manpage \
  kavel_changelog >/dev/null

version=$(sed -n 's/^set(CPACK_PACKAGE_VERSION "\(.*\)")$/\1/p' \
  "$build/CPackConfig.cmake")
[ -n "$version" ] || fail "no package version in CPackConfig.cmake"
arch=$(dpkg --print-architecture)
deb="$build/kavel_${version}_${arch}.deb"
rm -f "$deb"
if ! (cd "$build" && cpack -G DEB >"$build/cpack.log" 2>&1); then
  cat "$build/cpack.log" >&2
  fail "cpack failed"
fi
[ -f "$deb" ] || fail "cpack did not write $(basename "$deb")"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = kavel ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)'"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture is '$(field Architecture)'"
[ "$(field Section)" = mail ] || fail "Section is '$(field Section)'"
[ -n "$(field Maintainer)" ] || fail "no Maintainer"
[ "$(field Description | wc -l)" -gt 2 ] || fail "no long description"
depends=$(field Depends)
echo "$depends" | grep -q 'libc6 (>= ' || fail "Depends lacks libc6: '$depends'"

# File list: exactly these files (directories aside), docs/*.md included.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $NF}' | sort >"$scratch/files"
{
  cat <<'EOF'
./usr/bin/kavel
./usr/share/doc/kavel/Kavel.cfg
./usr/share/doc/kavel/README.md
./usr/share/doc/kavel/areas
./usr/share/doc/kavel/changelog.gz
./usr/share/doc/kavel/copyright
./usr/share/doc/kavel/kavel.logrotate
./usr/share/man/man1/kavel.1.gz
EOF
  for note in "$root"/docs/*.md; do
    echo "./usr/share/doc/kavel/$(basename "$note")"
  done
} | sort >"$scratch/expected"
diff -u "$scratch/expected" "$scratch/files" || fail "unexpected file list"

# Unpack into a scratch root.
dpkg -x "$deb" "$scratch/root"
bin="$scratch/root/usr/bin/kavel"
[ -x "$bin" ] || fail "kavel is not executable in the package"
# Every shared library the program needs is covered by Depends.
if readelf -d "$bin" | grep -q 'NEEDED.*libstdc++'; then
  echo "$depends" | grep -q 'libstdc++6' || fail "Depends lacks libstdc++6"
fi
cmp "$root/docs/samples/Kavel.cfg" "$scratch/root/usr/share/doc/kavel/Kavel.cfg" ||
  fail "packaged Kavel.cfg differs from docs/samples"
cmp "$root/docs/samples/areas" "$scratch/root/usr/share/doc/kavel/areas" ||
  fail "packaged areas differs from docs/samples"

usage=$'Usage:\n /Encode <File> <Area> - post <file> (may be the mask) in area <Area>\n /Decode <Area>        - decode files from <Area>\n /All                  - decode all files from all areas'
help="$usage"$'\nExit codes (with ERRORLEVEL Yes in Kavel.cfg; always 0 without):\n 0 - no failure\n 1 - an [err] line, "Unable to open message base" or "Area ... not found..."\n 2 - no areas file named in Kavel.cfg, or it cannot be opened'

run="$scratch/run"
mkdir "$run"
out=$(cd "$run" && "$bin" --version </dev/null) || fail "--version exit status $?"
[ "$out" = "kavel $version" ] || fail "--version printed '$out'"
out=$(cd "$run" && "$bin" --help </dev/null) || fail "--help exit status $?"
[ "$out" = "$help" ] || fail "--help printed '$out'"
[ -z "$(ls -A "$run")" ] || fail "--version/--help left files: $(ls -A "$run")"

# Without arguments: the log's start and end lines, then the usage text.
out=$(cd "$run" && "$bin" </dev/null) || fail "no-argument run exit status $?"
[ "$(printf '%s\n' "$out" | tail -n 4)" = "$usage" ] ||
  fail "no-argument run did not end with the usage text"
[ -f "$run/Kavel.log" ] || fail "no-argument run wrote no Kavel.log"

# Manual page: renders without a groff warning, lists every keyword.
man="$scratch/root/usr/share/man/man1/kavel.1.gz"
warnings=$(zcat "$man" | groff -ww -z -man 2>&1) || fail "groff failed"
[ -z "$warnings" ] || fail "groff warnings: $warnings"
zcat "$man" >"$scratch/kavel.1"
wide=$(awk 'length > 80 {print FNR ": " $0}' "$scratch/kavel.1")
[ -z "$wide" ] || fail "manual page source lines over 80 columns: $wide"
wide=$(groff -man -Tascii -P-cbou "$scratch/kavel.1" 2>/dev/null |
  awk 'length > 80 {print}')
[ -z "$wide" ] || fail "manual page renders lines over 80 columns: $wide"
for kw in WHEN FROMADDR TOADDR FILE FROM TO SUBJ ORIGIN TEARLINE FLAGS \
  HPTPATH SQUISH TERMINATE USEENCODEDMESSAGE ENCODEDMESSAGE USEENCODEDSTRING \
  USEENCODEDSTRINGS BEGINENCODEDSTRING BEGINSTRING ENDENCODEDSTRING ENDSTRING \
  USEASKLUDGE SAVEIFNOTENOUGHSECTIONS BASETEXTPATH USETEXTSUBDIR \
  ENCODEBINARY DECODEUUE \
  WHATDOWITHEXISTFILE BASEFWDPATH USEFWDSUBDIR FORWARDMARKER \
  CHECKFOREMPTYLINE FORWARDFROM FORWARDTO FORWARDSUBJ FORWARDDATE \
  FORWARDMASK FORWARDEXT FORWARDCOMMENT FILESBBSNAME REWRITEFILESBBS \
  FILESBBSSAVINGSTRING SAVEWHILESCANNING ERRORLEVEL; do
  grep -qw -- "$kw" "$scratch/kavel.1" || fail "manual page lacks $kw"
  grep -qw -- "$kw" "$root/docs/samples/Kavel.cfg" || fail "sample Kavel.cfg lacks $kw"
done

# lintian: no error (warnings and notes are shown, not fatal).
lintian --tag-display-limit 0 "$deb" >"$scratch/lintian.out" 2>&1 || true
grep -v '^running with root privileges' "$scratch/lintian.out" >&2 || true
! grep -q '^E: ' "$scratch/lintian.out" || fail "lintian reports errors"

# The README demo, as written, with the installed program and samples: a
# stand-in for the top of a clone whose build/ and docs/samples/ are the
# package's. The block's run directory (mktemp -d) lands in the scratch dir.
awk '/<!-- readme-demo/ {on = 1; next}
     on && /^```sh/ {inside = 1; next}
     inside && /^```/ {exit}
     inside {print}' "$root/README.md" >"$scratch/demo.sh"
[ -s "$scratch/demo.sh" ] || fail "README has no demo block"
mkdir -p "$scratch/clone/docs"
ln -s "$scratch/root/usr/bin" "$scratch/clone/build"
ln -s "$scratch/root/usr/share/doc/kavel" "$scratch/clone/docs/samples"
cat >>"$scratch/demo.sh" <<'EOF_CHECKS'

# Checks, in the demo's run directory.
bad() { echo "README demo: $*" >&2; exit 1; }
[ "$(ls demomsg | wc -l)" -eq 3 ] || bad "DEMO.MSG does not hold 3 messages"
! grep -qF '[err]' Kavel.log || bad "error lines in Kavel.log"
areas=$(find txt -mindepth 1 -maxdepth 1 -type d | wc -l)
[ "$areas" -eq 3 ] || bad "$areas area directories under txt/, not 3"
for dir in txt/*/; do
  decoded=$(find "$dir" -maxdepth 1 -iname news.txt)
  [ -n "$decoded" ] || bad "no news.txt in $dir"
  tr -d '\r' <"$decoded" | cmp -s - news.txt || bad "$decoded differs from news.txt"
  list=$(find "$dir" -maxdepth 1 -iname files.bbs)
  [ "$(wc -l <"$list")" -eq "$(find "$dir" -maxdepth 1 -type f ! -iname files.bbs | wc -l)" ] ||
    bad "$dir files.bbs does not hold one line per file"
done
cmp -s txt/demo.jam/news.gz news.gz || bad "news.gz did not come back"
EOF_CHECKS
if ! (cd "$scratch/clone" && TMPDIR="$scratch" \
      bash -euo pipefail "$scratch/demo.sh" >"$scratch/demo.out" 2>&1); then
  cat "$scratch/demo.out" >&2
  fail "README demo failed"
fi

echo "package test: OK ($(basename "$deb"))"
