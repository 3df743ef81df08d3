#!/usr/bin/env bash
# Installs the build twice, into a temporary prefix and with DESTDIR into a
# staging folder, and checks that every file lands in its place, equal to its
# source, and that the installed tool and bash completion work.
#
# Usage: install_test.sh CMAKE_COMMAND BUILD_DIR SOURCE_DIR
# Exit status: 0 passed, 1 failed.
set -u

cmake=$1
build=$2
source=$3

. "$(dirname "$0")/checks.sh" "install test"

# check_tree ROOT: the installed files under ROOT (a prefix).
check_tree() {
  local root=$1 installed
  if [[ -x $root/bin/ostrel ]]; then
    pass "bin/ostrel is executable"
  else
    fail "no executable $root/bin/ostrel"
  fi
  while read -r installed from; do
    if cmp -s "$root/$installed" "$source/$from"; then
      pass "$installed is $from"
    else
      fail "$root/$installed is missing or differs from $from"
    fi
  done <<'EOF'
share/man/man1/ostrel.1 doc/ostrel.1
share/bash-completion/completions/ostrel completions/ostrel.bash
share/zsh/site-functions/_ostrel completions/_ostrel
share/fish/vendor_completions.d/ostrel.fish completions/ostrel.fish
EOF
  local count
  count=$(find "$root" -type f | wc -l)
  if ((count == 5)); then
    pass "nothing else installed"
  else
    fail "$count files installed:"$'\n'"$(cd "$root" && find . -type f)"
  fi
}

# 1. A prefix given on the command line.
prefix=$work/prefix
if "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  pass "cmake --install --prefix"
  check_tree "$prefix"
else
  fail "cmake --install --prefix failed:"$'\n'"$(cat "$work/install.log")"
fi

# 2. DESTDIR under a system prefix: everything goes below DESTDIR.
stage=$work/stage
if DESTDIR=$stage "$cmake" --install "$build" --prefix /usr >"$work/install.log" 2>&1; then
  pass "DESTDIR=... cmake --install --prefix /usr"
  check_tree "$stage/usr"
  if [[ $(ls -A "$stage") == usr ]]; then
    pass "nothing outside DESTDIR/usr"
  else
    fail "DESTDIR holds: $(ls -A "$stage")"
  fi
else
  fail "cmake --install with DESTDIR failed:"$'\n'"$(cat "$work/install.log")"
fi

# 3. The installed tool runs and finds its config under HOME.
home=$work/home
mkdir -p "$home"
expected="$home/Library/Application Support/Ostrel/agent-config.json"
if [[ $(HOME=$home "$prefix/bin/ostrel" path) == "$expected" ]]; then
  pass "the installed ostrel prints the config path"
else
  fail "the installed ostrel path printed: $(HOME=$home "$prefix/bin/ostrel" path 2>&1)"
fi
if [[ $(HOME=$home "$prefix/bin/ostrel" dict add Quokka) == '1 words in the dictionary' ]] &&
  [[ $(HOME=$home "$prefix/bin/ostrel" dict list) == Quokka ]]; then
  pass "the installed ostrel edits and lists the dictionary"
else
  fail "the installed ostrel could not add and list a word"
fi

# 4. The installed bash completion loads and offers what is stored.
replies=$(PATH="$prefix/bin:$PATH" HOME=$home bash -c '
  source "$1" || exit 1
  COMP_WORDS=(ostrel dict remove Q)
  COMP_CWORD=3
  _ostrel ostrel Q remove
  printf "%s\n" "${COMPREPLY[@]}"' bash "$prefix/share/bash-completion/completions/ostrel")
if [[ $replies == Quokka ]]; then
  pass "the installed bash completion offers the stored word"
else
  fail "the installed bash completion offered: $replies"
fi

finish
