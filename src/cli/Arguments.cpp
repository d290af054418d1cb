#include "cli/Arguments.h"

#include "core/Common.h"
#include "platform/PortMap.h"

#include <algorithm>

namespace veltro::cli {

namespace {

// What every command takes besides its own options.
const std::vector<OptionSyntax> kCommonOptions = {
    {"json", "", "un oggetto JSON per risultato (chiavi in veltro(1))"},
    {"silenzioso", "", "niente avanzamento su stderr, solo gli errori (anche -q)"},
    {"help", "", "mostra questo aiuto (anche -h)"},
};

const OptionSyntax* Find(const CommandSyntax& syntax, std::string_view name)
{
    for (const auto* list : {&syntax.options, &kCommonOptions})
        for (const OptionSyntax& option : *list)
            if (option.name == name)
                return &option;
    return nullptr;
}

std::string Quoted(std::string_view text)
{
    return "\"" + std::string(text) + "\"";
}

}  // namespace

std::optional<int> ParseInteger(std::string_view text, int low, int high)
{
    int32_t value = 0;
    // Digits only: TryStrToInt would also take blanks and a sign.
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string_view::npos ||
        !core::TryStrToInt(text, value) || value < low || value > high)
        return std::nullopt;
    return value;
}

std::optional<int> ParsePortNumber(std::string_view text)
{
    if (text.size() > 3 && core::SameTextIgnoringCase(text.substr(0, 3), "COM"))
        text.remove_prefix(3);
    return ParseInteger(text, 1, platform::PortMap::kMaxNumber);
}

Arguments::Arguments(const CommandSyntax& syntax, std::span<const std::string> args) : syntax_(syntax)
{
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "-q") {
            values_[arg == "-h" ? "help" : "silenzioso"];
            continue;
        }
        if (!arg.starts_with("--") || arg == "--") {
            if (syntax.operands.empty() || arg.starts_with("-"))
                throw UsageError(arg.starts_with("-") ? "opzione sconosciuta: " + arg.substr(0, arg.find('='))
                                                       : "argomento inatteso: le opzioni iniziano con --");
            operands_.push_back(arg);
            continue;
        }
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(2, equals == std::string::npos ? std::string::npos : equals - 2);
        const OptionSyntax* option = Find(syntax, name);
        if (!option)
            throw UsageError("opzione sconosciuta: --" + name);
        if (values_.count(name))
            throw UsageError("opzione ripetuta: --" + name);
        std::vector<std::string>& values = values_[name];
        if (option->value.empty()) {
            if (equals != std::string::npos)
                throw UsageError("--" + name + " non vuole un valore");
            continue;
        }
        if (equals != std::string::npos && option->count == 1) {
            values.push_back(arg.substr(equals + 1));
            continue;
        }
        for (int n = 0; n < option->count; ++n) {
            if (++i >= args.size())
                throw UsageError("--" + name + " vuole " + std::string(option->value));
            values.push_back(args[i]);
        }
    }
}

std::optional<std::string> Arguments::Value(std::string_view name) const
{
    const auto it = values_.find(std::string(name));
    if (it == values_.end() || it->second.empty())
        return std::nullopt;
    return it->second.front();
}

std::vector<std::string> Arguments::Values(std::string_view name) const
{
    const auto it = values_.find(std::string(name));
    return it == values_.end() ? std::vector<std::string>{} : it->second;
}

int Arguments::Port(std::string_view name, int fallback) const
{
    const std::optional<std::string> text = Value(name);
    if (!text)
        return fallback;
    if (const std::optional<int> port = ParsePortNumber(*text))
        return *port;
    throw UsageError("--" + std::string(name) + " vuole un numero di porta da 1 a " +
                     std::to_string(platform::PortMap::kMaxNumber) + " (3 o COM3), non " + Quoted(*text));
}

std::optional<int> Arguments::Integer(std::string_view name, int low, int high) const
{
    const std::optional<std::string> text = Value(name);
    if (!text)
        return std::nullopt;
    if (const std::optional<int> value = ParseInteger(*text, low, high))
        return value;
    throw UsageError("--" + std::string(name) + " vuole un numero da " + std::to_string(low) + " a " +
                     std::to_string(high) + ", non " + Quoted(*text));
}

std::optional<core::RtuSettings> Arguments::ModuleSettings(std::string_view name) const
{
    const std::optional<std::string> text = Value(name);
    if (!text)
        return std::nullopt;
    const std::optional<core::RtuSettings> settings = core::ParseRtuSettings(*text);
    const bool offered = settings && settings->DataBits == modbus::db8 &&
                         std::find(std::begin(core::ScanRates), std::end(core::ScanRates), settings->BaudRate) !=
                             std::end(core::ScanRates);
    if (!offered)
        throw UsageError("--" + std::string(name) + ": impostazioni RS485 non valide " + Quoted(*text) +
                         " (velocità 2400, 4800, 9600 o 19200, 8 bit di dati, parità N, E o O, 1 o 2 bit di "
                         "stop: ad esempio \"19200 8E2\")");
    return settings;
}

std::optional<core::LineSettings> Arguments::IecLine(std::string_view name) const
{
    const std::optional<std::string> text = Value(name);
    if (!text)
        return std::nullopt;
    // The rates the window's list offers for the optical head.
    const std::optional<core::LineSettings> line = core::ParseLineSettings(*text);
    if (line && line->baud >= 300 && line->baud <= 19200)
        return line;
    throw UsageError("--" + std::string(name) + ": impostazioni di linea non valide " + Quoted(*text) +
                     " (velocità da 300 a 19200, 7 o 8 bit di dati, parità N, E o O, 1 o 2 bit di stop: "
                     "ad esempio \"9600 7E1\")");
}

void Arguments::OneOf(std::string_view first, std::string_view second) const
{
    if (Has(first) && Has(second))
        throw UsageError("--" + std::string(first) + " e --" + std::string(second) + " si escludono a vicenda");
}

std::string UsageLine(const CommandSyntax& syntax)
{
    return "Uso: veltro " + std::string(syntax.name) + " " + std::string(syntax.synopsis);
}

std::string HelpText(const CommandSyntax& syntax)
{
    std::string text = UsageLine(syntax) + "\n" + std::string(syntax.description) + "\n\nOpzioni:\n";
    const auto line = [&](const OptionSyntax& option) {
        std::string left = "  --";
        left.append(option.name);
        if (!option.value.empty())
            left.append(" ").append(option.value);
        // The help in a column of its own, on the next line after a long option.
        constexpr size_t kColumn = 26;
        if (left.size() >= kColumn)
            left.append("\n").append(kColumn, ' ');
        else
            left.append(kColumn - left.size(), ' ');
        text.append(left).append(option.help).append("\n");
    };
    for (const OptionSyntax& option : syntax.options)
        line(option);
    for (const OptionSyntax& option : kCommonOptions)
        line(option);
    return text;
}

}  // namespace veltro::cli
