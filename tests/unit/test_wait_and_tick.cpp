// The timed wait (nested waits each keep their own deadline, events are served
// meanwhile) and the one-second tick (date, time, rate and the Connect lamp).
#include "FormFixture.h"
#include "Lateness.h"

#include <QRegularExpression>
#include <ctime>

class TestWaitAndTick : public QObject {
    Q_OBJECT
private slots:
    void aWaitLastsItsTimeAndServesEvents() {
        FormFixture f;
        bool served = false;
        QTimer::singleShot(50, [&] { served = true; });
        const qint64 ms = TimeMs([&] { f->WaitTimer(200); });
        QVERIFY(served);
        QVERIFY2(ms >= 195 && ms < 200 + kLateMs, qPrintable(QString::number(ms)));
    }

    void aLongerNestedWaitHoldsTheOuterOnlyUntilItEnds() {
        FormFixture f;
        qint64 innerEnd = 0;
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(50, [&] {
            f->WaitTimer(1500);
            innerEnd = clock.elapsed();
        });
        f->WaitTimer(200);
        const qint64 outerEnd = clock.elapsed();
        QVERIFY2(innerEnd >= 1545 && innerEnd < 1550 + kLateMs,
                 qPrintable(QString::number(innerEnd)));
        QVERIFY2(outerEnd >= innerEnd && outerEnd < innerEnd + kLateMs,
                 qPrintable(QString::number(outerEnd)));
    }

    void aShorterNestedWaitDoesNotEndTheOuterEarly() {
        FormFixture f;
        qint64 innerEnd = 0;
        QElapsedTimer clock;
        clock.start();
        QTimer::singleShot(100, [&] {
            f->WaitTimer(200);
            innerEnd = clock.elapsed();
        });
        f->WaitTimer(1000);
        const qint64 outerEnd = clock.elapsed();
        QVERIFY2(innerEnd >= 295 && innerEnd < 300 + kLateMs,
                 qPrintable(QString::number(innerEnd)));
        QVERIFY2(outerEnd >= 995 && outerEnd < 1000 + kLateMs,
                 qPrintable(QString::number(outerEnd)));
    }

    // Once the stop sequence has sent its final memory clear, a wait that is
    // still running (here a long one) returns instead of holding the close.
    void aWaitEndsWhenTheWindowCloses() {
        FormFixture f;
        f->show();
        f.Boxes.Answers = {true};
        QTimer::singleShot(50, [&] { f->close(); });
        const qint64 ms = TimeMs([&] { f->WaitTimer(60000); });
        QVERIFY(f->Closing());
        QVERIFY2(ms < 30000, qPrintable(QString::number(ms)));
    }

    void aWaitSleepsInsteadOfSpinning() {
        FormFixture f;
        const std::clock_t before = std::clock();
        f->WaitTimer(500);
        const double cpuMs = 1000.0 * static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC;
        QVERIFY2(cpuMs < 100, qPrintable(QString::number(cpuMs)));
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
        VbTimer timer("T", nullptr);
        int ticks = 0;
        QObject::connect(&timer, &VbTimer::Tick, [&] { ++ticks; });
        timer.SetEnabled(true);
        QTest::qWait(50);
        QCOMPARE(ticks, 0);
        timer.SetInterval(10);
        QTest::qWait(55);
        QVERIFY(ticks >= 3);
        timer.SetInterval(0);
        const int seen = ticks;
        QTest::qWait(50);
        QCOMPARE(ticks, seen);
        QVERIFY(timer.Enabled());
    }

    // A 600 ms timer touched 300 ms after it started: enabling it again keeps
    // its countdown; disabling and enabling, or a new interval, starts afresh.
    void enablingARunningTimerKeepsItsCountdown_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("earliest");
        QTest::addColumn<int>("before");
        QTest::newRow("enabled again") << "enable" << 595 << 850;
        QTest::newRow("disabled and enabled") << "off-on" << 895 << 1200;
        QTest::newRow("the same interval set again") << "interval" << 895 << 1200;
    }
    void enablingARunningTimerKeepsItsCountdown() {
        QFETCH(QString, action);
        QFETCH(int, earliest);
        QFETCH(int, before);
        VbTimer timer("T", nullptr);
        QElapsedTimer clock;
        qint64 firstTick = -1;
        QObject::connect(&timer, &VbTimer::Tick, [&] {
            if (firstTick < 0) {
                firstTick = clock.elapsed();
            }
        });
        timer.SetInterval(600);
        clock.start();
        timer.SetEnabled(true);
        QTest::qWait(300);
        if (action == "enable") {
            timer.SetEnabled(true);
        } else if (action == "off-on") {
            timer.SetEnabled(false);
            timer.SetEnabled(true);
        } else {
            timer.SetInterval(600);
        }
        QVERIFY(QTest::qWaitFor([&] { return firstTick >= 0; }, 2000));
        QVERIFY2(firstTick >= earliest && firstTick < before,
                 qPrintable(QString::number(firstTick)));
    }
};

QTEST_MAIN(TestWaitAndTick)
#include "test_wait_and_tick.moc"
