#include "library/db/poem_rows.h"

#include "library/db/database_query.h"
#include "library/db/names.h"

#include <iterator>
#include <optional>
#include <utility>

TPoemColumn PoemColumnOf(const QString& name)
{
    if (EqualsIgnoringAsciiCase(name, u"TITLE"))
        return TPoemColumn::Title;
    if (EqualsIgnoringAsciiCase(name, u"AUTHOR"))
        return TPoemColumn::Author;
    if (EqualsIgnoringAsciiCase(name, u"DYNASTY"))
        return TPoemColumn::Dynasty;
    return TPoemColumn::Other;
}

TPoemColumns PoemColumnsOf(const TDbQuery& query)
{
    TPoemColumns columns;
    columns.Content = query.FieldIndex(QStringLiteral("CONTENT"));
    for (int i = 0; i < query.FieldCount(); ++i) {
        switch (PoemColumnOf(query.FieldName(i))) {
        case TPoemColumn::Title:
            columns.Title = i;
            break;
        case TPoemColumn::Author:
            columns.Author = i;
            break;
        case TPoemColumn::Dynasty:
            columns.Dynasty = i;
            break;
        case TPoemColumn::Other:
            break;
        }
    }
    return columns;
}

void ReadPoemRow(const TDbQuery& query, const TPoemColumns& columns, TPoemRow& row)
{
    const auto read = [&](int index, std::string& gbk) {
        if (index >= 0)
            query.FieldGbk(index, gbk);
        else
            gbk.clear();
    };
    read(columns.Content, row.Content);
    read(columns.Title, row.Title);
    read(columns.Author, row.Author);
    read(columns.Dynasty, row.Dynasty);
}

TPoemRecord PoemFromRow(TPoemRow row, const std::string& label, int kept)
{
    TPoemRecord record;
    record.Title = row.Title.empty() ? label + std::to_string(kept + 1) : std::move(row.Title);
    record.Author = std::move(row.Author);
    record.Dynasty = TrimGbk(row.Dynasty);
    record.Content = std::move(row.Content);
    SplitVerseLines(record.Content, record.Lines);
    record.StanzaCount = CountStanzas(record.Lines);
    return record;
}

int ReadPoems(TDbQuery& query, const std::string& label, std::vector<TPoemRecord>& poems, const TReadProgress& progress)
{
    int kept = 0;
    std::optional<TPoemColumns> columns;  // looked up at the first row
    while (!query.Eof()) {
        if (!columns)
            columns = PoemColumnsOf(query);
        // A record enters the library complete, and only with lines: other
        // code may run at the progress reports.
        TPoemRow row;
        ReadPoemRow(query, *columns, row);
        TPoemRecord record = PoemFromRow(std::move(row), label, kept);
        if (!record.Lines.empty()) {
            poems.push_back(std::move(record));
            kept += 1;
        }
        if (progress && kept % kProgressStep == 0)
            progress(kept);
        query.Next();
    }
    return kept;
}

QString ProgressText(int kept, std::int64_t total)
{
    return QStringLiteral("正在加载诗词数据...%1/%2").arg(kept).arg(total);
}
