#pragma once

#include "checks/UnitCheckReport.h"
#include "link/Frame.h"
#include "link/FrameCollector.h"

#include <QByteArray>
#include <QObject>

#include <array>
#include <functional>
#include <vector>

class Form1;
class OutputFile;

// What the bench expects of the unit under check.
struct UnitCheckOptions {
    // The bits a unit must scan: 256 for a ZEL-03; 32, 64 or 128 where a bench
    // really checks a smaller unit.
    int ExpectBits = 256;
    // The ROM name the unit must give (its first word, e.g. "LUPTAB13"); empty
    // accepts any.
    QString ExpectRom;
    // How long Connect waits for the unit to be powered on and name its ROM,
    // in seconds; 0 waits without end. Eight seconds is the first wait and
    // one Restart's own.
    int WaitForUnitS = 8;
};

// The check procedure of the help menu, run and judged by the checker: wait
// for the unit to name its ROM (Restart when it does not) and to scan the
// bits a ZEL-03 scans, then Pattern1, Pattern2 and Pattern3 written to all
// four lines, each compared bit for bit with what a scan of all four lines
// brings back, Clear4 and four lines that must read all zero, the 24-bit
// counter read twice, a record scan of units 1..ScanMax, and Stop. Every
// frame the receiver refuses fails the step it came in.
// Every step clicks the same handlers the operator's buttons run, so the line
// sees what a careful operator would send, and the grid shows each pattern as
// it arrives. At the end the verdict is written as JSON, printed, shown in a
// box, and the window closes through its ordinary stop sequence.
class UnitCheck : public QObject {
    Q_OBJECT
public:
    // The report file, if any, must already be open for writing.
    UnitCheck(Form1& form, QString checker, OutputFile* reportFile, UnitCheckOptions options = {});

    // Runs the whole check; returns once the verdict is out and the window's
    // stop sequence has been started. Call it from the event loop, after
    // Form_Load.
    void Run();
    const CheckReport& Report() const { return Result; }
    // 0 pass, 1 a step failed, 2 no port or no unit (also before the end), 74
    // an output file could not be written.
    int ExitStatus() const { return Ended ? Result.ExitStatus() : 2; }
    // A write to the trace, the record or the report failed ("cannot write
    // FILE: reason"): the check ends FAIL with that reason, whatever the unit
    // did. The first failure is the one named.
    void OutputFailed(const QString& reason);

    // How long the steps wait for the unit.
    static constexpr int kConnectWaitMs = 4000;    // the ROM name, before one Restart
    static constexpr int kSequenceWaitMs = 3000;   // the connect sequence after the ROM name
    static constexpr int kScanWaitMs = 4000;       // a bit scan taken after a write
    static constexpr int kCounterWaitMs = 2000;    // one counter reading
    static constexpr int kCounterGapMs = 1000;     // between the two counter readings
    static constexpr int kRecordExtraMs = 3000;    // the record scan, beyond one period a unit
    static constexpr int kSamplePeriodMs = 400;    // polling during the check
    static constexpr int kReconnectWaitMs = 12000; // the unit's set-up again, up to its ROM name
    static constexpr int kErrorFramesListed = 20;  // refused frames a step lists at most
    // The verdict box closes by itself after this long: a script never waits.
    static constexpr int kVerdictBoxSeconds = 5;

private:
    // A frame that went either way while the check ran, with what the checker
    // state showed right after the dispatcher handled it.
    struct Seen {
        QDateTime Wall;
        bool FromUnit = false;
        QByteArray Bytes;
        Frame Read; // the bytes read as a frame going their way
        FrameOutcome Outcome{};
        // An accepted "QD" reply: its cell count, whole or not; -1 for others.
        int Cells = -1;
        // The bits of all four lines after a whole "QD" scan or a whole "QB"
        // scan of the line shown (256 x line + cell); empty for other frames.
        std::vector<int16_t> Bits;
        bool AllLines = false; // Bits came from a "QD" scan
        int BitLast = 0;
        int32_t Counter = 0;
    };

    void OnSent(const QByteArray& bytes);
    void OnHandled(const QByteArray& bytes, const FrameOutcome& outcome);

    // Serves the window's events until match() holds for a frame seen from
    // index `from` on, or maxMs have passed. Returns its index, or -1.
    qsizetype WaitFor(qsizetype from, int maxMs, const std::function<bool(const Seen&)>& match);
    // Clicks a button through its handler and finds the command it sent
    // (text starting with prefix), which the step then names among its
    // frames. Returns its index, or -1 with the step's reason set.
    qsizetype Click(StepReport& step, const std::function<void()>& click, QByteArrayView prefix);
    // Waits for a whole bit scan that comes after a scan poll ("QD" after
    // "QA" when allLines, else "QB" of the line shown after its poll);
    // *polled says whether that poll has been seen already.
    qsizetype WaitForScan(qsizetype from, int maxMs, bool allLines, bool* polled);
    // The line whose Line select button is checked.
    int ShownLine() const;
    // Picks a monitor line through its Line select button.
    void SelectLine(int line);

    bool Connect(StepReport& step);
    // Waits for the ROM name, clicking Restart whenever one wait passes
    // without it, for as long as the bench allows.
    void WaitForRom();
    // The first bit scan of all four lines: it must carry the expected size.
    // Returns why not, or empty with the size in *cells.
    QString CheckScanSize(StepReport& step, int* cells);
    StepReport CheckLines(const QString& name, int button, QByteArrayView writePrefix);
    StepReport CheckCounter();
    StepReport CheckRecordScan();
    StepReport CheckStop();
    // Runs a step; when it fails after the unit ran its modem set-up in the
    // middle of it, waits for the unit to connect again and runs it once more.
    StepReport RunStep(const std::function<StepReport()>& check);
    // The first modem set-up line ("AT...") from the unit seen since `from`, or -1.
    qsizetype SetupLineSince(qsizetype from) const;
    // Reads the counter once; false with a reason when no reading came.
    bool ReadCounter(StepReport& step, int32_t* value);
    // Adds the frame at index i to the step's judged frames.
    void Judge(StepReport& step, qsizetype i) const;
    // Fails the step for every frame from the unit that the receiver refused
    // since `from` (a checksum error, a broken or cut-off frame), naming the
    // receiver's reason.
    void JudgeLinkErrors(StepReport& step, qsizetype from) const;
    void TraceNote(const QString& text) const;
    void Finish();

    Form1& Form;
    OutputFile* ReportFile;
    UnitCheckOptions Options;
    CheckReport Result;
    qint64 StartMs = 0; // on the window's clock
    std::vector<Seen> Log;
    int Line = 0; // the monitor line shown when the check began, and again at its end
    bool Ended = false;
};
