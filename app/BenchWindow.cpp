#include "BenchWindow.h"

#include "production/CheckRunner.h"
#include "production/DaySummary.h"
#include "production/Papers.h"
#include "production/ResultsKeeper.h"

#include <QDesktopServices>
#include <QDir>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSysInfo>
#include <QTime>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

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
    QPushButton* Sheet = nullptr;
    QString SheetFile;
    QString LastCheckId;
    CheckRunner* Runner = nullptr;
};

BenchWindow::BenchWindow(const QList<BenchPort>& ports, const CheckRequest& profile,
                         QString checker, QString workFolder, ResultsKeeper* keeper,
                         QString sheetsFolder, QWidget* parent)
    : QWidget(parent), Profile(profile), Checker(std::move(checker)),
      WorkFolder(std::move(workFolder)), Keeper(keeper), SheetsFolder(std::move(sheetsFolder)) {
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
    header->addRow(QStringLiteral("Results"), new QLabel(keeper->Location().Describe()));
    header->addRow(QStringLiteral("Sheets"), new QLabel(SheetsFolder));
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
        row->State->setWordWrap(true);
        row->State->setObjectName(QStringLiteral("state_%1").arg(row->Port.Name));
        grid->addWidget(row->State, r, 2);
        row->Sheet = new QPushButton(QStringLiteral("Sheet"));
        row->Sheet->setEnabled(false);
        row->Sheet->setToolTip(QStringLiteral("Open the PDF sheet of the row's last unit"));
        grid->addWidget(row->Sheet, r, 3);
        connect(row->Sheet, &QPushButton::clicked, this, [this, r] {
            QDesktopServices::openUrl(
                QUrl::fromLocalFile(Rows.at(static_cast<std::size_t>(r))->SheetFile));
        });
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
    // that shares the store; they arrive from the keeper's thread.
    connect(Keeper, &ResultsKeeper::DayRead, this,
            [this](const QList<CheckResult>& results) { TakeEarlierResults(results); });
    connect(Keeper, &ResultsKeeper::Kept, this,
            [this](const CheckResult& result, ResultsStore::Outcome outcome, const QString& error) {
                const QString kept = outcome == ResultsStore::Outcome::Stored
                                         ? QStringLiteral("stored")
                                     : outcome == ResultsStore::Outcome::Spooled
                                         ? QStringLiteral("spooled: %1").arg(error)
                                         : QStringLiteral("NOT STORED: %1").arg(error);
                // The row keeps it short; the last results tell why.
                ShowKept(result, kept.section(QLatin1Char(':'), 0, 0), kept);
                if (outcome != ResultsStore::Outcome::Spooled) {
                    ShownResults.remove(result.CheckId);
                }
                emit ResultShown(result);
            });
    connect(Keeper, &ResultsKeeper::Delivered, this,
            [this](const QStringList& ids) { ShowArrived(ids); });
    Keeper->ReadDay(QDate::currentDate());
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

QString BenchWindow::SheetFile(int row) const {
    return Rows.at(static_cast<std::size_t>(row))->SheetFile;
}

QPushButton* BenchWindow::SheetButton(int row) const {
    return Rows.at(static_cast<std::size_t>(row))->Sheet;
}

void BenchWindow::TakeEarlierResults(const QList<CheckResult>& results) {
    QList<CheckResult> earlier;
    for (const CheckResult& result : results) {
        const bool known =
            std::any_of(Today.cbegin(), Today.cend(),
                        [&result](const CheckResult& r) { return r.CheckId == result.CheckId; });
        if (!known) {
            earlier.append(result);
        }
    }
    for (const CheckResult& result : earlier) {
        LastResults->addItem(ResultLine(result));
    }
    Today = earlier + Today;
    UpdateTally();
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
    Row& row = *Rows.at(static_cast<std::size_t>(r));
    QString text = QStringLiteral("%1  %2").arg(result.Verdict, result.Serial);
    if (!result.FailedStep.isEmpty()) {
        // The row shows the reason's first finding; the last results and
        // the row's tip hold all of it.
        QString reason = result.Reason.section(QLatin1Char(';'), 0, 0);
        if (reason.size() < result.Reason.size()) {
            reason += QStringLiteral(" …");
        }
        text += QStringLiteral("  %1: %2").arg(result.FailedStep, reason);
    }
    row.State->setToolTip(result.Reason);
    const QString sheet = QDir(SheetsFolder).filePath(SheetFileName(result));
    if (const QString trouble = WriteUnitSheet(result, sheet); trouble.isEmpty()) {
        row.SheetFile = sheet;
        row.Sheet->setEnabled(true);
        row.Sheet->setToolTip(sheet);
    } else {
        row.SheetFile.clear();
        row.Sheet->setEnabled(false);
        row.Sheet->setToolTip(trouble);
        text += QStringLiteral("  (sheet not written)");
    }
    row.LastCheckId = result.CheckId;
    ShownResults.insert(result.CheckId, {r, text, ResultLine(result)});
    SetState(r, text + QStringLiteral("  (keeping)"),
             result.Verdict == QLatin1String("PASS") ? kPass : kFail);
    Today.append(result);
    UpdateTally();
    auto* item = new QListWidgetItem(QStringLiteral("%1  keeping").arg(ResultLine(result)));
    item->setData(Qt::UserRole, result.CheckId);
    LastResults->insertItem(0, item);
    while (LastResults->count() > kLastResultsShown) {
        delete LastResults->takeItem(LastResults->count() - 1);
    }
    // The row asks for the next unit's serial; the verdict stays until then.
    row.Serial->setReadOnly(false);
    row.Serial->clear();
    row.Serial->setPlaceholderText(QStringLiteral("next unit: scan its serial number"));
    Keeper->Keep(result);
}

void BenchWindow::ShowKept(const CheckResult& result, const QString& rowKept,
                           const QString& listKept) {
    const auto shown = ShownResults.constFind(result.CheckId);
    if (shown == ShownResults.cend()) {
        return;
    }
    Row& row = *Rows.at(static_cast<std::size_t>(shown->Row));
    // A row already on its next unit keeps that unit's state.
    if (row.LastCheckId == result.CheckId && !row.Runner->Busy()) {
        row.State->setText(QStringLiteral("%1  (%2)").arg(shown->RowText, rowKept));
    }
    for (int i = 0; i < LastResults->count(); ++i) {
        QListWidgetItem* item = LastResults->item(i);
        if (item->data(Qt::UserRole).toString() == result.CheckId) {
            item->setText(QStringLiteral("%1  %2").arg(shown->ListText, listKept));
        }
    }
}

void BenchWindow::ShowArrived(const QStringList& checkIds) {
    const QString at = QTime::currentTime().toString(QStringLiteral("HH:mm"));
    for (const QString& id : checkIds) {
        CheckResult result;
        result.CheckId = id;
        const QString arrived = QStringLiteral("spooled, reached the server at %1").arg(at);
        ShowKept(result, arrived, arrived);
        ShownResults.remove(id);
    }
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
