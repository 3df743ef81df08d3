#!/usr/bin/env bash
# Installs the build and checks what lands where. `install`: `cmake --install`
# into a prefix, then with DESTDIR. `package`: the Debian package that
# `cpack -G DEB` builds, unpacked with dpkg-deb -x, whose Depends must name
# the package of every shared library the tool loads. Each installed file
# must equal its source, nothing else may be installed, and the tool must run.
#
# Usage: install_test.sh install CMAKE_COMMAND BUILD_DIR SOURCE_DIR
#        install_test.sh package CPACK_COMMAND BUILD_DIR SOURCE_DIR
# Exit status: 0 passed, 1 failed, 77 skipped (packaging without dpkg-dev).
set -u
mode=$1 tool=$2 build=$3 source=$4
if [[ $mode == package ]] && ! hash dpkg-deb dpkg-shlibdeps 2>/dev/null; then
  echo "SKIP: dpkg-deb or dpkg-shlibdeps is not installed (Debian: apt-get install dpkg-dev)"
  exit 77
fi
. "$(dirname "$0")/checks.sh"

# check ROOT MAN_PAGE ZSH_FOLDER: the files under ROOT/usr.
check() {
  local root=$1 installed from unpack
  while read -r installed from; do
    unpack=(cat) && [[ $installed == *.gz ]] && unpack=(gzip -dc)
    "${unpack[@]}" "$root/usr/$installed" 2>/dev/null | cmp -s - "$source/$from" ||
      fail "$root/usr/$installed is missing or is not $from"
  done <<EOF
$2 doc/ostrel.1
share/bash-completion/completions/ostrel completions/ostrel.bash
$3/_ostrel completions/_ostrel
share/fish/vendor_completions.d/ostrel.fish completions/ostrel.fish
EOF
  [[ $(find "$root" -type f | wc -l) == 5 ]] || fail "installed under $root: $(find "$root" -type f)"
  [[ $(HOME=$work "$root/usr/bin/ostrel" path) == "$work/Library/Application Support/Ostrel/agent-config.json" ]] ||
    fail "the installed $root/usr/bin/ostrel does not run"
}

if [[ $mode == install ]]; then
  "$tool" --install "$build" --prefix "$work/prefix/usr" >"$work/log" 2>&1 || fail "$(<"$work/log")"
  check "$work/prefix" share/man/man1/ostrel.1 share/zsh/site-functions
  DESTDIR=$work/stage "$tool" --install "$build" --prefix /usr >"$work/log" 2>&1 || fail "$(<"$work/log")"
  check "$work/stage" share/man/man1/ostrel.1 share/zsh/site-functions
else
  "$tool" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/log" 2>&1 || fail "$(<"$work/log")"
  deb=$(echo "$work"/out/*.deb)
  dpkg-deb -x "$deb" "$work/deb" || fail "dpkg-deb -x $deb failed"
  check "$work/deb" share/man/man1/ostrel.1.gz share/zsh/vendor-completions
  depends=$(dpkg-deb --field "$deb" Depends)
  [[ -n $depends ]] || fail "the package has no Depends"
  for library in $(objdump -p "$work/deb/usr/bin/ostrel" | awk '$1 == "NEEDED" { print $2 }'); do
    owner=$(dpkg -S "*/$(dpkg-architecture -qDEB_HOST_MULTIARCH)/$library" | head -n 1 | cut -d: -f1)
    [[ -n $owner && ", $depends," == *", $owner"[\ ,]* ]] || fail "Depends ($depends) lacks $owner for $library"
  done
fi
exit $status
