#!/bin/bash
# What quietbox-docs's bash completion offers, word by word.
# usage: docs_completion_test.sh COMPLETION_FILE WORK_DIR
set -u
TOOL=quietbox-docs FUNC=_quietbox_docs
source "$(dirname "$0")/completion_expect.sh"
touch notes.txt || exit 1

expect "cat export import list search" ""
expect "export" ex
expect "import" im
expect "cat export import list search" --password-fd 3 ""
expect "--help --password-fd --version" --
expect "db" list ""
expect "db" export db ""
expect "db notes.txt" import db ""
expect "db notes.txt" import db notes.txt ""
expect "" cat db ""
expect "" search db ""
exit $status
