// The timed wait, the one-second status tick and the Connect lamp.
#include "core/Form1.h"

#include <QDateTime>

void Form1::WaitTimer(int ms) {
    WaitUntil([] { return false; }, ms);
}

void Form1::WaitUntil(const std::function<bool()>& done, int maxMs) {
    // Each wait keeps its own deadline, so waits started by handlers that run
    // inside this one neither end it early nor hold it past its time once they
    // have returned. Between events the thread sleeps.
    Clock& time = Time();
    const qint64 deadlineNs = time.NowNs() + qint64{maxMs} * 1'000'000;
    for (qint64 now = time.NowNs(); now < deadlineNs && !Closing() && !done(); now = time.NowNs()) {
        time.ServeEvents(static_cast<int>((deadlineNs - now + 999'999) / 1'000'000));
    }
    // An outer wait may be asleep serving events; make it look at its
    // deadline again.
    time.WakeWaits();
}

void Form1::Timer2_Timer() {
    const QDateTime now = QDateTime::currentDateTime();
    QString date = now.date().toString(QStringLiteral("yyyy-MM-dd"));
    date[4] = QLatin1Char('/');
    date[7] = QLatin1Char('/');
    Label2(6)->SetCaption(date);
    Label2(8)->SetCaption(now.time().toString(QStringLiteral("HH:mm:ss")));
    if (State.ByteCount > 0) {
        Label2(3)->SetCaption(QString::number(State.ByteCount));
        Label17->SetBackColor(State.ByteCount >= 80 ? Colors::kLightBlue : Colors::kWhite);
        State.ByteCount = 0;
    }
    if (State.ConnectWaiting > 0) {
        ++State.ConnectTicks;
    }
}

// Kept state (see Timer3 in Form1.h): nothing reads WaitDone.
void Form1::Timer3_Timer() {
    State.WaitDone = 1;
}
