#!/usr/bin/env bash
# program_info_test.sh PROGRAM VERSION: --version prints "NAME VERSION" as its only line, and
# --help works with no display at all (help2man runs it while building, often without one).
set -u
program=$1 version=$2
name=$(basename "$program")
failed=0
fail() { echo "FAIL $name: $*" >&2; failed=1; }

out=$(QT_QPA_PLATFORM=offscreen "$program" --version 2>&1); rc=$?
[ $rc -eq 0 ] || fail "--version exits $rc"
[ "$out" = "$name $version" ] || fail "--version printed '$out', expected '$name $version'"
# Exactly one line: a second line would make help2man's version field and scripts misread it.
[ "$(QT_QPA_PLATFORM=offscreen "$program" --version | wc -l)" -eq 1 ] || fail "--version is not one line"

help=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --help 2>&1); rc=$?
[ $rc -eq 0 ] || fail "--help without a display exits $rc: $help"
[[ $help == "Usage: $name "* ]] || fail "--help does not start with 'Usage: $name ': ${help%%$'\n'*}"
[[ $help == *--version* ]] || fail "--help does not list --version"

[ $failed -eq 0 ] && echo "$name: --version and --help as expected"
exit $failed
