#include "ReferenceFrames.h"
#include "core/CheckerState.h"
#include "link/FrameCollector.h"
#include "trace/TraceLine.h"

#include <QTest>

#include <algorithm>
#include <deque>
#include <vector>

using Result = ReplyReceiver::Result;
Q_DECLARE_METATYPE(ReplyReceiver::Result)

char* toString(ReplyReceiver::Result r) {
    static const char* const kNames[] = {"Collecting", "Accepted", "ChecksumError", "Rejected"};
    return qstrdup(kNames[static_cast<int>(r)]);
}

namespace {

const double kByteMs = WireTimeMs(1);
const double kPauseMs = kBatchPauseUs / 1000.0;
// Pauses on the line: (index of the byte they come before, ms).
using Gaps = QList<QPair<int, double>>;

// A serial line with a clock the test controls. Bytes are scheduled with their
// arrival times; waiting moves the clock to the next arrival or to the end of
// the wait, whichever comes first.
class FakeLine : public ByteSource {
public:
    struct Arrival {
        double AtMs;
        uint8_t Byte;
    };

    // Schedules bytes after those already scheduled, gapMs after the last one.
    // Paced bytes follow each other at the line's speed; otherwise they all
    // arrive together, as from an adapter that delivers in bursts.
    void Send(QByteArrayView bytes, double gapMs = 0, bool paced = true) {
        double t = LineTime + gapMs;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            if (paced || i == 0) {
                t += kByteMs;
            }
            Pending.push_back({t, static_cast<uint8_t>(bytes[i])});
        }
        LineTime = t;
    }
    // Drops what is still to arrive before the given time: the tail of a
    // rejected frame that the test is not about.
    void SkipTo(double atMs) {
        while (!Pending.empty() && Pending.front().AtMs < atMs) {
            Pending.pop_front();
        }
    }
    // The receive event of the next frame fires when its first byte is waiting.
    bool NextEvent() {
        Deliver();
        if (Queue.empty()) {
            if (Pending.empty()) {
                return false;
            }
            Now = Pending.front().AtMs;
        }
        FrameStart = Now;
        Waits = 0;
        Pauses = 0;
        Discards = 0;
        PutBackBytes = 0;
        return true;
    }

    int Read(uint8_t* dst, int max) override {
        Deliver();
        int n = 0;
        while (n < max && !Queue.empty()) {
            dst[n++] = Queue.front().Byte;
            LastArrivalRead = Queue.front().AtMs;
            Queue.pop_front();
        }
        if (n > 0) {
            LastReadAt = Now;
        }
        return n;
    }
    void WaitForBytes(int maxMs) override {
        Deliver();
        ++Waits;
        if (!Queue.empty() || maxMs < 1 || maxMs > ReplyReceiver::kLongestBudgetMs + 1) {
            BadWait = true;
        }
        double until = Now + std::max(maxMs, 1); // a bad wait still ends the test
        if (!Pending.empty()) {
            until = std::min(until, Pending.front().AtMs);
        }
        Now = until;
    }
    void Pause(int microseconds) override {
        ++Pauses;
        BadWait = BadWait || microseconds <= 0;
        Now += std::max(microseconds, 1) / 1000.0;
    }
    double ElapsedMs() override { return Now - FrameStart; }
    void DiscardWaiting() override {
        Deliver();
        Queue.clear();
        ++Discards;
    }
    void PutBack(const uint8_t* bytes, int count) override {
        for (int i = count - 1; i >= 0; --i) {
            Queue.push_front({LastArrivalRead, bytes[i]});
        }
        PutBackBytes += count;
    }

    std::deque<Arrival> Pending;
    std::deque<Arrival> Queue;
    double Now = 0;
    double FrameStart = 0;
    double LineTime = 0;
    double LastReadAt = 0;
    double LastArrivalRead = 0; // when the last byte taken had arrived
    int Waits = 0;
    int Pauses = 0;
    int Discards = 0;
    int PutBackBytes = 0;
    bool BadWait = false;

private:
    void Deliver() {
        while (!Pending.empty() && Pending.front().AtMs <= Now) {
            Queue.push_back(Pending.front());
            Pending.pop_front();
        }
    }
};

QByteArray Reply(QByteArrayView body) {
    return Wire(body);
}

// A line that carries the reply a byte at a time: perByteMs late before
// every byte after the first, and the given pauses on top.
FakeLine ScriptedLine(const QByteArray& reply, double perByteMs, const Gaps& gaps) {
    FakeLine line;
    line.Send(reply.left(1));
    for (int i = 1; i < reply.size(); ++i) {
        double gap = perByteMs;
        for (const auto& [at, ms] : gaps) {
            gap += at == i ? ms : 0;
        }
        line.Send(reply.mid(i, 1), gap);
    }
    return line;
}

// Collects one frame and checks what every frame owes the line: no spinning,
// and nothing left queued behind it unless it begins the next frame.
FrameOutcome Collect(FakeLine& line, uint8_t* buffer, int size, AwaitedReply awaited = {}) {
    if (!line.NextEvent()) {
        return {Result::Collecting, -1, 0};
    }
    const FrameOutcome outcome = CollectFrame(line, buffer, size, awaited);
    [&] {
        QVERIFY(!line.BadWait);
        QCOMPARE(line.PutBackBytes, outcome.CarriedBytes);
        QCOMPARE(line.Discards, outcome.CarriedBytes > 0 ? 0 : 1);
        QCOMPARE(line.Queue.empty(), outcome.CarriedBytes == 0);
        // Every wait moves the clock by a millisecond or up to an arrival.
        QVERIFY(line.Waits <= line.ElapsedMs() + outcome.Count + 2);
    }();
    return outcome;
}

} // namespace

class TestReplyReceiver : public QObject {
    Q_OBJECT
private slots:
    void frameKinds_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("paced");
        QTest::addColumn<Result>("result");
        QTest::addColumn<int>("endLfPos");
        QTest::addColumn<bool>("bySilence");
        QTest::addColumn<QString>("verdict"); // as the line trace shows it
        // The next frame follows at once, read in the same batch.
        QTest::addColumn<bool>("nextAtOnce");

        struct Row {
            const char* Name;
            QByteArray Bytes;
            Result Expected;
            int EndLfPos;
            bool BySilence;
            const char* Verdict;
        };
        const QByteArray qv = Reply("QVZEL10-13");
        QByteArray wrong = qv;
        wrong[wrong.size() - 1] = wrong.back() == '0' ? '1' : '0';
        const std::vector<Row> rows = {
            {"checksummed reply", qv, Result::Accepted, 13, false, "accepted"},
            {"cell scan reply", Reply("QD" + QByteArray(256, 'C')), Result::Accepted, 261, false,
             "accepted"},
            {"checksum lower case", "\r\nQV\r\nd5", Result::Accepted, 5, false, "accepted"},
            {"checksum upper case", "\r\nQV\r\nD5", Result::Accepted, 5, false, "accepted"},
            {"wrong checksum", wrong, Result::ChecksumError, 13, false,
             "checksum error (received B0, computed B2)"},
            // The sum is 0D: a reading that stopped at the bad digit would take "D" for it.
            {"checksum digit not hex", "\r\nQV8\r\nDG", Result::ChecksumError, 6, false,
             "checksum error (received DG, computed 0D)"},
            // The sum is 0F: a bad low digit read as -1 would make "1G" come out right.
            {"checksum low digit not hex", "\r\nQV:\r\n1G", Result::ChecksumError, 6, false,
             "checksum error (received 1G, computed 0F)"},
            {"checksum with leading zero", "\r\nQV8\r\n0D", Result::Accepted, 6, false, "accepted"},
            {"short command line", "AT\r", Result::Accepted, 1, false, "accepted"},
            {"command line", "AT&F\r", Result::Accepted, 5, true, "accepted"},
            {"command line, text after CR", "AT#1\rAB\r", Result::Rejected, 5, false,
             "rejected: no LF after the CR at 4"},
            {"escape", "+++", Result::Accepted, 2, true, "accepted"},
            {"result line", "\r\nOK\r\n", Result::Accepted, 5, true, "accepted"},
            {"two result lines", "\r\nRING\r\n\r\nCONNECT\r\n", Result::Accepted, 18, true,
             "accepted"},
            {"bare CR LF", "\r\n", Result::Accepted, -1, true, "accepted"},
            {"only CR at index 3", "\r\nX\r\n", Result::Accepted, -1, true, "accepted"},
            {"reply cut after CR LF", "\r\nQG123456\r\n", Result::Accepted, 11, true, "accepted"},
            {"reply cut in checksum", "\r\nQV\r\nD", Result::Rejected, 5, true,
             "rejected: ended by silence after 7 bytes"},
            {"line without CR", "AT&F", Result::Rejected, -1, true,
             "rejected: ended by silence after 4 bytes"},
            {"bad first byte", "X\r\nQV\r\nD5", Result::Rejected, -1, false,
             "rejected: first byte not CR, \"A\" or \"+\""},
            {"bad second byte", "\rX\nQV\r\nD5", Result::Rejected, -1, false,
             "rejected: second byte not LF, \"T\" or \"+\""},
            {"CR not followed by LF", "\r\nQV12\r3\r\nAA", Result::Rejected, 7, false,
             "rejected: no LF after the CR at 6"},
        };
        for (const Row& r : rows) {
            for (bool paced : {false, true}) {
                QTest::addRow("%s, %s", r.Name, paced ? "paced" : "whole")
                    << r.Bytes << paced << r.Expected << r.EndLfPos << r.BySilence
                    << QString::fromLatin1(r.Verdict) << false;
            }
            // A frame that ends by silence would run into a frame right behind it.
            if (!r.BySilence) {
                QTest::addRow("%s, next frame in the same batch", r.Name)
                    << r.Bytes << false << r.Expected << r.EndLfPos << r.BySilence
                    << QString::fromLatin1(r.Verdict) << true;
            }
        }
    }
    void frameKinds() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, paced);
        QFETCH(Result, result);
        QFETCH(int, endLfPos);
        QFETCH(bool, bySilence);
        QFETCH(QString, verdict);
        QFETCH(bool, nextAtOnce);

        const QByteArray nextFrame = "\r\nQV\r\nD5";
        FakeLine line;
        line.Send(nextAtOnce ? bytes + nextFrame : bytes, 0, paced);
        const double nextFrameAt = line.LineTime + 500;
        if (!nextAtOnce) {
            line.Send(nextFrame, 500); // the next frame, after the line was quiet
        }
        std::array<uint8_t, CheckerState::kReceiveBufferSize> buffer{};

        const FrameOutcome outcome = Collect(line, buffer.data(), int(buffer.size()));
        QCOMPARE(outcome.Result, result);
        QCOMPARE(outcome.EndLfPos, endLfPos);
        // Read in one go, every byte after the frame's end is read and dropped
        // with it; paced, those of the last batch.
        const QString shown = ReceiveVerdict(outcome, int(buffer.size()));
        // A frame that ended at its last byte hands the next frame on; a
        // rejected one drops it with its own rest.
        const bool handsOn = nextAtOnce && result != Result::Rejected;
        const int dropped = int(bytes.size()) - outcome.Count +
                            (nextAtOnce && !handsOn ? int(nextFrame.size()) : 0);
        QCOMPARE(outcome.CarriedBytes, handsOn ? int(nextFrame.size()) : 0);
        if (paced || dropped == 0) {
            QVERIFY2(shown == verdict || shown.startsWith(verdict + "; "), qPrintable(shown));
        } else {
            QCOMPARE(shown,
                     verdict + QStringLiteral("; %1 more read with it, dropped").arg(dropped));
        }
        const QByteArray stored(reinterpret_cast<const char*>(buffer.data()), outcome.Count);
        QVERIFY(bytes.startsWith(stored));
        if (result != Result::Rejected) {
            QCOMPARE(stored, bytes);
        }
        const double afterLastRead = line.Now - line.LastReadAt;
        if (bySilence) {
            // Quiet for the budget since the last byte.
            QVERIFY2(afterLastRead > 59.99 && afterLastRead <= 62,
                     qPrintable(QString::number(afterLastRead)));
        } else {
            // Seen at its last byte, at most about a byte time after it came.
            QCOMPARE(afterLastRead, 0.0);
            QVERIFY2(line.Now - line.LastArrivalRead <= kByteMs + 0.01,
                     qPrintable(QString::number(line.Now - line.LastArrivalRead)));
        }
        // Bytes that stream in are taken in batches, not one wake-up each.
        if (paced) {
            QVERIFY2(line.Waits + line.Pauses <= bytes.size() / 4 + 6,
                     qPrintable(QString::number(line.Waits + line.Pauses)));
        }

        // The frame after it is received as usual.
        if (!nextAtOnce) {
            line.SkipTo(nextFrameAt);
        }
        const FrameOutcome next = Collect(line, buffer.data(), int(buffer.size()));
        if (nextAtOnce && !handsOn) {
            QCOMPARE(next.Count, 0); // nothing left to collect
            return;
        }
        QCOMPARE(next.Result, Result::Accepted);
        QCOMPARE(next.EndLfPos, 5);
    }

    // A frame ends by silence when the line has been quiet for its budget
    // since the last byte; pauses shorter than that are harmless, up to the
    // whole-frame cap of twice the wire time plus the budget. Each row gives
    // the reply, a delay added before every byte after the first, and pauses
    // (ms) before given byte indices.
    void quietGapsAgainstTheBudget_data() {
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<double>("perByteMs");
        QTest::addColumn<Gaps>("gaps");
        QTest::addColumn<Result>("result");
        QTest::addColumn<int>("count"); // bytes received when the frame ended
        // The same when the collector is told the reply's lengths, as the
        // poll that asked for it tells them, and sleeps towards its end. A
        // stall that begins within such a sleep is timed from the read that
        // ends it, so one just over the budget may go unseen there.
        QTest::addColumn<bool>("sameWhenAwaited");
        for (auto [code, budget] : {std::pair{'V', 60}, {'L', 600}, {'@', 1300}}) {
            const QByteArray reply = Reply(QByteArray("Q") + code + QByteArray(40, '7'));
            QTest::addRow("%c just under %d", code, budget)
                << reply << 0.0 << Gaps{{4, budget - 1.5}} << Result::Accepted << 48
                << (code == 'V');
            // The quiet time runs from the read that took the last byte, which
            // may come one batch pause after the byte.
            QTest::addRow("%c just over %d: truncated", code, budget)
                << reply << 0.0 << Gaps{{4, budget + kPauseMs + 1.5}} << Result::Rejected << 4
                << false;
            QTest::addRow("%c two gaps, each under %d, over it together", code, budget)
                << reply << 0.0 << Gaps{{4, budget * 0.55}, {24, budget * 0.46}} << Result::Accepted
                << 48 << (code == 'V');
            QTest::addRow("%c second gap over %d", code, budget)
                << reply << 0.0 << Gaps{{4, budget * 0.2}, {24, budget + kPauseMs + 1.5}}
                << Result::Rejected << 24 << (code == 'V');
        }
        // The long budget holds only once its 4th byte is in.
        QTest::newRow("L late 4th byte") << Reply("QL" + QByteArray(40, '7')) << 0.0
                                         << Gaps{{3, 100}} << Result::Rejected << 3 << false;

        const QByteArray cells = Reply("QD" + QByteArray(256, 'A'));
        QTest::newRow("264 bytes, each 0.6 ms late")
            << cells << 0.6 << Gaps{} << Result::Accepted << 264 << true;
        QTest::newRow("264 bytes, six pauses of 45 ms")
            << cells << 0.0 << Gaps{{20, 45}, {60, 45}, {100, 45}, {140, 45}, {180, 45}, {220, 45}}
            << Result::Accepted << 264 << true;
        // Stalls early in a short reply, while few bytes are in.
        QTest::newRow("two 40 ms pauses before bytes 2 and 12")
            << Reply("QV" + QByteArray(40, '3')) << 0.0 << Gaps{{2, 40}, {12, 40}}
            << Result::Accepted << 48 << true;
        // A byte every 21 ms, each gap under the budget: the frame ends when it
        // has taken twice its wire time plus 1300 ms plus the 120 ms pause
        // allowance, at its 75th byte (75 * 21.04 ms > 2 * 75 * 1.04 ms + 1420 ms).
        QTest::newRow("trickle ended by the cap") << Reply("Q@" + QByteArray(256, '5')) << 20.0
                                                  << Gaps{} << Result::Rejected << 75 << false;
        // A stream that never pauses long enough for an empty read and has no
        // line end for 3,000 bytes: the cap of a modem line (313 ms) ends it
        // at the first read after it, not when the stream stops. A byte every
        // 1.54 ms; the first three are read as they come, then reads are 4.17
        // ms apart: the 75th batch read, at 315.6 ms, has 205 bytes in.
        QTest::newRow("trickle without a pause, no line end")
            << Reply(QByteArray(3000, 'J')) << 0.5 << Gaps{} << Result::Rejected << 205 << false;
    }
    void quietGapsAgainstTheBudget() {
        QFETCH(QByteArray, reply);
        QFETCH(double, perByteMs);
        QFETCH(Gaps, gaps);
        QFETCH(Result, result);
        QFETCH(int, count);
        QFETCH(bool, sameWhenAwaited);

        FakeLine line = ScriptedLine(reply, perByteMs, gaps);
        std::array<uint8_t, CheckerState::kReceiveBufferSize> buffer{};
        if (sameWhenAwaited) {
            FakeLine told = line;
            const FrameOutcome awaited = Collect(told, buffer.data(), int(buffer.size()),
                                                 ReplyAwaitedFor(reply[3] == 'D' ? "QA" : "QV"));
            QCOMPARE(awaited.Result, result);
            QCOMPARE(awaited.Count, count);
        }

        const FrameOutcome outcome = Collect(line, buffer.data(), int(buffer.size()));
        QCOMPARE(outcome.Result, result);
        QCOMPARE(outcome.Count, count);
        if (result == Result::Rejected) {
            // Which of quiet and cap came first is the timing's business; a
            // trickle is always ended by the cap.
            const QString verdict = ReceiveVerdict(outcome, int(buffer.size()));
            QVERIFY2(verdict.startsWith(
                         QStringLiteral("rejected: ended by silence after %1 bytes").arg(count)),
                     qPrintable(verdict));
            if (QByteArray(QTest::currentDataTag()).startsWith("trickle")) {
                QVERIFY2(verdict.endsWith(QLatin1String(" (frame time cap)")), qPrintable(verdict));
            }
        }
    }

    // A reply whose lengths the command told is read where it may end, not in
    // batches, and still seen at most a byte time after its last byte: at any
    // of its lengths, slower than the line's speed, or after a stall. One that
    // stalls for longer than its budget still ends there; a frame that is not
    // the reply is read as any other. Each row gives the command, the reply,
    // a delay before every byte after the first, pauses before given bytes,
    // and the most wake-ups (waits and sleeps) its collection may take.
    void awaitedRepliesAreReadWhereTheyMayEnd_data() {
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<double>("perByteMs");
        QTest::addColumn<Gaps>("gaps");
        QTest::addColumn<Result>("result");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("wakeUps");
        const QByteArray scan = Reply("QB0" + QByteArray(64, 'A'));
        QTest::newRow("QB, 64 digits")
            << QByteArray("QB0") << scan << 0.0 << Gaps{} << Result::Accepted << 73 << 4;
        QTest::newRow("QB, 8 digits") << QByteArray("QB0") << Reply("QB0" + QByteArray(8, 'A'))
                                      << 0.0 << Gaps{} << Result::Accepted << 17 << 1;
        QTest::newRow("QB, 32 digits") << QByteArray("QB3") << Reply("QB3" + QByteArray(32, 'A'))
                                       << 0.0 << Gaps{} << Result::Accepted << 41 << 3;
        QTest::newRow("QD for QA, 256 cells")
            << QByteArray("QA") << Reply("QD" + QByteArray(256, '1')) << 0.0 << Gaps{}
            << Result::Accepted << 264 << 7;
        QTest::newRow("Qf") << QByteArray("Qf005") << Reply("Qf005" + QByteArray(64, '0')) << 0.0
                            << Gaps{} << Result::Accepted << 75 << 2;
        QTest::newRow("QG") << QByteArray("QG") << Reply("QG12ABCD") << 0.0 << Gaps{}
                            << Result::Accepted << 14 << 1;
        // Past its fixed fields the version is read as any frame.
        QTest::newRow("QV longer than its fixed fields")
            << QByteArray("QV") << Reply("QV3ZEL03A01  ZEL-03  01-07-02") << 0.0 << Gaps{}
            << Result::Accepted << 35 << 3;
        QTest::newRow("QB, 0.3 ms a byte slower than the line")
            << QByteArray("QB0") << scan << 0.3 << Gaps{} << Result::Accepted << 73 << 11;
        QTest::newRow("QB, stalls of 45 ms before bytes 3 and 30")
            << QByteArray("QB0") << scan << 0.0 << Gaps{{3, 45}, {30, 45}} << Result::Accepted << 73
            << 24;
        QTest::newRow("QB, stalled for 130 ms before byte 30")
            << QByteArray("QB0") << scan << 0.0 << Gaps{{30, 130}} << Result::Rejected << 30 << 5;
        QTest::newRow("result line instead of QB") << QByteArray("QB0") << QByteArray("\r\nOK\r\n")
                                                   << 0.0 << Gaps{} << Result::Accepted << 6 << 3;
    }
    void awaitedRepliesAreReadWhereTheyMayEnd() {
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, reply);
        QFETCH(double, perByteMs);
        QFETCH(Gaps, gaps);
        QFETCH(Result, result);
        QFETCH(int, count);
        QFETCH(int, wakeUps);

        FakeLine line = ScriptedLine(reply, perByteMs, gaps);
        const double lastByteAt = line.LineTime;
        line.Send("\r\nQV\r\nD5", 400);
        std::array<uint8_t, CheckerState::kReceiveBufferSize> buffer{};

        const FrameOutcome outcome =
            Collect(line, buffer.data(), int(buffer.size()), ReplyAwaitedFor(command));
        QCOMPARE(outcome.Result, result);
        QCOMPARE(outcome.Count, count);
        QVERIFY2(
            line.Waits + line.Pauses <= wakeUps,
            qPrintable(QStringLiteral("%1 waits, %2 sleeps").arg(line.Waits).arg(line.Pauses)));
        if (result == Result::Accepted && reply.startsWith("\r\nQ")) {
            QVERIFY2(line.Now - lastByteAt <= kByteMs + 0.01,
                     qPrintable(QString::number(line.Now - lastByteAt)));
        }
        // The frame after it is received as usual.
        line.SkipTo(lastByteAt + 400);
        QCOMPARE(Collect(line, buffer.data(), int(buffer.size())).Result, Result::Accepted);
    }

    void nothingIsAwaitedFromOtherCommands() {
        for (const char* command :
             {"QW01233", "QC", "QRD00", "QB", "QB01", "Qf", "QVX", "QM0800FF"}) {
            QCOMPARE(ReplyAwaitedFor(command).NextEnd(nullptr, 0), 0);
        }
    }

    // The tail of a broken reply (its CR, LF and checksum) followed by
    // replies 45 ms apart, less than the budget: the tail's frame ends by the
    // cap of a modem line (twice the wire time of 64 bytes plus 180 ms, 313 ms)
    // in the third gap, after 4 + 3 * 48 bytes, and the reply after it is
    // received whole.
    void aBrokenTailDoesNotSwallowTheRepliesAfterIt() {
        FakeLine line;
        line.Send("\r\n7F");
        const QByteArray reply = Reply("QV" + QByteArray(40, '7'));
        for (int i = 0; i < 5; ++i) {
            line.Send(reply, 45);
        }
        std::array<uint8_t, CheckerState::kReceiveBufferSize> buffer{};
        const FrameOutcome tail = Collect(line, buffer.data(), int(buffer.size()));
        QCOMPARE(tail.Result, Result::Rejected);
        QCOMPARE(tail.Count, 4 + 3 * 48);
        const FrameOutcome next = Collect(line, buffer.data(), int(buffer.size()));
        QCOMPARE(next.Result, Result::Accepted);
        QCOMPARE(next.Count, 48);
    }

    void overLongFramesStayInsideTheBuffer_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<Result>("result");
        QTest::addColumn<int>("endLfPos");
        QTest::addColumn<int>("count");
        const int size = 16;
        QTest::newRow("command line far too long")
            << QByteArray("AT") + QByteArray(40, 'B') + "\r" << Result::Rejected << -1 << size;
        // The dispatcher would read one byte past the CR, past the buffer's end.
        QTest::newRow("command line filling the buffer")
            << QByteArray("AT") + QByteArray(size - 3, 'B') + "\r" << Result::Rejected << size
            << size;
        QTest::newRow("command line one short of the buffer")
            << QByteArray("AT") + QByteArray(size - 4, 'B') + "\r" << Result::Accepted << size - 1
            << size - 1;
        QTest::newRow("reply filling the buffer")
            << Reply("QV12345678") << Result::Accepted << 13 << size;
        QTest::newRow("reply one byte too long")
            << Reply("QV123456789") << Result::Rejected << 14 << size;
    }
    void overLongFramesStayInsideTheBuffer() {
        QFETCH(QByteArray, bytes);
        QFETCH(Result, result);
        QFETCH(int, endLfPos);
        QFETCH(int, count);
        const int size = 16;
        const uint8_t guard = 0xA5;
        std::vector<uint8_t> memory(size + 2 * 64, guard);
        uint8_t* buffer = memory.data() + 64;

        FakeLine line;
        line.Send(bytes, 0, false);
        line.Send("AT\r", 300);
        const FrameOutcome outcome = Collect(line, buffer, size);
        QCOMPARE(outcome.Result, result);
        QCOMPARE(outcome.EndLfPos, endLfPos);
        QCOMPARE(outcome.Count, count);
        if (result == Result::Rejected) {
            const QString tooLong =
                QStringLiteral("rejected: longer than the receive buffer (16 bytes)");
            QCOMPARE(ReceiveVerdict(outcome, size),
                     bytes.size() == count
                         ? tooLong
                         : tooLong + QStringLiteral("; %1 more read with it, dropped")
                                         .arg(bytes.size() - count));
        }
        QCOMPARE(QByteArray(reinterpret_cast<const char*>(buffer), count), bytes.left(count));
        for (int i = 0; i < 64; ++i) {
            QCOMPARE(memory[i], guard);
            QCOMPARE(memory[64 + size + i], guard);
        }
        const FrameOutcome next = Collect(line, buffer, size);
        QCOMPARE(next.Result, Result::Accepted);
        QCOMPARE(next.EndLfPos, 1);
    }

    void overLongFrameOfTheReceiveBuffer() {
        const int size = CheckerState::kReceiveBufferSize;
        const QByteArray frame = QByteArray("\r\nQD") + QByteArray(13000, '0') + "\r\n00";
        // Room behind the buffer for the whole frame, so an overrun shows as
        // changed guard bytes rather than a damaged heap.
        std::vector<uint8_t> memory(size_t(frame.size()) + 16, 0xA5);
        FakeLine line;
        line.Send(frame, 0, false);
        line.Send("\r\nQV\r\nD5", 100);
        const FrameOutcome outcome = Collect(line, memory.data(), size);
        QCOMPARE(outcome.Result, Result::Rejected);
        QCOMPARE(outcome.Count, size);
        QVERIFY(
            std::all_of(memory.begin() + size, memory.end(), [](uint8_t b) { return b == 0xA5; }));
        QCOMPARE(Collect(line, memory.data(), size).Result, Result::Accepted);
    }

    void silenceAfterOneByteIsNoFrame_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("plus") << QByteArray("+");
        QTest::newRow("A") << QByteArray("A");
        QTest::newRow("CR") << QByteArray("\r");
    }
    void silenceAfterOneByteIsNoFrame() {
        QFETCH(QByteArray, bytes);
        // The byte before the buffer looks like the CR of a CR LF ending.
        std::array<uint8_t, 8> memory{};
        memory.fill('\r');
        FakeLine line;
        line.Send(bytes);
        const FrameOutcome outcome = Collect(line, memory.data() + 1, 6);
        QCOMPARE(outcome.Result, Result::Rejected);
        QCOMPARE(outcome.Count, 1);
        QCOMPARE(ReceiveVerdict(outcome, 6),
                 QStringLiteral("rejected: ended by silence after 1 byte"));

        ReplyReceiver nothing(memory.data() + 1, 6);
        QCOMPARE(nothing.EndBySilence(), Result::Rejected);
    }

    void bytesAfterTheEndAreIgnored() {
        std::array<uint8_t, 8> buffer{};
        ReplyReceiver receiver(buffer.data(), int(buffer.size()));
        for (char c : QByteArray("AT")) {
            QCOMPARE(receiver.Feed(uint8_t(c)), Result::Collecting);
        }
        QCOMPARE(receiver.Feed('\r'), Result::Accepted);
        QCOMPARE(receiver.Feed('X'), Result::Accepted);
        QCOMPARE(receiver.EndBySilence(), Result::Accepted);
        QCOMPARE(receiver.Count(), 3);
        QCOMPARE(buffer[3], uint8_t(0));
    }
};

QTEST_GUILESS_MAIN(TestReplyReceiver)
#include "test_reply_receiver.moc"
