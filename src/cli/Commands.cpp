#include "cli/Command.h"

namespace veltro::cli {

std::vector<Command> AllCommands()
{
    return {ReadCommand(),   WriteCommand(),  VerifyCommand(), SearchCommand(),
            PollCommand(),   DecodeCommand(), PortsCommand()};
}

}  // namespace veltro::cli
