#!/usr/bin/env bash
# Bash completion of p06-read and p06-sim typed into an interactive bash inside tmux, for
# scripts/test-package.sh:
#   scripts/package-completion.sh --completion ROOT DIR
# ROOT: the unpacked packages; DIR: a scratch folder with the files completion offers.
set -euo pipefail

# Inside tmux: completion typed into an interactive bash. Each case is the line typed before
# Tab and the line the shell must show after it; a "#" typed after Tab shows where the
# cursor stands (after "/" or after a space).
if [[ ${1:-} == --completion ]]; then
    root=$2 dir=$3
    socket=quenlor-completion-$$
    cleanup() { tmux -L "$socket" kill-server 2>/dev/null || true; }
    trap cleanup EXIT
    tmux -L "$socket" -f /dev/null new-session -d -x 200 -y 10 \
        "env -i HOME=$dir TERM=screen PATH=/usr/bin:/bin INPUTRC=/dev/null bash --norc --noprofile -i"
    tmux -L "$socket" send-keys "PS1='$ '; source /usr/share/bash-completion/bash_completion" Enter
    for program in p06-read p06-sim; do
        tmux -L "$socket" send-keys "source $root/usr/share/bash-completion/completions/$program" Enter
    done
    # Keys sent while bash runs a command are echoed before its prompt: each case is typed
    # at a fresh prompt on a cleared screen.
    fresh_prompt() {
        local tries
        tmux -L "$socket" send-keys C-u "clear" Enter
        for ((tries = 0; tries < 50; tries++)); do
            [[ $(tmux -L "$socket" capture-pane -p | grep -v '^$') == '$' ]] && return 0
            sleep 0.1
        done
        echo "completion: no prompt" >&2
        return 1
    }
    cases=(
        "p06-read --device $dir/quen|p06-read --device $dir/quenlor/"
        "p06-read -d $dir/quenlor/cp|p06-read -d $dir/quenlor/cp210x-0001 "
        "p06-read --device=$dir/quenlor/cp|p06-read --device=$dir/quenlor/cp210x-0001 "
        "p06-read -t $dir/tr|p06-read -t $dir/trace.txt "
        "p06-read -o $dir/quen|p06-read -o $dir/quenlor/"
        "p06-read --lang e|p06-read --lang en "
        "p06-read --dev|p06-read --device "
        "p06-read -w $dir/tr|p06-read -w $dir/tr"
        "p06-read -d $dir/tr|p06-read -d $dir/tr"
        "p06-sim -a $dir/|p06-sim -a $dir/quenlor/"
        "p06-sim --ports-dir $dir/q|p06-sim --ports-dir $dir/quenlor/"
        "p06-sim -n $dir/tr|p06-sim -n $dir/tr"
    )
    failed=0
    for entry in "${cases[@]}"; do
        typed=${entry%%|*} expected=${entry#*|}
        fresh_prompt
        tmux -L "$socket" send-keys -l "$typed"
        tmux -L "$socket" send-keys Tab
        tmux -L "$socket" send-keys -l "#"
        expected+="#"
        shown=
        for ((tries = 0; tries < 30; tries++)); do
            sleep 0.1
            shown=$(tmux -L "$socket" capture-pane -p | grep '^\$ ' | tail -n 1) || true
            [[ $shown == "\$ $expected" ]] && break
        done
        [[ $shown == "\$ $expected" ]] || {
            echo "completion of '$typed': '${shown#\$ }', not '$expected'" >&2
            failed=1
        }
    done
    exit "$failed"
fi

echo "package-completion: unknown mode '${1:-}'" >&2
exit 2
