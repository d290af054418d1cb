// veltro porte: the kept COM numbers, the device and adapter behind each, and the changes
// "Cambia o libera i numeri delle porte..." makes in the window.
#include "cli/PortsCommand.h"

#include "cli/Command.h"
#include "cli/ExitStatus.h"
#include "platform/PortCatalog.h"
#include "platform/PortNames.h"

#include <QtGlobal>

namespace veltro::cli {

int ListPortMap(Output& out)
{
    if (!out.Json()) {
        out.Result("Numeri conservati in: " + platform::PortMapFile::DefaultPath());
        if (const QString dir = qEnvironmentVariable("VELTRO_PORT_DIR"); !dir.isEmpty())
            out.Result("Cartella delle porte (VELTRO_PORT_DIR): " + dir.toStdString());
    }
    const auto ports = platform::DescribeMappedPorts();
    if (ports.isEmpty() && !out.Json())
        out.Result("Nessuna porta seriale trovata");
    for (const auto& port : ports) {
        if (!out.Json()) {
            out.Result(port.ListLine().toStdString());
            continue;
        }
        JsonObject json;
        json.Set("port", "COM" + std::to_string(port.number));
        json.Set("number", port.number);
        json.Set("device", port.device.isEmpty() ? std::nullopt : std::optional<QString>(port.device));
        json.Set("present", port.present);
        json.Set("detached", port.detached);
        json.Set("kept", port.kept);
        json.Set("adapter", port.what.isEmpty() ? std::nullopt : std::optional<QString>(port.what));
        out.Result(json);
    }
    return kDone;
}

int RenumberPortMap(Output& out, int from, int to)
{
    using platform::RenumberResult;
    const RenumberResult result = platform::RenumberPort(from, to);
    const std::string fromName = "COM" + std::to_string(from), toName = "COM" + std::to_string(to);
    if (out.Json()) {
        const bool done = result == RenumberResult::Done;
        out.Result(JsonObject().Set("success", done).Set("from", fromName).Set("to", toName));
    }
    switch (result) {
    case RenumberResult::Done:
        if (!out.Json())
            out.Result("L'adattatore della porta " + fromName + " ora è " + toName);
        return kDone;
    case RenumberResult::NotHeld:
        out.Error("il numero " + fromName + " non appartiene a nessun adattatore");
        return kJobFailed;
    case RenumberResult::Taken:
        out.Error("il numero " + toName + " è già in uso: sceglierne uno libero");
        return kJobFailed;
    case RenumberResult::OutOfRange:
        break;
    }
    out.Error("il numero " + toName + " non è valido (da 1 a " + std::to_string(platform::PortMap::kMaxNumber) + ")");
    return kJobFailed;
}

int FreePortMapNumber(Output& out, int number)
{
    const std::string name = "COM" + std::to_string(number);
    const bool freed = platform::FreePort(number);
    if (out.Json())
        out.Result(JsonObject().Set("success", freed).Set("port", name));
    if (!freed) {
        out.Error("il numero " + name + " non appartiene a nessun adattatore");
        return kJobFailed;
    }
    if (!out.Json())
        out.Result("Il numero " + name + " è libero");
    return kDone;
}

namespace {

int Ports(const Arguments& args, Output& out)
{
    args.OneOf("cambia", "libera");
    if (args.Has("cambia")) {
        const std::vector<std::string> numbers = args.Values("cambia");
        const std::optional<int> from = ParsePortNumber(numbers[0]), to = ParsePortNumber(numbers[1]);
        if (!from || !to)
            throw UsageError("numero di porta non valido: " + (from ? numbers[1] : numbers[0]));
        return RenumberPortMap(out, *from, *to);
    }
    if (args.Has("libera")) {
        const std::optional<int> number = ParsePortNumber(*args.Value("libera"));
        if (!number)
            throw UsageError("numero di porta non valido: " + *args.Value("libera"));
        return FreePortMapNumber(out, *number);
    }
    return ListPortMap(out);
}

}  // namespace

Command PortsCommand()
{
    CommandSyntax syntax{
        "porte",
        "[--cambia N M | --libera N] [--json]",
        "elenca e cambia i numeri delle porte COM",
        "Elenca i numeri delle porte COM: il dispositivo a cui corrisponde ciascuno (o\n"
        "\"scollegato\" se il suo adattatore non è collegato) e l'adattatore. Un adattatore\n"
        "riceve il primo numero libero quando viene visto la prima volta e lo conserva anche\n"
        "quando è scollegato. Una voce COMn nella cartella indicata da VELTRO_PORT_DIR ha la\n"
        "precedenza.",
        {
            {"cambia", "N M", "dà il numero libero M all'adattatore che ha il numero N", 2},
            {"libera", "N", "libera il numero N e dimentica il suo adattatore"},
        },
        {},
    };
    return {syntax, Ports};
}

}  // namespace veltro::cli
