#include "command_line.h"

#include "corpus_import.h"
#include "poem_tables.h"

#include "library/app_error.h"

#include <QSet>
#include <QTextStream>

#include <exception>
#include <optional>

namespace {

const char kUsage[] = "usage: mkpoemdb sqlite OUT [--keep-traditional] TABLE=PATH [TABLE=PATH ...]\n"
                      "       mkpoemdb remote \"CONNECTION STRING\" [--keep-traditional] TABLE=PATH [TABLE=PATH ...]\n"
                      "Writes poem tables (ID, TITLE, AUTHOR, DYNASTY, CONTENT). PATH is a JSON Lines file, or a\n"
                      "file or folder of the chinese-poetry corpus (poet.tang.0.json, ci.song.0.json, ...), whose\n"
                      "traditional characters become simplified ones unless --keep-traditional is given.\n";

// What the command line asks for.
struct TRequest {
    bool Remote = false;
    QString Target;  // the SQLite file or the connection string
    TCorpusOptions Options;
    QStringList TableArguments;
};

// The request, or none when the command line does not follow the usage.
std::optional<TRequest> ParseArguments(const QStringList& arguments)
{
    if (arguments.size() < 3 || (arguments[0] != QLatin1String("sqlite") && arguments[0] != QLatin1String("remote")))
        return std::nullopt;
    TRequest request;
    request.Remote = arguments[0] == QLatin1String("remote");
    request.Target = arguments[1];
    for (qsizetype i = 2; i < arguments.size(); ++i) {
        if (arguments[i] == QLatin1String("--keep-traditional"))
            request.Options.KeepTraditional = true;
        else if (arguments[i].startsWith(QLatin1String("--")))
            return std::nullopt;
        else
            request.TableArguments.push_back(arguments[i]);
    }
    if (request.TableArguments.isEmpty())
        return std::nullopt;
    return request;
}

std::vector<TTableSummary> Run(const TRequest& request)
{
    std::vector<TPoemTable> tables;
    QSet<QString> names;
    for (const QString& argument : request.TableArguments) {
        TPoemTable table = ReadTableOrCorpusArgument(argument, request.Options);
        if (names.contains(table.Name.toUpper()))
            throw TAppError(QStringLiteral("Table %1 is given twice").arg(table.Name));
        names.insert(table.Name.toUpper());
        tables.push_back(std::move(table));
    }
    return request.Remote ? WriteServerTables(request.Target, tables) : WriteSQLiteFile(request.Target, tables);
}

}  // namespace

int RunMkPoemDb(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    const std::optional<TRequest> request = ParseArguments(arguments);
    if (!request) {
        err << kUsage;
        err.flush();
        return 2;
    }
    try {
        for (const TTableSummary& summary : Run(*request)) {
            out << summary.Name << ": " << summary.Poems << " poems from " << NativePath(summary.File);
            if (summary.LeftOut)
                out << " (" << *summary.LeftOut << " left out: characters GBK cannot hold)";
            out << '\n';
        }
        out.flush();
        return 0;
    } catch (const std::exception& error) {
        err << "mkpoemdb: " << QString::fromUtf8(error.what()) << '\n';
        err.flush();
        return 1;
    }
}
