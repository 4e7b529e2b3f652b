#pragma once

#include "production/BenchSetup.h"
#include "production/CheckResult.h"

#include <QWidget>

#include <memory>

class CheckRunner;
class QLabel;
class QLineEdit;
class QListWidget;
class ResultsStore;

// The production bench's window: one row per adapter with its state in
// colour and a serial-number field a barcode scanner fills (the number, then
// Enter), the operator, the product profile, the day's tally and the last
// results. Each Enter starts a check on that row; after the verdict the row
// asks for the next serial.
class BenchWindow : public QWidget {
    Q_OBJECT
public:
    struct Row;

    BenchWindow(const QList<BenchPort>& ports, const CheckRequest& profile, QString checker,
                QString workFolder, ResultsStore* store, QWidget* parent = nullptr);
    ~BenchWindow() override;

    // For the smoke test and scripts: the row's state text and serial field.
    QString RowState(int row) const;
    QLineEdit* SerialField(int row) const;
    QString Tally() const;

signals:
    void ResultShown(const CheckResult& result);

private:
    void StartRow(int row);
    void Show(int row, const CheckResult& result);
    void SetState(int row, const QString& text, const QColor& colour);
    void UpdateTally();

    CheckRequest Profile;
    QString Checker;
    QString WorkFolder;
    ResultsStore* Store;
    std::vector<std::unique_ptr<Row>> Rows;
    QLineEdit* OperatorField = nullptr;
    QLabel* TallyLabel = nullptr;
    QListWidget* LastResults = nullptr;
    QList<CheckResult> Today;
};
