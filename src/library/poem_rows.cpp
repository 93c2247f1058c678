#include "library/poem_rows.h"

#include "library/database.h"

TPoemColumn PoemColumnOf(const QString& name)
{
    QString upper = name;
    for (QChar& c : upper)
        if (c >= u'a' && c <= u'z')
            c = QChar(c.unicode() - u'a' + u'A');
    if (upper == QLatin1String("TITLE"))
        return TPoemColumn::Title;
    if (upper == QLatin1String("AUTHOR"))
        return TPoemColumn::Author;
    if (upper == QLatin1String("DYNASTY"))
        return TPoemColumn::Dynasty;
    return TPoemColumn::Other;
}

TPoemRow ReadPoemRow(const TDbQuery& query)
{
    TPoemRow row;
    row.Content = WideToAnsi(query.FieldAsText(QStringLiteral("CONTENT")));
    for (int i = 0; i < query.FieldCount(); ++i) {
        switch (PoemColumnOf(query.FieldName(i))) {
        case TPoemColumn::Title:
            row.Title = WideToAnsi(query.FieldText(i));
            break;
        case TPoemColumn::Author:
            row.Author = WideToAnsi(query.FieldText(i));
            break;
        case TPoemColumn::Dynasty:
            row.Dynasty = WideToAnsi(query.FieldText(i));
            break;
        case TPoemColumn::Other:
            break;
        }
    }
    return row;
}

TPoemRecord PoemFromRow(TPoemRow row, const std::string& label, int kept)
{
    TPoemRecord record;
    record.Title = row.Title.empty() ? label + std::to_string(kept + 1) : std::move(row.Title);
    record.Author = std::move(row.Author);
    record.Dynasty = TrimGbk(row.Dynasty);
    record.Content = std::move(row.Content);
    SplitVerseLines(record.Content, record.Lines);
    return record;
}

QString ProgressText(int kept, std::int64_t total)
{
    return QStringLiteral("正在加载诗词数据...%1/%2").arg(kept).arg(total);
}
