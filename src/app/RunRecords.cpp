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
    const auto value = [&](const char* code) -> std::optional<QString> {
        const auto it = run.registers.find(code);
        if (it == run.registers.end())
            return std::nullopt;
        return QString::fromStdString(it->second);
    };
    JobRecord r;
    r.kind = run.write ? JobKind::Write : JobKind::Read;
    r.finished = QDateTime::currentDateTime();
    r.iec = IecSettingsOf(page);
    // What the number stands for now, looked up again: adapters may have been swapped
    // since the label was last drawn.
    r.portDevice = platform::DescribePort(r.iec.port).Label();
    r.success = run.success;
    // A write goes to the meter the last read found.
    r.serialNumber = run.write ? page.editMeterIdent->text() : value("0.0.1").value_or(QString());
    r.serverAddress = value("0.0.7");
    r.rs485 = value("0.0.8");
    r.log = MemoOf(page, run)->toPlainText().split(QLatin1Char('\n'));
    if (!run.error.empty())
        r.log << QString::fromStdString(run.error);
    return r;
}

}  // namespace

void RecordRun(PageConfig& page, const ConfigRunResult& run)
{
    const RecordOutcome outcome = WriteJobRecord(RecordOf(page, run));
    if (!outcome.ok)
        MemoOf(page, run)->appendPlainText(outcome.message);
}

}  // namespace veltro::app
