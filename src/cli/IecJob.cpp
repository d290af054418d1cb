#include "cli/IecJob.h"

#include "cli/ExitStatus.h"
#include "cli/Interrupts.h"
#include "core/Common.h"
#include "core/JobRecord.h"
#include "core/ModuleDefaults.h"
#include "core/PortHelp.h"
#include "platform/PortCatalog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <future>
#include <iostream>

namespace veltro::cli {

namespace {

// What the system says of the adapters takes about 10 ms to ask. A record needs it only
// once the run has ended, so it is asked on a thread of its own while the run talks to
// the meter, and never delays the first byte on the line.
std::shared_future<void>& AdapterLookup()
{
    static std::shared_future<void> lookup = std::async(std::launch::async, platform::LoadAdapterDetails).share();
    return lookup;
}

std::string ReadPassword(const std::string& file)
{
    std::string password;
    if (file == "-") {
        std::getline(std::cin, password);
    } else {
        std::ifstream in(file);
        if (!in)
            throw UsageError("impossibile leggere la password dal file " + file + ": " + std::strerror(errno));
        std::getline(in, password);
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    return password;
}

std::optional<std::string> Register(const core::ConfigRunResult& run, const char* code)
{
    const auto it = run.registers.find(code);
    if (it == run.registers.end())
        return std::nullopt;
    return it->second;
}

bool IsBlank(const std::string& text)
{
    return text.find_first_not_of(' ') == std::string::npos;
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

}  // namespace

std::string PortName(int number)
{
    return "COM" + std::to_string(number);
}

std::vector<OptionSyntax> IecOptionList(bool password)
{
    std::vector<OptionSyntax> options = {
        {"porta", "N", "porta della testina ottica, 3 o COM3 (predefinita 1)"},
        {"linea", "IMPOSTAZIONI", "impostazioni di linea della testina (predefinite \"9600 7E1\")"},
        {"id", "ID", "identificativo di comunicazione, di solito la matricola"},
    };
    if (password) {
        options.push_back({"password", "PASSWORD", "password del contatore (predefinita quella della finestra)"});
        options.push_back({"password-file", "FILE", "legge la password dalla prima riga di FILE (- per stdin)"});
    }
    return options;
}

IecOptions ReadIecOptions(const Arguments& args, bool password)
{
    IecOptions o;
    o.iec.port = args.Port("porta", 1);
    if (const std::optional<core::LineSettings> line = args.IecLine("linea"))
        o.iec.line = *line;
    const std::string ident = args.Value("id").value_or("");
    if (ident.empty())
        throw UsageError("Inserire l'identificativo di comunicazione (--id)");
    // As the window's field: digits only, at most the 32 characters of a device address.
    if (ident.size() > 32 || ident.find_first_not_of("0123456789") != std::string::npos)
        throw UsageError("--id vuole le sole cifre dell'identificativo di comunicazione (al massimo 32)");
    o.iec.commIdent = QString::fromStdString(ident);
    if (password) {
        args.OneOf("password", "password-file");
        o.password = args.Has("password-file") ? ReadPassword(*args.Value("password-file"))
                                                : args.Value("password").value_or(core::kDefaultMeterPassword);
    }
    return o;
}

IecJob::IecJob(IecOptions options, Output& out) : options_(std::move(options)), out_(out) {}

bool IecJob::Read()
{
    return Run([&](core::ConfigRun& run) { return run.Read(options_.iec.commIdent.toStdString()); });
}

bool IecJob::Write(const core::ConfigToWrite& values)
{
    return Run([&](core::ConfigRun& run) {
        return run.Write(options_.iec.commIdent.toStdString(), options_.password, values);
    });
}

bool IecJob::Run(const std::function<bool(core::ConfigRun&)>& body)
{
    AdapterLookup();
    log_.clear();
    core::ConfigRun run(options_.iec, [this](const std::string& line) {
        log_ << QString::fromStdString(line);
        out_.Progress(line);
    });
    bool ok = false;
    std::string error;
    {
        // The run signs off from the meter and closes the port before it returns.
        const OnInterrupt cancel([&run] { run.Cancel(); });
        try {
            ok = body(run);
        } catch (const std::exception& e) {
            // A failure no step expects: the port is closed by now, the record tells it.
            error = e.what();
        }
    }
    result_ = run.Result();
    if (!error.empty())
        result_.error = error;
    finished_ = QDateTime::currentDateTime();
    return ok;
}

std::optional<QString> IecJob::Record(const QString& meterSerial)
{
    AdapterLookup().wait();
    const QString device = platform::DescribePort(options_.iec.port).Label();
    // The password is no part of the record: the run's log never holds it.
    const core::RecordOutcome outcome = core::WriteJobRecord(
        core::RecordOfRun(result_, options_.iec, device, meterSerial, log_, finished_));
    if (!outcome.ok) {
        out_.Error(outcome.message.toStdString());
        return std::nullopt;
    }
    out_.Progress("Rapporto del lavoro salvato in " + outcome.path.toStdString());
    return outcome.path;
}

int IecJob::Status() const
{
    if (result_.success)
        return kDone;
    if (Interrupted())
        return kInterrupted;
    out_.Error(Failure());
    return result_.portError ? kPortUnavailable : kJobFailed;
}

std::string IecJob::Failure() const
{
    if (result_.success)
        return {};
    if (result_.portError)
        return core::PortOpenFailureText(PortName(options_.iec.port), *result_.portError).toStdString();
    if (!result_.error.empty())
        return result_.error;
    if (Interrupted())
        return "Lavoro interrotto dall'utente";
    return result_.failure;
}

std::vector<std::string> ConfigLines(const core::ConfigRunResult& run)
{
    const std::optional<std::string> serial = Register(run, core::kSerialNumberCode);
    const std::optional<std::string> address = Register(run, core::kModbusAddressCode);
    const std::optional<std::string> settings = Register(run, core::kModbusSettingsCode);
    const core::ModuleTarget target = core::TargetOfRun(run, serial.value_or(""));

    std::string addressText = "non letto";
    if (address && !target.AutomaticAddress)
        addressText = std::to_string(target.Address);
    else if (address && !serial)
        addressText = "automatico (matricola non letta)";
    else if (address && IsBlank(*address))
        addressText = core::AutomaticAddressText(target.Address);
    else if (address)
        addressText = std::to_string(target.Address) + " (automatico: " + Quoted(*address) +
                      " non è un indirizzo valido)";

    std::string settingsText = "non lette";
    if (settings && !target.DefaultSettings)
        settingsText = target.Settings.Text();
    else if (settings && IsBlank(*settings))
        settingsText = core::DefaultSettingsText();
    else if (settings)
        settingsText = target.Settings.Text() + " (predefinite: " + Quoted(*settings) +
                       " non è un'impostazione valida)";

    return {"Matricola contatore: " + serial.value_or("non letta"), "Indirizzo server Modbus: " + addressText,
            "Impostazioni RS485: " + settingsText};
}

void SetConfig(JsonObject& json, const core::ConfigRunResult& run)
{
    const std::optional<std::string> serial = Register(run, core::kSerialNumberCode);
    const std::optional<std::string> address = Register(run, core::kModbusAddressCode);
    const std::optional<std::string> settings = Register(run, core::kModbusSettingsCode);
    const core::ModuleTarget target = core::TargetOfRun(run, serial.value_or(""));
    json.Set("serial_number", serial);
    // The automatic address is known only with the serial number it comes from.
    const bool addressKnown = address && (!target.AutomaticAddress || serial);
    json.Set("address", addressKnown ? std::optional<int>(target.Address) : std::nullopt);
    json.Set("address_automatic", address ? std::optional<bool>(target.AutomaticAddress) : std::nullopt);
    json.Set("address_text", address);
    json.Set("rs485", settings ? std::optional<std::string>(target.Settings.Text()) : std::nullopt);
    json.Set("rs485_default", settings ? std::optional<bool>(target.DefaultSettings) : std::nullopt);
    json.Set("rs485_text", settings);
}

}  // namespace veltro::cli
