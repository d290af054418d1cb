// veltro scrivi: the "2. Scrivi" run through the optical head, then a read run that must
// find what was written.
#include "cli/Command.h"
#include "cli/ExitStatus.h"
#include "cli/IecJob.h"
#include "cli/Interrupts.h"
#include "cli/ReadBack.h"
#include "core/ConfigRun.h"

namespace veltro::cli {

namespace {

core::ConfigToWrite ValuesToWrite(const Arguments& args)
{
    args.OneOf("indirizzo", "automatico");
    args.OneOf("rs485", "predefinite");
    // Both registers are written every time, as the window does: neither may be guessed.
    if (!args.Has("indirizzo") && !args.Has("automatico"))
        throw UsageError("indicare l'indirizzo del modulo: --indirizzo N (1-247) oppure --automatico");
    if (!args.Has("rs485") && !args.Has("predefinite"))
        throw UsageError("indicare le impostazioni RS485: --rs485 \"19200 8E2\" oppure --predefinite");
    core::ConfigToWrite values;
    if (const std::optional<int> address = args.Integer("indirizzo", 1, 247))
        values.address = std::to_string(*address);
    if (const std::optional<core::RtuSettings> settings = args.ModuleSettings("rs485"))
        values.settings = settings->Text();
    return values;
}

int Write(const Arguments& args, Output& out)
{
    const core::ConfigToWrite values = ValuesToWrite(args);
    const IecOptions options = ReadIecOptions(args, true);
    IecJob write(options, out);
    std::optional<IecJob> readBack;
    std::string mismatch;
    // Ctrl-C during the write leaves nothing to read back.
    if (write.Write(values) && !Interrupted()) {
        out.Progress("Rilettura della configurazione scritta");
        readBack.emplace(options, out);
        if (readBack->Read())
            mismatch = ReadBackMismatch(values, readBack->Result());
    }
    // A write's record names the meter by the serial number the read-back found.
    const auto registers = readBack ? readBack->Result().registers : std::map<std::string, std::string>{};
    const auto serial = registers.find(core::kSerialNumberCode);
    const std::optional<QString> record =
        write.Record(serial == registers.end() ? QString() : QString::fromStdString(serial->second));
    const std::optional<QString> readBackRecord = readBack ? readBack->Record(QString()) : std::nullopt;

    int status = write.Status();
    std::string error = write.Failure();
    if (status == kDone && !readBack) {
        status = kInterrupted;
        error = "Lavoro interrotto dall'utente";
    } else if (status == kDone) {
        status = readBack->Status();
        error = readBack->Failure();
    }
    if (status == kDone && !mismatch.empty()) {
        out.Error(mismatch);
        status = kJobFailed;
        error = mismatch;
    }
    if (out.Json()) {
        JsonObject json;
        json.Set("success", status == kDone);
        json.Set("error", error.empty() ? std::nullopt : std::optional<std::string>(error));
        json.Set("port", PortName(options.iec.port));
        json.Set("ident", options.iec.commIdent);
        json.Set("written_address_text", values.address);
        json.Set("written_rs485_text", values.settings);
        json.Set("confirmed", readBack && readBack->Result().success ? std::optional<bool>(mismatch.empty())
                                                                      : std::nullopt);
        SetConfig(json, readBack ? readBack->Result() : core::ConfigRunResult{});
        json.Set("record", record);
        json.Set("readback_record", readBackRecord);
        out.Result(json);
    } else if (status == kDone) {
        out.Result("Scrittura confermata dalla rilettura");
        for (const std::string& line : ConfigLines(readBack->Result()))
            out.Result(line);
    }
    return status;
}

}  // namespace

Command WriteCommand()
{
    std::vector<OptionSyntax> options = IecOptionList(true);
    options.insert(options.end(), {
                                      {"indirizzo", "N", "indirizzo server Modbus da scrivere, da 1 a 247"},
                                      {"automatico", "", "scrive l'indirizzo automatico (matricola + 100)"},
                                      {"rs485", "IMPOSTAZIONI", "impostazioni RS485 da scrivere, ad esempio "
                                                                "\"19200 8E2\""},
                                      {"predefinite", "", "scrive le impostazioni predefinite (9600 8N1)"},
                                  });
    CommandSyntax syntax{
        "scrivi",
        "[--porta N] --id ID [--password P | --password-file F]\n"
        "              (--indirizzo N | --automatico) (--rs485 IMPOSTAZIONI | --predefinite) [--json]",
        "scrive indirizzo e impostazioni RS485 e li rilegge (\"2. Scrivi\")",
        "Scrive nel contatore, attraverso la testina ottica, l'indirizzo server Modbus e le\n"
        "impostazioni RS485 del modulo, come \"2. Scrivi\" della finestra, poi li rilegge: la\n"
        "scrittura è riuscita solo se la rilettura trova i valori scritti. La password non\n"
        "viene mai mostrata né scritta nei rapporti; con --password è visibile agli altri\n"
        "utenti nell'elenco dei processi, --password-file la tiene riservata. Ogni scrittura\n"
        "e ogni rilettura lasciano un rapporto del lavoro.",
        options,
        {},
    };
    return {syntax, Write};
}

}  // namespace veltro::cli
