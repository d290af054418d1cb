// veltro decodifica: the conversions of the "Decodifica" page, for register words given
// on the command line.
#include "cli/Command.h"
#include "cli/ExitStatus.h"
#include "core/Common.h"
#include "core/WordDecoding.h"

#include <cstdio>

namespace veltro::cli {

namespace {

using core::WordKind;

struct KindName {
    WordKind kind;
    const char* option;  // as --tipo takes it
    const char* key;     // its JSON key
};
constexpr KindName kKinds[] = {
    {WordKind::SerialNumber, "matricola", "serial_number"},
    {WordKind::Single, "float", "float"},
    {WordKind::Double, "double", "double"},
    {WordKind::Time, "ora", "time"},
    {WordKind::Date, "data", "date"},
};

std::string TwoDigits(int value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02d", value);
    return text;
}

void SetValue(JsonObject& json, const char* key, const core::DecodedWords& d)
{
    if (const auto* v = std::get_if<uint32_t>(&d.value))
        json.Set(key, *v);
    else if (const auto* f = std::get_if<float>(&d.value))
        json.Set(key, *f);
    else if (const auto* x = std::get_if<double>(&d.value))
        json.Set(key, *x);
    else if (const auto* t = std::get_if<core::ClockTime>(&d.value))
        json.Set(key, TwoDigits(t->hour) + ":" + TwoDigits(t->minute) + ":" + TwoDigits(t->second));
    else if (const auto* date = std::get_if<core::CivilDate>(&d.value))
        json.Set(key, std::to_string(date->year) + "-" + TwoDigits(date->month) + "-" + TwoDigits(date->day));
    else
        json.Set(key, nullptr);
}

int Decode(const Arguments& args, Output& out)
{
    std::vector<KindName> chosen;
    if (const std::optional<std::string> kind = args.Value("tipo")) {
        for (const KindName& k : kKinds)
            if (*kind == k.option)
                chosen.push_back(k);
        if (chosen.empty())
            throw UsageError("--tipo vuole matricola, float, double, ora o data, non \"" + *kind + "\"");
    }
    if (args.Operands().empty())
        throw UsageError("indicare le word da decodificare, ad esempio 4E61BC00 o \"4E61 BC00\"");
    int status = kDone;
    for (const std::string& operand : args.Operands()) {
        const std::string words = core::RegroupHex(operand);
        std::vector<uint16_t> parsed;
        const bool hex = core::HexToWords(operand, parsed);
        // Without --tipo, every conversion of the page that takes as many words.
        std::vector<KindName> kinds = chosen;
        if (kinds.empty() && hex)
            for (const KindName& k : kKinds)
                if (core::WordCount(k.kind) == parsed.size())
                    kinds.push_back(k);
        std::string error;
        if (!hex)
            error = "\"" + operand + "\" non sono word esadecimali (4 cifre ciascuna)";
        else if (kinds.empty())
            error = "\"" + words + "\": servono 2, 3 o 4 word di 4 cifre esadecimali";
        bool decoded = false;
        JsonObject json;
        json.Set("words", words);
        for (const KindName& k : kinds) {
            const core::DecodedWords d = core::DecodeWords(k.kind, operand);
            decoded |= d.ok;
            if (out.Json())
                SetValue(json, k.key, d);
            else
                out.Result(words + "  " + core::WordKindLabel(k.kind) + ": " + d.text.toStdString());
        }
        if (error.empty() && !decoded)
            error = "\"" + words + "\": nessuna decodifica valida";
        json.Set("error", error.empty() ? std::nullopt : std::optional<std::string>(error));
        if (out.Json())
            out.Result(json);
        if (!error.empty()) {
            out.Error(error);
            status = kJobFailed;
        }
    }
    return status;
}

}  // namespace

Command DecodeCommand()
{
    CommandSyntax syntax{
        "decodifica",
        "[--tipo matricola|float|double|ora|data] [--json] WORD...",
        "decodifica word esadecimali dei registri (\"Decodifica\")",
        "Decodifica le word esadecimali ricevute dal modulo come la pagina Decodifica: ogni\n"
        "argomento è un valore di 2, 3 o 4 registri (4 cifre esadecimali ciascuno, spazi\n"
        "ammessi), letto con l'ordine dei byte del modulo. Senza --tipo un valore di 2 word è\n"
        "letto come matricola e come float, uno di 3 come ora e come data, uno di 4 come double.\n"
        "Esempio: veltro decodifica 4E61BC00 \"6666 E542\" \"DB07 0300 1E00\"",
        {
            {"tipo", "TIPO", "una sola decodifica: matricola, float, double, ora o data"},
        },
        "WORD...",
    };
    return {syntax, Decode, true};
}

}  // namespace veltro::cli
