#!/bin/sh
# Installs a build into a scratch prefix and checks that the binary and the man page arrive and
# that the installed binary runs.
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" > /dev/null
test -x "$prefix/bin/id3sniff"
test -f "$prefix/share/man/man1/id3sniff.1"
version=$("$prefix/bin/id3sniff" --version 2>&1)
test "$version" = "Version: 1.0.0.0"
