#!/bin/sh
# Installs a build into a scratch prefix and checks that the program, the man page, the licence
# and the README arrive, and that the installed program runs and names the given version.
# Usage: check_install.sh BUILD_DIR VERSION
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" > /dev/null
test -x "$prefix/bin/id3sniff"
test -f "$prefix/share/man/man1/id3sniff.1"
test -f "$prefix/share/doc/id3sniff/LICENSE"
test -f "$prefix/share/doc/id3sniff/README.md"
version=$("$prefix/bin/id3sniff" --version 2>&1)
test "$version" = "Version: $2"
