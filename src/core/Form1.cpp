#include "core/Form1.h"
#include "trace/LogFiles.h"

#include <QCloseEvent>

Form1::Form1(SerialControl* serial, MessageBoxes* boxes, Clock* clock, QWidget* parent)
    : QMainWindow(parent), MSComm1(serial), Boxes(boxes),
      WindowClock(clock != nullptr ? clock : &QtClock()) {
    setObjectName(QStringLiteral("Form1"));
    BuildLayout();
    ConnectHandlers();
}

Form1::~Form1() {
    FinalClearSent = true;
    if (MSComm1 != nullptr && MSComm1->PortOpen()) {
        MSComm1->SetPortOpen(false);
        TracePort(QStringLiteral("closed COM%1").arg(MSComm1->CommPort()));
    }
}

void Form1::ConnectHandlers() {
    connect(MSComm1, &SerialControl::OnComm, this, &Form1::MSComm1_OnComm);
    connect(MSComm1, &SerialControl::PortFault, this, &Form1::OnPortFault);
    PortWatch = Time().NewTimer([this] { PortWatch_Timer(); });

    connect(Timer1, &VbTimer::Tick, this, &Form1::Timer1_Timer);
    connect(Timer2, &VbTimer::Tick, this, &Form1::Timer2_Timer);
    connect(Timer3, &VbTimer::Tick, this, &Form1::Timer3_Timer);

    connect(mnuExit, &MenuItem::Click, this, &Form1::mnuExit_Click);
    MenuItem* comItems[4] = {mnuCOM1, mnuCOM2, mnuCOM3, mnuCOM4};
    for (int k = 1; k <= 4; ++k) {
        connect(comItems[k - 1], &MenuItem::Click, this, [this, k] { mnuCOM_Click(k); });
    }
    connect(menuSPLstop, &MenuItem::Click, this, &Form1::menuSPLstop_Click);
    connect(menuT240, &MenuItem::Click, this, &Form1::menuT240_Click);
    connect(menuT400, &MenuItem::Click, this, &Form1::menuT400_Click);
    connect(menuT700, &MenuItem::Click, this, &Form1::menuT700_Click);
    connect(menuT1000, &MenuItem::Click, this, &Form1::menuT1000_Click);
    connect(menuT2000, &MenuItem::Click, this, &Form1::menuT2000_Click);
    connect(menuT4000, &MenuItem::Click, this, &Form1::menuT4000_Click);
    connect(menuHelp_mokuji, &MenuItem::Click, this, &Form1::menuHelp_mokuji_Click);
    connect(menuHelp_version, &MenuItem::Click, this, &Form1::menuHelp_version_Click);

    auto each = [this](auto& array, auto handler) {
        for (const auto& [index, element] : array) {
            connect(element, &std::remove_pointer_t<decltype(element)>::Click, this, handler);
        }
    };
    each(Option1, &Form1::Option1_Click);
    each(Option2, &Form1::Option2_Click);
    each(Option3, &Form1::Option3_Click);
    each(Option4, &Form1::Option4_Click);
    each(Command1, &Form1::Command1_Click);
    each(Command2, &Form1::Command2_Click);
    each(Command3, &Form1::Command3_Click);
    each(Label2, &Form1::Label2_Click);
    each(Label4, &Form1::Label4_Click);
    each(Label5, &Form1::Label5_Click);
    each(Label7, &Form1::Label7_Click);
    each(Label9, &Form1::Label9_Click);
    each(Label11, &Form1::Label11_Click);
    each(Label12, &Form1::Label12_Click);
    each(Label24, &Form1::Label24_Click);
    connect(Monitor, &BitMonitor::Click, this, &Form1::Picture1_Click);
    connect(Monitor, &BitMonitor::MouseMove, this, &Form1::Picture1_MouseMove);
    connect(Frame6, &VbFrame::MouseMove, this, &Form1::Frame6_MouseMove);
    // Any cell of a unit's row steps that unit's type forward.
    for (int u = 1; u <= 10; ++u) {
        for (const auto& [index, cell] : UnitRow(u)) {
            connect(cell, &VbLabel::Click, this, [this, u](int) { UnitRow_Click(u); });
        }
    }
}

void Form1::closeEvent(QCloseEvent* event) {
    if (Closing()) {
        event->accept();
        return;
    }
    int cancel = 0;
    Form_QueryUnload(cancel, 0);
    // The stop sequence ends by unloading the window itself; until then the
    // window stays, whatever close requests arrive meanwhile.
    event->ignore();
}

QByteArray Form1::LineDigit() const {
    return QByteArray::number(State.ScanLine).right(1);
}
