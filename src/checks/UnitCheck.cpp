#include "checks/UnitCheck.h"

#include "core/Form1.h"
#include "decode/ScanParse.h"
#include "dispatch/ReplyTable.h"
#include "link/HexText.h"
#include "trace/LogFiles.h"
#include "trace/OutputFile.h"

#include <QDateTime>

#include <cstdio>

namespace {

using Result = ReplyReceiver::Result;

// The unit's modem set-up lines ("AT&F", "ATH0"…): it runs them at power-on.
bool IsSetupLine(QByteArrayView bytes) {
    return bytes.startsWith("AT");
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
    case SerialControl::OpenFailure::OtherDevice: // only a reopening finds another device
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
    seen.Read = ReadFrame(bytes, LineDirection::ToUnit);
    Log.push_back(std::move(seen));
}

void UnitCheck::OnHandled(const QByteArray& bytes, const FrameOutcome& outcome) {
    Seen seen;
    seen.Wall = QDateTime::currentDateTime();
    seen.FromUnit = true;
    seen.Bytes = bytes;
    seen.Outcome = outcome;
    seen.Read = ReadFrame(bytes, LineDirection::FromUnit);
    if (outcome.Result == Result::Accepted) {
        const CheckerState& state = Form.State;
        const bool allLines = seen.Read.Kind == FrameKind::Reply && seen.Read.Code == "QD";
        if (allLines) {
            seen.Cells = static_cast<int>(seen.Read.Arguments.size());
        }
        // A "QD" reply carries all four lines; a "QB" reply names its line.
        const bool shownLine = seen.Read.Kind == FrameKind::Reply && seen.Read.Code == "QB" &&
                               ScanReplyLine(bytes) == state.ScanLine;
        // A bit scan of another size leaves the bits as they were and proves nothing.
        if (IsAcceptedScan(seen.Read) && (allLines || shownLine)) {
            seen.Bits.assign(state.ScanBits.begin(), state.ScanBits.end());
            seen.AllLines = allLines;
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
        if (!seen.FromUnit && seen.Read.Text().startsWith(prefix)) {
            Judge(step, i);
            return i;
        }
    }
    step.Reason = QStringLiteral("\"%1\" did not go out").arg(QString::fromLatin1(prefix));
    return -1;
}

qsizetype UnitCheck::WaitForScan(qsizetype from, int maxMs, bool allLines, bool* polled) {
    const QByteArrayView poll = allLines ? QByteArrayView("QA") : QByteArrayView("QB");
    return WaitFor(from, maxMs, [polled, allLines, poll](const Seen& seen) {
        if (!seen.FromUnit) {
            *polled = *polled || seen.Read.Text().startsWith(poll);
            return false;
        }
        return *polled && !seen.Bits.empty() && seen.AllLines == allLines;
    });
}

int UnitCheck::ShownLine() const {
    for (int line = 0; line < 4; ++line) {
        if (Form.Option1(line)->Value()) {
            return line;
        }
    }
    return Form.State.ScanLine;
}

void UnitCheck::SelectLine(int line) {
    if (ShownLine() != line || Form.State.ScanLine != line) {
        Form.Option1(line)->SetValue(true); // the Line select button, with its wait
    }
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

void UnitCheck::JudgeLinkErrors(StepReport& step, qsizetype from) const {
    QStringList verdicts;
    for (qsizetype i = from; i < static_cast<qsizetype>(Log.size()); ++i) {
        const Seen& seen = Log[static_cast<std::size_t>(i)];
        if (!seen.FromUnit || seen.Outcome.Result == Result::Accepted) {
            continue;
        }
        verdicts << ReceiveVerdict(seen.Outcome, CheckerState::kReceiveBufferSize);
        if (verdicts.size() <= kErrorFramesListed) {
            Judge(step, i);
        }
    }
    if (verdicts.isEmpty()) {
        return;
    }
    const bool failedBefore = step.Result == StepResult::Fail;
    step.Result = StepResult::Fail;
    const QString reason = LinkErrorReason(verdicts);
    if (!failedBefore || step.Reason.isEmpty()) {
        step.Reason = reason;
    } else if (verdicts.size() > 1 || !step.Reason.contains(reason)) {
        // Unless already named, as the answer of a record.
        step.Reason += QStringLiteral("; ") + reason;
    }
}

qsizetype UnitCheck::SetupLineSince(qsizetype from) const {
    // The set-up opens with "AT&F"; its later lines may be logged first, since
    // they arrive while the checker still waits inside its answer to the first.
    qsizetype first = -1;
    for (qsizetype i = from; i < static_cast<qsizetype>(Log.size()); ++i) {
        const Seen& seen = Log[static_cast<std::size_t>(i)];
        if (seen.FromUnit && seen.Outcome.Result == Result::Accepted && IsSetupLine(seen.Bytes)) {
            if (seen.Bytes.startsWith("AT&")) {
                return i;
            }
            first = first < 0 ? i : first;
        }
    }
    return first;
}

void UnitCheck::TraceNote(const QString& text) const {
    if (Form.Trace != nullptr) {
        Form.Trace->Note(text);
    }
}

void UnitCheck::WaitForRom() {
    CheckerState& state = Form.State;
    // Restart's "cannot communicate" box would wait for a click nobody gives
    // while the unit is still off: it goes to standard error during the wait.
    UnattendedMessageBoxes quietBoxes;
    MessageBoxes* shownBoxes = Form.Boxes;
    const qint64 startMs = Form.Time().NowMs();
    const qint64 limitMs = static_cast<qint64>(Options.WaitForUnitS) * 1000;
    const auto left = [&] {
        return Options.WaitForUnitS == 0
                   ? qint64(kConnectWaitMs)
                   : std::max<qint64>(limitMs - (Form.Time().NowMs() - startMs), 0);
    };
    // A LUP or RAV unit announces itself with its modem set-up; a ZEL unit
    // powered on late answers only a version request sent after it is on:
    // Restart sends one, and waits about four seconds itself.
    Form.WaitUntil([&] { return state.VersionReplied == 1; },
                   static_cast<int>(std::min<qint64>(kConnectWaitMs, left())));
    while (state.VersionReplied == 0 && !Form.Closing() && left() > kConnectWaitMs / 4) {
        Form.Boxes = &quietBoxes;
        Form.Command3_Click(0); // Restart
        Form.Boxes = shownBoxes;
    }
}

QString UnitCheck::CheckScanSize(StepReport& step, int* cells) {
    // Polling "QA" brings a "QD" scan of all four lines, which the pattern
    // steps judge; the first one tells the unit's scan size.
    Form.menuT400_Click();
    const qsizetype begin = static_cast<qsizetype>(Log.size());
    Form.Option3(1)->SetValue(true); // Q_Command
    bool polled = false;
    const qsizetype found = WaitFor(begin, kScanWaitMs, [&polled](const Seen& seen) {
        const QByteArray text = seen.Read.Text();
        if (!seen.FromUnit) {
            polled = polled || text == "QA";
            return false;
        }
        return polled && (seen.Cells >= 0 || Refuses(text, "QA"));
    });
    if (found < 0) {
        return QStringLiteral("no bit scan (\"QD\") of the four lines within %1")
            .arg(Milliseconds(kScanWaitMs));
    }
    Judge(step, found);
    const Seen& reply = Log[static_cast<std::size_t>(found)];
    if (reply.Cells < 0) {
        return QStringLiteral("the unit refused the scan of all four lines (%1)")
            .arg(QString::fromLatin1(reply.Read.Text()));
    }
    *cells = reply.Cells;
    return ScanSizeVerdict(reply.Cells, Options.ExpectBits);
}

bool UnitCheck::Connect(StepReport& step) {
    CheckerState& state = Form.State;
    WaitForRom();
    if (state.VersionReplied != 1) {
        step.Reason = QStringLiteral("no answer to the version request, also after Restart");
        return false;
    }
    Form.WaitUntil([&] { return state.Connected == 1; }, kSequenceWaitMs);
    Result.UnitAnswered = true;
    Result.Rom = Form.Label2(1)->Caption().simplified();
    step.Result = StepResult::Pass;
    step.Reason = QStringLiteral("ROM %1").arg(Result.Rom);
    for (qsizetype i = 0; i < static_cast<qsizetype>(Log.size()); ++i) {
        const Seen& seen = Log[static_cast<std::size_t>(i)];
        if (seen.FromUnit && seen.Outcome.Result == Result::Accepted &&
            seen.Read.Text().startsWith("QV")) {
            Judge(step, i);
        }
    }
    QStringList failures;
    if (const QString rom = RomVerdict(Result.Rom, Options.ExpectRom); !rom.isEmpty()) {
        failures << rom;
    }
    int cells = 0;
    if (const QString size = CheckScanSize(step, &cells); !size.isEmpty()) {
        failures << size;
    }
    if (failures.isEmpty()) {
        step.Reason += QStringLiteral(", %1 bits").arg(cells);
    } else {
        step.Result = StepResult::Fail;
        step.Reason = failures.join(QStringLiteral("; "));
    }
    return true;
}

StepReport UnitCheck::CheckLines(const QString& name, int button, QByteArrayView writePrefix) {
    StepReport step{name, StepResult::Fail, {}, 0, {}};
    // What was written to each line: a line write's 64 data digits, or, after
    // the memory clear, nothing on any line.
    std::array<QByteArray, 4> written;
    qsizetype lastWrite = -1;
    if (writePrefix == "Q:") {
        // The line shown first, then the others, so that the next pattern
        // starts on the line this one ended on.
        const int first = ShownLine();
        for (int k = 0; k < 4; ++k) {
            const int line = first < 2 ? (first + k) % 4 : (first - k + 4) % 4;
            SelectLine(line);
            if (Form.Closing()) {
                return step;
            }
            lastWrite = Click(
                step, [&] { Form.Command2_Click(button); }, writePrefix);
            if (lastWrite < 0) {
                return step;
            }
            const QByteArray text = Log[static_cast<std::size_t>(lastWrite)].Read.Text();
            const int target = text.size() > 2 ? text[2] - '0' : -1;
            if (target != line) {
                step.Reason = QStringLiteral("%1 was written with line digit \"%2\"")
                                  .arg(LineName(line), QString::fromLatin1(text.mid(2, 1)));
                return step;
            }
            written.at(static_cast<std::size_t>(line)) = text.mid(5);
        }
    } else {
        lastWrite = Click(
            step, [&] { Form.Command2_Click(button); }, writePrefix);
        if (lastWrite < 0) {
            return step;
        }
        written.fill(QByteArray(64, '0'));
    }
    // A scan counts once a poll has gone out after the last write: the unit
    // answers in order, so that poll's answer shows the lines as written. A
    // first answer that differs gets a second look (it may still be the
    // answer to an older poll); the second decides.
    bool polled = false;
    int answers = 0;
    QString differences;
    const qint64 startMs = Form.Time().NowMs();
    qsizetype from = lastWrite + 1;
    while (answers < 2) {
        const int left = kScanWaitMs - static_cast<int>(Form.Time().NowMs() - startMs);
        const qsizetype found = WaitForScan(from, std::max(left, 0), true, &polled);
        if (found < 0) {
            break;
        }
        from = found + 1;
        ++answers;
        Judge(step, found);
        const Seen& reply = Log[static_cast<std::size_t>(found)];
        differences = CompareLines(written, reply.Bits, reply.BitLast);
        if (differences.isEmpty()) {
            step.Result = StepResult::Pass;
            step.Reason =
                QStringLiteral("Line1..Line4 read back as written, %1 bits").arg(reply.BitLast + 1);
            break;
        }
    }
    if (answers == 0) {
        step.Reason = QStringLiteral("no bit scan of the four lines within %1")
                          .arg(Milliseconds(kScanWaitMs));
    } else if (step.Result == StepResult::Fail) {
        step.Reason = differences;
    }
    return step;
}

bool UnitCheck::ReadCounter(StepReport& step, int32_t* value) {
    const qsizetype request = Click(
        step, [this] { Form.Command1_Click(1); }, "QG"); // "Read"
    if (request < 0) {
        return false;
    }
    const qsizetype found = WaitFor(request + 1, kCounterWaitMs, [](const Seen& seen) {
        const QByteArray text = seen.Read.Text();
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
    const QByteArray text = reply.Read.Text();
    if (!text.startsWith("QG")) {
        step.Reason = QStringLiteral("the unit refused the counter request (%1)")
                          .arg(QString::fromLatin1(text));
        return false;
    }
    *value = reply.Counter;
    return true;
}

StepReport UnitCheck::CheckCounter() {
    StepReport step{QStringLiteral("24-bit counter"), StepResult::Fail, {}, 0, {}};
    // Back to the polls of the A/D board: the bit scan of the line shown, or
    // the record scan.
    if (Form.State.ReadCommandMode != 0) {
        Form.Option3(0)->SetValue(true); // R_Command
    }
    const int bitLast = Form.State.ScanBitLast;
    if (bitLast != 255) {
        // Only a bench that expects a smaller unit gets this far with one.
        step.Result = bitLast + 1 == Options.ExpectBits ? StepResult::Skip : StepResult::Fail;
        step.Reason = QStringLiteral("the counter buttons act only while the bit scan carries "
                                     "256 bits; this unit scans %1")
                          .arg(bitLast + 1);
        return step;
    }
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
    return step;
}

StepReport UnitCheck::CheckRecordScan() {
    StepReport step{QStringLiteral("Record scan"), StepResult::Fail, {}, 0, {}};
    if (Form.State.ReadCommandMode != 0) {
        Form.Option3(0)->SetValue(true); // R_Command: record polls are "Qf"
    }
    const int units = Form.State.ScanMax;
    const qsizetype start = Click(
        step, [this] { Form.Command2_Click(11); }, "QRF"); // "Auto-F"
    if (start < 0) {
        return step;
    }
    RecordScanTally tally(units);
    const int maxMs = units * kSamplePeriodMs + kRecordExtraMs;
    WaitFor(start + 1, maxMs, [&](const Seen& seen) {
        const QByteArray text = seen.Read.Text();
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
        if (seen.FromUnit && seen.Read.Text().startsWith("Qf") &&
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
    return step;
}

StepReport UnitCheck::CheckStop() {
    StepReport step{QStringLiteral("Stop"), StepResult::Fail, {}, 0, {}};
    const qsizetype stop = Click(
        step, [this] { Form.Command2_Click(6); }, "QRD"); // "Stop"
    if (stop < 0) {
        return step;
    }
    bool polled = false;
    const qsizetype found = WaitForScan(stop + 1, kScanWaitMs, false, &polled);
    if (found < 0) {
        step.Reason = QStringLiteral("no bit scan of %1 within %2 after Stop")
                          .arg(LineName(Form.State.ScanLine))
                          .arg(Milliseconds(kScanWaitMs));
    } else {
        Judge(step, found);
        step.Result = StepResult::Pass;
        step.Reason =
            QStringLiteral("bit scan polling at %1 again").arg(Milliseconds(kSamplePeriodMs));
    }
    return step;
}

StepReport UnitCheck::RunStep(const std::function<StepReport()>& check) {
    const qsizetype begin = static_cast<qsizetype>(Log.size());
    StepReport step = check();
    const qsizetype setup = SetupLineSince(begin);
    if (step.Result == StepResult::Fail && setup >= 0 && !Form.Closing()) {
        // The unit ran its modem set-up again (it restarted): once it has
        // named its ROM again, and the connect sequence is through, the step
        // runs once more and decides.
        WaitFor(setup + 1, kReconnectWaitMs, [](const Seen& seen) {
            return seen.FromUnit && seen.Outcome.Result == Result::Accepted &&
                   seen.Read.Text().startsWith("QV");
        });
        TraceNote(
            QStringLiteral("check step %1 again after the unit's modem set-up").arg(step.Name));
        const QString setupText =
            QString::fromLatin1(Log[static_cast<std::size_t>(setup)].Bytes).trimmed();
        StepReport retry = check();
        Judge(retry, setup);
        if (retry.Result == StepResult::Fail) {
            retry.Reason = QStringLiteral("the unit ran its modem set-up (\"%1\") during the step; "
                                          "run again: %2")
                               .arg(setupText, retry.Reason);
        } else {
            retry.Reason +=
                QStringLiteral(" (run again after the unit's modem set-up, \"%1\")").arg(setupText);
        }
        step = retry;
    }
    JudgeLinkErrors(step, begin);
    return step;
}

void UnitCheck::Run() {
    StartMs = Form.Time().NowMs();
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
        Finish();
        return;
    }
    qint64 stepStartMs = Form.Time().NowMs();
    TraceNote(QStringLiteral("check step Connect begins"));
    StepReport connect{QStringLiteral("Connect"), StepResult::Fail, {}, 0, {}};
    const bool answered = Connect(connect);
    // From the first byte on: the unit's start-up is judged with Connect.
    JudgeLinkErrors(connect, 0);
    connect.Ms = Form.Time().NowMs() - stepStartMs;
    Result.Steps.append(connect);
    TraceNote(QStringLiteral("check step Connect ends: %1").arg(StepResultName(connect.Result)));
    if (answered) {
        struct Step {
            QString Name;
            std::function<StepReport()> Check;
        };
        const std::vector<Step> steps = {
            {QStringLiteral("Pattern1"),
             [this] { return CheckLines(QStringLiteral("Pattern1"), 2, "Q:"); }},
            {QStringLiteral("Pattern2"),
             [this] { return CheckLines(QStringLiteral("Pattern2"), 3, "Q:"); }},
            {QStringLiteral("Pattern3"),
             [this] { return CheckLines(QStringLiteral("Pattern3"), 5, "Q:"); }},
            {QStringLiteral("Clear4"),
             [this] { return CheckLines(QStringLiteral("Clear4"), 1, "QC"); }},
            {QStringLiteral("24-bit counter"), [this] { return CheckCounter(); }},
            {QStringLiteral("Record scan"), [this] { return CheckRecordScan(); }},
            {QStringLiteral("Stop"),
             [this] {
                 // The line shown at the start is shown again for the Stop's scan.
                 SelectLine(Line);
                 return CheckStop();
             }},
        };
        for (const Step& next : steps) {
            if (Form.Closing()) {
                Result.Steps.append({QStringLiteral("Closed"),
                                     StepResult::Fail,
                                     QStringLiteral("the window was closed during the check"),
                                     0,
                                     {}});
                break;
            }
            stepStartMs = Form.Time().NowMs();
            TraceNote(QStringLiteral("check step %1 begins").arg(next.Name));
            StepReport step = RunStep(next.Check);
            step.Ms = Form.Time().NowMs() - stepStartMs;
            TraceNote(QStringLiteral("check step %1 ends: %2")
                          .arg(step.Name, StepResultName(step.Result)));
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
    Result.Ms = Form.Time().NowMs() - StartMs;
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
