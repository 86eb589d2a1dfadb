#!/bin/bash
# What quietbox-docs's bash completion offers, word by word.
# usage: docs_completion_test.sh COMPLETION_FILE WORK_DIR
set -u
source /usr/share/bash-completion/bash_completion || exit 1
source "$1" || exit 1
mkdir -p "$2/db" && cd "$2" && touch notes.txt || exit 1

status=0
expect() {
    local want=$1
    shift
    COMP_WORDS=(quietbox-docs "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _quietbox_docs quietbox-docs "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$want" ]]; then
        echo "FAIL: quietbox-docs $*<TAB> offers '$got', expected '$want'"
        status=1
    fi
}

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
