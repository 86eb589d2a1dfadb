#!/bin/sh
# quietbox-docs answers --help and --version without a display and refuses an unknown option.
# usage: docs_command_line_test.sh QUIETBOX_DOCS VERSION
set -u
exe=$1 version=$2
status=0
fail() { echo "FAIL: $*"; status=1; }

out=$(env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --version) || fail "--version exit status"
[ "$out" = "quietbox-docs $version" ] || fail "--version printed: $out"
out=$("$exe" --help) || fail "--help exit status"
for word in list export import cat search --password-fd "Exit status"; do
    echo "$out" | grep -q -- "$word" || fail "--help lacks $word"
done
out=$("$exe" --no-such-option 2>&1)
[ $? -eq 64 ] || fail "an unknown option does not end with status 64"
echo "$out" | grep -q "no-such-option" || fail "the unknown option is not named: $out"
exit $status
