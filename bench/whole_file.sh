#!/usr/bin/env bash
# Whole-process comparison: `velluma analyse FILE --all` against per-character extraction with
# PyMuPDF (get_text("rawdict") over the same pages). Prints the CPU seconds (user + system) of
# each, best of three runs, and their ratio. PyMuPDF comes from Debian's python3-fitz; without
# it only velluma is timed.
#   bench/whole_file.sh [BUILD_DIR] FILE [velluma options, e.g. --level 0]
set -euo pipefail
build=build
if [[ $# -gt 0 && -d $1 ]]; then build=$1; shift; fi
file=${1:?usage: bench/whole_file.sh [BUILD_DIR] FILE [velluma options]}
shift
tmp=$(mktemp)
trap 'rm -f "$tmp"' EXIT
cpu() {  # best CPU seconds of three runs of the command
  local best=""
  for _ in 1 2 3; do
    local t
    /usr/bin/time -o "$tmp" -f '%U %S' "$@" >/dev/null 2>&1
    t=$(awk '{print $1 + $2}' "$tmp")
    if [[ -z $best ]] || awk "BEGIN{exit !($t < $best)}"; then best=$t; fi
  done
  echo "$best"
}
v=$(cpu "$build/bin/velluma" analyse "$file" --all "$@")
echo "velluma analyse --all $*: $v s"
if /usr/bin/python3 -c 'import fitz' 2>/dev/null; then
  script='import sys, fitz
for page in fitz.open(sys.argv[1]):
    page.get_text("rawdict")'
  r=$(cpu /usr/bin/python3 -c "$script" "$file")
  echo "PyMuPDF rawdict: $r s"
  awk "BEGIN{printf \"ratio velluma / PyMuPDF: %.2f\n\", $v / $r}"
else
  echo "PyMuPDF (python3-fitz) is not installed: no comparison"
fi
