// veltro: the window's jobs from a terminal or a script, on the same core: read and write
// the module's configuration through the meter's optical port, check it over the RS485
// line, search for the module, poll it, decode register words, show the COM map.
#include "cli/Command.h"
#include "cli/ExitStatus.h"
#include "cli/Interrupts.h"
#include "platform/DebugOutput.h"
#include "platform/QtUiDispatcher.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace veltro;
using namespace veltro::cli;

std::string ProgramHelp(const std::vector<Command>& commands)
{
    std::string text =
        "Uso: veltro [--json] [-q] COMANDO [OPZIONI]\n"
        "Configura e controlla il modulo Modbus/RTU del contatore: i lavori della finestra\n"
        "di VeltroConf, dal terminale o da uno script.\n\nComandi:\n";
    for (const Command& c : commands) {
        std::string name = "  " + std::string(c.syntax.name);
        text += name + std::string(14 - name.size(), ' ') + std::string(c.syntax.summary) + "\n";
    }
    text +=
        "\n\"veltro COMANDO --help\" descrive le opzioni di un comando; veltro(1) le chiavi di --json.\n"
        "Stato di uscita: 0 lavoro fatto, 1 lavoro non riuscito, 2 uso errato, 3 porta non\n"
        "apribile o gateway non raggiungibile, 130 interrotto con Ctrl-C.\n";
    return text;
}

int WrongUsage(const std::string& program, const std::string& problem, const std::string& usage)
{
    std::fprintf(stderr, "%s: %s\n%s\nProvare \"%s --help\".\n", program.c_str(), problem.c_str(), usage.c_str(),
                 program.c_str());
    return kWrongUsage;
}

int Run(std::vector<std::string> args, int& argc, char** argv)
{
    const std::vector<Command> commands = AllCommands();
    // The options of every command, given before the command's name.
    std::vector<std::string> common;
    while (!args.empty() && args.front().starts_with("-")) {
        const std::string option = args.front();
        if (option == "-h" || option == "--help") {
            std::fputs(ProgramHelp(commands).c_str(), stdout);
            return kDone;
        }
        if (option == "--version") {
            std::printf("veltro %s\n", VELTRO_VERSION);
            return kDone;
        }
        if (option != "--json" && option != "-q" && option != "--silenzioso")
            return WrongUsage("veltro", "opzione sconosciuta: " + option.substr(0, option.find('=')),
                              "Uso: veltro [--json] [-q] COMANDO [OPZIONI]");
        common.push_back(option);
        args.erase(args.begin());
    }
    if (args.empty())
        return WrongUsage("veltro", "manca il comando", "Uso: veltro [--json] [-q] COMANDO [OPZIONI]");
    const Command* command = nullptr;
    for (const Command& c : commands)
        if (c.syntax.name == args.front())
            command = &c;
    if (!command)
        return WrongUsage("veltro", "comando sconosciuto: " + args.front(),
                          "Uso: veltro [--json] [-q] COMANDO [OPZIONI]");
    const std::string program = "veltro " + args.front();
    args.erase(args.begin());
    args.insert(args.end(), common.begin(), common.end());

    std::unique_ptr<Arguments> parsed;
    try {
        parsed = std::make_unique<Arguments>(command->syntax, args);
    } catch (const UsageError& e) {
        return WrongUsage(program, e.what(), UsageLine(command->syntax));
    }
    if (parsed->Help()) {
        std::fputs(HelpText(command->syntax).c_str(), stdout);
        return kDone;
    }
    Output out(program, parsed->Json(), parsed->Quiet());

    // The core's objects deliver on the UI dispatcher; a command whose job moves on
    // events runs Qt's loop. Job records go where the window keeps them.
    QCoreApplication::setApplicationName(QStringLiteral("VeltroConf"));
    std::unique_ptr<QCoreApplication> app;
    std::unique_ptr<platform::QtUiDispatcher> dispatcher;
    if (!command->offline) {
        app = std::make_unique<QCoreApplication>(argc, argv);
        dispatcher = std::make_unique<platform::QtUiDispatcher>();
        platform::InstallUiDispatcher(dispatcher.get());
        platform::SetExceptionHandler(
            [&out](std::exception_ptr error) { out.Error(platform::ExceptionMessage(error)); });
    }
    int status = kJobFailed;
    try {
        status = command->run(*parsed, out);
    } catch (const UsageError& e) {
        status = WrongUsage(program, e.what(), UsageLine(command->syntax));
    } catch (const std::exception& e) {
        out.Error(e.what());
        status = kJobFailed;
    }
    platform::InstallUiDispatcher(nullptr);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    veltro::cli::InstallInterrupts();
    // Diagnostics of the library would mix with the progress on stderr: only on request.
    if (std::getenv("VELTRO_DEBUG_OUTPUT") == nullptr)
        veltro::platform::SetDebugOutputEnabled(false);
    return Run(std::vector<std::string>(argv + 1, argv + argc), argc, argv);
}
