#pragma once
// Reading poem files (JSON Lines) and writing them as poem tables, either into
// a new SQLite file or onto a database server. Used by mkpoemdb and by tests.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class QTextStream;
class TDbConnection;

// One line of a poem file. Title, author and dynasty may be absent (NULL).
struct TPoemEntry {
    std::int64_t Id = 0;
    std::optional<QString> Title;
    std::optional<QString> Author;
    std::optional<QString> Dynasty;
    QString Content;
};

struct TPoemTable {
    QString Name;
    QString File;
    std::vector<TPoemEntry> Rows;
};

// Reads every line of a poem file: one JSON object a line with "id" (an
// integer, unique in the file), "content" (text) and optional "title",
// "author", "dynasty" (text or null); text must be encodable in GBK. Blank
// lines are skipped. Raises TAppError naming the file and line of the first
// fault.
std::vector<TPoemEntry> ReadPoemFile(const QString& path);

// "TABLE=FILE": the table name (letters, digits, underscores, not starting
// with a digit) and the file's poems. Raises TAppError.
TPoemTable ReadTableArgument(const QString& argument);

// Drops and creates the tables (ID, TITLE, AUTHOR, DYNASTY, CONTENT) on an
// open connection and fills them, all in one transaction.
void WritePoemTables(TDbConnection& connection, const std::vector<TPoemTable>& tables);

// Writes a new SQLite file at `path`, replacing one that is there only once
// the new one is complete; nothing is left behind on failure.
void WriteSQLiteFile(const QString& path, const std::vector<TPoemTable>& tables);

// Writes the tables on the server that `connectionString` names.
void WriteServerTables(const QString& connectionString, const std::vector<TPoemTable>& tables);

// The command line: "sqlite OUT TABLE=FILE..." or "remote CONNECTION TABLE=FILE...".
// Returns the exit code; messages go to `out` and `err`.
int RunMkPoemDb(const QStringList& arguments, QTextStream& out, QTextStream& err);
