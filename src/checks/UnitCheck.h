#pragma once

#include "checks/UnitCheckReport.h"
#include "link/FrameCollector.h"

#include <QByteArray>
#include <QElapsedTimer>
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
// for the unit to name its ROM (one Restart if it does not), then Pattern1,
// Pattern2 and Pattern3 on the line shown, each compared bit for bit with
// what the bit scan brings back, Clear4 and a line that must read all zero,
// the 24-bit counter read twice, a record scan of units 1..ScanMax, and Stop.
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
    static constexpr int kConnectWaitMs = 4000;  // the ROM name, before one Restart
    static constexpr int kSequenceWaitMs = 3000; // the connect sequence after the ROM name
    static constexpr int kScanWaitMs = 4000;     // a bit scan taken after a write
    static constexpr int kCounterWaitMs = 2000;  // one counter reading
    static constexpr int kCounterGapMs = 1000;   // between the two counter readings
    static constexpr int kRecordExtraMs = 3000;  // the record scan, beyond one period a unit
    static constexpr int kSamplePeriodMs = 400;  // polling during the check
    // The verdict box closes by itself after this long: a script never waits.
    static constexpr int kVerdictBoxSeconds = 5;

private:
    // A frame that went either way while the check ran, with what the checker
    // state showed right after the dispatcher handled it.
    struct Seen {
        QDateTime Wall;
        bool FromUnit = false;
        QByteArray Bytes;
        FrameOutcome Outcome{};
        bool ScanReply = false; // an accepted bit scan of the checked line
        std::array<int16_t, 256> Bits{};
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
    // Waits for a whole bit scan of the line that comes after a scan poll;
    // *polled says whether that poll has been seen already.
    qsizetype WaitForScan(qsizetype from, int maxMs, bool* polled);

    bool Connect();
    StepReport CheckLine(const QString& name, int button, QByteArrayView writePrefix);
    StepReport CheckCounter();
    StepReport CheckRecordScan();
    StepReport CheckStop();
    // Reads the counter once; false with a reason when no reading came.
    bool ReadCounter(StepReport& step, int32_t* value);
    // Adds the frame at index i to the step's judged frames.
    void Judge(StepReport& step, qsizetype i) const;
    // Fails the step for every reply with a bad checksum seen since `from`.
    void JudgeChecksums(StepReport& step, qsizetype from) const;
    void Finish();

    Form1& Form;
    OutputFile* ReportFile;
    UnitCheckOptions Options;
    CheckReport Result;
    QElapsedTimer Clock;
    std::vector<Seen> Log;
    int Line = 0; // the monitor line the check writes and reads
    bool Ended = false;
};
