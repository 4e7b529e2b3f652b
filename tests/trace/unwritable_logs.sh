#!/bin/sh
# The checker refuses to start, before any window, when its trace or record
# file cannot be written: a message naming the option and exit code 1.
checker="$1"
fail=0
for option in --trace=/nonexistent-dir/t.log "--record /nonexistent-dir/r.csv"; do
    # shellcheck disable=SC2086
    err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$checker" --simulate $option 2>&1 >/dev/null)
    code=$?
    name=${option%%[= ]*}
    case "$err" in
    "zel_checker: $name: cannot write /nonexistent-dir/"*) ;;
    *) echo "$option: unexpected message: $err"; fail=1 ;;
    esac
    [ "$code" -eq 1 ] || { echo "$option: exit code $code, expected 1"; fail=1; }
done
exit $fail
