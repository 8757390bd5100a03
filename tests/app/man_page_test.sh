#!/bin/bash
# The man page against the program: rendered without a warning, and its OPTIONS list the
# same option names and arguments as `bandscope --help`.
# Usage: man_page_test.sh BANDSCOPE MANPAGE
set -euo pipefail
program=$1 page=$2

warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
if [[ -n $warnings ]]; then
  echo "man reports on $page:"; echo "$warnings"; exit 1
fi

# One "name [ARG]" a line, sorted. From the help: its name column, cut at the first gap of
# two spaces, "<N>" made "N".
fromHelp=$("$program" --help | sed -n '/^Options:/,/^$/p' | grep -E '^  -' |
  sed -E 's/^  //; s/  .*//; s/<([^>]*)>/\1/g; s/, /\n/g' | sort)
# From the page: the tag line after each .TP of OPTIONS that names an option.
fromPage=$(sed -n '/^\.SH OPTIONS/,/^\.SH /p' "$page" | grep -A1 '^\.TP' | grep -E '^\\fB\\-' |
  sed -E 's/\\f[BIRP]//g; s/\\-/-/g; s/, /\n/g' | sort)

if [[ -z $fromHelp || $fromHelp != "$fromPage" ]]; then
  echo "the options of --help and of $page differ (< --help, > man page):"
  diff <(echo "$fromHelp") <(echo "$fromPage") || true
  exit 1
fi
echo "$(wc -l <<<"$fromHelp") options agree"
