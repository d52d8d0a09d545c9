#include "app/CommandLine.h"

#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

CommandLine CommandLine::read(const QCoreApplication &app)
{
    QCommandLineParser parser;
    //: The first line of the program's --help.
    parser.setApplicationDescription(tr("Song requests for DJs, in the tray."));
    parser.addHelpOption();
    parser.addVersionOption();
    //: Describes the command line option --open-panel in the program's --help.
    const QCommandLineOption openPanel(QStringLiteral("open-panel"),
                                       tr("Open the panel: the running Cuelark's, or that of a new start."));
    parser.addOption(openPanel);

    QString problem;
    if (!parser.parse(app.arguments()))
        problem = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        //: %1 is a word on the command line that is not an option.
        problem = tr("Unexpected argument '%1'.").arg(parser.positionalArguments().constFirst());
    if (!problem.isEmpty()) {
        //: After a command line error; %1 is the option that lists the others.
        const QString hint = tr("Try '%1' for the options.").arg(QStringLiteral("--help"));
        std::fprintf(stderr, "%s\n%s\n", qPrintable(problem), qPrintable(hint));
        std::exit(EXIT_FAILURE);
    }
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(EXIT_SUCCESS);
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    return CommandLine{.openPanel = parser.isSet(openPanel)};
}

void CommandLine::reportUnansweredHandOver()
{
    //: On the terminal, when a second start found the first one unresponsive.
    std::fprintf(stderr, "%s\n", qPrintable(tr("Cuelark is already running but does not answer.")));
}
