#!/usr/bin/env bash
# The manual pages as man shows them: each renders without a warning, has
# the sections a page is expected to have, names the version the programs
# report, documents every option each program's help lists, and lists every
# exit status the program gives for a usage error or a failure.
# usage: man_pages_test.sh PAGES_DIR QAVREL QAVREL_CAMPAIGN QAVREL_GEN [EMULATOR...]
set -u
pages=$(realpath "$1")
qavrel=("${@:5}" "$(realpath "$2")")
campaign=("${@:5}" "$(realpath "$3")")
gen=("${@:5}" "$(realpath "$4")")
here=$(realpath "$(dirname "$0")")
# shellcheck source=../support/checks.sh
source "$here/../support/checks.sh"

command -v groff >/dev/null || {
  skip 1 "no groff (Debian: groff-base), so the manual pages are not checked"
  finish
}

# rendered PROGRAM: its page as plain text, a line per paragraph.
rendered() { cat "$1.txt"; }
# section PROGRAM TITLE: the lines of one section of its page.
section() { rendered "$1" | sed -n "/^$2\$/,/^[A-Z]/{/^[A-Z]/!p}"; }
# documents PROGRAM OPTION: whether the OPTIONS section has OPTION as an item.
documents() { section "$1" OPTIONS | grep -q -E -- "^ {7}(-[a-z], )?$2( |,|$)"; }
# lists_status PROGRAM STATUS: whether EXIT STATUS has STATUS as an item.
lists_status() { section "$1" 'EXIT STATUS' | grep -q -E "^ {7}$2( |$)"; }
# status_of COMMAND...: the exit status of COMMAND, its output dropped.
status_of() {
  "$@" >/dev/null 2>&1
  echo $?
}

version=$("${campaign[@]}" --version)
for program in qavrel.exe qavrel-campaign qavrel-gen; do
  groff -man -Tascii -P-cbou -rLL=400n "$pages/$program.1" >"$program.txt" 2>/dev/null
  warnings=$(groff -man -ww -z "$pages/$program.1" 2>&1)
  expect "$program: groff's warnings" "$warnings" ""
  headings=$(rendered "$program" | grep -E '^[A-Z]' | sed 1d | paste -sd,)
  expect "$program: sections" "$headings" "NAME,SYNOPSIS,DESCRIPTION,OPTIONS,EXIT STATUS,FILES,EXAMPLES,SEE ALSO"
  expect "$program: the name line" "$(section "$program" NAME | grep -c "^ *$program - ")" 1
  expect "$program: version" "$(rendered "$program" | tail -n 1 | grep -c -F "qavrel $version ")" 1
done

# Every option the help lists, as an item of its own.
while read -r option; do
  documents qavrel-campaign "$option" || fail "qavrel-campaign's page leaves out $option"
  checks=$((checks + 1))
done < <("${campaign[@]}" --help | grep -o -E -- '--[a-z][a-z-]+' | sort -u)
while read -r option; do
  documents qavrel-gen "$option" || fail "qavrel-gen's page leaves out $option"
  checks=$((checks + 1))
done < <("${gen[@]}" --help 2>&1 | grep -o -E -- '--[a-z][a-z-]+' | sort -u)
for argument in chip_string config adcfilename; do
  documents qavrel.exe "$argument" || fail "qavrel.exe's page leaves out $argument"
  checks=$((checks + 1))
done

# The statuses the programs give, each among those their page lists.
"${gen[@]}" --campaign tree --trains 2
statuses=(
  "qavrel.exe $(status_of "${qavrel[@]}")"
  "qavrel.exe $(status_of "${qavrel[@]}" 1 cal-odd ./missing_adc.txt)"
  "qavrel.exe $(status_of "${qavrel[@]}" 1 cal-odd "$(echo tree/*/*100001/*odd_adc.txt)")"
  "qavrel-campaign $(status_of "${campaign[@]}" --no-such-option)"
  "qavrel-campaign $(status_of "${campaign[@]}" -o out missing)"
  "qavrel-campaign $(status_of "${campaign[@]}" -o out tree)"
  "qavrel-gen $(status_of "${gen[@]}" --no-such-option 1)"
  "qavrel-gen $(status_of "${gen[@]}" --campaign /dev/null/tree)"
  "qavrel-gen $(status_of "${gen[@]}" --trains 1)"
)
for pair in "${statuses[@]}"; do
  read -r program status <<<"$pair"
  lists_status "$program" "$status" || fail "$program's page does not list status $status"
  checks=$((checks + 1))
done
expect "statuses seen" "$(printf '%s\n' "${statuses[@]}" | sort -u | paste -sd,)" \
  "qavrel-campaign 0,qavrel-campaign 1,qavrel-campaign 2,qavrel-gen 0,qavrel-gen 1,qavrel-gen 2,qavrel.exe 0,qavrel.exe 1,qavrel.exe 255"
finish
