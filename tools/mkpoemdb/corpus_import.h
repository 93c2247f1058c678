#pragma once
// Reading the open chinese-poetry corpus: JSON files, each an array of poems
// {"title" or "rhythmic", "author", "paragraphs": [...]}, named after their
// collection (poet.tang.0.json, poet.song.1000.json, ci.song.0.json, ...).
// Poems come out one at a time, a file in memory at a time, as the rows of a
// poem table. Traditional characters become simplified ones through OpenCC:
// this is the part of mkpoemdb that links it.

#include "poem_tables.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// How corpus files are read: traditional characters become simplified ones
// unless they are kept.
struct TCorpusOptions {
    bool KeepTraditional = false;
};

// True when `path` is a folder, or a file whose text (after a byte-order mark
// and blanks) starts with "[": a corpus file rather than JSON Lines.
bool IsCorpusPath(const QString& path);

// The files `path` stands for: the file itself, or the files of the folder
// named NAME.COLLECTION.PART.json, in natural order (poet.tang.2000 before
// poet.tang.10000). Raises TAppError when there is none.
QStringList CorpusFiles(const QString& path);

// The dynasty of a corpus file by its collection: 唐 for *.tang.*, 宋 for
// *.song.*, none otherwise.
std::optional<QString> CorpusDynasty(const QString& fileName);

// "TABLE=PATH" as mkpoemdb takes it: a corpus file or folder is only checked
// here (a folder without corpus files is refused) and read while its table is
// written; any other file is read at once as JSON Lines. Raises TAppError.
TPoemTable ReadTableOrCorpusArgument(const QString& argument, const TCorpusOptions& options);

// Characters the corpus writes where GBK has one of the same meaning, turned
// into that one: the katakana middle dot between the two names of a tune
// (十二时・忆少年) becomes the middle dot. Real rare characters stay.
QString ReplaceStandIns(QString text);

// Traditional characters into simplified ones through OpenCC's t2s.json.
// A few simplified forms lie outside GBK where the traditional one is inside
// (闉 becomes U+2CBB1): those characters stay traditional, so that the poem
// can still be played.
class TSimplifier {
public:
    TSimplifier();  // raises TAppError when OpenCC or its configuration is missing
    ~TSimplifier();
    TSimplifier(const TSimplifier&) = delete;
    TSimplifier& operator=(const TSimplifier&) = delete;
    // Converts every text of `texts` in place, with one call into OpenCC.
    void Convert(std::vector<QString>& texts) const;

private:
    QByteArray ConvertUtf8(const QByteArray& utf8) const;
    void* FHandle;
};

// The poems of a corpus path in reading order, numbered 1, 2, ... Stand-ins
// are replaced first; a poem still holding a character GBK cannot hold (after
// the conversion) is left out and counted. A file that is not an array of
// poems raises TAppError naming the file (and the poem).
class TCorpusReader : public TPoemStream {
public:
    TCorpusReader(const QString& path, const TCorpusOptions& options);
    ~TCorpusReader() override;
    TCorpusReader(const TCorpusReader&) = delete;
    TCorpusReader& operator=(const TCorpusReader&) = delete;

    // The next kept poem in `entry`; false once every file is read.
    bool Next(TPoemEntry& entry) override;
    std::int64_t LeftOut() const override { return FLeftOut; }

private:
    bool OpenNextFile();
    void Simplify();

    QStringList FFiles;
    qsizetype FNextFile = 0;
    std::vector<TPoemEntry> FPoems;  // of the current file
    std::size_t FNextPoem = 0;
    std::unique_ptr<TSimplifier> FSimplifier;
    std::int64_t FKept = 0;  // the number of the last poem given out
    std::int64_t FLeftOut = 0;
};
