#pragma once

#include "controls/BitMonitor.h"
#include "controls/Clock.h"
#include "controls/MessageBoxes.h"
#include "controls/VbControls.h"
#include "core/CheckerState.h"
#include "decode/ReplyRead.h"
#include "link/FrameCollector.h"
#include "link/SerialControl.h"
#include "trace/TraceLine.h"

#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>

#include <array>
#include <functional>
#include <memory>

class TraceLog;
class RecordLog;

// The checker's one window. It owns the checker state and every handler; the
// handlers are defined in the folder of the subsystem they belong to:
//   core/      start-up and shutdown, the window's arrangement
//   link/      port selection, command sending, reply reception
//   dispatch/  the reply dispatcher, scan and sensor replies
//   unit/      connection, polling, timed wait and lamps, menus and help
//   decode/    monitor refresh and unit record display
//   checks/    check buttons, bit grid commands, unit type selectors
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // The window runs on Qt's clock unless another is given (tests give a
    // virtual one).
    Form1(SerialControl* serial, MessageBoxes* boxes, Clock* clock = nullptr,
          QWidget* parent = nullptr);
    ~Form1() override;

    CheckerState State;

    // The clock, timers and event pump of every wait, poll and tick.
    Clock& Time() const { return *WindowClock; }

    // ---- controls (names and indices of the panel) ----
    SerialControl* MSComm1;
    MessageBoxes* Boxes;

    VbFrame* Frame1 = nullptr;
    VbFrame* Frame2 = nullptr;
    VbFrame* Frame3 = nullptr;
    VbFrame* Frame4 = nullptr;
    VbFrame* Frame5 = nullptr;
    VbFrame* Frame6 = nullptr;
    VbFrame* Frame7 = nullptr;
    VbFrame* Frame8 = nullptr;

    VbLabel* Label1 = nullptr;
    VbLabel* Label6 = nullptr;
    VbLabel* Label10 = nullptr;
    VbLabel* Label17 = nullptr; // Connect lamp
    VbLabel* Label23 = nullptr; // Csum lamp
    ControlArray<VbLabel> Label2, Label4, Label5, Label7, Label8, Label9, Label11, Label12, Label24;
    // Rows of the unit table (index 0 the type cell, 1..8 the channels).
    ControlArray<VbLabel> Label13, Label14, Label15, Label16, Label3, Label18, Label19, Label20,
        Label21, Label22;
    // The bit monitor's cells, painted by one widget.
    BitMonitor* Monitor = nullptr;
    ControlArray<MonitorCell> Picture1;
    ControlArray<OptionButton> Option1, Option2, Option3, Option4;
    ControlArray<CommandButton> Command1, Command2, Command3;
    QLineEdit* Text1 = nullptr;

    QMenu* mnuFile = nullptr;
    MenuItem* mnuExit = nullptr;
    QMenu* mnuSettei = nullptr;
    QMenu* mnuCOM_Selct = nullptr;
    MenuItem* mnuCOM1 = nullptr;
    MenuItem* mnuCOM2 = nullptr;
    MenuItem* mnuCOM3 = nullptr;
    MenuItem* mnuCOM4 = nullptr;
    QMenu* menuSPL = nullptr;
    MenuItem* menuSPLstop = nullptr;
    MenuItem* menuT240 = nullptr;
    MenuItem* menuT400 = nullptr;
    MenuItem* menuT700 = nullptr;
    MenuItem* menuT1000 = nullptr;
    MenuItem* menuT2000 = nullptr;
    MenuItem* menuT4000 = nullptr;
    QMenu* menuHelp = nullptr;
    MenuItem* menuHelp_mokuji = nullptr;
    MenuItem* menuHelp_version = nullptr;

    VbTimer* Timer1 = nullptr; // polling
    VbTimer* Timer2 = nullptr; // one-second tick
    // Timer3 and CheckerState::WaitDone are kept state only: Timer3 idles with
    // interval 0, and WaitTimer keeps its own deadline instead of waiting for
    // WaitDone.
    VbTimer* Timer3 = nullptr;

    // The row array of unit u (1..10); an empty array for any other unit.
    ControlArray<VbLabel>& UnitRow(int unit);
    QWidget* ClientArea() const { return Client; }

    // ---- start-up and shutdown (core/) ----
    void Form_Load();
    void Form_QueryUnload(int& cancel, int unloadMode);
    // The stop sequence once the quit is agreed: Reset a connected unit, stop
    // the record scan, clear the memory and unload the window.
    void StopAndUnload();
    void mnuExit_Click();
    // The window is closing: the stop sequence has sent its final memory
    // clear. From then on nothing more goes to the unit, waits return at
    // once, handlers that were waiting end there, and the window's close goes
    // ahead. (QuitAsked is only the quit question's guard against asking twice.)
    bool Closing() const { return FinalClearSent; }
    // Closing, and the window is no longer shown.
    bool Unloaded() const { return FinalClearSent && !isVisible(); }

    // ---- port selection, sending, reception (link/) ----
    void OpenCommPort(int port);
    // Closes the open port, if any, and opens COM`port`: choosing a port from
    // the menu or the option buttons.
    void SwitchCommPort(int port);
    void mnuCOM_Click(int port);
    void Option2_Click(int index);
    // The only ways bytes go to the unit, and nothing once the window is
    // closing or while the port is closed: a checksummed command (CR LF, code
    // and arguments, CR LF, the checksum) and a modem line (CR LF, text, CR
    // LF). True when the frame went out.
    bool SendCommand(QByteArrayView codeAndArguments);
    bool SendModemLine(QByteArrayView text);
    void MSComm1_OnComm();
    void OnPortFault(const QString& reason);
    // Looks for a device lost by a port fault and reopens it when it is back.
    void PortWatch_Timer();
    std::unique_ptr<ClockTimer> PortWatch;
    // The operator is told of a lost port once. While the same device keeps
    // failing soon after each reopening, the watch reopens it without a
    // notice and waits twice as long each time, up to LongestMs; once the
    // port has stayed open for WorkedMs, a fault is a new loss again.
    struct ReopenTiming {
        int FirstMs = 1000;
        int LongestMs = 30000;
        int WorkedMs = 10000;
    };
    ReopenTiming Reopen;

    // ---- line trace and measurement record (off when null) ----
    // Both only watch: they change no byte on the line, no timing and nothing
    // the window shows.
    TraceLog* Trace = nullptr;
    RecordLog* Records = nullptr;
    // What the dispatcher took from an accepted reply, for the trace.
    void TraceReading(const QString& text);
    void TracePort(const QString& text);

    // ---- reply dispatch (dispatch/) ----
    void DispatchReply(int len);
    void HandleScanQD(const QByteArray& s);
    void HandleScanQB(const QByteArray& s);
    void HandleScanQf(const QByteArray& s);
    void HandleSensorQz(const SensorChannel& reply);
    void HandleSensorQy(const SensorReadings& reply);
    void HandleOutputQw(const PortStates& reply);
    void HandleCounterQG(int32_t counter);
    void HandleVersionQV(const RomVersion& reply);

    // ---- unit control (unit/) ----
    void RequestVersion();
    void ConnectUnit();
    void SendMemoryClear();
    void Command3_Click(int index);
    void Restart();
    void Reset();
    void Label2_Click(int index);
    void Timer1_Timer();
    void PollQA();
    void PollQB();
    void PollQf();
    void menuSPLstop_Click();
    void menuT240_Click();
    void menuT400_Click();
    void menuT700_Click();
    void menuT1000_Click();
    void menuT2000_Click();
    void menuT4000_Click();
    void Label9_Click(int index);
    void WaitTimer(int ms);
    // Serves events until done() holds, maxMs have passed or the window is
    // closing.
    void WaitUntil(const std::function<bool()>& done, int maxMs);
    void Timer2_Timer();
    void Timer3_Timer();
    void menuHelp_mokuji_Click();
    void menuHelp_version_Click();
    void Option1_Click(int index);
    void Option3_Click(int index);
    QByteArray LineDigit() const;

    // ---- decoding and display (decode/) ----
    void RefreshMonitor();
    void ShowUnitRecord(int unit);

    // ---- check procedures (checks/) ----
    void Command2_Click(int index);
    void Command1_Click(int index);
    void WriteLineData(const QByteArray& lineDigit, const QByteArray& digits);
    void WritePattern1();
    void WritePattern2();
    void WritePattern3();
    void ClearLine();
    void StopRecordScan();
    void StartRecordScan();
    void RaiseScanMax();
    void LowerScanMax();
    void ClearUnitValues();
    void SendOperatorText();
    void RefuseOperatorText(uint codePoint);
    void Picture1_Click(int index);
    void SendBitWrite(const QByteArray& lineDigit, const QByteArray& cellDigits,
                      const QByteArray& stateDigit);
    void Label7_Click(int index);
    void Label4_Click(int index);
    void Label5_Click(int index);
    void Label24_Click(int index);
    void Label11_Click(int index);
    void Picture1_MouseMove(int index);
    void Frame6_MouseMove();
    void Option4_Click(int index);
    void Label12_Click(int index);
    void UnitRow_Click(int unit);

signals:
    // Every frame sent to the unit, and every frame collected from it once the
    // dispatcher has handled it (so the checker state already shows what it
    // carried). For watchers such as the automatic unit check; the window
    // itself does not use them.
    void FrameSent(const QByteArray& bytes);
    void FrameHandled(const QByteArray& bytes, const FrameOutcome& outcome);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildLayout();
    // One frame each, in the order they are created (later frames lie on top).
    void BuildComSelect();    // Frame8 "Com select"
    void BuildLineSelect();   // Frame4 "Line select"
    void BuildLineMonitor();  // Frame6 "Line monitor"
    void BuildInformation();  // Frame1 "Information"
    void BuildWriteCommand(); // Frame3 "Write Command"
    void BuildReadCommand();  // Frame2 "Read Command"
    void BuildCounter();      // Frame5 "24-bit counter"
    void BuildBoard();        // Frame7 "A/D board"
    void BuildMenus();
    void FitPanelTexts();
    void ConnectHandlers();
    void SetPeriod(MenuItem* item, int period);
    // Puts a built frame on the line, traces it and tells the watchers; true
    // when it went out.
    bool SendFrame(FrameKind kind, const QByteArray& frame);
    // The line settings of the checker's port, set before every opening.
    void ConfigureCommPort();

    Clock* WindowClock;
    QWidget* Client = nullptr;
    bool OpeningPort = false;
    // The trace has said that frames are not sent while the port is closed.
    bool NotSentTraced = false;
    // The reply the last command sent asks for, while none has come in.
    AwaitedReply Awaited;
    // The operator has been told of the current loss, and the port has not
    // worked since; the watch's delay before its next look.
    bool LossNoticed = false;
    bool OtherDeviceTraced = false; // the watch found another device under the name
    int ReopenDelayMs = 0;
    qint64 OpenSinceMs = -1; // on the window's clock, when the port last opened
    bool FinalClearSent = false;
    ControlArray<VbLabel> NoUnitRow;
};
