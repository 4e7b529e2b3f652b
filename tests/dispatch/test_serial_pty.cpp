// The window on the real serial control, with a pseudo-terminal standing in
// for COM1: a peer thread plays the unit at the line's pace.
#include "PseudoTerminal.h"
#include "RealPortWindow.h"
#include "ReferenceFrames.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {
using Steady = std::chrono::steady_clock;

qint64 MsSince(Steady::time_point t0, Steady::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(t - t0).count();
}

// The pseudo-terminal's master side, also keeping what the checker sent.
struct Peer : PtyPeer {
    QByteArray FromChecker;
    // Reads what the checker sends until it contains the text or the time is up.
    bool ReadUntil(const QByteArray& text, Steady::time_point deadline) {
        while (!FromChecker.contains(text) && Steady::now() < deadline) {
            FromChecker += ReadFor(5);
        }
        return FromChecker.contains(text);
    }
};

// The version request as it leaves the checker, checksum 0x0D+0x0A+'Q'+'V'+0x0D+0x0A = 0xD5.
const QByteArray kVersionRequest = "\r\nQV\r\nD5";

QByteArray Reply(const QByteArray& codeAndData) {
    return Wire(codeAndData);
}
} // namespace

class TestSerialPty : public QObject {
    Q_OBJECT
private slots:
    // The unit sends its escape "+++" and, 300 ms later, a bit scan: the scan
    // is received and shown inside the dispatcher's 1.5 s wait, before the
    // checker's "OK" goes out.
    void aPacedReplyIsShownAlsoDuringTheDispatchersWait() {
        Peer peer;
        QVERIFY2(peer.Ok(), "no pseudo-terminal");
        RealPortWindow w(peer.SlaveName);
        QVERIFY(w.Load());
        QVERIFY(w.Boxes.Shown.isEmpty());

        // Line 1, 16 digits: eight bytes, each written low digit first.
        const int bytes[8] = {0x01, 0x80, 0xFF, 0x00, 0x5A, 0x00, 0x00, 0x10};
        const QByteArray digits = "1008FF00A5000001";
        QByteArray picture;
        for (int i = 0; i < 64; ++i) {
            picture += ((bytes[i / 8] >> (i % 8)) & 1) != 0 ? 'R' : 'W';
        }
        auto gridShows = [&] {
            for (int i = 0; i < 256; ++i) {
                const MonitorCell* cell = w.Form.Picture1(i);
                const bool ok = i < 64 ? cell->BackColor() ==
                                             (picture[i] == 'R' ? Colors::kRed : Colors::kWhite)
                                       : cell->IsGrey();
                if (!ok) {
                    return false;
                }
            }
            return true;
        };

        std::atomic<bool> versionSeen{false}, okSeen{false}, done{false};
        Steady::time_point escapeSent, scanSent, okAt; // scanSent: its first byte
        std::jthread unit([&] {
            const auto t0 = Steady::now();
            versionSeen = peer.ReadUntil(kVersionRequest, t0 + std::chrono::seconds(2));
            peer.WritePaced("+++");
            escapeSent = Steady::now();
            std::this_thread::sleep_until(escapeSent + std::chrono::milliseconds(300));
            scanSent = Steady::now();
            peer.WritePaced(Reply("QB1" + digits));
            okSeen = peer.ReadUntil("\r\nOK\r\n", escapeSent + std::chrono::seconds(3));
            okAt = Steady::now();
            done = true;
        });

        // Looks at the grid while the window serves events, also inside waits.
        Steady::time_point shownAt{};
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            if (shownAt == Steady::time_point{} && gridShows()) {
                shownAt = Steady::now();
            }
        });
        watch.start(2);
        QTRY_VERIFY_WITH_TIMEOUT(done.load(), 6000);
        unit.join();
        watch.stop();

        QVERIFY(versionSeen);
        QVERIFY(peer.FromChecker.startsWith(kVersionRequest));
        QVERIFY(okSeen);
        QVERIFY(shownAt != Steady::time_point{});
        QCOMPARE(w.Form.Label2(2)->Caption(), QStringLiteral("64"));
        QCOMPARE(w.Form.Label23->BackColor(), Colors::kLightBlue);
        const qint64 shown = MsSince(scanSent, shownAt);
        QVERIFY2(shown >= 20 && shown < 200, qPrintable(QString::number(shown)));
        const qint64 ok = MsSince(escapeSent, okAt);
        QVERIFY2(ok >= 1500 && ok < 1800, qPrintable(QString::number(ok)));
        QVERIFY(shownAt < okAt);
        QVERIFY(w.Boxes.Shown.isEmpty());

        // Replies back to back, 2-4 ms apart, then one more after the line
        // has rested: the port stays open, nobody is told of a fault, and the
        // rested reply is shown. A reply whose head is lost to a stalled
        // window (its tail then starts a frame) can join the replies that
        // follow it without a quiet gap into one frame until the line rests,
        // so on a loaded machine not every reply of the burst is shown.
        const int judged0 = w.Form.Label23->ColorWrites();
        std::atomic<bool> burstDone{false};
        std::jthread burst([&] {
            for (int n = 1; n <= 60; ++n) {
                peer.WritePaced(Reply("QG0000" + QByteArray::number(n, 16).rightJustified(2, '0')));
                std::this_thread::sleep_for(std::chrono::milliseconds(2 + n % 3));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            peer.WritePaced(Reply("QG00003D"));
            burstDone = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(burstDone.load(), 6000);
        QTRY_COMPARE(w.Form.Label2(5)->Caption(), QStringLiteral("61"));
        qInfo("replies judged of 61 sent: %d", w.Form.Label23->ColorWrites() - judged0);
        QVERIFY(w.Serial.PortOpen());
        QVERIFY(w.Boxes.Shown.isEmpty());

        // The unit hangs up in the middle of a long reply: the port is closed
        // and the operator told once; the frame ends by silence without the
        // handler spinning on the closed port meanwhile.
        std::atomic<bool> hungUp{false};
        std::jthread hangUp([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            peer.WritePaced("\r\nQ@12");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            close(peer.Master);
            peer.Master = -1;
            hungUp = true;
        });
        const std::clock_t before = std::clock();
        QTRY_VERIFY_WITH_TIMEOUT(hungUp.load() && !w.Serial.PortOpen(), 3000);
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 300, qPrintable(QString::number(cpuMs)));
        QTRY_COMPARE(w.Boxes.Shown.size(), qsizetype(1));
        // The unit's end closed: the pseudo-terminal is gone with it.
        QVERIFY2(w.Boxes.Shown[0].Text.contains(": device removed\r\n"),
                 qPrintable(w.Boxes.Shown[0].Text));
    }

    // A device pulled out, with a stable name (a symbolic link standing in
    // for it): the port is closed with one notice and looked for without
    // spinning while the device is gone. Another pseudo-terminal that appears
    // under the name, even with the number of the lost one, is another
    // program's line: it is neither opened nor written to.
    void aLostDeviceIsWatchedForAndNotTakenForAnother() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString link = dir.filePath(QStringLiteral("ttyZEL"));
        auto plugIn = [&link] {
            auto peer = std::make_unique<Peer>();
            QFile::remove(link);
            return peer->Ok() && QFile::link(peer->SlaveName, link) ? std::move(peer) : nullptr;
        };
        std::unique_ptr<Peer> peer = plugIn();
        QVERIFY(peer);
        RealPortWindow w(link);
        // The watch looks every 200 to 400 ms instead of its 1 to 30 s.
        w.Form.Reopen.FirstMs = 200;
        w.Form.Reopen.LongestMs = 400;
        QVERIFY(w.Load());

        peer.reset(); // unplugged: both ends of the line gone
        QFile::remove(link);
        QTRY_VERIFY_WITH_TIMEOUT(!w.Serial.PortOpen(), 3000);
        QTRY_COMPARE(w.Boxes.Shown.size(), qsizetype(1));
        QVERIFY2(w.Boxes.Shown[0].Text.contains(": device removed\r\n"),
                 qPrintable(w.Boxes.Shown[0].Text));
        const std::clock_t before = std::clock();
        QTest::qWait(1200);
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 250, qPrintable(QString::number(cpuMs)));
        qInfo("process CPU while the device is gone: %.1f ms in 1.2 s", cpuMs);
        QVERIFY(!w.Serial.PortOpen());

        peer = plugIn();
        QVERIFY(peer);
        QTest::qWait(1000); // two looks of the watch at least
        QVERIFY(!w.Serial.PortOpen());
        w.Form.SendCommand("QV");
        QVERIFY(peer->ReadFor(300).isEmpty());
        QCOMPARE(w.Boxes.Shown.size(), qsizetype(1));
    }

    // What tells a device under a name from another: the same device seen
    // twice, or through a link, is the same; a new pseudo-terminal is not,
    // whatever its number; a missing or non-device path has none.
    void deviceIdentity_data() {
        QTest::addColumn<int>("second"); // 0 the same pty, 1 a link to it, 2 a new pty, 3 a file
        QTest::addColumn<bool>("same");
        QTest::newRow("the same pseudo-terminal") << 0 << true;
        QTest::newRow("a link to it") << 1 << true;
        QTest::newRow("a new pseudo-terminal") << 2 << false;
        QTest::newRow("a plain file") << 3 << false;
    }
    void deviceIdentity() {
        QFETCH(int, second);
        QFETCH(bool, same);
        QTemporaryDir dir;
        auto first = std::make_unique<Peer>();
        QVERIFY(first->Ok());
        const QString id = DeviceIdentity(first->SlaveName);
        QVERIFY(!id.isEmpty());
        QString other;
        std::unique_ptr<Peer> next;
        const QString path = dir.filePath(QStringLiteral("dev"));
        switch (second) {
        case 0:
            other = DeviceIdentity(first->SlaveName);
            break;
        case 1:
            QVERIFY(QFile::link(first->SlaveName, path));
            other = DeviceIdentity(path);
            break;
        case 2: {
            const QString name = first->SlaveName;
            first.reset(); // its number is free again
            // Another program's, made later: node times tick in steps of a
            // few milliseconds.
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
            next = std::make_unique<Peer>();
            QVERIFY(next->Ok());
            qInfo("lost %s, new %s", qPrintable(name), qPrintable(next->SlaveName));
            other = DeviceIdentity(next->SlaveName);
            break;
        }
        default: {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            other = DeviceIdentity(path);
            QVERIFY(other.isEmpty());
        }
        }
        QCOMPARE(other == id, same);
    }
};

QTEST_MAIN(TestSerialPty)
#include "test_serial_pty.moc"
