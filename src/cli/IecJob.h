#pragma once
// What leggi, scrivi and verifica share: the options that say where the meter is and who
// may write to it, one "1. Leggi" or "2. Scrivi" run with every step on stderr as the
// window's log shows it, Ctrl-C that still signs off from the meter, and the job record
// each run leaves, as the window's do.

#include "cli/Arguments.h"
#include "cli/Output.h"
#include "core/ConfigRun.h"
#include "core/SettingsStore.h"

#include <QDateTime>
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace veltro::cli {

struct IecOptions {
    core::IecSettings iec;  // port, line settings, communication identifier
    std::string password;   // for a write; never printed, logged or recorded
};

// --porta, --linea, --id, and --password / --password-file when the command writes.
std::vector<OptionSyntax> IecOptionList(bool password);
// The window's defaults where an option is not given; --id is required.
IecOptions ReadIecOptions(const Arguments& args, bool password);

class IecJob {
public:
    IecJob(IecOptions options, Output& out);

    bool Read();
    bool Write(const core::ConfigToWrite& values);
    const core::ConfigRunResult& Result() const { return result_; }
    const IecOptions& Options() const { return options_; }

    // Writes the record of the run just made, as the window does: a write's record names
    // the meter by meterSerial. The file's path, or nothing (why on stderr).
    std::optional<QString> Record(const QString& meterSerial);

    // The exit status the run's end calls for; for a failure, why goes to stderr.
    int Status() const;
    // Why the run failed, for --json: the port's reason, the failing step; empty when it
    // did not fail.
    std::string Failure() const;

private:
    bool Run(const std::function<bool(core::ConfigRun&)>& body);

    IecOptions options_;
    Output& out_;
    core::ConfigRunResult result_;
    QStringList log_;
    QDateTime finished_;
};

// The serial number, the module's address and its RS485 settings as a read found them,
// with the values in effect where the meter holds none or none the module can use.
std::vector<std::string> ConfigLines(const core::ConfigRunResult& run);
void SetConfig(JsonObject& json, const core::ConfigRunResult& run);

// "COM3"
std::string PortName(int number);

}  // namespace veltro::cli
