// ombrel-cli clear: erases the meter's memory after a confirmation. This is
// deliberate wiping: unlike the window's Clear it does not ask whether an
// upload has read every record first.

#include "CliCommand.h"
#include "ExitCodes.h"
#include "LinkMessages.h"
#include "MeterSession.h"

#include <cstdio>
#include <iostream>

namespace {

class CClearCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override {
        CLI::App* clear = program.add_subcommand("clear", "erase the meter's memory after a confirmation");
        AddMeterSessionOptions(*clear, m_session);
        clear->add_flag("--yes", m_yes, "clear without asking");
        return clear;
    }

    int Run(CCliContext& context) override {
        if (!Confirmed())
            return EXIT_CLEAR_DECLINED;
        CMeterSession session(m_session);
        if (const std::optional<int> failed = session.Start())
            return *failed;
        ClearOutcome outcome;
        {
            COperationScope operation(context.Signals(), session.Link());
            outcome = session.Link().OnButtonClear(session.Ports());
        }
        if (outcome == ClearOutcome::Stopped)
            std::fprintf(stderr, "Clear interrupted; the meter was not erased.\n");
        return ExitCodeOf(outcome);
    }

private:
    bool Confirmed() const {
        if (m_yes)
            return true;
        if (!StdinIsTerminal()) {
            std::fprintf(stderr, "%s\nNot confirmed: there is no terminal to ask on. Add --yes to clear anyway.\n",
                         kConfirmClearText);
            return false;
        }
        std::fprintf(stderr, "%s [y/N] ", kConfirmClearText);
        std::string answer;
        if (!std::getline(std::cin, answer))
            return false;
        return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
    }

    MeterSessionOptions m_session;
    bool m_yes = false;
};

} // namespace

std::unique_ptr<CCliCommand> MakeClearCommand() { return std::make_unique<CClearCommand>(); }
