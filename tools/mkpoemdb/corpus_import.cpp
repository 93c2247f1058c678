#include "corpus_import.h"

#include "library/app_error.h"
#include "library/gbk_codec.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#ifndef VQ_WITHOUT_OPENCC
#include <opencc.h>
#endif

#include <algorithm>
#include <utility>

namespace {

[[noreturn]] void FileError(const QString& path, const QString& message)
{
    throw TAppError(QStringLiteral("%1: %2").arg(NativePath(path), message));
}

// How much of a file tells a corpus file from JSON Lines.
constexpr qint64 kHeadBytes = 4096;

// Compares names with runs of digits taken as numbers: "poet.tang.2000.json"
// before "poet.tang.10000.json".
bool NaturalLess(const QString& a, const QString& b)
{
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            qsizetype ei = i, ej = j;
            while (ei < a.size() && a[ei].isDigit())
                ++ei;
            while (ej < b.size() && b[ej].isDigit())
                ++ej;
            // Leading zeros aside, the longer run is the larger number.
            QStringView ta = QStringView(a).mid(i, ei - i), tb = QStringView(b).mid(j, ej - j);
            while (ta.size() > 1 && ta.front() == u'0')
                ta = ta.mid(1);
            while (tb.size() > 1 && tb.front() == u'0')
                tb = tb.mid(1);
            if (ta.size() != tb.size())
                return ta.size() < tb.size();
            if (const int c = ta.compare(tb); c != 0)
                return c < 0;
            i = ei;
            j = ej;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j];
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

std::optional<QString> TextOf(const QJsonObject& poem, const QString& key, const QString& path, qsizetype number)
{
    const QJsonValue value = poem.value(key);
    if (value.isUndefined() || value.isNull())
        return std::nullopt;
    if (!value.isString())
        FileError(path, QStringLiteral("poem %1: \"%2\" must be text").arg(number).arg(key));
    return value.toString();
}

}  // namespace

bool IsCorpusPath(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    QByteArray head;
    try {
        head = ReadUtf8File(path, kHeadBytes);
    } catch (const TAppError&) {
        return false;  // reported by the reader that goes on with it
    }
    for (const char c : head) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
            continue;
        return c == '[';
    }
    return false;
}

QStringList CorpusFiles(const QString& path)
{
    const QFileInfo info(path);
    if (!info.isDir()) {
        if (!info.exists())
            throw TAppError(QStringLiteral("Cannot read %1: no such file or folder").arg(NativePath(path)));
        return {path};
    }
    static const QRegularExpression layout(QStringLiteral("^[^.]+\\.[^.]+\\.[^.]+\\.json$"),
                                           QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    const QDir dir(path);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Readable))
        if (layout.match(name).hasMatch())
            names.push_back(name);
    if (names.isEmpty())
        throw TAppError(
            QStringLiteral("The folder %1 holds no corpus files (NAME.COLLECTION.PART.json)").arg(NativePath(path)));
    std::sort(names.begin(), names.end(), NaturalLess);
    QStringList files;
    for (const QString& name : names)
        files.push_back(dir.filePath(name));
    return files;
}

std::optional<QString> CorpusDynasty(const QString& fileName)
{
    const QStringList parts = QFileInfo(fileName).fileName().toLower().split(u'.');
    if (parts.contains(QLatin1String("tang")))
        return QStringLiteral("唐");
    if (parts.contains(QLatin1String("song")))
        return QStringLiteral("宋");
    return std::nullopt;
}

TPoemTable ReadTableOrCorpusArgument(const QString& argument, const TCorpusOptions& options)
{
    TPoemTable table = ParseTableArgument(argument);
    if (!IsCorpusPath(table.File)) {
        table.Rows = ReadPoemFile(table.File);
        return table;
    }
    CorpusFiles(table.File);  // a folder without corpus files is refused now
    table.OpenStream = [file = table.File, options] { return std::make_unique<TCorpusReader>(file, options); };
    return table;
}

namespace {

// A character of the corpus and the GBK character it stands for.
struct TStandIn {
    char16_t From;
    char16_t To;
};

// The stand-ins of the corpus (U+30FB in 2,377 poems, nearly all between the
// two names of a tune). The other characters outside GBK in the corpus are
// rare ideographs, ideographic description characters, a radical and U+FFFD:
// none stands for a GBK character, so their poems stay out.
constexpr TStandIn kStandIns[] = {
    {u'\u30FB', u'\u00B7'},  // KATAKANA MIDDLE DOT -> MIDDLE DOT (GBK A1A4)
};

}  // namespace

QString ReplaceStandIns(QString text)
{
    for (const TStandIn& standIn : kStandIns)
        text.replace(QChar(standIn.From), QChar(standIn.To));
    return text;
}

// ---- TSimplifier ------------------------------------------------------------------

#ifdef VQ_WITHOUT_OPENCC

TSimplifier::TSimplifier() : FHandle(nullptr)
{
    throw TAppError(QStringLiteral("This mkpoemdb has no OpenCC: convert the corpus on Linux, "
                                   "or keep its traditional characters with --keep-traditional"));
}

TSimplifier::~TSimplifier() = default;

QByteArray TSimplifier::ConvertUtf8(const QByteArray& utf8) const
{
    return utf8;  // never reached: no simplifier exists without OpenCC
}

#else

TSimplifier::TSimplifier() : FHandle(opencc_open(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP))
{
    if (FHandle == reinterpret_cast<void*>(-1))
        throw TAppError(
            QStringLiteral("OpenCC cannot load %1: %2")
                .arg(QStringLiteral(OPENCC_DEFAULT_CONFIG_TRAD_TO_SIMP), QString::fromUtf8(opencc_error())));
}

TSimplifier::~TSimplifier()
{
    opencc_close(FHandle);
}

QByteArray TSimplifier::ConvertUtf8(const QByteArray& utf8) const
{
    char* converted = opencc_convert_utf8(FHandle, utf8.constData(), static_cast<size_t>(utf8.size()));
    if (!converted)
        throw TAppError(QStringLiteral("OpenCC cannot convert a text: %1").arg(QString::fromUtf8(opencc_error())));
    QByteArray result(converted);
    opencc_convert_utf8_free(converted);
    return result;
}

#endif

namespace {

// The characters of `converted` GBK cannot hold replaced by those of
// `original` at the same place, when both have as many characters.
QString KeepGbkCharacters(const QString& original, const QString& converted)
{
    if (GbkHolds(converted) || !GbkHolds(original))
        return converted;
    const QList<uint> from = original.toUcs4();
    QList<uint> to = converted.toUcs4();
    if (from.size() != to.size())
        return converted;
    for (qsizetype i = 0; i < to.size(); ++i) {
        const QString one = QString::fromUcs4(reinterpret_cast<const char32_t*>(&to[i]), 1);
        if (!GbkHolds(one))
            to[i] = from[i];
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t*>(to.constData()), to.size());
}

// Separates the texts of one call into OpenCC; no dictionary entry holds it,
// so that no conversion reaches across it.
constexpr char kTextSeparator = '\x01';

}  // namespace

void TSimplifier::Convert(std::vector<QString>& texts) const
{
    QByteArray joined;
    bool separable = true;
    for (const QString& text : texts) {
        const QByteArray utf8 = text.toUtf8();
        separable = separable && !utf8.contains(kTextSeparator);
        joined += utf8;
        joined += kTextSeparator;
    }
    const QByteArray converted = ConvertUtf8(joined);
    QList<QByteArray> parts = converted.split(kTextSeparator);
    const bool aligned = separable && static_cast<std::size_t>(parts.size()) == texts.size() + 1;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const QString simplified = aligned ? QString::fromUtf8(parts[static_cast<qsizetype>(i)])
                                           : QString::fromUtf8(ConvertUtf8(texts[i].toUtf8()));
        texts[i] = KeepGbkCharacters(texts[i], simplified);
    }
}

// ---- TCorpusReader ----------------------------------------------------------------

TCorpusReader::TCorpusReader(const QString& path, const TCorpusOptions& options) : FFiles(CorpusFiles(path))
{
    if (!options.KeepTraditional)
        FSimplifier = std::make_unique<TSimplifier>();
}

TCorpusReader::~TCorpusReader() = default;

namespace {

// Poem `number` of a corpus file, its texts as the file has them but for the
// stand-ins; no dynasty.
TPoemEntry ReadCorpusPoem(const QJsonValue& value, const QString& file, qsizetype number)
{
    if (!value.isObject())
        FileError(file, QStringLiteral("poem %1 is not a JSON object").arg(number));
    const QJsonObject poem = value.toObject();
    const QJsonValue paragraphs = poem.value(QStringLiteral("paragraphs"));
    if (!paragraphs.isArray())
        FileError(file, QStringLiteral("poem %1: \"paragraphs\" must be a list of texts").arg(number));
    TPoemEntry entry;
    for (const QJsonValue paragraph : paragraphs.toArray()) {
        if (!paragraph.isString())
            FileError(file, QStringLiteral("poem %1: \"paragraphs\" must be a list of texts").arg(number));
        if (!entry.Content.isEmpty())
            entry.Content += QStringLiteral("\r\n");
        entry.Content += paragraph.toString();
    }
    entry.Content = ReplaceStandIns(std::move(entry.Content));
    entry.Title = TextOf(poem, QStringLiteral("title"), file, number);
    if (!entry.Title)
        entry.Title = TextOf(poem, QStringLiteral("rhythmic"), file, number);
    entry.Author = TextOf(poem, QStringLiteral("author"), file, number);
    for (std::optional<QString>* text : {&entry.Title, &entry.Author})
        if (*text)
            **text = ReplaceStandIns(std::move(**text));
    return entry;
}

}  // namespace

bool TCorpusReader::OpenNextFile()
{
    std::vector<TPoemEntry>().swap(FPoems);  // the previous file goes before the next comes
    FNextPoem = 0;
    if (FNextFile >= FFiles.size())
        return false;
    const QString file = FFiles[FNextFile++];
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(ReadUtf8File(file), &error);
    if (error.error != QJsonParseError::NoError)
        FileError(file,
                  QStringLiteral("not valid JSON (%1 at byte %2)").arg(error.errorString()).arg(error.offset + 1));
    if (!document.isArray())
        FileError(file, QStringLiteral("not a poem collection (a JSON array of poems)"));
    const QJsonArray poems = document.array();
    const std::optional<QString> dynasty = CorpusDynasty(file);
    FPoems.reserve(static_cast<std::size_t>(poems.size()));
    for (qsizetype i = 0; i < poems.size(); ++i) {
        FPoems.push_back(ReadCorpusPoem(poems[i], file, i + 1));
        FPoems.back().Dynasty = dynasty;
    }
    if (FSimplifier)
        Simplify();
    return true;
}

void TCorpusReader::Simplify()
{
    // The whole file in one conversion: OpenCC costs much more per call than per character.
    std::vector<QString> texts;
    texts.reserve(FPoems.size() * 3);
    for (const TPoemEntry& entry : FPoems) {
        texts.push_back(entry.Content);
        texts.push_back(entry.Title.value_or(QString()));
        texts.push_back(entry.Author.value_or(QString()));
    }
    FSimplifier->Convert(texts);
    for (std::size_t i = 0; i < FPoems.size(); ++i) {
        TPoemEntry& entry = FPoems[i];
        entry.Content = std::move(texts[3 * i]);
        if (entry.Title)
            entry.Title = std::move(texts[3 * i + 1]);
        if (entry.Author)
            entry.Author = std::move(texts[3 * i + 2]);
    }
}

bool TCorpusReader::Next(TPoemEntry& entry)
{
    for (;;) {
        while (FNextPoem >= FPoems.size())
            if (!OpenNextFile())
                return false;
        TPoemEntry& next = FPoems[FNextPoem++];
        const auto holds = [](const std::optional<QString>& text) { return !text || GbkHolds(*text); };
        if (!GbkHolds(next.Content) || !holds(next.Title) || !holds(next.Author)) {
            ++FLeftOut;
            continue;
        }
        entry = std::move(next);
        entry.Id = ++FKept;
        return true;
    }
}
