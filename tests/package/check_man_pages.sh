#!/usr/bin/env bash
# Checks the manual pages against the programs: every option a program's
# --help names (and every command of plimsy-cli, with its options) is
# described in its page, and man renders each page without a warning.
# usage: check_man_pages.sh MAN_DIR PLIMSY_SENSORS PLIMSY_CLI
#   MAN_DIR holds plimsy_sensors.1 and plimsy-cli.1 (or .1.gz); the others
#   are the programs
set -euo pipefail
man_dir=$1
app=$2
cli=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

page_text() {  # the page's source with roff's escaped hyphens made plain
  local f="$man_dir/$1.1"
  if [ -f "$f.gz" ]; then zcat "$f.gz"; else cat "$f"; fi | sed 's/\\-/-/g'
}
# Read once into variables: grep -q on a pipe would end the pipe early and
# pipefail would count that as a failure.
declare -A terms sections
for page in plimsy_sensors plimsy-cli; do
  # the terms of the page's lists: each line after a .TP
  terms[$page]=$(page_text "$page" | awk 'term { print; term = 0 } /^\.TP/ { term = 1 }')
  sections[$page]=$(page_text "$page" | grep -E '^\.SS' || true)
done

options_of() { grep -oE -- '(^|[^[:alnum:]-])--?[a-z][a-z-]*' | grep -oE -- '--?[a-z][a-z-]*$' | sort -u; }

check_options() {  # page, label; the program's help text on stdin
  local page=$1 label=$2 help option
  help=$(cat)
  [ -n "$help" ] || { fail "$label printed no help"; return; }
  while read -r option; do
    [ -n "$option" ] || continue
    if ! grep -qE -- "(^|[ \"])${option}([ \",]|\$)" <<<"${terms[$page]}"; then
      fail "$label: option $option is not described in $page(1)"
    fi
  done < <(options_of <<<"$help")
}

# Not a pipe into check_options: it must run in this shell to count failures.
check_options plimsy_sensors "plimsy_sensors --help" < <("$app" --help)

cli_help=$("$cli" --help)
commands=$(sed -n '/^commands:/,/^[^ ]/p' <<<"$cli_help" | grep -oE '^  [a-z]+' | tr -d ' ')
[ -n "$commands" ] || fail "plimsy-cli --help lists no commands"
for command in $commands; do
  if ! grep -qE "^\.SS +\"?${command}\"?$" <<<"${sections[plimsy-cli]}"; then
    fail "plimsy-cli command $command has no section in plimsy-cli(1)"
  fi
  check_options plimsy-cli "plimsy-cli $command --help" < <("$cli" "$command" --help)
done

for page in plimsy_sensors plimsy-cli; do
  f="$man_dir/$page.1"
  [ -f "$f" ] || f="$f.gz"
  # man -l renders through groff; --warnings makes it report what it had to
  # guess or could not place, the same check lintian makes.
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$f" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$page(1) renders with warnings: $warnings"
done

if [ "$failures" -gt 0 ]; then
  echo "man pages: $failures problem(s)" >&2
  exit 1
fi
echo "man pages: every option and command described, no rendering warnings"
