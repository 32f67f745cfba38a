#!/bin/bash
# The bash completion of mirelo-batch: options, and preset names from the size.ini of --config
# as the program itself makes it (Shift-JIS, a Japanese name first) and as a UTF-8 file.
#   completion_test.sh COMPLETION_FILE MIRELO_BATCH
set -u
completion=$1
program=$2
# shellcheck source=/dev/null
source "$completion"

dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failures=0

# complete WORD... : the completions of the last word, one a line.
complete_words() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _mirelo_batch
  printf '%s\n' "${COMPREPLY[@]}"
}

expect() {
  local what=$1 expected=$2 actual=$3
  if [[ $actual != "$expected" ]]; then
    echo "FAIL $what"
    echo "  expected: $(printf '%q' "$expected")"
    echo "  actual:   $(printf '%q' "$actual")"
    failures=$((failures + 1))
  fi
}

expect "options" $'--dry-run' "$(complete_words mirelo-batch --dr)"
expect "options after a path" $'--jobs\n--json' "$(complete_words mirelo-batch a.jpg --j)"
expect "options of repeated runs" $'--keep-going\n--keep-tree' "$(complete_words mirelo-batch --ke)"
expect "the keys of our own section" $'Batch/KeepTree=\nBatch/KeepGoing=' "$(complete_words mirelo-batch --set Batch/Ke)"

# The size.ini the program writes with its defaults (CP932).
mkdir -p "$dir/config"
"$program" --config "$dir/config" --dry-run --quiet "$dir/none.jpg" >/dev/null 2>&1
"$program" --config "$dir/config" --quiet "$dir/none.jpg" >/dev/null 2>&1
[[ -f $dir/config/size.ini ]] || { echo "FAIL mirelo-batch made no size.ini"; exit 1; }
presets=$(complete_words mirelo-batch --config "$dir/config" --preset "")
expect "first preset, Japanese, from CP932" "元画像と同じ" "$(head -n 1 <<<"$presets")"
expect "a size preset" "160x120" "$(grep -x 160x120 <<<"$presets")"
expect "presets by prefix" $'100x75\n120x90\n160x120' "$(complete_words mirelo-batch --config "$dir/config" --preset 1)"
expect "--option=value forms, split at = as bash does" $'100x75\n120x90\n160x120' \
  "$(complete_words mirelo-batch --config = "$dir/config" --preset = 1)"

# A UTF-8 file with a byte-order mark, a name with blanks, CR LF line ends.
mkdir -p "$dir/utf8"
printf '\xef\xbb\xbf;x\r\n[ my box ]\r\nWidth=10\r\n[ü 2]\r\n' >"$dir/utf8/size.ini"
expect "UTF-8 names, quoted for the shell" $'my\\ box\nü\\ 2' "$(complete_words mirelo-batch --config "$dir/utf8" --preset "")"
# The last --config counts; a missing size.ini gives nothing.
expect "no size.ini" "" "$(complete_words mirelo-batch --config "$dir/utf8" --config "$dir/nowhere" --preset "")"

if ((failures)); then exit 1; fi
echo "completion: all cases passed"
