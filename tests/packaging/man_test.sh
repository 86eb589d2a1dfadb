#!/bin/sh
# Each manual page renders without a warning and has a NAME line that whatis can index.
set -u
# A locale the system lacks would make man warn about it instead of the page.
export LC_ALL=C.UTF-8
status=0
for page in "$@"; do
    err=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$err" ] || { echo "FAIL: $page: $err"; status=1; }
    lexgrog "$page" >/dev/null || { echo "FAIL: $page: no NAME line for whatis"; status=1; }
done
exit $status
