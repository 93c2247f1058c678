#pragma once
// The game's command-line options: the poem source to start with, and a
// check of the poem library that needs nobody at the window. QtCore only.

#include <QString>
#include <QStringList>

#include <optional>

struct TCommandLine {
    std::optional<int> Source;  // --source: index of the source to start with
    bool Check = false;  // --check: load, report and exit
    bool Help = false;
    bool Version = false;
    QString Error;  // not empty: the arguments are not understood
};

// Reads the arguments that follow the program's name, passing over Qt's own
// options (-platform, -style, ...). Stops at the first argument it does not
// understand and says why in Error.
TCommandLine ParseCommandLine(const QStringList& arguments);

// The text --help prints.
QString CommandLineHelp();

// The sources --check loads: the one chosen with --source, or every source
// in the poem database next to the program (those that need no server).
QList<int> SourcesToCheck(const TCommandLine& commandLine);
