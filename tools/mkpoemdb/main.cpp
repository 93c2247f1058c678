// mkpoemdb: writes poem tables from JSON Lines files or the open corpus into
// an SQLite file or onto a database server. See command_line.h.
#include "command_line.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);  // the SQL drivers are plugins
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunMkPoemDb(QCoreApplication::arguments().mid(1), out, err);
}
