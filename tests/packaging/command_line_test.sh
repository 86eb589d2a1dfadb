#!/bin/sh
# quietbox answers --help and --version without a display and refuses an unknown option.
# usage: command_line_test.sh QUIETBOX VERSION
set -u
exe=$1 version=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" --version) || fail "--version exit status"
[ "$out" = "quietbox $version" ] || fail "--version printed: $out"
out=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$exe" --help) || fail "--help exit status"
echo "$out" | grep -q -- '--version' || fail "--help printed: $out"
out=$(QT_QPA_PLATFORM=offscreen "$exe" --no-such-option 2>&1)
[ $? -eq 1 ] || fail "an unknown option does not end with status 1"
echo "$out" | grep -q "no-such-option" || fail "the unknown option is not named: $out"
exit $status
