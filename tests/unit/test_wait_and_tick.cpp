// The timed wait (nested waits each keep their own deadline, events are served
// meanwhile), the timers, and the one-second tick (date, time, rate and the
// Connect lamp).
#include "FormFixture.h"

#include <QRegularExpression>
#include <ctime>

class TestWaitAndTick : public QObject {
    Q_OBJECT
private slots:
    // On the window's virtual clock: each wait keeps its own deadline, and
    // events are served at their times while it waits.
    void aWaitLastsItsTimeAndServesEvents() {
        FormFixture f;
        qint64 servedAt = -1;
        f.Clock.After(50, [&] { servedAt = f.Clock.NowMs(); });
        f->WaitTimer(200);
        QCOMPARE(servedAt, 50);
        QCOMPARE(f.Clock.NowMs(), 200);
    }

    // A wait started inside another ends at its own deadline; the outer one
    // ends at its own or, if the inner ran past it, right after the inner.
    void nestedWaitsKeepTheirOwnDeadlines_data() {
        QTest::addColumn<int>("outerMs");
        QTest::addColumn<int>("innerAtMs");
        QTest::addColumn<int>("innerMs");
        QTest::addColumn<int>("outerEnd");
        QTest::newRow("a longer inner wait") << 200 << 50 << 1500 << 1550;
        QTest::newRow("a shorter inner wait") << 1000 << 100 << 200 << 1000;
    }
    void nestedWaitsKeepTheirOwnDeadlines() {
        QFETCH(int, outerMs);
        QFETCH(int, innerAtMs);
        QFETCH(int, innerMs);
        QFETCH(int, outerEnd);
        FormFixture f;
        qint64 innerEnd = 0;
        f.Clock.After(innerAtMs, [&] {
            f->WaitTimer(innerMs);
            innerEnd = f.Clock.NowMs();
        });
        f->WaitTimer(outerMs);
        QCOMPARE(innerEnd, innerAtMs + innerMs);
        QCOMPARE(f.Clock.NowMs(), outerEnd);
    }

    // Once the stop sequence has sent its final memory clear, a wait that is
    // still running (here a long one) returns instead of holding the close.
    void aWaitEndsWhenTheWindowCloses() {
        FormFixture f;
        f->show();
        f.Boxes.Answers = {true};
        f.Clock.After(50, [&] { f->close(); });
        f->WaitTimer(60000);
        QVERIFY(f->Closing());
        QVERIFY2(f.Clock.NowMs() < 1000, qPrintable(QString::number(f.Clock.NowMs())));
    }

    // On Qt's own clock and event loop, under either dispatcher: the thread
    // sleeps between events, and an inner wait longer than the outer one
    // returns first and wakes the outer, which ends then instead of sleeping
    // on (nothing else would wake it: the one-second tick is off).
    void onQtsEventLoopWaitsSleepAndNest() {
        FormFixture f(true, FormFixture::Time::Real);
        f->Timer2->SetEnabled(false);
        QElapsedTimer clock;
        clock.start();
        qint64 innerEnd = -1;
        QTimer::singleShot(50, [&] {
            f->WaitTimer(1500);
            innerEnd = clock.elapsed();
        });
        const std::clock_t before = std::clock();
        f->WaitTimer(200);
        const qint64 outerEnd = clock.elapsed();
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 150, qPrintable(QString::number(cpuMs)));
        QVERIFY2(innerEnd >= 1550, qPrintable(QString::number(innerEnd)));
        QVERIFY2(outerEnd - innerEnd < 1000,
                 qPrintable(QStringLiteral("%1 after the inner wait").arg(outerEnd - innerEnd)));
    }

    void aReplyArrivingDuringAWaitIsReceivedInsideIt() {
        FormFixture f;
        f.Serial.ReceiveAfter(50, FakeSerialControl::Reply("QG12ABCD"));
        f->WaitTimer(300);
        QCOMPARE(f->Label2(5)->Caption(), QStringLiteral("1223629"));
        QCOMPARE(f->Label23->BackColor(), Colors::kLightBlue);
    }

    void theTickShowsDateTimeAndRate() {
        FormFixture f;
        f.State().ByteCount = 79;
        f->Timer2_Timer();
        QVERIFY(
            QRegularExpression("^\\d{4}/\\d{2}/\\d{2}$").match(f->Label2(6)->Caption()).hasMatch());
        QVERIFY(
            QRegularExpression("^\\d{2}:\\d{2}:\\d{2}$").match(f->Label2(8)->Caption()).hasMatch());
        QCOMPARE(f->Label2(3)->Caption(), QStringLiteral("79"));
        QCOMPARE(f->Label17->BackColor(), Colors::kWhite);
        QCOMPARE(f.State().ByteCount, int16_t(0));
        f.State().ByteCount = 80;
        f->Timer2_Timer();
        QCOMPARE(f->Label17->BackColor(), Colors::kLightBlue);
        // A silent second keeps the last rate and lamp.
        f->Timer2_Timer();
        QCOMPARE(f->Label2(3)->Caption(), QStringLiteral("80"));
        QCOMPARE(f->Label17->BackColor(), Colors::kLightBlue);
        f.State().ByteCount = 1;
        f->Timer2_Timer();
        QCOMPARE(f->Label17->BackColor(), Colors::kWhite);
    }

    void theTickCountsSecondsOnlyDuringTheRestartWait() {
        FormFixture f;
        f->Timer2_Timer();
        QCOMPARE(f.State().ConnectTicks, int16_t(0));
        f.State().ConnectWaiting = 1;
        f->Timer2_Timer();
        f->Timer2_Timer();
        QCOMPARE(f.State().ConnectTicks, int16_t(2));
    }

    void timersWithIntervalZeroNeverTick() {
        VirtualClock clock;
        VbTimer timer("T", clock, nullptr);
        int ticks = 0;
        QObject::connect(&timer, &VbTimer::Tick, [&] { ++ticks; });
        timer.SetEnabled(true);
        clock.RunFor(50);
        QCOMPARE(ticks, 0);
        timer.SetInterval(10);
        clock.RunFor(55);
        QCOMPARE(ticks, 5);
        timer.SetInterval(0);
        clock.RunFor(50);
        QCOMPARE(ticks, 5);
        QVERIFY(timer.Enabled());
    }

    // A 600 ms timer touched 300 ms after it started: enabling it again keeps
    // its countdown; disabling and enabling, or a new interval, starts afresh.
    void enablingARunningTimerKeepsItsCountdown_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("firstTick");
        QTest::newRow("enabled again") << "enable" << 600;
        QTest::newRow("disabled and enabled") << "off-on" << 900;
        QTest::newRow("the same interval set again") << "interval" << 900;
    }
    void enablingARunningTimerKeepsItsCountdown() {
        QFETCH(QString, action);
        QFETCH(int, firstTick);
        VirtualClock clock;
        VbTimer timer("T", clock, nullptr);
        qint64 ticked = -1;
        QObject::connect(&timer, &VbTimer::Tick, [&] {
            if (ticked < 0) {
                ticked = clock.NowMs();
            }
        });
        timer.SetInterval(600);
        timer.SetEnabled(true);
        clock.RunFor(300);
        if (action == "enable") {
            timer.SetEnabled(true);
        } else if (action == "off-on") {
            timer.SetEnabled(false);
            timer.SetEnabled(true);
        } else {
            timer.SetInterval(600);
        }
        QVERIFY(clock.RunUntil([&] { return ticked >= 0; }, 2000));
        QCOMPARE(ticked, firstTick);
    }
};

QTEST_MAIN(TestWaitAndTick)
#include "test_wait_and_tick.moc"
