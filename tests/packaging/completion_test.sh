#!/bin/bash
# What quietbox-archive's bash completion offers, word by word.
# usage: completion_test.sh COMPLETION_FILE WORK_DIR
set -u
source /usr/share/bash-completion/bash_completion || exit 1
source "$1" || exit 1
mkdir -p "$2/db" && cd "$2" && touch a.qba notes.txt || exit 1

status=0
# expect "OFFERED" WORD...: completing the last word (the empty word when it ends in "").
expect() {
    local want=$1
    shift
    COMP_WORDS=(quietbox-archive "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _quietbox_archive quietbox-archive "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$want" ]]; then
        echo "FAIL: quietbox-archive $*<TAB> offers '$got', expected '$want'"
        status=1
    fi
}

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
