#!/bin/sh
# Fails when groff has anything to say about the man page: every warning counts.
set -eu
warnings=$("$1" -ww -man -z "$2" 2>&1)
if [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  exit 1
fi
