#!/bin/bash
# What quietbox-archive's bash completion offers, word by word.
# usage: completion_test.sh COMPLETION_FILE WORK_DIR
set -u
TOOL=quietbox-archive FUNC=_quietbox_archive
source "$(dirname "$0")/completion_expect.sh"
touch a.qba notes.txt || exit 1

expect "backup list restore verify" ""
expect "restore" re
expect "backup list restore verify" -q ""
expect "backup list restore verify" --threads 2 ""
expect "--help --quiet --threads" --
expect "db" backup ""
expect "a.qba db" backup db ""
expect "a.qba db" restore ""
expect "db" restore a.qba ""
expect "a.qba db" --quiet verify ""
expect "a.qba db" -- list ""
expect "" list a.qba ""
expect "1" --threads 1
exit $status
