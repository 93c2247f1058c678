#pragma once
// mkpoemdb's command line, apart from main() so that tests run it.

#include <QStringList>

class QTextStream;

// "sqlite OUT [--keep-traditional] TABLE=PATH..." or
// "remote CONNECTION [--keep-traditional] TABLE=PATH...".
// Returns the exit code; messages go to `out` and `err`.
int RunMkPoemDb(const QStringList& arguments, QTextStream& out, QTextStream& err);
