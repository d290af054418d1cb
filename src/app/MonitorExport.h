#pragma once
// What the "Controllo" page shows, gathered for the files the "File" menu writes: the
// communication log's lines, and the values on screen (serial number, meter clock,
// totals, powers, load-profile records) as rows for a CSV file.

#include "core/Exports.h"

namespace veltro::app {

using namespace core;

class PageMonitor;

QStringList CommunicationLogLines(const PageMonitor& page);
// Texts as the page shows them, in the user's locale; a value not read yet is empty.
QList<CsvRow> ValuesOnScreen(const PageMonitor& page);

}  // namespace veltro::app
