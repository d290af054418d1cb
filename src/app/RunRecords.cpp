#include "app/RunRecords.h"

#include "core/JobRecord.h"
#include "app/PageConfig.h"
#include "platform/PortCatalog.h"


namespace veltro::app {

using namespace core;

namespace {

JobRecord RecordOf(const PageConfig& page, const ConfigRunResult& run)
{
    const IecSettings iec = page.Iec();
    // What the number stands for now, looked up again: adapters may have been swapped
    // since the label was last drawn.
    return RecordOfRun(run, iec, platform::DescribePort(iec.port).Label(), page.MeterSerial(), page.RunLog(run.write),
                       QDateTime::currentDateTime());
}

}  // namespace

void RecordRun(PageConfig& page, const ConfigRunResult& run)
{
    const RecordOutcome outcome = WriteJobRecord(RecordOf(page, run));
    if (!outcome.ok)
        page.AppendRunLog(run.write, outcome.message);
}

}  // namespace veltro::app
