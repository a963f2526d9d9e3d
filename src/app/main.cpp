#include "CommandLine.h"
#include "OrvexApp.h"

#include <QApplication>

#include <iostream>

namespace {

int Report(const ParseOutcome& outcome) {
    std::cout << outcome.output << std::flush;
    std::cerr << outcome.errors << std::flush;
    return *outcome.exitCode;
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine commandLine;
    if (const ParseOutcome outcome = ParseCommandLine({argv + 1, argv + argc}, commandLine); outcome.exitCode)
        return Report(outcome);

    // QApplication keeps argc and argv for its lifetime and takes its own options out of them.
    std::vector<char*> toolkitArgv{argv[0]};
    for (std::string& argument : commandLine.passedOn)
        toolkitArgv.push_back(argument.data());
    int toolkitArgc = static_cast<int>(toolkitArgv.size());
    toolkitArgv.push_back(nullptr);
    QApplication application(toolkitArgc, toolkitArgv.data());

    std::vector<std::string> leftOvers;
    for (const QString& argument : QApplication::arguments().mid(1))
        leftOvers.push_back(argument.toStdString());   // UTF-8, as every command line is taken
    if (const ParseOutcome outcome = RefuseLeftOvers(leftOvers); outcome.exitCode)
        return Report(outcome);

    COrvexApp theApp;
    return theApp.InitInstance(commandLine);
}
