// ombrel-cli limits: the limit sets there are to choose from (built-in and
// the user's), or one set's numbers as an editable set file.

#include "CliCommand.h"
#include "EvaluateOptions.h"
#include "ExitCodes.h"
#include "LimitSetFile.h"
#include "SafeWrite.h"

#include <cstdio>

namespace {

class CLimitsCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override {
        CLI::App* limits = program.add_subcommand(
            "limits", "list the limit sets, built-in and the user's (the *.json files in " + UserLimitsFolder()
                          + "), one a line with where it comes from; or show one set's numbers as a set file");
        limits->add_option("NAME", m_name, "the set to show: its name or a set file")->type_name("NAME");
        limits->add_option("--export", m_exportPath,
                           "write the set as an editable set file (a built-in set as a copy) instead of showing it")
            ->type_name("FILE");
        return limits;
    }

    int Run(CCliContext&) override {
        const std::string folder = UserLimitsFolder();
        if (!m_name) {
            if (m_exportPath) {
                std::fprintf(stderr, "ombrel-cli: --export needs the NAME of the set to export\n");
                return EXIT_USAGE;
            }
            for (const LimitSet& set : BuiltInLimitSets())
                std::printf("%s\tbuilt-in\n", set.name.c_str());
            for (const UserLimitSet& user : ListUserLimitSets(folder)) {
                if (user.read.ok())
                    std::printf("%s\t%s\n", user.read.set.name.c_str(), user.path.c_str());
                else
                    std::fprintf(stderr, "Refused: %s\n", user.read.error->Message().c_str());
            }
            std::fflush(stdout);
            std::fprintf(stderr, "User limit sets are the *.json files in %s\n", folder.c_str());
            return EXIT_DONE;
        }
        const LimitSetRead read = ResolveLimitSet(*m_name, folder);
        if (!read.ok()) {
            std::fprintf(stderr, "ombrel-cli: %s\n", read.error->Message().c_str());
            return EXIT_USAGE;
        }
        const std::string path = m_exportPath.value_or(kStandardOutputPath);
        const FileWriteResult written = WriteFileSafely(path, LimitSetJson(read.set));
        if (!written.ok()) {
            std::fprintf(stderr, "The limit set was not written to %s: %s\n", path.c_str(), written.reason.c_str());
            return EXIT_WRITE_FAILED;
        }
        return EXIT_DONE;
    }

private:
    std::optional<std::string> m_name;
    std::optional<std::string> m_exportPath;
};

} // namespace

std::unique_ptr<CCliCommand> MakeLimitsCommand() { return std::make_unique<CLimitsCommand>(); }
