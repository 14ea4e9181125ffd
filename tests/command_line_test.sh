#!/bin/sh
# --version and --help print one line each and exit 0, with no display;
# any other argument is a usage error with a non-zero status.
set -u
program="$1"
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
fail=0
bad() { echo "FAIL: $*"; fail=1; }

out=$("$program" --version) || bad "--version exits $?"
[ "$out" = "Bopatron 1.00" ] || bad "--version prints '$out'"
out=$("$program" --help) || bad "--help exits $?"
[ "$(printf '%s\n' "$out" | wc -l)" = 1 ] || bad "--help prints more than one line"
case "$out" in Usage:*) ;; *) bad "--help prints '$out'" ;; esac
for args in "--bogus" "file.txt" "--version extra"; do
    # shellcheck disable=SC2086
    err=$("$program" $args 2>&1 >/dev/null)
    status=$?
    [ $status -ne 0 ] || bad "'$args' exits 0"
    case "$err" in *"unexpected argument"*) ;; *) bad "'$args' says '$err'" ;; esac
done
err=$("$program" --version extra 2>&1 >/dev/null) || true
case "$err" in *"'extra'"*) ;; *) bad "'--version extra' names the wrong argument: '$err'" ;; esac
[ $fail = 0 ] && echo "PASS"
exit $fail
