// ombrel-cli: the headless front end. Uploads the meter's records into a CSV
// and printed report, prints a saved report again, erases the meter, lists
// the candidate ports. Each command is a CCliCommand in a file of its own;
// the list of them is generated from cli/CMakeLists.txt.

#include "CliCommand.h"
#include "CommandList.h"
#include "Console.h"
#include "ExitCodes.h"
#include "ProgramOptions.h"

#include <vector>

int main(int argc, char** argv) {
    PrepareConsole();
    // Static: the detached watcher may still wake while the program ends.
    // It comes first so that no thread started later takes the signals.
    static CSignalWatcher signals;

    CLI::App app("", "ombrel-cli");
    SetUpProgram(app);
    app.description("Finds the optical power meter on whichever serial port answers (9600 baud 8N1) and\n"
                    "reads, saves or erases its stored measurements without a window.");
    app.footer(ExitCodeHelp());
    app.require_subcommand(1);
    std::vector<std::unique_ptr<CCliCommand>> commands;
    CCliCommand* chosen = nullptr;
    for (const CliCommandFactory make : kCliCommands) {
        CCliCommand* command = commands.emplace_back(make()).get();
        command->Declare(app)->parse_complete_callback([&chosen, command] { chosen = command; });
    }
    if (const auto exitCode = ParseOrExit(app, CommandLineArguments(argc, argv)))
        return *exitCode;
    CCliContext context(signals);
    return chosen->Run(context);
}
