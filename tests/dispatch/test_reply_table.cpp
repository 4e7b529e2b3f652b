// Which replies the window acts on, and which bit scan sizes it takes.
#include "dispatch/ReplyTable.h"

#include <QTest>

class TestReplyTable : public QObject {
    Q_OBJECT
private slots:
    void repliesFindTheirRoute_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("route"); // empty: no action
        QTest::addColumn<bool>("acceptedScan");
        const auto qd = [](int cells) { return "\r\nQD" + QByteArray(cells, '5') + "\r\n"; };
        const auto qb = [](int digits) { return "\r\nQB2" + QByteArray(digits, 'A') + "\r\n"; };
        QTest::newRow("QD 31 cells") << qd(31) << QByteArray("QD") << false;
        QTest::newRow("QD 32 cells") << qd(32) << QByteArray("QD") << true;
        QTest::newRow("QD 64 cells") << qd(64) << QByteArray("QD") << true;
        QTest::newRow("QD 128 cells") << qd(128) << QByteArray("QD") << true;
        QTest::newRow("QD 256 cells") << qd(256) << QByteArray("QD") << true;
        QTest::newRow("QD 257 cells") << qd(257) << QByteArray("QD") << false;
        QTest::newRow("QB 7 digits") << qb(7) << QByteArray("QB") << false;
        QTest::newRow("QB 8 digits") << qb(8) << QByteArray("QB") << true;
        QTest::newRow("QB 16 digits") << qb(16) << QByteArray("QB") << true;
        QTest::newRow("QB 32 digits") << qb(32) << QByteArray("QB") << true;
        QTest::newRow("QB 64 digits") << qb(64) << QByteArray("QB") << true;
        QTest::newRow("QB 65 digits") << qb(65) << QByteArray("QB") << false;
        // A record scan is no bit scan, whatever its size.
        QTest::newRow("Qf") << "\r\nQf000" + QByteArray(64, '0') + "\r\n"
                            << QByteArray("Qf") << false;
        QTest::newRow("Qz") << QByteArray("\r\nQz3FFFFX1FA\r\n") << QByteArray("Qz") << false;
        QTest::newRow("Qy") << QByteArray("\r\nQy048A\r\n") << QByteArray("Qy") << false;
        QTest::newRow("Qw") << QByteArray("\r\nQw01\r\n") << QByteArray("Qw") << false;
        QTest::newRow("QG") << QByteArray("\r\nQG000001\r\n") << QByteArray("QG") << false;
        QTest::newRow("QV") << QByteArray("\r\nQV3LUP\r\n") << QByteArray("QV") << false;
        QTest::newRow("refusal") << QByteArray("\r\nQ?QD\r\n") << QByteArray() << false;
        QTest::newRow("upper-case Qf") << QByteArray("\r\nQF\r\n") << QByteArray() << false;
        QTest::newRow("lower-case QV") << QByteArray("\r\nqV\r\n") << QByteArray() << false;
        QTest::newRow("one-letter code") << QByteArray("\r\nQ\r\n") << QByteArray() << false;
        QTest::newRow("result line") << QByteArray("\r\nOK\r\n") << QByteArray() << false;
        QTest::newRow("modem command") << QByteArray("AT&F\r") << QByteArray() << false;
        // The checksum over such a frame may be right; its head is not a reply's.
        QTest::newRow("scan code after AT") << "ATQD" + QByteArray(32, '5') + "\r\n"
                                            << QByteArray() << false;
        QTest::newRow("scan code after +LF") << "+\nQD" + QByteArray(32, '5') + "\r\n"
                                             << QByteArray() << false;
    }
    void repliesFindTheirRoute() {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, route);
        QFETCH(bool, acceptedScan);
        const Frame frame = ReadFrame(text, LineDirection::FromUnit);
        const ReplyRoute* found = FindReplyRoute(frame);
        QCOMPARE(found == nullptr ? QByteArray() : found->Code.toByteArray(), route);
        QVERIFY(found == nullptr || found->Handle != nullptr);
        QCOMPARE(IsAcceptedScan(frame), acceptedScan);
    }
};

QTEST_MAIN(TestReplyTable)
#include "test_reply_table.moc"
