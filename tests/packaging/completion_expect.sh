# Shared by the completion tests: source it after setting TOOL (the command) and FUNC (its
# completion function), with the completion file as $1 and a work folder as $2 (made, with a
# folder "db" in it, and made current).
source /usr/share/bash-completion/bash_completion || exit 1
source "$1" || exit 1
mkdir -p "$2/db" && cd "$2" || exit 1

status=0
# expect "OFFERED" WORD...: completing the last word (the empty word when it ends in "").
expect() {
    local want=$1
    shift
    COMP_WORDS=("$TOOL" "$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="${COMP_WORDS[*]}"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    "$FUNC" "$TOOL" "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | sort | xargs)
    if [[ $got != "$want" ]]; then
        echo "FAIL: $TOOL $*<TAB> offers '$got', expected '$want'"
        status=1
    fi
}
