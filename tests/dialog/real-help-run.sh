#!/usr/bin/env bash
# F1 with Wine's own HTML Help viewer and the real orbenix.chm: runs the
# RealHelpViewer test in the dialog tests' prefix with the viewer's trace on,
# then reads back what the viewer did: it was asked for context 10 of
# orbenix.chm beside the DLL, resolved it to /settings.htm, navigated there,
# and that topic is the settings-dialog page.
# usage: real-help-run.sh STATE_DIR PREFIX WINE_RUN PROGRAM CHM
set -uo pipefail
state=${1:?usage: real-help-run.sh STATE_DIR PREFIX WINE_RUN PROGRAM CHM}
prefix=${2:?prefix}
wine_run=${3:?wine launcher}
program=${4:?program}
chm=${5:?chm}
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

log=$(mktemp)
trap 'rm -f "$log" "$log.topic"' EXIT
ORBENIX_HELP_VIEWER=builtin ORBENIX_REAL_HELP=1 WINEDEBUG=-all,+htmlhelp \
  timeout 240 bash "$here/gui-wine-run.sh" "$state" "$prefix" "$wine_run" "$program" --gtest_filter='RealHelpViewer.*' \
  >"$log" 2>&1
status=$?
tr -d '\r' <"$log" | grep -a -E '^\[|HtmlHelpW|FindContextAlias|navigate_url|Title is' | grep -a -v '^\[ *RUN\|^\[-'
[ "$status" -eq 0 ] || fail "the test program exited with $status"
grep -a -q '\[  PASSED  \] 1 test\.' "$log" || fail "RealHelpViewer did not pass"
grep -a -q '\[  SKIPPED \]' "$log" && fail "RealHelpViewer was skipped"
grep -a -q -i 'HtmlHelpW (.*orbenix\.chm", command=HH_HELP_CONTEXT, data=a)' "$log" ||
  fail "the viewer was not asked for context 10 of orbenix.chm"
grep -a -q 'FindContextAlias returning "/settings.htm"' "$log" || fail "context 10 did not resolve to /settings.htm"
grep -a -q -i 'navigate_url L"mk:@MSITStore:.*orbenix\.chm::/settings\.htm"' "$log" ||
  fail "the viewer did not navigate to orbenix.chm::/settings.htm"
# The topic the viewer shows, read from the same file.
chmls extract "$chm" /settings.htm "$log.topic" >/dev/null 2>&1
grep -q '<title>orbenix: the settings dialog</title>' "$log.topic" || fail "/settings.htm is not the settings-dialog topic"
echo "DONE failures=$failures"
[ "$failures" -eq 0 ]
