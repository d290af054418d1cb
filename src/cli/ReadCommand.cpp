// veltro leggi: the "1. Leggi" run through the optical head.
#include "cli/Command.h"
#include "cli/ExitStatus.h"
#include "cli/IecJob.h"

namespace veltro::cli {

namespace {

int Read(const Arguments& args, Output& out)
{
    IecJob job(ReadIecOptions(args, false), out);
    job.Read();
    const std::optional<QString> record = job.Record(QString());
    const int status = job.Status();
    if (out.Json()) {
        JsonObject json;
        json.Set("success", job.Result().success);
        json.Set("error", status == kDone ? std::nullopt : std::optional<std::string>(job.Failure()));
        json.Set("port", PortName(job.Options().iec.port));
        json.Set("ident", job.Options().iec.commIdent);
        SetConfig(json, job.Result());
        json.Set("record", record);
        out.Result(json);
    } else if (status == kDone) {
        for (const std::string& line : ConfigLines(job.Result()))
            out.Result(line);
    }
    return status;
}

}  // namespace

Command ReadCommand()
{
    CommandSyntax syntax{
        "leggi",
        "[--porta N] --id ID [--linea IMPOSTAZIONI] [--json]",
        "legge matricola, indirizzo e impostazioni RS485 (\"1. Leggi\")",
        "Legge dal contatore, attraverso la testina ottica, la matricola, l'indirizzo server\n"
        "Modbus del modulo e le sue impostazioni RS485, come \"1. Leggi\" della finestra.\n"
        "Dove il contatore non ne contiene, dice quelli in uso: l'indirizzo automatico\n"
        "(ultime 2 cifre della matricola + 100) e le impostazioni predefinite (9600 8N1).\n"
        "Ogni lettura lascia un rapporto del lavoro, come quelle della finestra.",
        IecOptionList(false),
        {},
    };
    return {syntax, Read};
}

}  // namespace veltro::cli
