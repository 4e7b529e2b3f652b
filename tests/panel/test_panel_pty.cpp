// End to end over a pseudo-terminal: the real serial control on COM1, a
// scripted peer on the other end that reports a bit scan of line 2 and then
// reads what the "Pattern3" button puts on the line.
#include "FakeMessageBoxes.h"
#include "PanelFixture.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"

#include <QElapsedTimer>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace {
// Reads whatever comes within `ms`, stopping early once `size` bytes are in.
QByteArray ReadFor(int fd, int ms, qsizetype size = -1) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < ms && (size < 0 || got.size() < size)) {
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

bool WriteAll(int fd, const QByteArray& bytes) {
    return ::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())) == bytes.size();
}
} // namespace

class TestPanelPty : public QObject {
    Q_OBJECT
private slots:
    void pattern3ReachesThePeerAsOneFrameForTheReportedLine() {
        int master = -1;
        int slave = -1;
        char name[128] = {};
        QVERIFY(openpty(&master, &slave, name, nullptr, nullptr) == 0);
        termios tio{};
        QVERIFY(tcgetattr(master, &tio) == 0);
        cfmakeraw(&tio);
        QVERIFY(tcsetattr(master, TCSANOW, &tio) == 0);

        PortNames names;
        names.Map(1, QString::fromLocal8Bit(name));
        QtSerialControl serial(names);
        FakeMessageBoxes boxes;
        {
            Form1 form(&serial, &boxes);
            form.Form_Load();
            QVERIFY2(serial.PortOpen(), qPrintable(serial.LastError()));
            QCOMPARE(boxes.Shown.size(), 0);

            // The start-up version request, then a bit scan of line 2.
            QCOMPARE(ReadFor(master, 2000, Frame("QV").size()), Frame("QV"));
            QVERIFY(WriteAll(master, Frame("QB2" + QByteArray(64, '0'))));
            QTRY_COMPARE(form.State.ScanLine, 2);
            QCOMPARE(form.Label23->BackColor(), Colors::kLightBlue); // checksum right

            QTest::mouseClick(form.Command2(5), Qt::LeftButton);

            const QByteArray expected =
                "\r\nQ:200" + QByteArray(64, 'F') + "\r\n" + QByteArray("CB");
            QCOMPARE(Frame("Q:200" + QByteArray(64, 'F')), expected);
            QCOMPARE(ReadFor(master, 1000, expected.size()), expected);
            // Nothing else follows: sampling is stopped, no poll goes out.
            QTest::qWait(300);
            QCOMPARE(ReadFor(master, 100), QByteArray());
        }
        close(master);
        close(slave);
    }
};

QTEST_MAIN(TestPanelPty)
#include "test_panel_pty.moc"
