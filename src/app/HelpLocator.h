#pragma once

#include <QString>

// The help to open: "Help.chm" in the executable's folder when it is there,
// else the HTML help installed beside the executable, else a copy of the
// compiled-in help written under extractRoot. Empty when none can be had.
QString LocateHelp(const QString& executableDir, const QString& extractRoot);

// Writes the compiled-in help into folder; the path of its index page, or
// empty when it could not be written.
QString ExtractBuiltInHelp(const QString& folder);
