#include "app/MonitorExport.h"

#include "app/PageMonitor.h"

#include <QLabel>
#include <QListWidget>
#include <QTableWidget>

namespace veltro::app {

namespace {

// "..." stands on the page for a value no poll has brought yet.
QString Shown(const QString& text)
{
    return text == QStringLiteral("...") ? QString() : text;
}

void AddGrid(QList<CsvRow>& rows, const QTableWidget* grid)
{
    for (int r = 0; r < grid->rowCount(); ++r) {
        CsvRow row;
        for (int c = 0; c < grid->columnCount(); ++c)
            row << (grid->item(r, c) ? grid->item(r, c)->text() : QString());
        rows << row;
    }
}

}  // namespace

QStringList CommunicationLogLines(const PageMonitor& page)
{
    QStringList lines;
    for (int i = 0; i < page.listLog->count(); ++i)
        lines << page.listLog->item(i)->text();
    return lines;
}

QList<CsvRow> ValuesOnScreen(const PageMonitor& page)
{
    QList<CsvRow> rows;
    rows << CsvRow{QStringLiteral("Matricola"), Shown(page.lblMatricola->text())};
    rows << CsvRow{QStringLiteral("Data/ora"), Shown(page.lblDateTime->text())};
    rows << CsvRow{};
    AddGrid(rows, page.gridTotals);
    rows << CsvRow{};
    rows << CsvRow{QStringLiteral("Cos phi"), Shown(page.lblCosPhi->text())};
    rows << CsvRow{QStringLiteral("Potenza attiva"), Shown(page.lblPowerA->text())};
    rows << CsvRow{QStringLiteral("Potenza reattiva"), Shown(page.lblPowerQ->text())};
    rows << CsvRow{QStringLiteral("Potenza apparente"), Shown(page.lblPowerS->text())};
    rows << CsvRow{};
    AddGrid(rows, page.gridProfiles);
    return rows;
}

}  // namespace veltro::app
