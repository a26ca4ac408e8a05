#!/usr/bin/env bash
# Every entry of the demo installation's report catalogue, run by the real tikoradmin into PDF:
# each file must open, carry its title and render as a picture, and the reports that list all
# hours of the period must agree on the total.
#
#   tests/admin/report_cli_test.sh BUILD_DIR [OUTPUT_DIR]
set -euo pipefail
build=$1
output=${2:-$build/report-cli-output}
root=$(cd "$(dirname "$0")/../.." && pwd)
for tool in pdfinfo pdftotext pdftoppm; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (scripts/install-deps.sh installs it)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/tikora-report-cli.XXXXXX")
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME=$work/config
program=$work/program
cmake --install "$build" --prefix "$program" >/dev/null
admin() { "$program/tikoradmin" "$@" --program-folder "$program"; }
admin create-data --demo >/dev/null 2>"$work/demo.log" || { cat "$work/demo.log" >&2; exit 1; }

# The demo records lie in the two weeks before today.
from=$(date -d '-15 days' +%F)
to=$(date -d '-1 day' +%F)
rm -rf "$output"
mkdir -p "$output"
declare -A titles=(
  [1]="Hours for period" [2]="Hours for period" [3]="Hours for period"
  [4]="Detail Time Report for period" [5]="Detail Time Report by Charge Account and Date"
  [6]="Summary by Charge Account and Job Code" [7]="INVOICE" [8]="Per Week Report"
  [9]="Report By Charge Account and Job Code" [10]="Summary Time Report by Charge Account and User")
failures=0
fail() { echo "FAIL report $1: $2" >&2; failures=$((failures + 1)); }
declare -A totals=()
for id in 1 2 3 4 5 6 7 8 9 10; do
  pdf=$output/report-$id.pdf
  if ! admin report --id "$id" --from "$from" --to "$to" --format pdf --out "$pdf" --yes 2>"$work/err"; then
    fail "$id" "tikoradmin failed: $(cat "$work/err")"
    continue
  fi
  pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
  [ "${pages:-0}" -ge 1 ] || fail "$id" "no pages"
  text=$(pdftotext -layout "$pdf" -)
  grep -qF "${titles[$id]}" <<<"$text" || fail "$id" "title '${titles[$id]}' missing"
  if grep -q '\[' <<<"$text"; then fail "$id" "an unevaluated [expression] was printed"; fi
  pdftoppm -r 40 -gray -png -f 1 -l 1 "$pdf" "$output/report-$id" || fail "$id" "does not render"
  total=$(grep -E 'Total hours for period' <<<"$text" | grep -oE '[0-9][0-9.,]*$' | head -1 || true)
  [ -n "$total" ] && totals[$id]=$total
done

# Time sheets, detail and per-week reports all list every finished record of the period.
reference=${totals[4]:-}
[ -n "$reference" ] || fail 4 "prints no 'Total hours for period'"
for id in 1 2 3 8; do
  [ "${totals[$id]:-}" = "$reference" ] || fail "$id" "total hours ${totals[$id]:-none}, the detail report says $reference"
done
# The invoice was numbered; one for a single client takes the next number and only its records.
year=$(date +%Y)
grep -qF "Invoice no. ${year}000001" <(pdftotext -layout "$output/report-7.pdf" -) ||
  fail 7 "the invoice does not show the first number of the year"
grep -qF "Client: (several)" <(pdftotext -layout "$output/report-7.pdf" -) ||
  fail 7 "an invoice over several clients names one of them"
acme=$output/report-7-acme.pdf
if admin report --id 7 --client ACME --from "$from" --to "$to" --format pdf --out "$acme" --yes 2>"$work/err"; then
  text=$(pdftotext -layout "$acme" -)
  grep -qF "Invoice no. ${year}000002" <<<"$text" || fail 7 "the second invoice is not numbered ${year}000002"
  grep -qF "Client: ACME" <<<"$text" || fail 7 "the ACME invoice does not bill ACME"
  if grep -qE 'MAINT|INTERN|ADMIN' <<<"$text"; then fail 7 "the ACME invoice lists another client's work"; fi
else
  fail 7 "tikoradmin failed for --client ACME: $(cat "$work/err")"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failures; the PDFs are in $output" >&2
  exit 1
fi
echo "all ten catalogue reports written to $output (total hours $reference)"
