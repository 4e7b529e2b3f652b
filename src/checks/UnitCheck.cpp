#include "checks/UnitCheck.h"

#include "core/Form1.h"
#include "decode/ScanParse.h"
#include "link/HexText.h"
#include "trace/OutputFile.h"

#include <QDateTime>

#include <cstdio>

namespace {

using Result = ReplyReceiver::Result;

// The code and arguments of a command or reply frame: what stands between
// the leading CR LF and the next CR.
QByteArrayView FrameText(QByteArrayView bytes) {
    if (!bytes.startsWith("\r\n")) {
        return {};
    }
    const QByteArrayView rest = bytes.sliced(2);
    const qsizetype cr = rest.indexOf('\r');
    return cr < 0 ? rest : rest.first(cr);
}

// A bit scan reply the dispatcher takes into the grid: "QB", the line digit
// and 8, 16, 32 or 64 digits, or "QD" and 32, 64, 128 or 256 cells. Others
// leave the bits as they were and prove nothing.
bool IsWholeScan(QByteArrayView text) {
    if (text.startsWith("QB")) {
        const qsizetype digits = text.size() - 3;
        return digits == 8 || digits == 16 || digits == 32 || digits == 64;
    }
    if (text.startsWith("QD")) {
        const qsizetype cells = text.size() - 2;
        return cells == 32 || cells == 64 || cells == 128 || cells == 256;
    }
    return false;
}

bool IsBitScanPoll(QByteArrayView text) {
    return text.startsWith("QB") || text == "QA";
}

// The reply refuses the command whose code follows its "Q?" or "Q!".
bool Refuses(QByteArrayView reply, QByteArrayView code) {
    return (reply.startsWith("Q?") || reply.startsWith("Q!")) &&
           (reply.sliced(2).startsWith(code) || reply.sliced(2).startsWith(code.sliced(1)));
}

// The line as the Line select buttons name it: line 0 is "Line1".
QString LineName(int line) {
    return QStringLiteral("Line%1").arg(line + 1);
}

QString Milliseconds(int ms) {
    return QStringLiteral("%1 ms").arg(ms);
}

// Why the port did not open, in the words a bench script looks for.
QString PortFailureText(const SerialControl& serial) {
    switch (serial.LastFailure()) {
    case SerialControl::OpenFailure::NotFound:
        return QStringLiteral("does not exist");
    case SerialControl::OpenFailure::InUse:
        return QStringLiteral("in use");
    case SerialControl::OpenFailure::NoPermission:
        return QStringLiteral("no permission");
    case SerialControl::OpenFailure::Other:
    case SerialControl::OpenFailure::None:
        break;
    }
    return serial.LastError().isEmpty() ? QStringLiteral("unknown cause") : serial.LastError();
}

// A failed output is the check's last step, so that every form of the verdict
// (summary, report, box) names it.
void AddOutputStep(CheckReport& report) {
    if (!report.OutputFailure.isEmpty()) {
        report.Steps.append(
            {QStringLiteral("Output files"), StepResult::Fail, report.OutputFailure, 0, {}});
    }
}

} // namespace

UnitCheck::UnitCheck(Form1& form, QString checker, OutputFile* reportFile, UnitCheckOptions options)
    : Form(form), ReportFile(reportFile), Options(std::move(options)) {
    Result.Checker = std::move(checker);
    connect(&Form, &Form1::FrameSent, this, &UnitCheck::OnSent);
    connect(&Form, &Form1::FrameHandled, this, &UnitCheck::OnHandled);
}

void UnitCheck::OnSent(const QByteArray& bytes) {
    Seen seen;
    seen.Wall = QDateTime::currentDateTime();
    seen.Bytes = bytes;
    Log.push_back(std::move(seen));
}

void UnitCheck::OnHandled(const QByteArray& bytes, const FrameOutcome& outcome) {
    Seen seen;
    seen.Wall = QDateTime::currentDateTime();
    seen.FromUnit = true;
    seen.Bytes = bytes;
    seen.Outcome = outcome;
    const QByteArrayView text = FrameText(bytes);
    if (outcome.Result == Result::Accepted) {
        const CheckerState& state = Form.State;
        // A "QB" reply names its line; a "QD" reply carries all four.
        const bool otherLine = text.startsWith("QB") && ScanReplyLine(bytes) != Line;
        if (IsWholeScan(text) && !otherLine) {
            seen.ScanReply = true;
            std::copy_n(state.ScanBits.begin() + 256 * Line, 256, seen.Bits.begin());
            seen.BitLast = state.ScanBitLast;
        }
        seen.Counter = state.CounterValue;
    }
    Log.push_back(std::move(seen));
}

qsizetype UnitCheck::WaitFor(qsizetype from, int maxMs,
                             const std::function<bool(const Seen&)>& match) {
    qsizetype found = -1;
    qsizetype next = from;
    Form.WaitUntil(
        [&] {
            for (; next < static_cast<qsizetype>(Log.size()); ++next) {
                if (match(Log[static_cast<std::size_t>(next)])) {
                    found = next;
                    return true;
                }
            }
            return false;
        },
        maxMs);
    return found;
}

qsizetype UnitCheck::Click(StepReport& step, const std::function<void()>& click,
                           QByteArrayView prefix) {
    const qsizetype begin = static_cast<qsizetype>(Log.size());
    click();
    for (qsizetype i = begin; i < static_cast<qsizetype>(Log.size()); ++i) {
        const Seen& seen = Log[static_cast<std::size_t>(i)];
        if (!seen.FromUnit && FrameText(seen.Bytes).startsWith(prefix)) {
            Judge(step, i);
            return i;
        }
    }
    step.Reason = QStringLiteral("\"%1\" did not go out").arg(QString::fromLatin1(prefix));
    return -1;
}

qsizetype UnitCheck::WaitForScan(qsizetype from, int maxMs, bool* polled) {
    return WaitFor(from, maxMs, [polled](const Seen& seen) {
        if (!seen.FromUnit) {
            *polled = *polled || IsBitScanPoll(FrameText(seen.Bytes));
            return false;
        }
        return *polled && seen.ScanReply;
    });
}

void UnitCheck::Judge(StepReport& step, qsizetype i) const {
    const Seen& seen = Log[static_cast<std::size_t>(i)];
    JudgedFrame frame;
    frame.Wall = seen.Wall;
    frame.Direction = seen.FromUnit ? LineDirection::FromUnit : LineDirection::ToUnit;
    frame.Bytes = seen.Bytes;
    if (seen.FromUnit) {
        frame.Verdict = ReceiveVerdict(seen.Outcome, CheckerState::kReceiveBufferSize);
    }
    step.Frames.append(frame);
}

void UnitCheck::JudgeChecksums(StepReport& step, qsizetype from) const {
    int errors = 0;
    QString first;
    for (qsizetype i = from; i < static_cast<qsizetype>(Log.size()); ++i) {
        const Seen& seen = Log[static_cast<std::size_t>(i)];
        if (seen.FromUnit && seen.Outcome.Result == Result::ChecksumError) {
            if (errors++ == 0) {
                first = ReceiveVerdict(seen.Outcome, CheckerState::kReceiveBufferSize);
            }
            Judge(step, i);
        }
    }
    if (errors == 0) {
        return;
    }
    step.Result = StepResult::Fail;
    if (errors == 1 && step.Reason.contains(first)) {
        return; // already named, as the answer of a record
    }
    const QString reason = errors == 1 ? first
                                       : QStringLiteral("%1 replies with a checksum error, the "
                                                        "first: %2")
                                             .arg(errors)
                                             .arg(first);
    step.Reason = step.Reason.isEmpty() ? reason : step.Reason + QStringLiteral("; ") + reason;
}

bool UnitCheck::Connect() {
    StepReport step{QStringLiteral("Connect"), StepResult::Fail, {}, 0, {}};
    QElapsedTimer stepClock;
    stepClock.start();
    CheckerState& state = Form.State;
    Form.WaitUntil([&] { return state.VersionReplied == 1; }, kConnectWaitMs);
    if (state.VersionReplied == 0 && !Form.Closing()) {
        Form.Command3_Click(0); // Restart
    }
    if (state.VersionReplied == 1) {
        Form.WaitUntil([&] { return state.Connected == 1; }, kSequenceWaitMs);
        Result.UnitAnswered = true;
        Result.Rom = Form.Label2(1)->Caption().simplified();
        step.Result = StepResult::Pass;
        step.Reason = QStringLiteral("ROM %1").arg(Result.Rom);
        for (qsizetype i = 0; i < static_cast<qsizetype>(Log.size()); ++i) {
            const Seen& seen = Log[static_cast<std::size_t>(i)];
            if (seen.FromUnit && seen.Outcome.Result == Result::Accepted &&
                FrameText(seen.Bytes).startsWith("QV")) {
                Judge(step, i);
            }
        }
    } else {
        step.Reason = QStringLiteral("no answer to the version request, also after Restart");
    }
    step.Ms = stepClock.elapsed();
    Result.Steps.append(step);
    return Result.UnitAnswered;
}

StepReport UnitCheck::CheckLine(const QString& name, int button, QByteArrayView writePrefix) {
    StepReport step{name, StepResult::Fail, {}, 0, {}};
    const qsizetype begin = static_cast<qsizetype>(Log.size());
    const qsizetype write = Click(
        step, [&] { Form.Command2_Click(button); }, writePrefix);
    if (write < 0) {
        return step;
    }
    // What was written: the line write's 64 data digits, or nothing at all
    // after the memory clear.
    const QByteArrayView writeText = FrameText(Log[static_cast<std::size_t>(write)].Bytes);
    const QByteArray written =
        writePrefix == "Q:" ? writeText.sliced(5).toByteArray() : QByteArray(64, '0');
    // A scan counts once a poll has gone out after the write: the unit
    // answers in order, so that poll's answer shows the line as written. A
    // first answer that differs gets a second look (it may still be the
    // answer to an older poll); the second decides.
    bool polled = false;
    int answers = 0;
    QList<CellDifference> differences;
    QElapsedTimer clock;
    clock.start();
    qsizetype from = write + 1;
    while (answers < 2) {
        const int left = kScanWaitMs - static_cast<int>(clock.elapsed());
        const qsizetype found = WaitForScan(from, std::max(left, 0), &polled);
        if (found < 0) {
            break;
        }
        from = found + 1;
        ++answers;
        Judge(step, found);
        const Seen& reply = Log[static_cast<std::size_t>(found)];
        differences = CompareLine(written, reply.Bits, reply.BitLast);
        if (differences.isEmpty()) {
            step.Result = StepResult::Pass;
            step.Reason = QStringLiteral("%1 read back as written, %2 bits")
                              .arg(LineName(Line))
                              .arg(reply.BitLast + 1);
            break;
        }
    }
    if (answers == 0) {
        step.Reason = QStringLiteral("no bit scan of %1 within %2")
                          .arg(LineName(Line))
                          .arg(Milliseconds(kScanWaitMs));
    } else if (step.Result == StepResult::Fail) {
        step.Reason =
            QStringLiteral("%1: %2").arg(LineName(Line), DescribeDifferences(differences));
    }
    JudgeChecksums(step, begin);
    return step;
}

bool UnitCheck::ReadCounter(StepReport& step, int32_t* value) {
    const qsizetype request = Click(
        step, [this] { Form.Command1_Click(1); }, "QG"); // "Read"
    if (request < 0) {
        return false;
    }
    const qsizetype found = WaitFor(request + 1, kCounterWaitMs, [](const Seen& seen) {
        const QByteArrayView text = FrameText(seen.Bytes);
        return seen.FromUnit && seen.Outcome.Result == Result::Accepted &&
               (text.startsWith("QG") || Refuses(text, "QG"));
    });
    if (found < 0) {
        step.Reason =
            QStringLiteral("no counter reply within %1").arg(Milliseconds(kCounterWaitMs));
        return false;
    }
    Judge(step, found);
    const Seen& reply = Log[static_cast<std::size_t>(found)];
    const QByteArrayView text = FrameText(reply.Bytes);
    if (!text.startsWith("QG")) {
        step.Reason = QStringLiteral("the unit refused the counter request (%1)")
                          .arg(QString::fromLatin1(text.toByteArray()));
        return false;
    }
    *value = reply.Counter;
    return true;
}

StepReport UnitCheck::CheckCounter() {
    StepReport step{QStringLiteral("24-bit counter"), StepResult::Fail, {}, 0, {}};
    const int bitLast = Form.State.ScanBitLast;
    if (bitLast != 255) {
        step.Result = StepResult::Skip;
        step.Reason = QStringLiteral("the counter buttons act only while the bit scan carries "
                                     "256 bits; this unit scans %1")
                          .arg(bitLast + 1);
        return step;
    }
    const qsizetype begin = static_cast<qsizetype>(Log.size());
    int32_t first = 0;
    int32_t second = 0;
    if (ReadCounter(step, &first)) {
        Form.WaitTimer(kCounterGapMs);
        if (ReadCounter(step, &second)) {
            if (CounterAdvanced(static_cast<uint32_t>(first), static_cast<uint32_t>(second))) {
                step.Result = StepResult::Pass;
                step.Reason = QStringLiteral("%1, then %2").arg(first).arg(second);
            } else {
                step.Reason = QStringLiteral("the counter did not advance: %1 both times, %2 apart")
                                  .arg(first)
                                  .arg(Milliseconds(kCounterGapMs));
            }
        }
    }
    JudgeChecksums(step, begin);
    return step;
}

StepReport UnitCheck::CheckRecordScan() {
    StepReport step{QStringLiteral("Record scan"), StepResult::Fail, {}, 0, {}};
    const qsizetype begin = static_cast<qsizetype>(Log.size());
    const int units = Form.State.ScanMax;
    const qsizetype start = Click(
        step, [this] { Form.Command2_Click(11); }, "QRF"); // "Auto-F"
    if (start < 0) {
        return step;
    }
    RecordScanTally tally(units);
    const int maxMs = units * kSamplePeriodMs + kRecordExtraMs;
    WaitFor(start + 1, maxMs, [&](const Seen& seen) {
        const QByteArrayView text = FrameText(seen.Bytes);
        if (!seen.FromUnit) {
            if (text.startsWith("Qf")) {
                tally.Polled(static_cast<int>(ReadHex(text.sliced(3))));
            }
        } else if (seen.Outcome.Result == Result::Accepted) {
            if (text.startsWith("Qf")) {
                tally.Answered();
            }
        } else {
            tally.Refused(ReceiveVerdict(seen.Outcome, CheckerState::kReceiveBufferSize));
        }
        return tally.Complete();
    });
    tally.EndOfWait();
    for (qsizetype i = start + 1; i < static_cast<qsizetype>(Log.size()); ++i) {
        const Seen& seen = Log[static_cast<std::size_t>(i)];
        if (seen.FromUnit && FrameText(seen.Bytes).startsWith("Qf") &&
            seen.Outcome.Result == Result::Accepted) {
            Judge(step, i);
        }
    }
    const QStringList failures = tally.Failures();
    if (failures.isEmpty()) {
        step.Result = StepResult::Pass;
        step.Reason = QStringLiteral("units 1..%1 answered").arg(units);
    } else {
        step.Reason = failures.join(QStringLiteral("; "));
    }
    JudgeChecksums(step, begin);
    return step;
}

StepReport UnitCheck::CheckStop() {
    StepReport step{QStringLiteral("Stop"), StepResult::Fail, {}, 0, {}};
    const qsizetype begin = static_cast<qsizetype>(Log.size());
    const qsizetype stop = Click(
        step, [this] { Form.Command2_Click(6); }, "QRD"); // "Stop"
    if (stop < 0) {
        return step;
    }
    bool polled = false;
    const qsizetype found = WaitForScan(stop + 1, kScanWaitMs, &polled);
    if (found < 0) {
        step.Reason = QStringLiteral("no bit scan of %1 within %2 after Stop")
                          .arg(LineName(Line))
                          .arg(Milliseconds(kScanWaitMs));
    } else {
        Judge(step, found);
        step.Result = StepResult::Pass;
        step.Reason =
            QStringLiteral("bit scan polling at %1 again").arg(Milliseconds(kSamplePeriodMs));
    }
    JudgeChecksums(step, begin);
    return step;
}

void UnitCheck::Run() {
    Clock.start();
    Result.Started = QDateTime::currentDateTime();
    Result.Port = QStringLiteral("COM%1").arg(Form.MSComm1->CommPort());
    Result.Device = Form.MSComm1->DeviceName();
    Line = Form.State.ScanLine;
    Result.PortOpened = Form.MSComm1->PortOpen();
    if (!Result.PortOpened) {
        Result.PortFailure = PortFailureText(*Form.MSComm1);
        Result.Steps.append(
            {QStringLiteral("Connect"),
             StepResult::Fail,
             QStringLiteral("the port could not be opened: %1").arg(Result.PortFailure),
             0,
             {}});
    } else if (Connect()) {
        // Polling runs at 400 ms in the bit scan while the patterns are judged.
        Form.menuT400_Click();
        const std::vector<std::function<StepReport()>> steps = {
            [this] { return CheckLine(QStringLiteral("Pattern1"), 2, "Q:"); },
            [this] { return CheckLine(QStringLiteral("Pattern2"), 3, "Q:"); },
            [this] { return CheckLine(QStringLiteral("Pattern3"), 5, "Q:"); },
            [this] { return CheckLine(QStringLiteral("Clear4"), 1, "QC"); },
            [this] { return CheckCounter(); },
            [this] { return CheckRecordScan(); },
            [this] { return CheckStop(); },
        };
        for (const auto& check : steps) {
            if (Form.Closing()) {
                Result.Steps.append({QStringLiteral("Closed"),
                                     StepResult::Fail,
                                     QStringLiteral("the window was closed during the check"),
                                     0,
                                     {}});
                break;
            }
            QElapsedTimer stepClock;
            stepClock.start();
            StepReport step = check();
            step.Ms = stepClock.elapsed();
            Result.Steps.append(step);
        }
    }
    Finish();
}

void UnitCheck::OutputFailed(const QString& reason) {
    if (Result.OutputFailure.isEmpty()) {
        Result.OutputFailure = reason;
    }
}

void UnitCheck::Finish() {
    Result.Ms = Clock.elapsed();
    Ended = true;
    if (ReportFile != nullptr) {
        CheckReport written = Result;
        AddOutputStep(written);
        if (!ReportFile->Write(ReportJson(written))) {
            std::fprintf(stderr, "zel_checker: --report: %s\n", qPrintable(ReportFile->Error()));
            OutputFailed(ReportFile->Error());
        }
    }
    AddOutputStep(Result);
    std::fputs(ReportText(Result).toUtf8().constData(), stdout);
    std::fflush(stdout);
    if (Form.Closing()) {
        return; // the operator closed the window: its stop sequence is under way
    }
    Form.Boxes->InformationFor(QStringLiteral("ZEL_Checker"), VerdictBoxText(Result),
                               kVerdictBoxSeconds);
    Form.StopAndUnload();
}
