#!/bin/sh
# The checker refuses to start, before any window, when a trace, record or
# report file cannot be written (exit status 74), or when its command line is
# wrong (64), with a message that names the option. "--trace FILE" and
# "--simulate FAMILY" take the next word as their value unless it is another
# option.
checker="$1"
fail=0
check() { # expected status, expected start of the message, arguments...
    status="$1"
    message="$2"
    shift 2
    err=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$checker" "$@" 2>&1 >/dev/null)
    code=$?
    case "$err" in
    "$message"*) ;;
    *) echo "$*: unexpected message: $err"; fail=1 ;;
    esac
    [ "$code" -eq "$status" ] || { echo "$*: exit status $code, expected $status"; fail=1; }
}
check 74 "zel_checker: --trace: cannot write /nonexistent-dir/" --simulate --trace=/nonexistent-dir/t.log
check 74 "zel_checker: --trace: cannot write /nonexistent-dir/" --simulate --trace /nonexistent-dir/t.log
check 74 "zel_checker: --record: cannot write /nonexistent-dir/" --simulate --record /nonexistent-dir/r.csv
check 74 "zel_checker: --record: cannot write /dev/full: " --simulate --record /dev/full
check 74 "zel_checker: --report: cannot write /nonexistent-dir/" --simulate --check-unit --report /nonexistent-dir/r.json
# A bare --trace before another option still means standard error.
check 74 "zel_checker: --record: cannot write /nonexistent-dir/" --trace --record /nonexistent-dir/r.csv
check 74 "zel_checker: --record: cannot write /nonexistent-dir/" --simulate --record /nonexistent-dir/r.csv --trace
check 64 "zel_checker: --simulate: expected LUP, RAV or ZEL, got \"LUX\"" --simulate LUX
check 64 "zel_checker: Unknown option 'no-such-option'." --no-such-option
check 64 "zel_checker: Missing value after '--report'." --check-unit --report
check 64 "zel_checker: --expect-rom needs --check-unit" --simulate --expect-rom LUPTAB13
check 64 "zel_checker: --expect-bits: expected 32, 64, 128 or 256, got \"100\"" --check-unit --expect-bits 100
check 64 "zel_checker: --wait-for-unit: expected seconds from 0 to 86400, got \"-1\"" --check-unit --wait-for-unit=-1
check 64 "zel_checker: --sim-fault needs --simulate" --sim-fault no-counter
exit $fail
