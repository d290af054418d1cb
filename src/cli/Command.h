#pragma once
// A subcommand of veltro: its options and help, and what it does. The commands are named
// after the window's jobs, one file each.

#include "cli/Arguments.h"
#include "cli/Output.h"

#include <functional>
#include <vector>

namespace veltro::cli {

struct Command {
    CommandSyntax syntax;
    // Returns the exit status (ExitStatus.h); may raise UsageError for what Arguments
    // could not check alone.
    std::function<int(const Arguments& args, Output& out)> run;
    // Needs no event loop and no UI dispatcher (decodifica, porte).
    bool offline = false;
};

Command ReadCommand();     // leggi
Command WriteCommand();    // scrivi
Command VerifyCommand();   // verifica
Command SearchCommand();   // cerca
Command PollCommand();     // interroga
Command DecodeCommand();   // decodifica
Command PortsCommand();    // porte

// In the order veltro --help lists them.
std::vector<Command> AllCommands();

}  // namespace veltro::cli
