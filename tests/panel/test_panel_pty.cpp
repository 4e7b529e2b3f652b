// End to end over a pseudo-terminal: the real serial control on COM1, a
// scripted peer on the other end that reports a bit scan of line 2 and then
// reads what the "Pattern3" button puts on the line.
#include "FakeMessageBoxes.h"
#include "PanelFixture.h"
#include "PseudoTerminal.h"
#include "core/Form1.h"
#include "link/PortNames.h"
#include "link/QtSerialControl.h"

#include <QTest>

class TestPanelPty : public QObject {
    Q_OBJECT
private slots:
    void pattern3ReachesThePeerAsOneFrameForTheReportedLine() {
        PtyPeer peer;
        QVERIFY2(peer.Ok(), "no pseudo-terminal");

        PortNames names;
        names.Map(1, peer.SlaveName);
        QtSerialControl serial(names);
        FakeMessageBoxes boxes;
        {
            Form1 form(&serial, &boxes);
            form.Form_Load();
            QVERIFY2(serial.PortOpen(), qPrintable(serial.LastError()));
            QCOMPARE(boxes.Shown.size(), 0);

            // The start-up version request, then a bit scan of line 2.
            QCOMPARE(peer.ReadFor(2000, Frame("QV").size()), Frame("QV"));
            QVERIFY(peer.WriteAll(Frame("QB2" + QByteArray(64, '0'))));
            QTRY_COMPARE(form.State.ScanLine, 2);
            QCOMPARE(form.Label23->BackColor(), Colors::kLightBlue); // checksum right

            QTest::mouseClick(form.Command2(5), Qt::LeftButton);

            const QByteArray expected =
                "\r\nQ:200" + QByteArray(64, 'F') + "\r\n" + QByteArray("CB");
            QCOMPARE(Frame("Q:200" + QByteArray(64, 'F')), expected);
            QCOMPARE(peer.ReadFor(1000, expected.size()), expected);
            // Nothing else follows: sampling is stopped, no poll goes out.
            QTest::qWait(300);
            QCOMPARE(peer.ReadFor(100), QByteArray());
        }
    }
};

QTEST_MAIN(TestPanelPty)
#include "test_panel_pty.moc"
