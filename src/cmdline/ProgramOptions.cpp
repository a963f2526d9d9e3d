#include "ProgramOptions.h"

#include "BuildVersion.h"
#include "MeterRecord.h"

#include <algorithm>
#include <iostream>
#include <sstream>

namespace {

// Option lines read "--port PATH" and "--simulate[=N]"; which options exclude
// each other is said in their descriptions, so the layout stays plain for
// readers and for man-page generators alike.
class CHelpFormatter : public CLI::Formatter {
public:
    CHelpFormatter() { column_width(26); }

    // The usage line first, then what the program does, as man-page generators expect.
    std::string make_help(const CLI::App* app, std::string name, CLI::AppFormatMode mode) const override {
        if (mode == CLI::AppFormatMode::Sub)
            return make_expanded(app);
        const std::string description = make_description(app);
        return make_usage(app, name) + (description.empty() ? "" : "\n" + description) + make_positionals(app) +
               make_groups(app, mode) + make_subcommands(app, mode) + "\n" + make_footer(app);
    }

    std::string make_option_name(const CLI::Option* option, bool positional) const override {
        std::string names;
        for (const char c : option->get_name(positional, true)) {
            names += c;
            if (c == ',')
                names += ' ';
        }
        return names;
    }
    std::string make_option_opts(const CLI::Option* option) const override {
        if (option->get_type_name().empty())   // a flag
            return {};
        const std::string& value = option->get_type_name();
        return option->get_expected_min() == 0 ? "[=" + value + "]" : " " + value;
    }
    // Wrapped so that help lines, in a subcommand's indented section too, stay within 80 columns.
    std::string make_option_desc(const CLI::Option* option) const override {
        constexpr std::size_t kWidth = 50;
        std::istringstream words(option->get_description());
        std::string text, line;
        for (std::string word; words >> word;) {
            if (!line.empty() && line.size() + 1 + word.size() > kWidth) {
                text += line + "\n";
                line.clear();
            }
            line += (line.empty() ? "" : " ") + word;
        }
        return text + line;
    }
};

// The line of the (sub)command that was being read when the error came.
const CLI::App& InnermostParsed(const CLI::App& app) {
    for (const CLI::App* sub : app.get_subcommands())
        if (sub->parsed())
            return InnermostParsed(*sub);
    return app;
}

std::string CommandPath(const CLI::App& app) {
    return app.get_parent() == nullptr ? app.get_name() : CommandPath(*app.get_parent()) + " " + app.get_name();
}

std::string Refusal(const CLI::App& app, const std::string& why) {
    const CLI::App& command = InnermostParsed(app);
    return app.get_name() + ": " + why + "\n" + CHelpFormatter().make_usage(&command, CommandPath(command)) +
           "Run '" + app.get_name() + " --help' for the options.\n";
}

CLI::Validator NonEmpty(const char* why) {
    return CLI::Validator([why](std::string& text) { return text.empty() ? std::string(why) : std::string(); }, "");
}

// A record count for --simulate; empty when the option stands alone.
CLI::Validator SimulatedCount() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            if (text.empty())
                return {};
            const bool digits = text.size() <= 9 && text.find_first_not_of("0123456789") == std::string::npos;
            if (digits && std::stoul(text) <= kMeterCapacity)
                return {};
            return "takes a number of records from 0 to " + std::to_string(kMeterCapacity) + ", not '" + text + "'";
        },
        "");
}

} // namespace

std::string VersionLine(std::string_view program) {
    return std::string(program) + " - Ombrel " + kProductVersion + " (build " + kBuildVersion + ")";
}

void SetUpProgram(CLI::App& app) {
    app.formatter(std::make_shared<CHelpFormatter>());
    app.set_help_flag("-h,--help", "show this help and exit");
    app.set_version_flag("--version", VersionLine(app.get_name()), "show the version and exit");
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::Throw);
}

void AddMeterOptions(CLI::App& app, MeterChoice& choice) {
    CLI::Option* port = app.add_option("--port", choice.ports,
                                       "try only this serial device; repeat it to try several, in the order given")
                             ->type_name("PATH")
                             ->allow_extra_args(false)
                             ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
                             ->check(NonEmpty("needs a device path"));
    CLI::Option* simulate =
        app.add_option_function<std::string>(
               "--simulate",
               [&choice](const std::string& count) {
                   choice.simulate = true;
                   if (!count.empty())
                       choice.simulatedCount = std::stoi(count);
               },
               "talk to a simulated meter started inside the program: N generated records (0 to " +
                   std::to_string(kMeterCapacity) +
                   "), or without N a realistic session of every display mode, wavelength and modulation; "
                   "not together with --port")
            ->type_name("N")
            ->expected(0, 1)
            ->check(SimulatedCount());
    simulate->excludes(port);
}

ParseOutcome ParseArguments(CLI::App& app, std::vector<std::string> arguments) {
    std::reverse(arguments.begin(), arguments.end());   // the order CLI11 takes them in
    ParseOutcome outcome;
    try {
        app.parse(arguments);
    } catch (const CLI::CallForHelp&) {
        outcome.output = app.help("", CLI::AppFormatMode::All);
        outcome.exitCode = 0;
    } catch (const CLI::CallForVersion&) {
        outcome.output = VersionLine(app.get_name()) + "\n";
        outcome.exitCode = 0;
    } catch (const CLI::ParseError& error) {
        outcome.errors = Refusal(app, error.what());
        outcome.exitCode = kExitUsage;
    }
    return outcome;
}

std::optional<int> ParseOrExit(CLI::App& app, int argc, const char* const* argv) {
    return ParseOrExit(app, std::vector<std::string>(argv + 1, argv + argc));
}

std::optional<int> ParseOrExit(CLI::App& app, std::vector<std::string> arguments) {
    const ParseOutcome outcome = ParseArguments(app, std::move(arguments));
    std::cout << outcome.output << std::flush;
    std::cerr << outcome.errors << std::flush;
    return outcome.exitCode;
}

ParseOutcome RefuseArguments(const CLI::App& app, const std::vector<std::string>& arguments) {
    // The error lists its arguments in CLI11's reversed order.
    return {kExitUsage, {}, Refusal(app, CLI::ExtrasError({arguments.rbegin(), arguments.rend()}).what())};
}
