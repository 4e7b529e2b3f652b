#pragma once

#include "CheckResult.h"
#include "DaySummary.h"

#include <QString>

// One-page PDF papers: the sheet of one checked unit (serial, ROM, verdict,
// steps, and for a failed pattern the written and the read grid side by side
// with the differing cells marked), and the day's summary with a chart of the
// failures by step. Each returns an empty text, or why the file was not written.
// The sheet's file name for a result: the serial number with every character
// that could leave the folder or trouble a file system replaced by "_", then
// the start time ("SN-0412_20261207-125311.pdf").
QString SheetFileName(const CheckResult& result);

QString WriteUnitSheet(const CheckResult& result, const QString& file);
QString WriteDaySummary(const DaySummary& summary, const QString& day, const QString& file);
