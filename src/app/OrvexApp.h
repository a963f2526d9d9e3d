#pragma once

#include <QStringList>

// Start-up: reads the command line, starts the simulated meter when asked,
// runs the main window modally and ends the program when it closes.
class COrvexApp {
public:
    // The process exit code.
    int InitInstance(const QStringList& arguments);
};
