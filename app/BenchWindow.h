#pragma once

#include "production/BenchSetup.h"
#include "production/CheckResult.h"

#include <QHash>
#include <QWidget>

#include <memory>

class CheckRunner;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class ResultsKeeper;

// The production bench's window: one row per adapter with its state in
// colour and a serial-number field a barcode scanner fills (the number, then
// Enter), the operator, the product profile, the day's tally and the last
// results. Each Enter starts a check on that row; after the verdict the row
// writes the unit's PDF sheet, offers to open it and asks for the next
// serial. Results are kept through the keeper's thread, so a slow server
// never holds the window; the row tells where each result went.
class BenchWindow : public QWidget {
    Q_OBJECT
public:
    struct Row;

    BenchWindow(const QList<BenchPort>& ports, const CheckRequest& profile, QString checker,
                QString workFolder, ResultsKeeper* keeper, QString sheetsFolder,
                QWidget* parent = nullptr);
    ~BenchWindow() override;

    // For the smoke test and scripts: the row's state text and serial field.
    QString RowState(int row) const;
    QLineEdit* SerialField(int row) const;
    QString Tally() const;
    // The row's last sheet, empty while none was written.
    QString SheetFile(int row) const;
    QPushButton* SheetButton(int row) const;

signals:
    // The verdict is shown and the result kept (or not, as the row says).
    void ResultShown(const CheckResult& result);

private:
    void StartRow(int row);
    void Show(int row, const CheckResult& result);
    void ShowKept(const CheckResult& result, const QString& rowKept, const QString& listKept);
    void ShowArrived(const QStringList& checkIds);
    void TakeEarlierResults(const QList<CheckResult>& results);
    void SetState(int row, const QString& text, const QColor& colour);
    void UpdateTally();

    // A result shown in a row and in the last results, until it is kept
    // (or, when spooled, until it reached the server).
    struct Shown {
        int Row = -1;
        QString RowText;
        QString ListText;
    };

    CheckRequest Profile;
    QString Checker;
    QString WorkFolder;
    ResultsKeeper* Keeper;
    QString SheetsFolder;
    std::vector<std::unique_ptr<Row>> Rows;
    QHash<QString, Shown> ShownResults; // by check id
    QLineEdit* OperatorField = nullptr;
    QLabel* TallyLabel = nullptr;
    QListWidget* LastResults = nullptr;
    QList<CheckResult> Today;
};
