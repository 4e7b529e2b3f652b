// Port selection: menu and option buttons in step, the opening order, and
// what the operator sees when a port cannot be opened or goes away.
#include "FormFixture.h"
#include "link/PortNames.h"
#include "link/ReadFailureJudge.h"
#include "trace/LogFiles.h"

#include <QFile>
#include <QTemporaryDir>

// Read failures and data in arrival order: (line state, or -1 for bytes, ms).
using Events = QList<QPair<int, int>>;

class TestPorts : public QObject {
    Q_OBJECT

    static void ExpectShown(FormFixture& f, int port) {
        MenuItem* items[4] = {f->mnuCOM1, f->mnuCOM2, f->mnuCOM3, f->mnuCOM4};
        for (int k = 1; k <= 4; ++k) {
            QCOMPARE(items[k - 1]->isChecked(), k == port);
            QCOMPARE(f->Option2(k - 1)->Value(), k == port);
        }
    }

private slots:
    void startUpOpensCom1WithTheLineSettings() {
        FormFixture f;
        QCOMPARE(f.Serial.Openings.size(), 1);
        const auto& o = f.Serial.Openings[0];
        QCOMPARE(o.Port, 1);
        QCOMPARE(o.Settings, QStringLiteral("9600,N,8,1"));
        QCOMPARE(o.RThreshold, 1);
        QCOMPARE(o.InputLen, 1);
        QCOMPARE(o.InputMode, 1);
        ExpectShown(f, 1);
    }

    void menuAndOptionsChooseThePortAndStayInStep() {
        FormFixture f;
        // A connected unit sampled every second, line 3 shown, unit a2 typed.
        f.Serial.Receive(FakeSerialControl::Reply("QV ZEL10-02..........V1.30ABC"));
        QVERIFY(f.PumpUntil([&] { return f.State().Connected == int16_t(1); }, 5000));
        f->menuT1000_Click();
        f->Option1_Click(2);
        f->UnitRow_Click(2);
        f.Serial.ClearWrites();
        f->mnuCOM3->trigger();
        QVERIFY(f.Serial.PortOpen());
        QCOMPARE(f.Serial.CommPort(), 3);
        ExpectShown(f, 3);
        QTest::mouseClick(f->Option2(1), Qt::LeftButton);
        QCOMPARE(f.Serial.CommPort(), 2);
        ExpectShown(f, 2);
        // The same port again: closed and reopened, nothing else.
        f->mnuCOM2->trigger();
        ExpectShown(f, 2);
        // One opening per choice: the click raised by the selection in code
        // does not open the port a second time.
        QCOMPARE(f.Serial.Openings.size(), 4);
        QCOMPARE(f.Serial.Openings.back().Port, 2);
        // A new port changes nothing else: no command, no reconnection.
        QVERIFY(f.Serial.Writes.isEmpty());
        QCOMPARE(f.State().Connected, int16_t(1));
        QCOMPARE(f->Label2(1)->Caption(), QStringLiteral("ZEL10-02   V1.30ABC"));
        QCOMPARE(f->Label17->BackColor(), Colors::kLightBlue);
        QVERIFY(f->Timer1->Enabled() && f->Timer1->Interval() == 1000);
        QCOMPARE(f->Label2(11)->Caption(), QStringLiteral("1000"));
        QCOMPARE(f.State().ScanLine, int16_t(2));
        QCOMPARE(f->UnitRow(2)(0)->Caption(), QStringLiteral("Tmp"));
    }

    void aPortThatCannotBeOpenedIsReportedOnceAndAnotherCanBeChosen_data() {
        QTest::addColumn<int>("failure");
        QTest::addColumn<QString>("says");
        QTest::newRow("absent") << int(SerialControl::OpenFailure::NotFound) << "does not exist";
        QTest::newRow("in use") << int(SerialControl::OpenFailure::InUse) << "in use";
        QTest::newRow("no permission")
            << int(SerialControl::OpenFailure::NoPermission) << "dialout";
    }
    void aPortThatCannotBeOpenedIsReportedOnceAndAnotherCanBeChosen() {
        QFETCH(int, failure);
        QFETCH(QString, says);
        FormFixture f(false);
        f.Serial.FailingPorts[1] = static_cast<SerialControl::OpenFailure>(failure);
        f->Form_Load();
        QVERIFY(!f.Serial.PortOpen());
        QCOMPARE(f.Boxes.Shown.size(), 1);
        const QString text = f.Boxes.Shown[0].Text;
        QVERIFY2(text.contains("COM1") && text.contains("/dev/fake1") && text.contains(says),
                 qPrintable(text));
        if (failure != int(SerialControl::OpenFailure::NoPermission)) {
            QVERIFY(!text.contains("dialout"));
        }
        // The version request of the start-up went nowhere, without a crash:
        // not even to the closed port.
        QVERIFY(f.Serial.Writes.isEmpty());
        QCOMPARE(f.Serial.DroppedWrites, 0);
        // With no port open, the option buttons and the menu open one.
        QTest::mouseClick(f->Option2(1), Qt::LeftButton);
        QVERIFY(f.Serial.PortOpen());
        QCOMPARE(f.Serial.CommPort(), 2);
        ExpectShown(f, 2);
        f.Serial.SetPortOpen(false);
        f->mnuCOM4->trigger();
        QVERIFY(f.Serial.PortOpen());
        QCOMPARE(f.Serial.CommPort(), 4);
        QCOMPARE(f.Boxes.Shown.size(), 1);
    }

    // Read failures as the port raises them: only a dead line closes it. Each
    // row is a run of failures (line state, ms) with "data" for bytes coming
    // in between; the index of the failure that closes the port, or -1.
    void readFailuresCloseOnlyADeadLine_data() {
        using L = ReadFailureJudge::Line;
        QTest::addColumn<Events>("events"); // (line or -1 for data, ms)
        QTest::addColumn<int>("closesAt");
        const int data = -1, ok = int(L::InOrder), hup = int(L::HungUp), gone = int(L::Gone);
        QTest::newRow("empty read after a discard") << Events{{ok, 0}} << -1;
        QTest::newRow("one empty read per frame, all day")
            << Events{{ok, 0},   {data, 240},  {ok, 250}, {data, 480},
                      {ok, 490}, {data, 5000}, {ok, 5010}}
            << -1;
        QTest::newRow("hang-up") << Events{{ok, 0}, {hup, 10}} << 1;
        QTest::newRow("device node gone") << Events{{gone, 0}} << 0;
        QTest::newRow("failing for a stretch without data")
            << Events{{ok, 0}, {ok, 900}, {ok, 1900}, {ok, 2000}} << 3;
        QTest::newRow("data ends the stretch")
            << Events{{ok, 0}, {ok, 900}, {data, 1000}, {ok, 1900}, {ok, 2000}} << -1;
        Events flood;
        for (int i = 0; i < ReadFailureJudge::kFailuresOfADeadLine; ++i) {
            flood.append({ok, 0});
        }
        QTest::newRow("a thousand failures at once") << flood << flood.size() - 1;
    }
    void readFailuresCloseOnlyADeadLine() {
        QFETCH(Events, events);
        QFETCH(int, closesAt);
        ReadFailureJudge judge;
        int closed = -1;
        for (int i = 0; i < events.size() && closed < 0; ++i) {
            if (events[i].first < 0) {
                judge.BytesArrived();
            } else if (judge.Failed(ReadFailureJudge::Line(events[i].first), events[i].second)) {
                closed = i;
            }
        }
        QCOMPARE(closed, closesAt);
    }

    // While the port is closed nothing goes out, nothing is counted or told
    // to the watchers, and the trace says so once per closed stretch.
    void anEmptyReadKeepsThePortAndAHangUpClosesItOnce() {
        QTemporaryDir dir;
        const QString tracePath = dir.filePath(QStringLiteral("trace.log"));
        TraceLog trace;
        QVERIFY(trace.Open(tracePath, nullptr));
        FormFixture f;
        f->Trace = &trace;
        f->Timer2->SetEnabled(false); // the tick would clear the byte count
        int told = 0;
        QObject::connect(f.Form.get(), &Form1::FrameSent, [&told] { ++told; });
        f.Serial.ClearWrites();
        f.State().ByteCount = 0;
        f.Serial.FailRead(ReadFailureJudge::Line::InOrder, "Resource temporarily unavailable");
        QVERIFY(f.Serial.PortOpen());
        f.Pump(10);
        QVERIFY(f.Boxes.Shown.isEmpty());
        f->PollQB();
        QCOMPARE(f.Serial.Sent(), QList<QByteArray>{Wire("QB0")});
        QCOMPARE(int(f.State().ByteCount), 9);
        QCOMPARE(told, 1);

        f.Serial.FailingPorts[1] = SerialControl::OpenFailure::NotFound;
        f.Serial.FailRead(ReadFailureJudge::Line::HungUp, "device gone");
        f.Serial.FailRead(ReadFailureJudge::Line::HungUp, "device gone");
        QVERIFY(!f.Serial.PortOpen());
        f.Pump(10);
        QCOMPARE(f.Boxes.Shown.size(), 1);
        QVERIFY(f.Boxes.Shown[0].Text.contains("COM1"));
        // Polls, a pattern and a bit write while closed.
        f->PollQB();
        f->PollQA();
        f->WritePattern1();
        f->Picture1_Click(5);
        QCOMPARE(f.Serial.Writes.size(), 1);
        QCOMPARE(f.Serial.DroppedWrites, 0);
        QCOMPARE(int(f.State().ByteCount), 9);
        QCOMPARE(told, 1);

        // Back again: sent as before; a second loss is said once more.
        f.Serial.FailingPorts.clear();
        QVERIFY(f.PumpUntil([&] { return f.Serial.PortOpen(); }, 1500));
        f->PollQB();
        QCOMPARE(f.Serial.Writes.size(), 2);
        QCOMPARE(int(f.State().ByteCount), 18);
        QCOMPARE(told, 2);
        f.Serial.FailingPorts[1] = SerialControl::OpenFailure::NotFound;
        f.Serial.FailRead(ReadFailureJudge::Line::HungUp, "device gone");
        f->PollQB();
        f->PollQB();
        QCOMPARE(told, 2);
        f->Trace = nullptr;

        QFile file(tracePath);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QStringList lines = QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
        QStringList seen; // "sent" for a frame to the unit, or the port event
        for (const QString& line : lines) {
            if (line.contains(QLatin1String(" to-unit "))) {
                seen << QStringLiteral("sent");
            } else if (line.contains(QLatin1String(" port not sent"))) {
                seen << QStringLiteral("not sent");
            } else if (line.contains(QLatin1String(" port fault"))) {
                seen << QStringLiteral("fault");
            }
        }
        QCOMPARE(seen, (QStringList{"sent", "fault", "not sent", "sent", "fault", "not sent"}));
    }

    // The port fails in the middle of a frame: the frame ends there, refused
    // and not dispatched, even where its bytes so far would pass as a whole
    // frame after silence; the notice opens only after the collection has
    // returned, so no receive event runs inside it.
    void aFaultInTheMiddleOfAFrame_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("reply cut after its CR LF") << QByteArray("\r\nQG000001\r\n");
        QTest::newRow("reply cut in its text") << QByteArray("\r\nQG00");
        QTest::newRow("result line") << QByteArray("\r\nOK\r\n");
        QTest::newRow("command line") << QByteArray("ATH0\r");
    }
    void aFaultInTheMiddleOfAFrame() {
        QFETCH(QByteArray, bytes);
        FormFixture f;
        f->Timer2->SetEnabled(false);
        f.Serial.ClearWrites();
        f.State().ByteCount = 0;
        f->Label23->SetBackColor(Colors::kRed);
        QList<FrameOutcome> handled;
        QObject::connect(f.Form.get(), &Form1::FrameHandled,
                         [&handled](const QByteArray&, const FrameOutcome& o) { handled << o; });
        qsizetype handledAtBox = -1;
        f.Boxes.OnBox = [&] { handledAtBox = handled.size(); };
        f.Serial.FailingPorts[1] = SerialControl::OpenFailure::NotFound;
        f.Serial.DuringWait = [&f] {
            f.Serial.DuringWait = nullptr;
            f.Serial.RaiseFault("hang-up");
        };
        f.Serial.Receive(bytes);
        QVERIFY(f.PumpUntil([&] { return f.Boxes.Shown.size() == 1; }, 5000));
        QCOMPARE(handled.size(), 1);
        QCOMPARE(handledAtBox, 1);
        QCOMPARE(ReceiveVerdict(handled[0], CheckerState::kReceiveBufferSize),
                 QStringLiteral("rejected: port closed after %1 bytes").arg(bytes.size()));
        QCOMPARE(f->Label23->BackColor(), Colors::kRed);
        QCOMPARE(int(f.State().ByteCount), 0);
        QCOMPARE(f->Label2(5)->Caption(), QString());
        QVERIFY(f.Serial.Writes.isEmpty());
    }

    // After a fault the device is looked for once a second without another box
    // and reopened with the port's settings when it is back; the operator's
    // own choice of a port ends the watch.
    void aLostDeviceIsReopenedWhenItComesBack() {
        FormFixture f;
        f.Serial.FailingPorts[1] = SerialControl::OpenFailure::NotFound;
        f.Serial.RaiseFault("device gone");
        f.Pump(2300);
        QVERIFY(!f.Serial.PortOpen());
        QCOMPARE(f.Boxes.Shown.size(), 1);
        f.Serial.FailingPorts.remove(1);
        QVERIFY(f.PumpUntil([&] { return f.Serial.PortOpen(); }, 1500));
        QCOMPARE(f.Serial.Openings.size(), 2);
        QCOMPARE(f.Serial.Openings[1].Port, 1);
        QCOMPARE(f.Serial.Openings[1].Settings, QStringLiteral("9600,N,8,1"));
        QCOMPARE(f.Boxes.Shown.size(), 1);
        ExpectShown(f, 1);

        f.Serial.FailingPorts[1] = SerialControl::OpenFailure::NotFound;
        f.Serial.FailingPorts[3] = SerialControl::OpenFailure::NotFound;
        f.Serial.RaiseFault("device gone");
        f->mnuCOM3->trigger(); // fails: its own box, and no watch any more
        // The device failed again right after it was reopened: the same
        // loss, told once already.
        QVERIFY(f.PumpUntil([&] { return f.Boxes.Shown.size() == 2; }, 5000));
        f.Serial.FailingPorts.clear();
        f.Pump(1500);
        QVERIFY(!f.Serial.PortOpen());
        QCOMPARE(f.Serial.Openings.size(), 2);
    }

    // A device that stays present but keeps failing: one notice per loss,
    // reopened after 1, 2, 4 ... units of the first wait up to the longest;
    // once it has worked for a while, a fault is a new loss with a notice.
    // Each row: how long the port stays open after each reopening before it
    // fails again (ms), and the notices and waits (in first waits) expected.
    void aDeviceThatKeepsFailing_data() {
        QTest::addColumn<QList<int>>("openFor");
        QTest::addColumn<QList<int>>("waits");
        QTest::addColumn<int>("notices");
        QTest::newRow("fails at once, again and again")
            << QList<int>{0, 0, 0, 0} << QList<int>{1, 2, 4, 4, 4} << 1;
        QTest::newRow("works between the faults")
            << QList<int>{700, 700} << QList<int>{1, 1, 1} << 3;
        QTest::newRow("fails twice, works, fails again")
            << QList<int>{0, 700, 0} << QList<int>{1, 2, 1, 2} << 2;
    }
    void aDeviceThatKeepsFailing() {
        QFETCH(QList<int>, openFor);
        QFETCH(QList<int>, waits);
        QFETCH(int, notices);
        const int first = 100;
        FormFixture f;
        f->Reopen = {first, 4 * first, 600};
        for (qsizetype i = 0; i < waits.size(); ++i) {
            const qsizetype opened = f.Serial.Openings.size();
            const qint64 faultAt = f.Serial.NowMs();
            f.Serial.RaiseFault("device gone");
            QVERIFY(!f.Serial.PortOpen());
            const int wait = waits[i] * first;
            QVERIFY(f.PumpUntil([&] { return f.Serial.PortOpen(); }, wait + 3000));
            QCOMPARE(f->PortWatch->PeriodMs(), wait);
            // Reopened when the wait was up, not before.
            QCOMPARE(f.Serial.Openings.at(opened).AtMs - faultAt, qint64{wait});
            if (i < openFor.size()) {
                f.Pump(openFor[i]);
            }
        }
        f.Pump(20);
        QCOMPARE(f.Boxes.Shown.size(), notices);
    }

    void portNamesMapToDevices() {
        PortNames names;
        QCOMPARE(names.Device(1), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(names.Device(4), QStringLiteral("/dev/ttyS3"));
        QString error;
        QVERIFY(names.AddMapping("COM2=/dev/ttyUSB0", &error));
        QCOMPARE(names.Device(2), QStringLiteral("/dev/ttyUSB0"));
        QVERIFY(names.AddMapping("com1=/dev/pts/7", &error));
        QCOMPARE(names.Device(1), QStringLiteral("/dev/pts/7"));
        QVERIFY(!names.AddMapping("COM5=/dev/ttyS4", &error));
        QVERIFY(!names.AddMapping("/dev/ttyS0", &error));
        QVERIFY(error.contains("COMk=DEVICE"));
        LineSettings s;
        QVERIFY(ParseSettings("9600,N,8,1", &s));
        QCOMPARE(s.Baud, 9600);
        QVERIFY(!ParseSettings("9600,X,8,1", &s));
    }
};

QTEST_MAIN(TestPorts)
#include "test_ports.moc"
