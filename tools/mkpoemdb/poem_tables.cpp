#include "poem_tables.h"

#include "library/app_error.h"
#include "library/db/database.h"
#include "library/gbk_codec.h"
#include "library/poem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QMap>
#include <QRegularExpression>
#include <QTemporaryFile>

#include <cmath>
#include <filesystem>
#include <system_error>
#include <utility>

QString NativePath(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

namespace {

// Integers a JSON number (a double) holds exactly.
constexpr double kLargestExactInteger = 9007199254740992.0;  // 2^53

const QStringList& PoemKeys()
{
    static const QStringList keys{QStringLiteral("id"), QStringLiteral("title"), QStringLiteral("author"),
                                  QStringLiteral("dynasty"), QStringLiteral("content")};
    return keys;
}

[[noreturn]] void LineError(const QString& path, int line, const QString& message)
{
    throw TAppError(QStringLiteral("%1:%2: %3").arg(NativePath(path)).arg(line).arg(message));
}

QString TextField(const QJsonObject& object, const QString& key, const QString& path, int line)
{
    const QJsonValue value = object.value(key);
    if (!value.isString())
        LineError(path, line, QStringLiteral("\"%1\" must be text").arg(key));
    const QString text = value.toString();
    // Single-byte codes above ASCII and dropped characters would break the
    // game's two-byte characters; a double-byte code decodes back unchanged.
    if (!GbkHolds(text))
        LineError(path, line, QStringLiteral("\"%1\" holds characters that GBK cannot encode").arg(key));
    return text;
}

std::optional<QString> OptionalTextField(const QJsonObject& object, const QString& key, const QString& path, int line)
{
    const QJsonValue value = object.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    return TextField(object, key, path, line);
}

TPoemEntry ParseLine(const QByteArray& bytes, const QString& path, int line)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError)
        LineError(path, line,
                  QStringLiteral("not valid JSON (%1 at column %2)").arg(error.errorString()).arg(error.offset + 1));
    if (!document.isObject())
        LineError(path, line, QStringLiteral("not a JSON object"));
    const QJsonObject object = document.object();
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!PoemKeys().contains(it.key()))
            LineError(path, line, QStringLiteral("unknown key \"%1\"").arg(it.key()));

    TPoemEntry entry;
    const QJsonValue id = object.value(QStringLiteral("id"));
    const double number = id.toDouble(0.5);
    if (!id.isDouble() || std::floor(number) != number || std::fabs(number) > kLargestExactInteger)
        LineError(path, line, QStringLiteral("\"id\" must be an integer"));
    entry.Id = static_cast<std::int64_t>(number);
    entry.Content = TextField(object, QStringLiteral("content"), path, line);
    entry.Title = OptionalTextField(object, QStringLiteral("title"), path, line);
    entry.Author = OptionalTextField(object, QStringLiteral("author"), path, line);
    entry.Dynasty = OptionalTextField(object, QStringLiteral("dynasty"), path, line);
    return entry;
}

QVariant NullableText(const std::optional<QString>& text)
{
    return text ? QVariant(*text) : QVariant(QMetaType::fromType<QString>());
}

// Undoes a transaction that was not committed when the scope ends.
class TTransactionScope {
public:
    explicit TTransactionScope(TDbConnection& connection) : FConnection(connection) { FConnection.BeginTransaction(); }
    ~TTransactionScope()
    {
        if (!FCommitted)
            FConnection.Rollback();
    }
    TTransactionScope(const TTransactionScope&) = delete;
    TTransactionScope& operator=(const TTransactionScope&) = delete;
    void Commit()
    {
        FConnection.Commit();
        FCommitted = true;
    }

private:
    TDbConnection& FConnection;
    bool FCommitted = false;
};

// A file removed when the scope ends, unless it is kept: the new database
// under its temporary name, until it is renamed into place.
class TScratchFile {
public:
    explicit TScratchFile(QString path) : FPath(std::move(path)) { }
    ~TScratchFile()
    {
        if (!FKept)
            QFile::remove(FPath);
    }
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;
    const QString& Path() const { return FPath; }
    void Keep() { FKept = true; }

private:
    QString FPath;
    bool FKept = false;
};

// A new empty file with a name of its own next to `target`. QTemporaryFile
// holds its handle until it is destroyed (its close() only rewinds), and
// Windows refuses to rename a file that is open, so it goes at once.
QString CreateScratchFile(const QFileInfo& target)
{
    QTemporaryFile temporary(target.absoluteDir().filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    if (!temporary.open())
        throw TAppError(QStringLiteral("Cannot create a file in %1: %2")
                            .arg(NativePath(target.absolutePath()), temporary.errorString()));
    temporary.setAutoRemove(false);
    return temporary.fileName();
}

QVariantList RowValues(const TPoemEntry& entry)
{
    return QVariantList{QVariant(static_cast<qlonglong>(entry.Id)), NullableText(entry.Title),
                        NullableText(entry.Author), NullableText(entry.Dynasty), QVariant(entry.Content)};
}

// Fills the created table `table.Name` through the INSERT `insert`.
TTableSummary FillTable(TDbConnection& connection, const TPoemTable& table, const QString& insert)
{
    TTableSummary summary{table.Name, table.File, 0, std::nullopt};
    if (table.OpenStream) {
        const std::unique_ptr<TPoemStream> stream = table.OpenStream();
        TPoemEntry entry;
        connection.ExecuteBatch(insert, [&](QVariantList& row) {
            if (!stream->Next(entry))
                return false;
            row = RowValues(entry);
            ++summary.Poems;
            return true;
        });
        summary.LeftOut = stream->LeftOut();
    } else {
        std::size_t next = 0;
        connection.ExecuteBatch(insert, [&](QVariantList& row) {
            if (next == table.Rows.size())
                return false;
            row = RowValues(table.Rows[next++]);
            return true;
        });
        summary.Poems = static_cast<std::int64_t>(table.Rows.size());
    }
    return summary;
}

}  // namespace

QByteArray ReadUtf8File(const QString& path, qint64 limit)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TAppError(QStringLiteral("Cannot read %1: %2").arg(NativePath(path), file.errorString()));
    QByteArray data = limit < 0 ? file.readAll() : file.read(limit);
    if (file.error() != QFileDevice::NoError)
        throw TAppError(QStringLiteral("Cannot read %1: %2").arg(NativePath(path), file.errorString()));
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);
    return data;
}

std::vector<TPoemEntry> ReadPoemFile(const QString& path)
{
    const QByteArray data = ReadUtf8File(path);
    std::vector<TPoemEntry> entries;
    QMap<std::int64_t, int> lineOfId;
    const QList<QByteArray> lines = data.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i + 1);
        QByteArray bytes = lines[i];
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        if (bytes.trimmed().isEmpty())
            continue;
        TPoemEntry entry = ParseLine(bytes, path, lineNumber);
        if (lineOfId.contains(entry.Id))
            LineError(path, lineNumber,
                      QStringLiteral("id %1 is used already on line %2").arg(entry.Id).arg(lineOfId.value(entry.Id)));
        lineOfId.insert(entry.Id, lineNumber);
        entries.push_back(std::move(entry));
    }
    return entries;
}

TPoemTable ParseTableArgument(const QString& argument)
{
    static const QRegularExpression tableName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]{0,62}$"));
    const qsizetype equals = argument.indexOf(u'=');
    if (equals < 0)
        throw TAppError(QStringLiteral("\"%1\" is not of the form TABLE=FILE.jsonl").arg(argument));
    TPoemTable table;
    table.Name = argument.left(equals);
    table.File = argument.mid(equals + 1);
    if (!tableName.match(table.Name).hasMatch())
        throw TAppError(QStringLiteral("\"%1\" is not a usable table name (letters, digits and _, "
                                       "not starting with a digit)")
                            .arg(table.Name));
    if (table.File.isEmpty())
        throw TAppError(QStringLiteral("No file is given for table %1").arg(table.Name));
    return table;
}

TPoemTable ReadTableArgument(const QString& argument)
{
    TPoemTable table = ParseTableArgument(argument);
    table.Rows = ReadPoemFile(table.File);
    return table;
}

std::vector<TTableSummary> WritePoemTables(TDbConnection& connection, const std::vector<TPoemTable>& tables)
{
    // SQL Server's TEXT holds no Chinese; NVARCHAR(MAX) does.
    const bool sqlServer = connection.Provider() == TDbProvider::SqlServer;
    const QString integer = sqlServer ? QStringLiteral("INT") : QStringLiteral("INTEGER");
    const QString text = sqlServer ? QStringLiteral("NVARCHAR(MAX)") : QStringLiteral("TEXT");

    std::vector<TTableSummary> summaries;
    TTransactionScope transaction(connection);
    for (const TPoemTable& table : tables) {
        connection.Execute(QStringLiteral("DROP TABLE IF EXISTS ") + table.Name);
        connection.Execute(QStringLiteral("CREATE TABLE %1 (ID %2, TITLE %3, AUTHOR %3, DYNASTY %3, CONTENT %3)")
                               .arg(table.Name, integer, text));
        summaries.push_back(
            FillTable(connection, table,
                      QStringLiteral("INSERT INTO %1 (ID, TITLE, AUTHOR, DYNASTY, CONTENT) VALUES (?, ?, ?, ?, ?)")
                          .arg(table.Name)));
    }
    transaction.Commit();
    return summaries;
}

std::vector<TTableSummary> WriteSQLiteFile(const QString& path, const std::vector<TPoemTable>& tables)
{
    const QFileInfo target(path);
    if (target.isDir())
        throw TAppError(QStringLiteral("%1 is a folder").arg(NativePath(path)));
    if (!target.absoluteDir().exists())
        throw TAppError(QStringLiteral("The folder %1 does not exist").arg(NativePath(target.absolutePath())));

    // Written under a temporary name next to the target and renamed at the
    // end, so that a reader never sees a half-written database.
    TScratchFile scratch(CreateScratchFile(target));
    std::vector<TTableSummary> summaries;
    {
        TDbConnection connection;
        connection.SetConnectionString(QStringLiteral("Provider=SQLite;Data Source=") +
                                       QuoteConnectionValue(scratch.Path()));
        connection.Open();
        summaries = WritePoemTables(connection, tables);
        connection.Close();
    }  // no handle on the file is left for the rename
    QFile::setPermissions(scratch.Path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                              QFileDevice::ReadOther);
    std::error_code error;
    std::filesystem::rename(std::filesystem::path(scratch.Path().toStdU16String()),
                            std::filesystem::path(target.absoluteFilePath().toStdU16String()), error);
    if (error)
        throw TAppError(
            QStringLiteral("Cannot write %1: %2").arg(NativePath(path), QString::fromLocal8Bit(error.message())));
    scratch.Keep();
    return summaries;
}

std::vector<TTableSummary> WriteServerTables(const QString& connectionString, const std::vector<TPoemTable>& tables)
{
    TDbConnection connection;
    connection.SetConnectionString(connectionString);
    connection.Open();
    std::vector<TTableSummary> summaries = WritePoemTables(connection, tables);
    connection.Close();
    return summaries;
}
