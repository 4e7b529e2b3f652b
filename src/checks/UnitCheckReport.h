#pragma once

#include "trace/TraceLine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QString>

#include <QStringList>

#include <array>
#include <cstdint>
#include <map>
#include <vector>

// The automatic unit check's judgement and its report: which cells of a line
// came back other than written, whether the 24-bit counter moved, and the
// verdict per step as a message, a summary and JSON. Nothing here touches the
// window or the line.

// A cell of the monitor line whose bit came back other than written.
struct CellDifference {
    int Cell = 0; // 0..255
    int Read = 0;
    int Written = 0;
};

// Compares the bits the unit reported for a line (cell 8c + b is bit b of
// byte c) with the 64 hex digits written to it (byte 0 first, high digit
// first), for cells 0..bitLast only: a unit that scans fewer bits reports
// nothing beyond them.
QList<CellDifference> CompareLine(QByteArrayView writtenDigits,
                                  const std::array<int16_t, 256>& readBits, int bitLast);

// "bits differ at 25 (read 1, written 0), 26 (read 0, written 1)": cell
// addresses as the bit-address readout shows them in hex; at most 16 named,
// then "and N more".
QString DescribeDifferences(const QList<CellDifference>& differences);

// The four monitor lines compared with what was written to each (64 hex
// digits a line; an empty entry is a line not judged), for cells 0..bitLast.
// bits holds the four lines as the scan brought them (256 x line + cell).
// One text per line that differs, "Line2: bit differs at 25 (read 1, written
// 0)", joined by "; "; empty when every line reads as written.
QString CompareLines(const std::array<QByteArray, 4>& written, const std::vector<int16_t>& bits,
                     int bitLast);

// Empty when a scan of `cells` bits is what the bench expects of the unit;
// else why not.
QString ScanSizeVerdict(int cells, int expectedBits);

// Empty when the ROM the unit names ("LUPTAB13 99-11-26") is the expected
// one (its name, the first word; an empty expectation accepts any); else why not.
QString RomVerdict(const QString& rom, const QString& expected);

// The reason a step fails for the frames the receiver refused during it,
// given the receiver's verdicts in order: the verdict itself for one, else
// the count and the first.
QString LinkErrorReason(const QStringList& verdicts);

// The 24-bit counter moved from the first reading to the second (it may have
// wrapped past FFFFFF in between).
bool CounterAdvanced(uint32_t first, uint32_t second);

// Who answered in a record scan. Each poll's answer is what the unit sends
// before the next poll goes out; the first poll of each unit decides for it.
class RecordScanTally {
public:
    explicit RecordScanTally(int units) : Units(units) {}
    void Polled(int unit);
    void Answered();                      // an accepted record
    void Refused(const QString& verdict); // a frame the receiver refused
    void EndOfWait();                     // no more answers will come
    // Every unit 1..units has been decided.
    bool Complete() const;
    // One reason per unit that did not answer with a good record, by unit;
    // empty when all did.
    QStringList Failures() const;

private:
    void Decide();
    int Units;
    int Current = 0; // the unit polled last, 0 before the first poll
    bool CurrentAnswered = false;
    QString CurrentRefusal;         // the receiver's verdict on a frame that came instead
    std::map<int, QString> Decided; // unit -> empty when it answered, else why not
};

enum class StepResult { Pass, Fail, Skip };
QString StepResultName(StepResult result); // "PASS", "FAIL", "SKIP"

// A frame a step looked at: a command it sent, a reply it judged, or a frame
// the receiver refused during the step. Wall is the same clock as the line
// trace's wall-clock field, so the two can be read side by side.
struct JudgedFrame {
    QDateTime Wall;
    LineDirection Direction = LineDirection::None;
    QByteArray Bytes;
    QString Verdict; // the receiver's verdict on a frame from the unit
};

struct StepReport {
    QString Name;
    StepResult Result = StepResult::Fail;
    QString Reason; // why it failed or was skipped; what was seen when it passed
    qint64 Ms = 0;
    QList<JudgedFrame> Frames;
};

struct CheckReport {
    QString Checker; // program name and version
    QString Port;    // "COM1"
    QString Device;  // the device the port name stands for
    QString Rom;     // the ROM name the unit gave, empty when none
    QDateTime Started;
    qint64 Ms = 0;
    bool PortOpened = false;
    // Why the port could not be opened: "in use", "does not exist", "no
    // permission", or the system's own words.
    QString PortFailure;
    bool UnitAnswered = false;
    QList<StepReport> Steps;
    // The first trace, record or report write that failed ("cannot write
    // FILE: reason"); empty while every output was written.
    QString OutputFailure;

    // 0 every step passed (or was skipped), 1 a step failed, 2 no port or no
    // unit, 74 an output file could not be written (whatever the steps gave).
    int ExitStatus() const;
    // "PASS", "FAIL" (exit status 1 or 74), or "NO UNIT" for exit status 2.
    QString Overall() const;
};

// The report as JSON; a frame's bytes are a string of Latin-1 characters, so
// CR and LF show as \r and \n and any other byte keeps its value.
QByteArray ReportJson(const CheckReport& report);
// A few lines for standard output: one per step, then the overall result.
QString ReportText(const CheckReport& report);
// The verdict box's text: a Japanese line, then an English line.
QString VerdictBoxText(const CheckReport& report);
