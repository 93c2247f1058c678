#pragma once
// Reading poem files (JSON Lines) and writing poem tables, either into a new
// SQLite file or onto a database server. Free of OpenCC, so that the game's
// tests and benchmarks write their poem databases through it too; the open
// corpus comes in as a stream of poems (see corpus_import.h).

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TDbConnection;

// `path` as the system writes paths, for messages.
QString NativePath(const QString& path);

// One line of a poem file. Title, author and dynasty may be absent (NULL).
struct TPoemEntry {
    std::int64_t Id = 0;
    std::optional<QString> Title;
    std::optional<QString> Author;
    std::optional<QString> Dynasty;
    QString Content;
};

// Poems read while their table is written, one at a time, so that a large
// collection is never held whole.
class TPoemStream {
public:
    virtual ~TPoemStream() = default;
    // The next poem in `entry`; false once there is none.
    virtual bool Next(TPoemEntry& entry) = 0;
    // Poems passed over because GBK cannot hold them.
    virtual std::int64_t LeftOut() const = 0;
};

using TPoemStreamOpener = std::function<std::unique_ptr<TPoemStream>()>;

struct TPoemTable {
    QString Name;
    QString File;
    std::vector<TPoemEntry> Rows;  // read up front (JSON Lines)
    TPoemStreamOpener OpenStream = {};  // when set, the poems instead: opened while the table is written
};

// What was written into one table.
struct TTableSummary {
    QString Name;
    QString File;
    std::int64_t Poems = 0;
    std::optional<std::int64_t> LeftOut;  // streamed poems GBK cannot hold; none for rows read up front
};

// The bytes of a file, without the UTF-8 byte-order mark it may start with:
// the whole file, or at most its first `limit` bytes. Raises TAppError when
// the file cannot be read.
QByteArray ReadUtf8File(const QString& path, qint64 limit = -1);

// Reads every line of a poem file: one JSON object a line with "id" (an
// integer, unique in the file), "content" (text) and optional "title",
// "author", "dynasty" (text or null); text must be encodable in GBK. Blank
// lines are skipped. Raises TAppError naming the file and line of the first
// fault.
std::vector<TPoemEntry> ReadPoemFile(const QString& path);

// "TABLE=PATH": the table name (letters, digits, underscores, not starting
// with a digit) and the path, checked; no poems yet. Raises TAppError.
TPoemTable ParseTableArgument(const QString& argument);

// "TABLE=FILE.jsonl": the table with every poem of the JSON Lines file.
// Raises TAppError.
TPoemTable ReadTableArgument(const QString& argument);

// Drops and creates the tables (ID, TITLE, AUTHOR, DYNASTY, CONTENT) on an
// open connection and fills them, all in one transaction; streamed tables a
// poem at a time.
std::vector<TTableSummary> WritePoemTables(TDbConnection& connection, const std::vector<TPoemTable>& tables);

// Writes a new SQLite file at `path`, replacing one that is there only once
// the new one is complete; nothing is left behind on failure.
std::vector<TTableSummary> WriteSQLiteFile(const QString& path, const std::vector<TPoemTable>& tables);

// Writes the tables on the server that `connectionString` names.
std::vector<TTableSummary> WriteServerTables(const QString& connectionString, const std::vector<TPoemTable>& tables);
