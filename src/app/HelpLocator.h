#pragma once

#include <QString>

// The help to open: "Help.chm" in the executable's folder when it is there,
// else the HTML help beside the executable (a build folder), else the HTML
// help installed with the program (InstalledHelpFolder), else a copy of the
// compiled-in help written under extractRoot. Empty when none can be had.
QString LocateHelp(const QString& executableDir, const QString& extractRoot);

// Where installation puts the HTML help, relative to the executable's folder
// ("../share/ombrel/help" for a program in /usr/bin), so that a package
// unpacked anywhere finds its own help.
QString InstalledHelpFolder();

// Writes the compiled-in help into folder; the path of its index page, or
// empty when it could not be written.
QString ExtractBuiltInHelp(const QString& folder);

// The third-party notices (THIRD-PARTY-NOTICES.txt) beside the executable
// (Windows, a build folder), else where installation puts them relative to
// it ("../share/ombrel" for a program in /usr/bin). Empty when neither is there.
QString LocateNotices(const QString& executableDir);
