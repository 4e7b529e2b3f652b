#!/usr/bin/env python3
"""A sample of hand-made faults, each of which the test suite should catch.

Every fault replaces one exact source snippet (an off-by-one, a wrong
constant, an inverted condition, a dropped statement), builds only the test
programs named by the fault's ctest regex, runs those tests and puts the file
back. A fault is caught when a test fails or the build fails, missed when the
tests all pass, and "not applicable" when its snippet is no longer in the file
(the code moved; update the snippet).

    python3 tools/mutation_sample.py              # every fault
    python3 tools/mutation_sample.py --only NAME ...
    python3 tools/mutation_sample.py --list       # names, files, regexes

Run from a configured tree (tools/setup.sh has been sourced once). Builds and
tests run under `nice -n 15`. Exit status 1 if any applicable fault is missed,
2 if a changed source is not back as committed. Only committed sources are
changed: the run refuses to start while one of them has uncommitted edits.
"""

import argparse
import json
import os
import pathlib
import re
import signal
import subprocess
import sys
import time
from dataclasses import dataclass

ROOT = pathlib.Path(__file__).resolve().parent.parent
BUILD = pathlib.Path(os.environ.get("ZEL_BUILD", ROOT / "build"))
TEST_SECONDS = 900  # for the whole ctest run of one fault


@dataclass
class Fault:
    name: str
    path: str  # relative to the project root
    snippet: str  # exact text, found once in the file
    replacement: str
    tests: str  # ctest regex of the suites that should catch it


FAULTS = [
    # --- link: framing, checksum, hex reading, frame collection ---
    Fault("checksum-modulo-128", "src/link/Frame.cpp",
          "sum = (sum + static_cast<unsigned char>(c)) & 255;",
          "sum = (sum + static_cast<unsigned char>(c)) & 127;",
          "^test_frame$"),
    Fault("hex-digit-f-lower-case-refused", "src/link/HexText.cpp",
          "if (c >= 'a' && c <= 'f') {",
          "if (c >= 'a' && c < 'f') {",
          "^(test_frame|test_reply_receiver)$"),
    Fault("field-zero-based", "src/link/HexText.cpp",
          "const qsizetype start = position - 1;",
          "const qsizetype start = position;",
          "^test_frame$"),
    Fault("receiver-refuses-command-line", "src/link/ReplyReceiver.cpp",
          "if (b != kLf && b != 'T' && b != '+') {",
          "if (b != kLf && b != '+') {",
          "^test_reply_receiver$"),
    Fault("receiver-long-budgets-swapped", "src/link/ReplyReceiver.cpp",
          "b == '@' ? kLongestBudgetMs : b == 'L' ? kLongBudgetMs",
          "b == '@' ? kLongBudgetMs : b == 'L' ? kLongestBudgetMs",
          "^test_reply_receiver$"),
    Fault("receiver-ignores-damaged-low-digit", "src/link/ReplyReceiver.cpp",
          "high >= 0 && low >= 0 && high * 16 + low == RunningSum",
          "high >= 0 && high * 16 + low == RunningSum",
          "^test_reply_receiver$"),
    Fault("receiver-buffer-one-too-long", "src/link/ReplyReceiver.cpp",
          "if (FramePos >= Size) {",
          "if (FramePos > Size) {",
          "^test_reply_receiver$"),
    Fault("escape-keeps-no-end", "src/link/ReplyReceiver.cpp",
          "EndLf = 2;\n        accepted = true;",
          "accepted = true;",
          "^(test_reply_receiver|test_receive)$"),
    Fault("frame-cap-single-wire-time", "src/link/FrameCollector.cpp",
          "return 2.0 * WireTimeMs(bytes) + budgetMs + kPauseAllowanceMs;",
          "return WireTimeMs(bytes) + budgetMs + kPauseAllowanceMs;",
          "^test_reply_receiver$"),
    Fault("collector-discards-next-frame", "src/link/FrameCollector.cpp",
          "if (carried == 0) {\n        source.DiscardWaiting();\n    }",
          "source.DiscardWaiting();",
          "^test_reply_receiver$"),
    # --- decode: scan parsing, unit records, thermistor ---
    Fault("qd-lines-reversed", "src/decode/ScanParse.cpp",
          "static_cast<int16_t>((v >> line) & 1);",
          "static_cast<int16_t>((v >> (3 - line)) & 1);",
          "^test_scan_parse$"),
    Fault("record-byte-high-digit-last", "src/decode/ScanParse.cpp",
          "{2 * c + 2, 2 * c + 1}",
          "{2 * c + 1, 2 * c + 2}",
          "^test_scan_parse$"),
    Fault("line-digit-four-accepted", "src/decode/ScanParse.cpp",
          "return line < kLines ? line : -1;",
          "return line <= kLines ? line : -1;",
          "^(test_scan_parse|test_scan_replies)$"),
    Fault("voltage-truncated", "src/decode/UnitRecord.cpp",
          "return RoundHalfEven(raw * 1.25);",
          "return static_cast<int32_t>(raw * 1.25);",
          "^test_unit_record$"),
    Fault("counter-bytes-one-late", "src/decode/UnitRecord.cpp",
          "return Count24(st, 3 * k - 1);",
          "return Count24(st, 3 * k);",
          "^test_unit_record$"),
    Fault("water-meter-fault-from-14", "src/decode/UnitRecord.cpp",
          "if (status >= 13) {",
          "if (status > 13) {",
          "^test_unit_record$"),
    Fault("humidity-offset-sign", "src/decode/UnitRecord.cpp",
          "(0.0405 * b - 4)",
          "(0.0405 * b + 4)",
          "^test_unit_record$"),
    Fault("128-bit-scan-no-channels", "src/decode/UnitRecord.cpp",
          "case 127:\n    case 255:",
          "case 255:",
          "^(test_unit_record|test_scan_replies)$"),
    Fault("thermistor-midpoint-to-colder", "src/decode/Thermistor.cpp",
          "if (middle <= reading && reading <= upper) {",
          "if (middle < reading && reading <= upper) {",
          "^test_thermistor$"),
    # --- dispatch ---
    Fault("modem-answer-ok-for-4", "src/dispatch/Dispatcher.cpp",
          'SendModemLine("4");',
          'SendModemLine("OK");',
          "^test_dispatcher$"),
    Fault("counter-middle-byte-weight", "src/decode/ReplyRead.cpp",
          "FieldHex(s, 7, 2) * 256",
          "FieldHex(s, 7, 2) * 16",
          "^(test_reply_read|test_dispatcher|test_scan_replies)$"),
    Fault("qb-shows-digits-not-bits", "src/dispatch/ScanReplies.cpp",
          "Label2(2)->SetCaption(QString::number(4 * d));",
          "Label2(2)->SetCaption(QString::number(d));",
          "^test_scan_replies$"),
    Fault("checksum-error-lamp-blue", "src/link/Receive.cpp",
          "case ReplyReceiver::Result::ChecksumError:\n        Label23->SetBackColor(Colors::kRed);",
          "case ReplyReceiver::Result::ChecksumError:\n        Label23->SetBackColor(Colors::kLightBlue);",
          "^test_receive$"),
    # --- unit control: connection, polling, waits ---
    Fault("lup-sequence-without-qjd", "src/unit/Connection.cpp",
          '{false, "QJD"}, {false, "QND"}',
          '{false, "QND"}',
          "^test_connection$"),
    Fault("restart-waits-a-tick-longer", "src/unit/Connection.cpp",
          "State.ConnectTicks > 3 ||",
          "State.ConnectTicks > 4 ||",
          "^test_connection$"),
    Fault("record-index-skips-last-unit", "src/unit/Polling.cpp",
          "if (State.RecordIndex > State.ScanMax) {",
          "if (State.RecordIndex >= State.ScanMax) {",
          "^test_polling$"),
    Fault("wait-ignores-closing", "src/unit/WaitAndLamps.cpp",
          "now < deadlineNs && !Closing() && !done();",
          "now < deadlineNs && !done();",
          "^(test_wait_and_tick|test_startup_shutdown)$"),
    # --- checks: patterns and the unit check's judgement ---
    Fault("bit-reversal-one-bit-short", "src/checks/Patterns.cpp",
          "for (int i = 0; i < 8; ++i) {\n        // The top bit",
          "for (int i = 0; i < 7; ++i) {\n        // The top bit",
          "^test_patterns$"),
    Fault("pattern1-second-half-mirrored", "src/checks/Patterns.cpp",
          "bytes[17 + 2 * i] = bitWeights[i];",
          "bytes[17 + 2 * i] = bitWeights[7 - i];",
          "^test_patterns$"),
    Fault("compare-bits-high-first", "src/checks/UnitCheckReport.cpp",
          "(byte >> (cell % 8)) & 1",
          "(byte >> (7 - cell % 8)) & 1",
          "^test_unit_check_report$"),
    Fault("counter-wraps-at-16-bits", "src/checks/UnitCheckReport.cpp",
          "constexpr uint32_t kCounterMask = 0xFFFFFF;",
          "constexpr uint32_t kCounterMask = 0xFFFF;",
          "^test_unit_check_report$"),
    Fault("silent-unit-judged-as-steps", "src/checks/UnitCheckReport.cpp",
          "if (!PortOpened || !UnitAnswered) {",
          "if (!PortOpened) {",
          "^test_unit_check_report$"),
    Fault("refusal-keeps-the-last", "src/checks/UnitCheckReport.cpp",
          "if (CurrentRefusal.isEmpty()) {\n        CurrentRefusal = verdict;\n    }",
          "CurrentRefusal = verdict;",
          "^test_unit_check_report$"),
    Fault("unit-check-skips-line-comparison", "src/checks/UnitCheck.cpp",
          "differences = CompareLines(written, reply.Bits, reply.BitLast);",
          "differences.clear();",
          "^test_unit_check_verdicts$"),
    Fault("unit-check-takes-counter-refusal-as-reading", "src/checks/UnitCheck.cpp",
          "if (!text.startsWith(\"QG\")) {",
          "if (false) {",
          "^test_unit_check_verdicts$"),
    # --- the checker's program and the bench around it ---
    Fault("lost-trace-not-told-to-the-check", "app/main.cpp",
          "check->OutputFailed(reason);",
          "(void)reason;",
          "^test_real_checks$"),
    Fault("bench-misses-the-steps-begun", "src/production/CheckRunner.cpp",
          "(\" note check step (.+) begins$\")",
          "(\" note check step (.+) began$\")",
          "^test_real_checks$"),
]


def run(cmd, **kwargs):
    return subprocess.run(cmd, cwd=ROOT, text=True, capture_output=True, **kwargs)


def targets_for(regex):
    """The programs the tests matching regex run: their executables' names."""
    listing = run(["ctest", "--test-dir", str(BUILD), "-R", regex, "--show-only=json-v1"])
    tests = json.loads(listing.stdout or "{}").get("tests", [])
    targets = []
    for test in tests:
        # ctest leaves the command out while the program is not built yet; the
        # program is then the test's name without its variant suffix.
        command = test.get("command") or [re.sub(r"_(noglib|logged|144dpi|postgresql)$", "",
                                                 str(BUILD / test["name"]))]
        for arg in command:
            path = pathlib.Path(arg)
            if path.is_absolute() and BUILD in path.parents and path.name not in targets:
                targets.append(path.name)
    return [t["name"] for t in tests], targets


def build(targets):
    env = dict(os.environ, CCACHE_BASEDIR=str(ROOT), CCACHE_NOHASHDIR="1",
               ZEL_TARGETS=" ".join(targets))
    result = run(["nice", "-n", "15", "bash", "-c", "source tools/setup.sh"], env=env)
    return result.returncode == 0, result.stdout + result.stderr


def run_tests(regex, stop=True):
    """The names of the tests matching regex that failed (none: all passed)."""
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    command = ["nice", "-n", "15", "ctest", "--test-dir", str(BUILD), "-R", regex]
    try:
        result = run(command + (["--stop-on-failure"] if stop else []), env=env,
                     timeout=TEST_SECONDS)
    except subprocess.TimeoutExpired:
        return ["(timed out)"]
    failed = re.findall(r"^\s*\d+ - (\S+) \(", result.stdout, re.MULTILINE)
    if result.returncode != 0 and not failed:
        failed = ["(ctest failed)"]
    return failed


def try_fault(fault):
    """Returns (outcome, detail); the file is always put back."""
    path = ROOT / fault.path
    original = path.read_text(encoding="utf-8")
    count = original.count(fault.snippet)
    if count == 0:
        return "not applicable", "snippet not found"
    if count > 1:
        return "not applicable", f"snippet found {count} times"
    test_names, targets = targets_for(fault.tests)
    if not test_names:
        return "not applicable", f"no test matches {fault.tests}"
    try:
        path.write_text(original.replace(fault.snippet, fault.replacement), encoding="utf-8")
        built, log = build(targets)
        if not built:
            errors = [line for line in log.splitlines() if "error" in line]
            return "caught", "build failed: " + (errors[0].strip()[:80] if errors else "?")
        failed = run_tests(fault.tests)
        if failed:
            return "caught", "by " + ", ".join(failed)
        return "MISSED", "passed: " + ", ".join(test_names)
    finally:
        path.write_text(original, encoding="utf-8")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--only", nargs="+", metavar="NAME", help="run only these faults")
    parser.add_argument("--list", action="store_true", help="list the faults and stop")
    args = parser.parse_args()
    # A stopped run still puts the changed file back (the finally in try_fault).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))

    names = [f.name for f in FAULTS]
    if len(set(names)) != len(names):
        sys.exit("two faults share a name")
    chosen = FAULTS
    if args.only:
        unknown = set(args.only) - set(names)
        if unknown:
            sys.exit("unknown fault: " + ", ".join(sorted(unknown)))
        chosen = [f for f in FAULTS if f.name in args.only]
    if args.list:
        for f in chosen:
            print(f"{f.name:36} {f.path:34} {f.tests}")
        return 0
    # The faults are applied to committed sources only, so that putting a
    # file back can be checked against git.
    files = sorted({f.path for f in chosen})
    if run(["git", "diff", "--quiet", "--"] + files).returncode != 0:
        sys.exit("a source the faults change has uncommitted changes; commit or stash them")

    # A suite that fails without any fault would count every fault as caught.
    # (ctest's regular expressions allow few groups: the union names the tests.)
    names = sorted({name for f in chosen for name in targets_for(f.tests)[0]})
    union = "^(" + "|".join(re.escape(name) for name in names) + ")$"
    _, targets = targets_for(union)
    built, log = build(targets)
    if not built:
        sys.exit("the unchanged sources do not build:\n" + log[-2000:])
    failing = run_tests(union, stop=False)
    if failing:
        sys.exit("these suites fail without any fault: " + ", ".join(failing))

    tally = {}
    for f in chosen:
        started = time.monotonic()
        outcome, detail = try_fault(f)
        tally[outcome] = tally.get(outcome, 0) + 1
        print(f"{outcome:14} {f.name:36} {f.path:34} {detail}"
              f" [{time.monotonic() - started:.0f} s]", flush=True)
    print("tally: " + ", ".join(f"{n} {o}" for o, n in sorted(tally.items())))
    if run(["git", "diff", "--quiet", "--"] + files).returncode != 0:
        print("a changed source was not put back", file=sys.stderr)
        return 2
    # The suites were last built with a fault in them: build them again from
    # the sources as they are, so the tree's test programs are sound.
    rebuilt, log = build(targets)
    if not rebuilt:
        print("the restored sources do not build:\n" + log[-2000:], file=sys.stderr)
        return 2
    return 1 if tally.get("MISSED") else 0


if __name__ == "__main__":
    sys.exit(main())
