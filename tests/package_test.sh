#!/usr/bin/env bash
# Builds the Debian package from the build folder with `cpack -G DEB`,
# checks its control fields and contents, unpacks it with `dpkg-deb -x` into
# a temporary folder and runs the binary from there.
#
# Usage: package_test.sh CPACK_COMMAND BUILD_DIR PROJECT_VERSION
# Exit status: 0 passed, 1 failed, 77 skipped (dpkg-deb or dpkg-shlibdeps is
# not installed, as on a system that is not Debian's).
set -u

cpack=$1
build=$2
version=$3

for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (Debian: apt-get install dpkg-dev)"
    exit 77
  fi
done

. "$(dirname "$0")/checks.sh" "package test"

# 1. Build the package; CPack's working files go to the temporary folder.
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1; then
  echo "FAIL: cpack -G DEB failed:"
  cat "$work/cpack.log"
  exit 1
fi
packages=("$work"/out/*.deb)
if ((${#packages[@]} != 1)) || [[ ! -f ${packages[0]} ]]; then
  echo "FAIL: expected one .deb, found: ${packages[*]}"
  exit 1
fi
deb=${packages[0]}
pass "cpack -G DEB built $(basename "$deb")"

# 2. Control fields.
# check_field NAME PATTERN
check_field() {
  local value
  value=$(dpkg-deb --field "$deb" "$1")
  # shellcheck disable=SC2053 # the pattern is meant to match as a pattern
  if [[ -n $value && $value == $2 ]]; then
    pass "$1: $value"
  else
    fail "$1 is '$value', expected $2"
  fi
}
check_field Package ostrel
check_field Version "$version"
check_field Section utils
check_field Architecture "$(dpkg --print-architecture)"
check_field Maintainer '?*'
check_field Description '?*'
check_field Depends '?*'
depends=$(dpkg-deb --field "$deb" Depends)

# 3. Contents, unpacked.
root=$work/root
if ! dpkg-deb -x "$deb" "$root"; then
  echo "FAIL: dpkg-deb -x failed"
  exit 1
fi
for file in usr/bin/ostrel \
            usr/share/man/man1/ostrel.1.gz \
            usr/share/bash-completion/completions/ostrel \
            usr/share/zsh/vendor-completions/_ostrel \
            usr/share/fish/vendor_completions.d/ostrel.fish; do
  if [[ -f $root/$file ]]; then
    pass "$file"
  else
    fail "missing $file; the package holds:"$'\n'"$(cd "$root" && find . -type f)"
  fi
done
if gzip -dc "$root/usr/share/man/man1/ostrel.1.gz" | grep -q '^\.TH OSTREL 1'; then
  pass "the man page is a gzipped roff page"
else
  fail "usr/share/man/man1/ostrel.1.gz is not the gzipped man page"
fi

# 4. Every shared library the binary needs comes from a package that Depends
# names: ICU's above all, unless the build links ICU in statically.
if command -v objdump >/dev/null 2>&1; then
  multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null)
  needed=$(objdump -p "$root/usr/bin/ostrel" | awk '$1 == "NEEDED" { print $2 }')
  [[ -n $needed ]] || fail "objdump found no shared libraries in the binary"
  for library in $needed; do
    owner=$(dpkg -S "*/$multiarch/$library" 2>/dev/null | head -n 1 | cut -d: -f1)
    if [[ -z $owner ]]; then
      fail "no installed package holds $library"
    elif [[ ", $depends," == *", $owner "[,\(]* || ", $depends," == *", $owner,"* ]]; then
      pass "Depends names $owner for $library"
    else
      fail "Depends does not name $owner, which holds $library"
    fi
  done
  if ! grep -q '^libicu' <<<"$needed"; then
    echo "note: the binary links ICU statically, so it needs no ICU package"
  fi
else
  echo "note: objdump is not installed, so only ICU's package was looked for in Depends"
  [[ $depends == *libicu* ]] || fail "Depends does not name ICU's package: $depends"
fi

# 5. The unpacked binary runs.
home=$work/home
mkdir -p "$home"
binary=$root/usr/bin/ostrel
expected="$home/Library/Application Support/Ostrel/agent-config.json"
if [[ $(HOME=$home "$binary" path) == "$expected" ]]; then
  pass "the unpacked ostrel prints the config path"
else
  fail "the unpacked ostrel path printed: $(HOME=$home "$binary" path 2>&1)"
fi
if [[ $(HOME=$home "$binary" dict add x) == '1 words in the dictionary' && -f $expected ]]; then
  pass "the unpacked ostrel adds a word and writes the config"
else
  fail "the unpacked ostrel dict add x: $(HOME=$home "$binary" dict add x 2>&1)"
fi

finish
