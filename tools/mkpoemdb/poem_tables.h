#pragma once
// Reading poem files (JSON Lines, or the open corpus: see corpus_import.h) and
// writing them as poem tables, either into a new SQLite file or onto a
// database server. Used by mkpoemdb and by tests.

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

// How corpus files are read: traditional characters become simplified ones
// unless they are kept.
struct TCorpusOptions {
    bool KeepTraditional = false;
};

struct TPoemTable {
    QString Name;
    QString File;
    std::vector<TPoemEntry> Rows;  // JSON Lines: every row, read up front
    bool Corpus = false;           // File is a corpus file or folder, read while the table is written
    TCorpusOptions Options = {};
};

// What was written into one table.
struct TTableSummary {
    QString Name;
    QString File;
    std::int64_t Poems = 0;
    std::optional<std::int64_t> LeftOut;  // corpus poems GBK cannot hold; none for JSON Lines
};

// Reads every line of a poem file: one JSON object a line with "id" (an
// integer, unique in the file), "content" (text) and optional "title",
// "author", "dynasty" (text or null); text must be encodable in GBK. Blank
// lines are skipped. Raises TAppError naming the file and line of the first
// fault.
std::vector<TPoemEntry> ReadPoemFile(const QString& path);

// "TABLE=PATH": the table name (letters, digits, underscores, not starting
// with a digit) and its poems: a JSON Lines file is read at once; a corpus
// file or folder is only checked here and read while it is written. Raises
// TAppError.
TPoemTable ReadTableArgument(const QString& argument, const TCorpusOptions& options = {});

// Drops and creates the tables (ID, TITLE, AUTHOR, DYNASTY, CONTENT) on an
// open connection and fills them, all in one transaction; corpus tables a
// poem at a time.
std::vector<TTableSummary> WritePoemTables(TDbConnection& connection, const std::vector<TPoemTable>& tables);

// Writes a new SQLite file at `path`, replacing one that is there only once
// the new one is complete; nothing is left behind on failure.
std::vector<TTableSummary> WriteSQLiteFile(const QString& path, const std::vector<TPoemTable>& tables);

// Writes the tables on the server that `connectionString` names.
std::vector<TTableSummary> WriteServerTables(const QString& connectionString, const std::vector<TPoemTable>& tables);

// The command line: "sqlite OUT [--keep-traditional] TABLE=PATH..." or
// "remote CONNECTION [--keep-traditional] TABLE=PATH...".
// Returns the exit code; messages go to `out` and `err`.
int RunMkPoemDb(const QStringList& arguments, QTextStream& out, QTextStream& err);
