#include "BenchWindow.h"

#include "production/CheckRunner.h"
#include "production/DaySummary.h"
#include "production/ResultsStore.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QSysInfo>
#include <QVBoxLayout>

namespace {

const QColor kWaiting(0xe0, 0xe0, 0xe0);
const QColor kRunning(0xff, 0xd8, 0x4d);
const QColor kPass(0x5c, 0xc8, 0x6a);
const QColor kFail(0xe8, 0x5a, 0x5a);
constexpr int kLastResultsShown = 50;
constexpr int kSerialFieldWidth = 220;

} // namespace

struct BenchWindow::Row {
    BenchPort Port;
    QLabel* State = nullptr;
    QLineEdit* Serial = nullptr;
    CheckRunner* Runner = nullptr;
};

BenchWindow::BenchWindow(const QList<BenchPort>& ports, const CheckRequest& profile,
                         QString checker, QString workFolder, ResultsStore* store, QWidget* parent)
    : QWidget(parent), Profile(profile), Checker(std::move(checker)),
      WorkFolder(std::move(workFolder)), Store(store) {
    setWindowTitle(QStringLiteral("zel-bench"));
    auto* layout = new QVBoxLayout(this);

    auto* header = new QFormLayout;
    OperatorField = new QLineEdit(profile.Operator);
    header->addRow(QStringLiteral("Operator"), OperatorField);
    header->addRow(
        QStringLiteral("Profile"),
        new QLabel(QStringLiteral("ROM %1, %2 bits")
                       .arg(profile.ExpectRom.isEmpty() ? QStringLiteral("any") : profile.ExpectRom)
                       .arg(profile.ExpectBits > 0 ? profile.ExpectBits : 256)));
    header->addRow(QStringLiteral("Results"), new QLabel(store->Location().Describe()));
    layout->addLayout(header);

    auto* rowsBox = new QGroupBox(QStringLiteral("Adapters"));
    auto* grid = new QGridLayout(rowsBox);
    for (qsizetype i = 0; i < ports.size(); ++i) {
        auto row = std::make_unique<Row>();
        row->Port = ports.at(i);
        const int r = static_cast<int>(i);
        grid->addWidget(new QLabel(QStringLiteral("%1 (%2)").arg(row->Port.Name, row->Port.Device)),
                        r, 0);
        row->Serial = new QLineEdit(row->Port.Serial);
        row->Serial->setPlaceholderText(QStringLiteral("scan the serial number"));
        row->Serial->setMinimumWidth(kSerialFieldWidth);
        row->Serial->setObjectName(QStringLiteral("serial_%1").arg(row->Port.Name));
        grid->addWidget(row->Serial, r, 1);
        row->State = new QLabel;
        row->State->setMinimumWidth(360);
        row->State->setAutoFillBackground(true);
        row->State->setObjectName(QStringLiteral("state_%1").arg(row->Port.Name));
        grid->addWidget(row->State, r, 2);
        row->Runner = new CheckRunner(Checker, WorkFolder, this);
        connect(row->Serial, &QLineEdit::returnPressed, this, [this, r] { StartRow(r); });
        connect(row->Runner, &CheckRunner::StepBegins, this, [this, r](const QString& step) {
            SetState(r, QStringLiteral("checking: %1").arg(step), kRunning);
        });
        connect(row->Runner, &CheckRunner::Finished, this,
                [this, r](const CheckResult& result) { Show(r, result); });
        Rows.push_back(std::move(row));
        SetState(r, QStringLiteral("scan the serial, then power the unit on"), kWaiting);
    }
    grid->setColumnStretch(2, 1);
    layout->addWidget(rowsBox);

    TallyLabel = new QLabel;
    layout->addWidget(TallyLabel);
    LastResults = new QListWidget;
    layout->addWidget(LastResults);
    // The tally counts the day's results already kept, from every bench
    // that shares the store.
    Today = Store->Results(QDate::currentDate());
    for (const CheckResult& result : Today) {
        LastResults->insertItem(0, ResultLine(result));
    }
    UpdateTally();
}

BenchWindow::~BenchWindow() = default;

QString BenchWindow::RowState(int row) const {
    return Rows.at(static_cast<std::size_t>(row))->State->text();
}

QLineEdit* BenchWindow::SerialField(int row) const {
    return Rows.at(static_cast<std::size_t>(row))->Serial;
}

QString BenchWindow::Tally() const {
    return TallyLabel->text();
}

void BenchWindow::StartRow(int r) {
    Row& row = *Rows.at(static_cast<std::size_t>(r));
    const QString serial = row.Serial->text().trimmed();
    if (serial.isEmpty() || row.Runner->Busy()) {
        return;
    }
    row.Serial->setReadOnly(true);
    CheckRequest request = Profile;
    request.Port = row.Port.Name;
    request.Device = row.Port.Device;
    request.Serial = serial;
    request.Operator = OperatorField->text().trimmed();
    SetState(r, QStringLiteral("waiting for the unit"), kRunning);
    row.Runner->Start(request);
}

void BenchWindow::Show(int r, const CheckResult& checked) {
    CheckResult result = checked;
    result.Bench = QSysInfo::machineHostName();
    QString error;
    const ResultsStore::Outcome outcome = Store->Store(result, &error);
    const QString kept = outcome == ResultsStore::Outcome::Stored    ? QStringLiteral("stored")
                         : outcome == ResultsStore::Outcome::Spooled ? QStringLiteral("spooled")
                                                                     : QStringLiteral("NOT STORED");
    QString text = QStringLiteral("%1  %2").arg(result.Verdict, result.Serial);
    if (!result.FailedStep.isEmpty()) {
        text += QStringLiteral("  %1: %2").arg(result.FailedStep, result.Reason);
    }
    text += QStringLiteral("  (%1)").arg(kept);
    SetState(r, text, result.Verdict == QLatin1String("PASS") ? kPass : kFail);
    Today.append(result);
    UpdateTally();
    LastResults->insertItem(0, QStringLiteral("%1  %2").arg(ResultLine(result), kept));
    while (LastResults->count() > kLastResultsShown) {
        delete LastResults->takeItem(LastResults->count() - 1);
    }
    // The row asks for the next unit's serial; the verdict stays until then.
    Row& row = *Rows.at(static_cast<std::size_t>(r));
    row.Serial->setReadOnly(false);
    row.Serial->clear();
    row.Serial->setPlaceholderText(QStringLiteral("next unit: scan its serial number"));
    emit ResultShown(result);
}

void BenchWindow::SetState(int r, const QString& text, const QColor& colour) {
    QLabel* label = Rows.at(static_cast<std::size_t>(r))->State;
    label->setText(text);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    label->setPalette(palette);
}

void BenchWindow::UpdateTally() {
    const DaySummary summary = SummarizeDay(Today);
    TallyLabel->setText(QStringLiteral("Today: %1 units checked, %2 passed, yield %3 %")
                            .arg(summary.Checked)
                            .arg(summary.Passed)
                            .arg(summary.Yield(), 0, 'f', 1));
}
