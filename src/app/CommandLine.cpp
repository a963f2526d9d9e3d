#include "CommandLine.h"

#include "MeterSim.h"

#include <QCommandLineParser>
#include <QFile>

CommandLine ParseCommandLine(const QStringList& arguments)
{
    CommandLine result;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Reads, saves, prints and clears the measurements of the "
                                                    "optical power meter."));
    const QCommandLineOption helpOption = parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Try only this serial device (repeatable, tried in order)."),
                                        QStringLiteral("PATH"));
    // Listed for the help text only: --simulate takes an optional value, which
    // the parser cannot express, so it is taken out before parsing.
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Use a simulated meter started inside the program; N generated records (0 to %1) "
                       "instead of the realistic session.")
            .arg(kMaxSimRecords),
        QStringLiteral("N"));
    parser.addOption(portOption);
    parser.addOption(simulateOption);
    result.helpText = parser.helpText().replace(QStringLiteral("--simulate <N>"), QStringLiteral("--simulate[=N]"));

    QStringList remaining;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (i > 0 && argument == QLatin1String("--simulate")) {
            result.simulate = true;
            result.simulatedRecords = -1;
        } else if (i > 0 && argument.startsWith(QLatin1String("--simulate="))) {
            bool number = false;
            const int count = argument.mid(11).toInt(&number);
            if (!number || count < 0 || count > kMaxSimRecords) {
                result.error = QStringLiteral("--simulate=N takes a number of records from 0 to %1, not \"%2\".")
                                   .arg(kMaxSimRecords)
                                   .arg(argument.mid(11));
                return result;
            }
            result.simulate = true;
            result.simulatedRecords = count;
        } else {
            remaining << argument;
        }
    }

    if (!parser.parse(remaining)) {
        result.error = parser.errorText();
        return result;
    }
    if (parser.isSet(helpOption) || parser.isSet(QStringLiteral("help-all"))) {
        result.showHelp = true;
        return result;
    }
    if (!parser.positionalArguments().isEmpty()) {
        result.error = QStringLiteral("Unexpected argument \"%1\".").arg(parser.positionalArguments().front());
        return result;
    }
    for (const QString& port : parser.values(portOption)) {
        if (port.isEmpty()) {
            result.error = QStringLiteral("--port needs a device path.");
            return result;
        }
        result.ports.push_back(QFile::encodeName(port).toStdString());
    }
    return result;
}
