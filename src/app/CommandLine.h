#pragma once

#include <QCoreApplication>

// What the program was started for, from its command line.
class CommandLine {
    Q_DECLARE_TR_FUNCTIONS(CommandLine)
public:
    // Open the panel at once rather than wait for a click on the icon.
    bool openPanel = false;

    // Reads the arguments `app` was started with; needs no display. Prints and
    // ends the process for --help and --version (status 0) and for an option or
    // argument it does not know (a message, status 1).
    static CommandLine read(const QCoreApplication &app);
    // For a start that found another one running that did not answer.
    static void reportUnansweredHandOver();
};
