// ombrel-cli ports: the candidate ports in scan order on stdout, one a line;
// how to get access to the ports this user may not open on stderr.

#include "CliCommand.h"
#include "ExitCodes.h"
#include "MeterSession.h"
#include "PortFailure.h"
#include "SerialPort.h"

#include <cstdio>

namespace {

class CPortsCommand : public CCliCommand {
public:
    CLI::App* Declare(CLI::App& program) override {
        CLI::App* ports = program.add_subcommand("ports", "list the candidate ports in scan order");
        ports->add_option("--port", m_meter.ports, "list only this port (repeatable)")
            ->type_name("PATH")
            ->allow_extra_args(false)
            ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
        return ports;
    }

    int Run(CCliContext&) override {
        std::vector<PortAttempt> denied;
        for (const std::string& port : CandidatePorts(m_meter)) {
            std::printf("%s\n", port.c_str());
            if (CSerialPort::AccessDenied(port))
                denied.push_back({port, PortFailure::PermissionDenied, {}});
        }
        std::fflush(stdout);
        std::fputs(DescribePortAttempts(denied).c_str(), stderr);
        return EXIT_DONE;
    }

private:
    MeterChoice m_meter;
};

} // namespace

std::unique_ptr<CCliCommand> MakePortsCommand() { return std::make_unique<CPortsCommand>(); }
