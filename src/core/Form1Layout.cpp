// The arrangement of the window: eight frames and their elements at the
// panel's twip positions (15 twips to a pixel), with their control names,
// indices and captions.
#include "controls/TextFit.h"
#include "core/Form1.h"
#include "decode/UnitRecord.h"

#include <QFontDatabase>
#include <QMenuBar>

namespace {

// Left edges of the four option buttons of the port and line choices.
const int kOptionLefts[4] = {540, 1512, 2520, 3528};

int Px(int twips) {
    return (twips + 7) / 15;
}

QRect Twips(int left, int top, int width, int height) {
    return {Px(left), Px(top), Px(width), Px(height)};
}

// The panel's Gothic face, followed by the face with its metrics; the first
// only where it is installed. Resolved once: a family that is not installed
// would otherwise be matched, and its fallbacks searched, for every size and
// width of the panel's fonts.
const QStringList& PanelFamilies() {
    static const QStringList families = [] {
        const QString gothic = QStringLiteral("ＭＳ Ｐゴシック");
        const QString metricTwin = QStringLiteral("IPAPGothic");
        return QFontDatabase::families().contains(gothic) ? QStringList{gothic, metricTwin}
                                                          : QStringList{metricTwin};
    }();
    return families;
}

QFont PanelFont(double points, bool bold = false) {
    QFont font;
    font.setFamilies(PanelFamilies());
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

VbFrame* MakeFrame(QWidget* parent, const QString& name, const QString& caption, QRect r) {
    auto* frame = new VbFrame(name, caption, parent);
    frame->setFont(PanelFont(9, true));
    frame->setGeometry(r);
    return frame;
}

VbLabel* MakeLabel(QWidget* parent, const QString& control, int index, const QString& caption,
                   QRect r, bool white = false, double points = 9) {
    auto* label = new VbLabel(control, index, parent);
    label->setFont(PanelFont(points));
    label->SetCaption(caption);
    label->setGeometry(r);
    if (white) {
        label->SetBackColor(Colors::kWhite);
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setLineWidth(1);
        label->setIndent(1); // values in narrow displays need every pixel
    }
    return label;
}

template <typename Array>
VbLabel* AddLabel(Array& array, QWidget* parent, const QString& control, int index,
                  const QString& caption, QRect r, bool white = false, double points = 9) {
    auto* label = MakeLabel(parent, control, index, caption, r, white, points);
    array.Add(index, label);
    return label;
}

CommandButton* AddButton(ControlArray<CommandButton>& array, QWidget* parent,
                         const QString& control, int index, const QString& caption, QRect r) {
    auto* button = new CommandButton(control, index, caption, parent);
    button->setFont(PanelFont(9, true));
    button->setGeometry(r);
    array.Add(index, button);
    return button;
}

OptionButton* AddOption(ControlArray<OptionButton>& array, QWidget* parent, const QString& control,
                        int index, const QString& caption, QRect r) {
    auto* option = new OptionButton(control, index, caption, parent);
    option->setFont(PanelFont(9, true));
    option->setGeometry(r);
    option->SetGroup(&array);
    array.Add(index, option);
    return option;
}

VbLabel* MakeLamp(QWidget* parent, const QString& name, QRect r) {
    auto* lamp = MakeLabel(parent, name, -1, {}, r, true);
    lamp->setFrameStyle(QFrame::Box | QFrame::Plain);
    return lamp;
}

} // namespace

void Form1::BuildLayout() {
    setWindowTitle(QStringLiteral("ZEL_Checker" ZEL_VERSION));
    setFont(PanelFont(9));
    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("ClientArea"));
    Client->setFixedSize(Px(11610), Px(6480));
    setCentralWidget(Client);

    for (auto build : {&Form1::BuildComSelect, &Form1::BuildLineSelect, &Form1::BuildLineMonitor,
                       &Form1::BuildInformation, &Form1::BuildWriteCommand,
                       &Form1::BuildReadCommand, &Form1::BuildCounter, &Form1::BuildBoard}) {
        (this->*build)();
    }
    FitPanelTexts();
    BuildMenus();
    Timer1 = new VbTimer(QStringLiteral("Timer1"), Time(), this);
    Timer2 = new VbTimer(QStringLiteral("Timer2"), Time(), this);
    Timer3 = new VbTimer(QStringLiteral("Timer3"), Time(), this);
}

void Form1::BuildComSelect() {
    Frame8 = MakeFrame(Client, QStringLiteral("Frame8"), QStringLiteral("Com select"),
                       Twips(135, 120, 4668, 684));
    for (int i = 0; i < 4; ++i) {
        AddOption(Option2, Frame8, QStringLiteral("Option2"), i, QStringLiteral("COM%1").arg(i + 1),
                  Twips(kOptionLefts[i], 288, 855, 195));
    }
}

void Form1::BuildLineSelect() {
    Frame4 = MakeFrame(Client, QStringLiteral("Frame4"), QStringLiteral("Line select"),
                       Twips(144, 864, 4668, 660));
    for (int i = 0; i < 4; ++i) {
        AddOption(Option1, Frame4, QStringLiteral("Option1"), i,
                  QStringLiteral("Line%1").arg(i + 1), Twips(kOptionLefts[i], 252, 825, 252));
    }
}

void Form1::BuildLineMonitor() {
    const QString L2 = QStringLiteral("Label2");
    Frame6 = MakeFrame(Client, QStringLiteral("Frame6"), QStringLiteral("Line monitor"),
                       Twips(135, 1530, 4668, 4828));
    AddLabel(Label8, Frame6, QStringLiteral("Label8"), 0, QStringLiteral("Bit_address"),
             Twips(264, 216, 1068, 252));
    AddOption(Option4, Frame6, QStringLiteral("Option4"), 0, QStringLiteral("Dec"),
              Twips(1332, 210, 675, 195));
    AddOption(Option4, Frame6, QStringLiteral("Option4"), 1, QStringLiteral("Hex"),
              Twips(1935, 210, 645, 195));
    AddLabel(Label2, Frame6, L2, 4, {}, Twips(2565, 180, 375, 255), true);
    AddLabel(Label8, Frame6, QStringLiteral("Label8"), 1, QStringLiteral("CSUM"),
             Twips(3024, 216, 492, 252));
    AddLabel(Label2, Frame6, L2, 12, {}, Twips(3502, 180, 372, 252), true);
    AddLabel(Label8, Frame6, QStringLiteral("Label8"), 2, QStringLiteral("RR"),
             Twips(3924, 216, 240, 180));
    AddLabel(Label2, Frame6, L2, 13, {}, Twips(4176, 180, 372, 252), true);
    Label6 =
        MakeLabel(Frame6, QStringLiteral("Label6"), -1,
                  QStringLiteral(" 0    1   2    3   4    5    6    7    8    9   A    B   C    "
                                 "D   E   F"),
                  Twips(360, 510, 3885, 135), false, 7.5);
    Monitor = new BitMonitor(QStringLiteral("Picture1"), Frame6);
    std::array<QRect, BitMonitor::kCells> cellRects;
    for (int n = 0; n < BitMonitor::kCells; ++n) {
        const int r = n / 16;
        const int c = n % 16;
        const int left = c < 8 ? 300 + 240 * c : 2280 + 240 * (c - 8);
        const int top = r < 8 ? 690 + 240 * r : 2670 + 240 * (r - 8);
        cellRects[static_cast<std::size_t>(n)] = Twips(left, top, 252, 252);
        Picture1.Add(n, Monitor->Cell(n));
    }
    Monitor->PlaceCells(cellRects);
    for (int r = 0; r < 16; ++r) {
        const int top = r < 8 ? 690 + 240 * r : 2670 + 240 * (r - 8);
        AddLabel(Label7, Frame6, QStringLiteral("Label7"), r, QString::number(r, 16).toUpper(),
                 Twips(150, top + 30, 135, 195), false, 7.5);
        AddLabel(Label4, Frame6, QStringLiteral("Label4"), r, {}, Twips(2220, top + 30, 75, 195));
        AddLabel(Label11, Frame6, QStringLiteral("Label11"), r, {}, Twips(4230, top, 135, 252));
        // Label5 lies over Label11 and takes the clicks on their shared area.
        AddLabel(Label5, Frame6, QStringLiteral("Label5"), r, {}, Twips(4230, top, 190, 252));
        AddLabel(Label24, Frame6, QStringLiteral("Label24"), r, {}, Twips(4421, top, 190, 252));
    }
    // The cells lie above the labels in the gap, which reach over their edges.
    Monitor->raise();
}

void Form1::BuildInformation() {
    const QString L2 = QStringLiteral("Label2");
    const QString L9 = QStringLiteral("Label9");
    Frame1 = MakeFrame(Client, QStringLiteral("Frame1"), QStringLiteral("Information"),
                       Twips(4860, 108, 6585, 1428));
    AddLabel(Label9, Frame1, L9, 1, QStringLiteral("Date"), Twips(2988, 180, 432, 252));
    AddLabel(Label2, Frame1, L2, 6, {}, Twips(3384, 180, 1116, 228), true);
    AddLabel(Label9, Frame1, L9, 2, QStringLiteral("Time"), Twips(5076, 180, 432, 252));
    AddLabel(Label2, Frame1, L2, 8, {}, Twips(5472, 180, 936, 228), true);
    AddLabel(Label9, Frame1, L9, 0, QStringLiteral("ビット数/Scan"), Twips(216, 504, 1176, 252));
    AddLabel(Label2, Frame1, L2, 2, {}, Twips(1500, 468, 468, 228), true);
    Label1 = MakeLabel(Frame1, QStringLiteral("Label1"), -1,
                       QStringLiteral("通信レート(Bytes/Sec)"), Twips(2196, 504, 1788, 192));
    AddLabel(Label2, Frame1, L2, 3, {}, Twips(4032, 468, 468, 228), true);
    AddLabel(Label2, Frame1, L2, 7, QStringLiteral("Connect"), Twips(4680, 504, 792, 168));
    Label17 = MakeLamp(Frame1, QStringLiteral("Label17"), Twips(5472, 540, 132, 132));
    AddLabel(Label2, Frame1, L2, 9, QStringLiteral("Csum"), Twips(5724, 504, 504, 168));
    Label23 = MakeLamp(Frame1, QStringLiteral("Label23"), Twips(6264, 540, 132, 132));
    AddLabel(Label2, Frame1, L2, 0, QStringLiteral("ROM Version"), Twips(180, 768, 1272, 192));
    AddLabel(Label2, Frame1, L2, 1, {}, Twips(1500, 768, 2352, 288), true);
    AddButton(Command3, Frame1, QStringLiteral("Command3"), 0, QStringLiteral("Restart"),
              Twips(3930, 768, 1213, 282));
    AddButton(Command3, Frame1, QStringLiteral("Command3"), 1, QStringLiteral("Reset"),
              Twips(5190, 768, 1213, 282));
    AddLabel(Label9, Frame1, L9, 3, QStringLiteral("全データ要求"), Twips(180, 1116, 1212, 204));
    AddLabel(Label2, Frame1, L2, 10, {}, Twips(1500, 1116, 468, 228), true);
    AddLabel(Label9, Frame1, L9, 5, QStringLiteral("サンプリング周期"),
             Twips(2460, 1140, 1365, 210));
    AddLabel(Label2, Frame1, L2, 11, {}, Twips(3930, 1110, 465, 225), true);
    AddLabel(Label9, Frame1, L9, 4, QStringLiteral("(mS)"), Twips(4440, 1140, 450, 210));
}

void Form1::BuildWriteCommand() {
    Frame3 = MakeFrame(Client, QStringLiteral("Frame3"), QStringLiteral("Write Command"),
                       Twips(4860, 1536, 6585, 1116));
    const int writeIndex[5] = {0, 1, 2, 3, 5};
    const char* writeCaption[5] = {"Clear1", "Clear4", "Pattern1", "Pattern2", "Pattern3"};
    const int writeLeft[5] = {270, 1500, 2730, 3960, 5190};
    for (int i = 0; i < 5; ++i) {
        AddButton(Command2, Frame3, QStringLiteral("Command2"), writeIndex[i],
                  QString::fromLatin1(writeCaption[i]), Twips(writeLeft[i], 240, 1213, 282));
    }
    Text1 = new QLineEdit(Frame3);
    Text1->setObjectName(QStringLiteral("Text1"));
    Text1->setAccessibleName(QStringLiteral("Text1"));
    Text1->setFont(PanelFont(9));
    Text1->setGeometry(Twips(270, 585, 4920, 282));
    AddButton(Command2, Frame3, QStringLiteral("Command2"), 10, QStringLiteral("Send_text"),
              Twips(5190, 585, 1213, 282));
}

void Form1::BuildReadCommand() {
    Frame2 = MakeFrame(Client, QStringLiteral("Frame2"), QStringLiteral("Read Command"),
                       Twips(4860, 2700, 3204, 588));
    AddOption(Option3, Frame2, QStringLiteral("Option3"), 0, QStringLiteral("R_Command"),
              Twips(324, 240, 1455, 255));
    AddOption(Option3, Frame2, QStringLiteral("Option3"), 1, QStringLiteral("Q_Command"),
              Twips(1692, 240, 1380, 255));
}

void Form1::BuildCounter() {
    const QString L2 = QStringLiteral("Label2");
    Frame5 = MakeFrame(Client, QStringLiteral("Frame5"), QStringLiteral("24-bit counter"),
                       Twips(8100, 2700, 3348, 585));
    AddButton(Command1, Frame5, QStringLiteral("Command1"), 1, QStringLiteral("Read"),
              Twips(300, 210, 675, 282));
    AddLabel(Label2, Frame5, L2, 5, {}, Twips(996, 240, 1272, 252), true);
    AddButton(Command1, Frame5, QStringLiteral("Command1"), 0, QStringLiteral("Clear"),
              Twips(2484, 210, 675, 282));
}

void Form1::BuildBoard() {
    Frame7 = MakeFrame(Client, QStringLiteral("Frame7"), QStringLiteral("A/D board"),
                       Twips(4860, 3348, 6585, 3020));
    AddLabel(Label12, Frame7, QStringLiteral("Label12"), 10, QStringLiteral("ScanMax"),
             Twips(240, 252, 828, 192));
    AddLabel(Label22, Frame7, QStringLiteral("Label22"), 9, {}, Twips(1044, 240, 336, 228), true);
    AddButton(Command2, Frame7, QStringLiteral("Command2"), 7, QStringLiteral("+"),
              Twips(1404, 150, 315, 195));
    AddButton(Command2, Frame7, QStringLiteral("Command2"), 8, QStringLiteral("-"),
              Twips(1404, 360, 315, 195));
    AddLabel(Label22, Frame7, QStringLiteral("Label22"), 10, {}, Twips(1836, 240, 336, 228), true);
    AddButton(Command2, Frame7, QStringLiteral("Command2"), 11, QStringLiteral("Auto-F"),
              Twips(2232, 216, 816, 282));
    AddButton(Command2, Frame7, QStringLiteral("Command2"), 6, QStringLiteral("Stop"),
              Twips(3888, 216, 816, 282));
    AddButton(Command2, Frame7, QStringLiteral("Command2"), 9, QStringLiteral("Clear"),
              Twips(4716, 216, 816, 282));
    AddLabel(Label12, Frame7, QStringLiteral("Label12"), 11, QStringLiteral("M-Code"),
             Twips(5724, 144, 720, 192));
    AddLabel(Label22, Frame7, QStringLiteral("Label22"), 11, {}, Twips(5940, 324, 336, 228), true);
    Label10 = MakeLabel(Frame7, QStringLiteral("Label10"), -1,
                        QStringLiteral("UNIT     1CH         2CH         3CH          4CH         "
                                       "5CH         6CH         7CH          8CH "),
                        Twips(390, 600, 5985, 165), false, 8.25);
    const char* rowNames[10] = {"Label13", "Label14", "Label15", "Label16", "Label3",
                                "Label18", "Label19", "Label20", "Label21", "Label22"};
    for (int u = 1; u <= 10; ++u) {
        const int top = 750 + 210 * (u - 1);
        AddLabel(Label12, Frame7, QStringLiteral("Label12"), u - 1, QStringLiteral("a%1").arg(u),
                 Twips(80, top, 215, 225), false, 8.25);
        auto& row = UnitRow(u);
        const QString name = QString::fromLatin1(rowNames[u - 1]);
        AddLabel(row, Frame7, name, 0, {}, Twips(300, top, 450, 225), true, 8.25);
        for (int k = 1; k <= 8; ++k) {
            AddLabel(row, Frame7, name, k, {}, Twips(720 * k, top, 750, 225), true, 8.25);
        }
    }
}

void Form1::FitPanelTexts() {
    // One fitter for the whole panel: the rows of the unit table, and the
    // many elements that show the same texts in the same font, are measured
    // once.
    TextFitter fitter;
    // Every caption as the layout gives it.
    for (QWidget* element : Client->findChildren<QWidget*>()) {
        QString caption;
        if (auto* label = qobject_cast<QLabel*>(element)) {
            caption = label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(element)) {
            caption = button->text();
        } else if (auto* frame = qobject_cast<QGroupBox*>(element)) {
            caption = frame->title();
        }
        if (!caption.isEmpty()) {
            fitter.Fit(element, {caption});
        }
    }
    // The value displays, with the widest texts they show.
    const std::pair<VbLabel*, QStringList> displays[] = {
        {Label2(1), {QStringLiteral("LUPTAB13   99-11-26"), QStringLiteral("RAV-B13    00-03-14")}},
        {Label2(2), {QStringLiteral("256")}},
        {Label2(3), {QStringLiteral("9999")}},
        {Label2(4), {QStringLiteral("255"), QStringLiteral("FF")}},
        {Label2(5), {QStringLiteral("16777215")}},
        {Label2(6), {QStringLiteral("2000/00/00")}},
        {Label2(8), {QStringLiteral("00:00:00")}},
        {Label2(10), {QStringLiteral("停止"), QStringLiteral("自動")}},
        {Label2(11), {QStringLiteral("4000")}},
        {Label2(12), {QStringLiteral("FF")}},
        {Label2(13), {QStringLiteral("FF")}},
        {Label22(9), {QStringLiteral("10")}},
        {Label22(10), {QStringLiteral("255")}},
        {Label22(11), {QStringLiteral("31")}},
    };
    for (const auto& [display, widest] : displays) {
        fitter.Fit(display, widest);
    }
    // The unit table: the type captions, and the widest channel texts of the
    // counter, timer and temperature types.
    const QStringList channels = {QStringLiteral("16777215"), QStringLiteral("999:59:59"),
                                  QStringLiteral(" 123.8"),   QStringLiteral("-3.95"),
                                  QStringLiteral("-999"),     QStringLiteral("5119")};
    for (int u = 1; u <= 10; ++u) {
        fitter.Fit(UnitRow(u)(0), UnitTypeCaptions());
        for (int k = 1; k <= 8; ++k) {
            fitter.Fit(UnitRow(u)(k), channels);
        }
    }
}

void Form1::BuildMenus() {
    auto item = [this](QMenu* menu, const char* name, const QString& caption) {
        auto* action = new MenuItem(QString::fromLatin1(name), caption, this);
        menu->addAction(action);
        return action;
    };
    mnuFile = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuExit = item(mnuFile, "mnuExit", QStringLiteral("終了(&X)"));
    // Inside the command text box Ctrl+X cuts text, as a text box does; the
    // shortcut quits from anywhere else. Kept that way on purpose.
    mnuExit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    mnuSettei = menuBar()->addMenu(QStringLiteral("設定(&S)"));
    mnuSettei->setObjectName(QStringLiteral("mnuSettei"));
    mnuCOM_Selct = mnuSettei->addMenu(QStringLiteral("COMポート(&C)"));
    mnuCOM_Selct->setObjectName(QStringLiteral("mnuCOM_Selct"));
    mnuCOM1 = item(mnuCOM_Selct, "mnuCOM1", QStringLiteral("COM1"));
    mnuCOM2 = item(mnuCOM_Selct, "mnuCOM2", QStringLiteral("COM2"));
    mnuCOM3 = item(mnuCOM_Selct, "mnuCOM3", QStringLiteral("COM3"));
    mnuCOM4 = item(mnuCOM_Selct, "mnuCOM4", QStringLiteral("COM4"));
    menuSPL = mnuSettei->addMenu(QStringLiteral("サンプリング(&D)"));
    menuSPL->setObjectName(QStringLiteral("menuSPL"));
    menuSPLstop = item(menuSPL, "menuSPLstop", QStringLiteral("停止"));
    menuT240 = item(menuSPL, "menuT240", QStringLiteral(" 240mS"));
    menuT400 = item(menuSPL, "menuT400", QStringLiteral(" 400mS"));
    menuT700 = item(menuSPL, "menuT700", QStringLiteral(" 700mS"));
    menuT1000 = item(menuSPL, "menuT1000", QStringLiteral("1000mS"));
    menuT2000 = item(menuSPL, "menuT2000", QStringLiteral("2000mS"));
    menuT4000 = item(menuSPL, "menuT4000", QStringLiteral("4000mS"));

    menuHelp = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
    menuHelp->setObjectName(QStringLiteral("menuHelp"));
    menuHelp_mokuji = item(menuHelp, "menuHelp_mokuji", QStringLiteral("ヘルプ(&J)"));
    menuHelp_version = item(menuHelp, "menuHelp_version", QStringLiteral("バージョン情報(&V)"));
    // Exit and the help boxes carry no check mark.
    mnuExit->setCheckable(false);
    menuHelp_mokuji->setCheckable(false);
    menuHelp_version->setCheckable(false);
}

ControlArray<VbLabel>& Form1::UnitRow(int unit) {
    ControlArray<VbLabel>* rows[10] = {&Label13, &Label14, &Label15, &Label16, &Label3,
                                       &Label18, &Label19, &Label20, &Label21, &Label22};
    return unit >= 1 && unit <= 10 ? *rows[unit - 1] : NoUnitRow;
}
