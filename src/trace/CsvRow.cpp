#include "trace/CsvRow.h"

namespace {

bool NeedsQuotes(const QString& field) {
    if (field.isEmpty()) {
        return false;
    }
    if (field.front() == QLatin1Char(' ') || field.back() == QLatin1Char(' ')) {
        return true;
    }
    for (const QChar c : field) {
        if (c == QLatin1Char(',') || c == QLatin1Char('"') || c == QLatin1Char('\r') ||
            c == QLatin1Char('\n')) {
            return true;
        }
    }
    return false;
}

} // namespace

QByteArray CsvRow(const QStringList& fields) {
    QByteArray row;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            row += ',';
        }
        const QString& field = fields.at(i);
        if (NeedsQuotes(field)) {
            QString quoted = field;
            quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
            row += '"' + quoted.toUtf8() + '"';
        } else {
            row += field.toUtf8();
        }
    }
    row += "\r\n";
    return row;
}
