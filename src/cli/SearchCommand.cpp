// veltro cerca: the module search of "Cerca modulo", every station found on stdout as it
// is found, so that "--tutte --json" is the survey of a whole bus.
#include "cli/Command.h"
#include "cli/EventLoop.h"
#include "cli/ExitStatus.h"
#include "cli/Gateway.h"
#include "cli/IecJob.h"
#include "cli/Interrupts.h"
#include "core/Common.h"
#include "core/LostPort.h"
#include "core/ModuleScanner.h"
#include "core/PortHelp.h"
#include "core/ProbeTexts.h"
#include "modbus/FieldwireError.h"

#include <algorithm>

namespace veltro::cli {

namespace {

std::vector<std::string> Items(const std::string& list)
{
    std::vector<std::string> items;
    size_t start = 0;
    for (size_t comma; (comma = list.find(',', start)) != std::string::npos; start = comma + 1)
        items.push_back(list.substr(start, comma - start));
    items.push_back(list.substr(start));
    return items;
}

// Each item of a comma-separated option through parse; an item it refuses is a UsageError.
template <typename T, typename Parse>
std::vector<T> ListOption(const Arguments& args, std::string_view name, Parse parse, const char* expected)
{
    std::vector<T> values;
    if (const std::optional<std::string> list = args.Value(name))
        for (const std::string& item : Items(*list)) {
            const std::optional<T> value = parse(item);
            if (!value)
                throw UsageError("--" + std::string(name) + ": \"" + item + "\" non è " + expected);
            values.push_back(*value);
        }
    return values;
}

std::optional<modbus::TBaudRate> Rate(const std::string& text)
{
    for (const modbus::TBaudRate rate : core::ScanRates)
        if (std::to_string(modbus::BaudRateValue(rate, 0)) == text)
            return rate;
    return std::nullopt;
}

std::optional<modbus::TParityScheme> Parity(const std::string& text)
{
    // A letter as in "9600 8E1", or the window's word for it.
    const struct {
        const char* letter;
        const char* name;
        modbus::TParityScheme parity;
    } parities[] = {{"N", "Nessuna", modbus::psNone}, {"E", "Pari", modbus::psEven}, {"O", "Dispari", modbus::psOdd}};
    for (const auto& p : parities)
        if (core::SameTextIgnoringCase(text, p.letter) || core::SameTextIgnoringCase(text, p.name))
            return p.parity;
    return std::nullopt;
}

std::optional<modbus::TStopBits> StopBits(const std::string& text)
{
    if (text == "1")
        return modbus::sb1;
    if (text == "2")
        return modbus::sb2;
    return std::nullopt;
}

core::ScanOptions ReadScanOptions(const Arguments& args)
{
    core::ScanOptions o;
    o.Link = ReadLink(args, {"porta", "velocita", "parita", "stop"});
    o.Port = PortName(args.Port("porta", 1));
    if (const std::optional<std::string> range = args.Value("indirizzi")) {
        const size_t dash = range->find('-');
        const std::optional<int> first = ParseInteger(range->substr(0, dash), 1, 247);
        const std::optional<int> last =
            dash == std::string::npos ? first : ParseInteger(range->substr(dash + 1), 1, 247);
        if (!first || !last || *first > *last)
            throw UsageError("--indirizzi vuole un indirizzo o un intervallo entro 1-247, ad esempio 1-247 o "
                             "200-210, non \"" + *range + "\"");
        o.FirstAddress = *first;
        o.LastAddress = *last;
    }
    const auto rates = ListOption<modbus::TBaudRate>(args, "velocita", Rate, "una velocità del modulo "
                                                                               "(2400, 4800, 9600, 19200)");
    const auto parities = ListOption<modbus::TParityScheme>(args, "parita", Parity, "una parità (N, E, O)");
    const auto stops = ListOption<modbus::TStopBits>(args, "stop", StopBits, "un numero di bit di stop (1, 2)");
    o.Settings = core::ScanSettings(rates, parities, stops);
    o.StopAtFirst = !args.Has("tutte");
    return o;
}

JsonObject StationJson(const core::FoundStation& s)
{
    JsonObject json;
    json.Set("address", static_cast<int>(s.Address));
    if (s.Link.Tcp()) {
        json.Set("link", LinkKey(s.Link.Type));
        json.Set("gateway", s.Link.Gateway);
    } else {
        json.Set("rs485", s.Settings.Text());
    }
    json.Set("serial_number", s.SerialNumber);
    json.Set("exception_code", s.SerialNumber ? std::nullopt : std::optional<int>(s.ExceptionCode));
    return json;
}

int Search(const Arguments& args, Output& out)
{
    const core::ScanOptions options = ReadScanOptions(args);
    EventLoop loop;
    core::ModuleScanner scanner;
    std::optional<core::ScanResult> result;
    bool stdoutGone = false;
    scanner.OnProgress = [&](const core::ScanProgress& p) {
        out.Bar(p.Total ? static_cast<double>(p.Done) / p.Total : 0.0, p.Text());
    };
    scanner.OnStationFound = [&](const core::FoundStation& s) {
        if (!(out.Json() ? out.Result(StationJson(s)) : out.Result(s.Text()))) {
            stdoutGone = true;
            scanner.Cancel();
        }
    };
    scanner.OnFinished = [&](const core::ScanResult& r) {
        result = r;
        loop.Quit();
    };
    try {
        scanner.Start(options);
    } catch (const modbus::EFieldwireError&) {
        out.Error(core::LinkOpenFailureText(options.Link, options.Port, scanner.PortError()).toStdString());
        return kPortUnavailable;
    }
    if (options.Link.Tcp())
        out.Progress("Ricerca del modulo " +
                     core::SearchScope(options.Settings, options.FirstAddress, options.LastAddress, options.Link));
    else
        out.Progress("Ricerca del modulo sulla porta " + options.Port + " " +
                     core::SearchScope(options.Settings, options.FirstAddress, options.LastAddress));
    {
        // The search ends once the candidate out is answered, and closes the port.
        const OnInterrupt cancel([&] { loop.Post([&] { scanner.Cancel(); }); });
        loop.Run();
    }
    // A gateway that could not be reached is a port that could not be opened.
    if (result->Unreachable) {
        out.Error(result->Error);
        return kPortUnavailable;
    }
    // The summary as the window's log has it, but for the stations, which stdout has.
    const std::vector<std::string> lines = result->Lines();
    const std::string& headline = lines.front();
    const bool interrupted = result->Cancelled && Interrupted();
    const bool failed = result->Stations.empty() || !result->Error.empty();
    if (failed && !interrupted && !stdoutGone)
        out.Error(headline);
    else
        out.Progress(headline);
    for (size_t i = 1 + result->Stations.size(); i < lines.size(); ++i)
        out.Progress(lines[i]);
    if (interrupted)
        return kInterrupted;
    return failed || stdoutGone ? kJobFailed : kDone;
}

}  // namespace

Command SearchCommand()
{
    CommandSyntax syntax{
        "cerca",
        "[--porta N [--velocita V,...] [--parita P,...] [--stop S,...] |\n"
        "              --gateway HOST:PORTA [--tcp mbap|rtu]] [--indirizzi DA-A]\n"
        "              [--tutte] [--json]",
        "cerca il modulo e le stazioni della linea RS485 (\"Cerca modulo\")",
        "Cerca il modulo sulla linea RS485 come \"Cerca modulo\" della finestra: a ogni indirizzo\n"
        "e con ogni impostazione di linea chiede i registri 0-1, dove il modulo tiene la\n"
        "matricola, cominciando dalle impostazioni più probabili (9600 8N1). Ogni stazione\n"
        "trovata va su stdout appena trovata; l'avanzamento va su stderr (una barra se è un\n"
        "terminale). Senza --tutte la ricerca finisce alla prima stazione; con --tutte elenca\n"
        "ogni stazione della linea, con indirizzo, impostazioni e matricola. Con --gateway la\n"
        "ricerca passa da un gateway RS485-Ethernet e prova solo gli indirizzi: velocità,\n"
        "parità e bit di stop della linea sono quelli configurati nel gateway.",
        {
            Rs485PortOption(),
            {"indirizzi", "DA-A", "indirizzi da provare, ad esempio 200-210 (predefiniti 1-247)"},
            {"velocita", "V,...", "velocità: 2400, 4800, 9600, 19200 (predefinite tutte)"},
            {"parita", "P,...", "parità: N, E, O (predefinite tutte)"},
            {"stop", "S,...", "bit di stop: 1, 2 (predefiniti entrambi)"},
            GatewayOptions()[0],
            GatewayOptions()[1],
            {"tutte", "", "continua dopo la prima stazione ed elenca tutte quelle trovate"},
        },
        {},
    };
    return {syntax, Search};
}

}  // namespace veltro::cli
