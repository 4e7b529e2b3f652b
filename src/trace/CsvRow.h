#pragma once

#include <QByteArray>
#include <QStringList>

// One CSV record in UTF-8, ended by CR LF. A field that holds a comma, a
// double quote, CR or LF, or starts or ends with a blank is enclosed in
// double quotes, with each double quote inside doubled; other fields are
// written as they are.
QByteArray CsvRow(const QStringList& fields);
