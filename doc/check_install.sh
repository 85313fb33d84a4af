#!/bin/sh
# Installs a build into a scratch prefix and checks that the programs, their man pages, the
# bash completions, the licence and the README arrive, and that the installed programs run and name the given version.
# Usage: check_install.sh BUILD_DIR VERSION
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" > /dev/null
for program in id3sniff id3sniff-batch; do
  test -x "$prefix/bin/$program"
  test -f "$prefix/share/man/man1/$program.1"
  test "$("$prefix/bin/$program" --version 2>&1)" = "Version: $2"
  # The completion loads, and completes the program's options.
  bash -c '. "$1"; f=$(complete -p "$2" | sed -n "s/.* -F \([^ ]*\) .*/\1/p")
    COMP_WORDS=("$2" --vers); COMP_CWORD=1; "$f"; test "${COMPREPLY[*]}" = --version' \
    _ "$prefix/share/bash-completion/completions/$program" "$program"
done
test -f "$prefix/share/doc/id3sniff/LICENSE"
test -f "$prefix/share/doc/id3sniff/README.md"
