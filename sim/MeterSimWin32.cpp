// Windows has no pseudo-terminals: there the simulated meter is served on a
// line inside the program (MeterSimMemory.cpp) and nowhere else.

#include "SimWire.h"

std::unique_ptr<ISimWire> OpenPseudoTerminal(const std::string&, std::string& error) {
    error = "the simulated meter's pseudo-terminal does not exist on Windows; "
            "serve it inside the program instead";
    return nullptr;
}
