#!/usr/bin/env bash
# completion_test.sh COMPLETION-SCRIPT CORVELLA-CLI: what bash offers after "corvella-cli ...<TAB>".
set -u
script=$(realpath "$1") cli=$(realpath "$2")
failed=0
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Offers for the words given, the last being the one under the cursor, one per line, sorted.
offers() {
  (cd "$work" && bash -c 'source "$1"; shift; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1));
                          _corvella_cli; printf "%s\n" "${COMPREPLY[@]}"' _ "$script" "$cli" "$@") |
    sort
}
expect() {  # expect "WORDS..." -- OFFER... : each OFFER is among the offers
  local words=() offered
  while [ "$1" != -- ]; do words+=("$1"); shift; done
  shift
  offered=$(offers "${words[@]}")
  for want in "$@"; do
    grep -qxF -- "$want" <<<"$offered" ||
      { echo "FAIL: after '${words[*]}' expected '$want', got: $(tr '\n' ' ' <<<"$offered")" >&2; failed=1; }
  done
}
expect_exactly() {  # expect_exactly "WORDS..." -- OFFER... : these and nothing else
  local words=() offered
  while [ "$1" != -- ]; do words+=("$1"); shift; done
  shift
  offered=$(offers "${words[@]}")
  [ "$offered" = "$(printf '%s\n' "$@" | sort)" ] ||
    { echo "FAIL: after '${words[*]}' expected exactly '$*', got: $(tr '\n' ' ' <<<"$offered")" >&2; failed=1; }
}

touch "$work/stage left.asc" "$work/stage right.asc" "$work/notes.txt"

expect "" -- scan upload download load-default programs recall store rename set-identity show plot
expect_exactly "re" -- recall rename
expect "-" -- --ports --id --quiet --demo --version --help
# Options and their values before the command do not hide it.
expect_exactly --id 3 --quiet "s" -- scan serve store set-identity show sync
# A command listed twice (plot, serve) is offered once.
expect_exactly "p" -- plot programs
expect_exactly plot x.asc --graph "" -- input-peq output-peq crossover level system
expect_exactly plot x.asc --graph system --input "" -- line mic
expect_exactly align x.asc "--i" -- --input --id
expect_exactly align x.asc "--h" -- --high-driver --help
expect plot x.asc "-" -- --graph --channel --input --high-driver --low-driver --points -o
expect_exactly align x.asc --high-driver "stage l" -- "stage left.asc"
expect_exactly plot x.asc --channel "" -- mic line high low
expect_exactly plot x.asc --channel "l" -- line low
expect_exactly plot x.asc "--g" -- --graph
# File names, spaces included, where a command takes a file; nothing where it takes none.
expect_exactly upload "stage" -- "stage left.asc" "stage right.asc"
expect_exactly --demo show "n" -- notes.txt
expect_exactly plot x.asc --graph level -o "stage r" -- "stage right.asc"
expect_exactly recall 2 "-" -- -o --accept-repaired --ports --id --log --quiet --demo --version --help
expect_exactly rename "s" --
# A command's own flags after its file.
expect_exactly upload x.asc "--f" -- --fast
expect_exactly load-default "--f" -- --fast
expect download x.asc "-" -- --verify --fast
expect_exactly serve "--o" -- --osc-udp --osc-tcp
expect_exactly serve --osc-udp 9000 "--mqtt-" -- --mqtt-prefix --mqtt-user --mqtt-password-file \
  --mqtt-cafile
expect_exactly --id "" --
# fleet takes its action first, then the action's own options.
expect_exactly --demo fleet "" -- scan backup download
expect_exactly fleet "d" -- download
expect_exactly fleet download x.asc "--u" -- --units
expect_exactly fleet download x.asc "--a" -- --all
expect fleet download x.asc "--v" -- --verify
expect_exactly fleet backup dir "--e" -- --expect

[ $failed -eq 0 ] && echo "completion offers as expected"
exit $failed
