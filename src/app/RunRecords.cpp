#include "app/RunRecords.h"

#include "core/JobRecord.h"
#include "app/PageConfig.h"
#include "app/WindowSettings.h"
#include "platform/PortCatalog.h"

#include <QLineEdit>
#include <QPlainTextEdit>

namespace veltro::app {

using namespace core;

namespace {

QPlainTextEdit* MemoOf(const PageConfig& page, const ConfigRunResult& run)
{
    return run.write ? page.memoLog2 : page.memoLog1;
}

JobRecord RecordOf(const PageConfig& page, const ConfigRunResult& run)
{
    const IecSettings iec = IecSettingsOf(page);
    // What the number stands for now, looked up again: adapters may have been swapped
    // since the label was last drawn.
    return RecordOfRun(run, iec, platform::DescribePort(iec.port).Label(), page.editMeterIdent->text(),
                       MemoOf(page, run)->toPlainText().split(QLatin1Char('\n')), QDateTime::currentDateTime());
}

}  // namespace

void RecordRun(PageConfig& page, const ConfigRunResult& run)
{
    const RecordOutcome outcome = WriteJobRecord(RecordOf(page, run));
    if (!outcome.ok)
        MemoOf(page, run)->appendPlainText(outcome.message);
}

}  // namespace veltro::app
