#pragma once
// The options of a subcommand: "--porta 3" or "--porta=3", switches such as "--json",
// operands where the command takes them. Every command also takes --json,
// -q/--silenzioso and -h/--help. Anything else, a value missing or malformed, an option
// given twice, is a UsageError whose text says what was wrong, in Italian.
//
// An error names the option as typed up to any "=", never the value of one it does not
// know: a mistyped "--pasword=..." must not put the password on the screen.

#include "core/RtuSettings.h"
#include "core/SettingsStore.h"

#include <map>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltro::cli {

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct OptionSyntax {
    std::string_view name;   // without the dashes: "porta"
    std::string_view value;  // what the usage shows after it ("N"); empty for a switch
    std::string_view help;   // one line
    int count = 1;           // how many values follow it ("--cambia N M": 2)
};

struct CommandSyntax {
    std::string_view name;         // "leggi"
    std::string_view synopsis;     // the usage after "veltro leggi "
    std::string_view summary;      // its line in the list of commands
    std::string_view description;  // what --help says above the options, lines wrapped
    std::vector<OptionSyntax> options;
    std::string_view operands;     // what the usage calls them ("REGISTRI..."); empty: none taken
};

class Arguments {
public:
    // args: what follows the command's name. Raises UsageError.
    Arguments(const CommandSyntax& syntax, std::span<const std::string> args);

    bool Has(std::string_view name) const { return values_.count(std::string(name)) > 0; }
    // The option's value (its first one); nullopt when not given.
    std::optional<std::string> Value(std::string_view name) const;
    std::vector<std::string> Values(std::string_view name) const;
    const std::vector<std::string>& Operands() const { return operands_; }

    bool Help() const { return Has("help"); }
    bool Json() const { return Has("json"); }
    bool Quiet() const { return Has("silenzioso"); }

    // Typed values; each raises UsageError for a value it cannot take.
    // A port number, 3 or COM3.
    int Port(std::string_view name, int fallback) const;
    std::optional<int> Integer(std::string_view name, int low, int high) const;
    // A module's RS485 settings, "19200 8E2": a rate the module offers, 8 data bits.
    std::optional<core::RtuSettings> ModuleSettings(std::string_view name) const;
    // The optical head's line, "9600 7E1": a rate and data bits the window offers.
    std::optional<core::LineSettings> IecLine(std::string_view name) const;
    // At most one of two options that exclude each other.
    void OneOf(std::string_view first, std::string_view second) const;

private:
    const CommandSyntax& syntax_;
    std::map<std::string, std::vector<std::string>> values_;
    std::vector<std::string> operands_;
};

// Parsers shared with programs that read their own arguments; nullopt when text is not one.
std::optional<int> ParsePortNumber(std::string_view text);
std::optional<int> ParseInteger(std::string_view text, int low, int high);

// "Uso: veltro leggi ..."
std::string UsageLine(const CommandSyntax& syntax);
// The whole --help text: usage, description, options.
std::string HelpText(const CommandSyntax& syntax);

}  // namespace veltro::cli
