#pragma once
// One table of a Jet file read row by row through libmdb, with the checks
// that turn a damaged file into an error instead of rows silently missing or
// changed. jet_table_reader.cpp walks the definition, pages and rows;
// jet_values.cpp decodes a row's values. Internal to the Jet layer (see
// jet_file.h).

#include "library/db/jet/jet_handle.h"

#include <QStringList>
#include <QVariant>

#include <memory>
#include <optional>
#include <unordered_set>
#include <vector>

// One table read in table order: its data pages as its page map lists them,
// the rows of each page in order, deleted rows skipped. Unlike libmdb's own
// row loop it stops with an error at a page or row it cannot read, instead of
// skipping it.
class TJetTableReader {
public:
    // Reads the definition on `page`; `name` is the table's name for errors.
    TJetTableReader(TJetHandle& file, std::uint32_t page, const QString& name);
    TJetTableReader(const TJetTableReader&) = delete;
    TJetTableReader& operator=(const TJetTableReader&) = delete;

    const QStringList& Names() const { return FNames; }
    // The column called `name`, ASCII case ignored; -1 when there is none.
    int IndexOf(QStringView name) const;
    int TypeOf(int index) const { return Column(index)->col_type; }

    // Moves to the next row; false after the last row.
    bool Next();

    // The value of column `index` in the current row, decoded when first
    // asked for: columns nobody reads are never decoded.
    const QVariant& Value(int index);

private:
    MdbColumn* Column(int index) const;
    void CheckDefinitionPages(std::uint32_t page) const;
    void ReadColumns();
    void NextPage();
    [[noreturn]] void FailRow(unsigned row, const QString& what) const;
    unsigned RowColumnCount(int start, size_t size, unsigned row) const;
    void CheckColumnsInMask(unsigned rowColumns, unsigned row);

    // jet_values.cpp
    [[noreturn]] void FailValue(int index, const QString& reason = QString()) const;
    QVariant ValueOf(int index, const MdbField& field);
    QVariant NumberOf(int index, const MdbField& field) const;
    QVariant DateOf(int index, const MdbField& field) const;
    QByteArray LongValueRow(int index, std::uint32_t pageRow);
    QByteArray ReadLongValue(int index, const MdbField& field);
    QByteArray ReadLongValueChain(int index, std::uint32_t pageRow, qsizetype length);

    TJetHandle& FFile;
    QString FName;
    MdbCatalogEntry FEntry{};
    struct TFreeTableDef {
        void operator()(MdbTableDef* def) const { mdb_free_tabledef(def); }
    };
    std::unique_ptr<MdbTableDef, TFreeTableDef> FDef;  // freed also when the constructor fails
    QStringList FNames;
    std::vector<MdbField> FFields;
    std::vector<std::optional<QVariant>> FValues;  // the current row's values decoded so far
    std::uint32_t FPage = 0;  // the current data page; 0 before the first
    unsigned FRow = 0;
    unsigned FRowCount = 0;
    unsigned FRowsRead = 0;
    bool FDone = false;
    // Every long-value row (page << 8 | row) this read has taken bytes from:
    // each belongs to one value, so a second use is a loop or a shared chain.
    std::unordered_set<std::uint32_t> FLinksUsed;
};

// The definition page of the user table `name` (ASCII case ignored) as the
// catalog MSysObjects lists it; nullopt when there is none.
std::optional<std::uint32_t> FindJetTablePage(TJetHandle& file, const QString& name);
