// veltro verifica: the "3. Verifica" check over the RS485 line, after a read through the
// optical head as in the window, or for an address, settings and serial number given.
#include "cli/Command.h"
#include "cli/EventLoop.h"
#include "cli/ExitStatus.h"
#include "cli/Gateway.h"
#include "cli/IecJob.h"
#include "cli/Interrupts.h"
#include "core/ConfigVerifier.h"
#include "core/LostPort.h"
#include "core/ModuleDefaults.h"
#include "core/PortHelp.h"

#include <memory>

namespace veltro::cli {

namespace {

const char* OutcomeKey(core::TVerifyOutcome outcome)
{
    switch (outcome) {
    case core::voMatch: return "match";
    case core::voOtherModule: return "other_module";
    case core::voNoReply: return "no_reply";
    case core::voPortError: return "port_error";
    }
    return "";
}

// Where to look and what serial number to expect, as given on the command line. Through
// a gateway the line settings are the gateway's: none are taken.
core::ModuleTarget GivenTarget(const Arguments& args, const std::string& serial, bool gateway)
{
    args.OneOf("indirizzo", "automatico");
    args.OneOf("rs485", "predefinite");
    core::ModuleTarget target;
    if (const std::optional<int> address = args.Integer("indirizzo", 1, 247)) {
        target.Address = *address;
    } else {
        target.Address = core::AutomaticAddress(serial);
        target.AutomaticAddress = true;
    }
    if (const std::optional<core::RtuSettings> settings = args.ModuleSettings("rs485"))
        target.Settings = *settings;
    else
        target.DefaultSettings = !gateway;
    return target;
}

struct VerifyReport {
    int status = kInterrupted;
    std::string port;
    core::ModuleLink link;
    bool settingsGiven = true;  // false: through a gateway, with no settings read or given
    std::optional<core::ModuleTarget> target;  // absent when the read through the optical head failed
    std::string serial;
    std::optional<core::TVerifyOutcome> outcome;
    std::string line;   // the outcome's line
    std::string error;  // why it failed; empty when it did not
    std::optional<QString> record;
};

// The check on the Modbus line, on the event loop until it ends or Ctrl-C ends it.
void Check(VerifyReport& report, Output& out)
{
    const core::ModuleTarget& target = *report.target;
    core::VerifyTarget check;
    check.Port = report.port;
    check.Link = report.link;
    check.Address = target.Address;
    check.Settings = target.Settings;
    check.ExpectedSerial = report.serial;
    // As the window's check: three reads of a second each suit a real module.
    check.Attempts = 3;
    check.ReceiveTimeout = std::chrono::milliseconds(1000);

    EventLoop loop;
    auto verifier = std::make_unique<core::ConfigVerifier>();
    // Each line is shown once the next one has come: the last is the outcome's, which
    // OnFinished gives again and which is the result, written once.
    std::optional<std::string> pending;
    verifier->OnLog = [&](const std::string& text) {
        if (pending)
            out.Progress(*pending);
        pending = text;
    };
    verifier->OnFinished = [&](core::TVerifyOutcome outcome, const std::string& line) {
        report.outcome = outcome;
        report.line = line;
        loop.Quit();
    };
    verifier->Start(check);
    {
        // Closing the port ends the check: no event follows.
        const OnInterrupt stop([&] {
            loop.Post([&] {
                verifier.reset();
                loop.Quit();
            });
        });
        loop.Run();
    }
    if (!report.outcome) {
        report.status = kInterrupted;
        report.error = "Verifica interrotta";
    } else if (*report.outcome == core::voMatch) {
        report.status = kDone;
    } else if (*report.outcome == core::voPortError) {
        report.status = kPortUnavailable;
        report.error = core::LinkOpenFailureText(check.Link, check.Port, verifier->PortError()).toStdString();
    } else {
        report.status = kJobFailed;
        report.error = report.line;
    }
}

int Verify(const Arguments& args, Output& out)
{
    VerifyReport report;
    report.link = ReadLink(args, {"porta-rs485"});
    report.port = PortName(args.Port("porta-rs485", 1));
    if (args.Has("matricola")) {
        args.OneOf("matricola", "id");
        report.serial = *args.Value("matricola");
        if (report.serial.empty() || report.serial.size() > 10 ||
            report.serial.find_first_not_of("0123456789") != std::string::npos)
            throw UsageError("--matricola vuole la matricola del contatore, solo cifre");
        if (report.link.Tcp())
            for (const char* serialOnly : {"rs485", "predefinite"})
                if (args.Has(serialOnly))
                    throw UsageError(std::string("--") + serialOnly + " non vale con --gateway: velocità, parità "
                                     "e bit di stop della linea RS485 sono quelli configurati nel gateway");
        report.target = GivenTarget(args, report.serial, report.link.Tcp());
        report.settingsGiven = !report.link.Tcp();
    } else {
        if (!args.Has("id"))
            throw UsageError("indicare --id per leggere la configurazione dal contatore, oppure --matricola "
                             "con l'indirizzo e le impostazioni da verificare");
        for (const char* given : {"indirizzo", "automatico", "rs485", "predefinite"})
            if (args.Has(given))
                throw UsageError(std::string("--") + given + " vale solo con --matricola: con --id l'indirizzo "
                                 "e le impostazioni sono quelli letti dal contatore");
        IecJob read(ReadIecOptions(args, false), out);
        read.Read();
        const auto& registers = read.Result().registers;
        if (const auto serial = registers.find(core::kSerialNumberCode); serial != registers.end())
            report.serial = serial->second;
        report.record = read.Record(QString());
        report.status = read.Status();
        report.error = read.Failure();
        if (report.status == kDone) {
            report.target = core::TargetOfRun(read.Result(), report.serial);
            out.Progress("Verifica della configurazione letta");
        }
    }
    if (report.target && Interrupted()) {
        report.status = kInterrupted;
        report.error = "Verifica interrotta";
    } else if (report.target) {
        if (report.target->AutomaticAddress)
            out.Progress("Indirizzo automatico del modulo: " + std::to_string(report.target->Address));
        if (report.target->DefaultSettings)
            out.Progress("Impostazioni predefinite del modulo: " + report.target->Settings.Text());
        Check(report, out);
        if (report.status == kDone && !out.Json())
            out.Result(report.line);
        else if (report.status != kDone && report.outcome)
            out.Error(report.error);
    }
    if (out.Json()) {
        const std::optional<core::ModuleTarget>& target = report.target;
        JsonObject json;
        json.Set("success", report.status == kDone);
        json.Set("outcome", report.outcome ? std::optional<std::string>(OutcomeKey(*report.outcome)) : std::nullopt);
        json.Set("error", report.error.empty() ? std::nullopt : std::optional<std::string>(report.error));
        json.Set("message", report.outcome ? std::optional<std::string>(report.line) : std::nullopt);
        json.Set("port", report.link.Tcp() ? std::nullopt : std::optional<std::string>(report.port));
        json.Set("link", LinkKey(report.link.Type));
        json.Set("gateway", report.link.Tcp() ? std::optional<std::string>(report.link.Gateway) : std::nullopt);
        json.Set("address", target ? std::optional<int>(target->Address) : std::nullopt);
        json.Set("address_automatic", target ? std::optional<bool>(target->AutomaticAddress) : std::nullopt);
        const bool settings = target && report.settingsGiven;
        json.Set("rs485", settings ? std::optional<std::string>(target->Settings.Text()) : std::nullopt);
        json.Set("rs485_default", settings ? std::optional<bool>(target->DefaultSettings) : std::nullopt);
        json.Set("serial_number", report.serial.empty() ? std::nullopt : std::optional<std::string>(report.serial));
        json.Set("record", report.record);
        out.Result(json);
    }
    return report.status;
}

}  // namespace

Command VerifyCommand()
{
    std::vector<OptionSyntax> options = {
        {"porta-rs485", "N", "porta dell'adattatore RS485, 3 o COM3 (predefinita 1)"},
    };
    const std::vector<OptionSyntax> gateway = GatewayOptions();
    options.insert(options.end(), gateway.begin(), gateway.end());
    const std::vector<OptionSyntax> iec = IecOptionList(false);
    options.insert(options.end(), iec.begin(), iec.end());
    options.insert(options.end(), {
                                      {"matricola", "M", "senza lettura dal contatore: la matricola attesa"},
                                      {"indirizzo", "N", "con --matricola: l'indirizzo (se manca, l'automatico)"},
                                      {"automatico", "", "con --matricola: l'indirizzo automatico"},
                                      {"rs485", "IMPOSTAZIONI", "con --matricola: le impostazioni (se mancano, le predefinite)"},
                                      {"predefinite", "", "con --matricola: le impostazioni predefinite"},
                                  });
    CommandSyntax syntax{
        "verifica",
        "[--porta-rs485 N | --gateway HOST:PORTA [--tcp mbap|rtu]]\n"
        "              (--id ID [--porta N] [--linea IMPOSTAZIONI] |\n"
        "              --matricola M [--indirizzo N | --automatico]\n"
        "              [--rs485 IMPOSTAZIONI | --predefinite]) [--json]",
        "verifica il modulo sulla linea RS485 (\"3. Verifica\")",
        "Legge la matricola dal modulo sulla linea RS485, con l'indirizzo e le impostazioni\n"
        "del modulo, e la confronta con quella del contatore, come \"3. Verifica\" della\n"
        "finestra. Con --id indirizzo, impostazioni e matricola vengono prima letti dal\n"
        "contatore attraverso la testina ottica (come \"1. Leggi\", con il suo rapporto del\n"
        "lavoro); con --matricola sono quelli indicati. Con --gateway la lettura passa da un\n"
        "gateway RS485-Ethernet e verifica indirizzo e matricola: le impostazioni della linea\n"
        "RS485 sono quelle configurate nel gateway.",
        options,
        {},
    };
    return {syntax, Verify};
}

}  // namespace veltro::cli
