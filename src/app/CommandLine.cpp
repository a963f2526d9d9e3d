#include "CommandLine.h"

namespace {

void DeclareCommandLine(CLI::App& app, CommandLine& commandLine) {
    SetUpProgram(app);
    app.description("Reads, saves, prints and clears the measurements of the optical power meter.");
    app.footer("Options of the Qt toolkit, such as -platform NAME, -style NAME or -reverse, are passed on to it.");
    AddMeterOptions(app, commandLine.meter);
    app.add_option("--archive", commandLine.archivePath,
                   "keep uploads in this archive file (default: $OMBREL_ARCHIVE, else Ombrel/archive.sqlite in the "
                   "user's data folder)")
        ->type_name("PATH");
    app.allow_extras();
}

} // namespace

ParseOutcome ParseCommandLine(const std::vector<std::string>& arguments, CommandLine& commandLine) {
    CLI::App app("", "ombrel");
    DeclareCommandLine(app, commandLine);
    ParseOutcome outcome = ParseArguments(app, arguments);
    if (!outcome.exitCode)
        commandLine.passedOn = app.remaining();
    return outcome;
}

ParseOutcome RefuseLeftOvers(const std::vector<std::string>& leftOvers) {
    if (leftOvers.empty())
        return {};
    CommandLine unused;
    CLI::App app("", "ombrel");
    DeclareCommandLine(app, unused);
    return RefuseArguments(app, leftOvers);
}
