#include "sim/SimulatedUnitHost.h"

#include "ReferenceFrames.h"

#include <QElapsedTimer>
#include <QTest>

#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// Reads until `size` bytes have come or `timeoutMs` has passed.
QByteArray ReadBytes(int fd, qsizetype size, int timeoutMs) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < size && clock.elapsed() < timeoutMs) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 10) > 0) {
            char buffer[512];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n > 0) {
                got.append(buffer, n);
            }
        }
    }
    return got;
}

// Opens the checker's end of the line as any program would.
int OpenRaw(const QString& path) {
    const int fd = open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    if (fd >= 0) {
        termios tio{};
        tcgetattr(fd, &tio);
        cfmakeraw(&tio);
        tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

} // namespace

class TestUnitHost : public QObject {
    Q_OBJECT
private slots:
    void answersALineReadOverThePseudoTerminal() {
        SimulatedUnitHost host;
        QString path;
        QString error;
        QVERIFY2(host.Start(UnitFamily::Zel, 32, false, &path, &error), qPrintable(error));
        host.PowerOn();
        QTRY_COMPARE(host.State(), UnitState::Online);
        const int fd = OpenRaw(path);
        QVERIFY(fd >= 0);
        const QByteArray bit = Wire("QW3053"); // line 3, cell 5
        QCOMPARE(::write(fd, bit.constData(), bit.size()), ssize_t(bit.size()));
        QCOMPARE(ReadBytes(fd, Wire("QXW").size(), 2000), Wire("QXW"));
        const QByteArray poll = Wire("QB3");
        QCOMPARE(::write(fd, poll.constData(), poll.size()), ssize_t(poll.size()));
        QCOMPARE(ReadBytes(fd, Wire("QB302000000").size(), 2000), Wire("QB302000000"));
        QCOMPARE(host.ReceivedCommands(), (QByteArrayList{"QW3053", "QB3"}));
        QCOMPARE(host.LineMemory(3).left(2), QByteArray("\x20\x00", 2));
        close(fd);
        host.Stop();
        QVERIFY(!host.IsRunning());
    }

    void pacedUnitSpendsTheWireTimeOfItsReply() {
        SimulatedUnitHost host;
        QString path;
        QString error;
        QVERIFY2(host.Start(UnitFamily::Zel, 256, true, &path, &error), qPrintable(error));
        host.PowerOn();
        QTRY_COMPARE(host.State(), UnitState::Online);
        const int fd = OpenRaw(path);
        QVERIFY(fd >= 0);
        const QByteArray poll = Wire("QA");
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(::write(fd, poll.constData(), poll.size()), ssize_t(poll.size()));
        const QByteArray reply = ReadBytes(fd, 264, 3000);
        const qint64 took = clock.elapsed();
        QCOMPARE(reply, Wire("QD" + QByteArray(256, '0')));
        QVERIFY2(took >= 250 && took < 1500, qPrintable(QString::number(took)));
        close(fd);
    }

    void modemUnitSendsItsSetUpLineAndTracesIt() {
        SimulatedUnitHost host;
        QList<UnitTraceEvent> events;
        std::mutex m;
        host.SetTraceSink([&](const UnitTraceEvent& e) {
            std::lock_guard lock(m);
            events.append(e);
        });
        QString path;
        QString error;
        QVERIFY2(host.Start(UnitFamily::Lup, 256, false, &path, &error), qPrintable(error));
        const int fd = OpenRaw(path);
        QVERIFY(fd >= 0);
        host.PowerOn(50);
        QCOMPARE(ReadBytes(fd, 5, 2000), QByteArray("AT&F\r"));
        const QByteArray bad = "\r\nQV\r\n00";
        QCOMPARE(::write(fd, bad.constData(), bad.size()), ssize_t(bad.size()));
        QTRY_COMPARE(host.Snapshot().BadChecksums, 1);
        host.Stop(); // the trace sink is not called any more
        std::lock_guard lock(m);
        QStringList lines;
        for (const UnitTraceEvent& e : events) {
            lines << FormatTraceEvent(e);
        }
        QVERIFY2(lines.filter(QStringLiteral(" unit from-unit modem-command \"AT&F\\r\"")).size() ==
                     1,
                 qPrintable(lines.join('\n')));
        QVERIFY2(lines.filter(QStringLiteral(" unit to-unit command \"\\r\\nQV\\r\\n00\" "
                                             "checksum BAD (sum D5)"))
                         .size() == 1,
                 qPrintable(lines.join('\n')));
        close(fd);
    }
};

QTEST_GUILESS_MAIN(TestUnitHost)
#include "test_unit_host.moc"
