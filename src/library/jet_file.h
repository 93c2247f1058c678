#pragma once
// A Jet 3 / Jet 4 database file (the .mdb format), read through libmdb from
// mdbtools: the local poem database when it is not an SQLite file. Read-only.
//
// libmdb finds tables, columns, rows and long values; this layer adds what a
// poem load needs on top of it: the loader's queries mapped onto table reads,
// values decoded from the row's own bytes (NULL from the null mask, text as
// UTF-16 including characters outside the BMP, memos of any length), the
// database password, and strict checks so that a damaged file gives a clear
// error instead of rows silently missing. QtCore only; libmdb stays inside
// jet_file.cpp.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <memory>
#include <vector>

class TDbCursor;

// True when `head` (the first bytes of a file) is a Jet 3 or Jet 4 header:
// "Standard Jet DB" and its terminating zero at byte 4.
bool IsJetHeader(const QByteArray& head);

// A query the Jet layer runs: every column of one table, rows in table order,
// kept where the integer ID column passes every comparison.
struct TJetQuery {
    enum class TOp { Less, LessEqual, Greater, GreaterEqual, Equal };
    struct TCondition {
        TOp Op;
        std::int64_t Value;
    };
    QString Table;
    std::vector<TCondition> Conditions;
    // A NULL ID passes only when there is no condition, as in SQL.
    bool Passes(const std::int64_t* id) const;
};

// The query of "SELECT * FROM <table> WHERE 1=1" followed by any number of
// " AND ID<op><integer>" (op one of < <= > >= =), keywords in any case: the
// texts the loader runs for its local sources. Anything else raises TAppError.
TJetQuery ParseJetQuery(const QString& sql);

// Text as a Jet 4 file stores it: UTF-16LE, or Access's compressed form
// (FF FE, then runs of one-byte Latin-1 characters and two-byte UTF-16 units
// switched by zero bytes). Raises TAppError for bytes that are neither.
QString DecodeJet4Text(const QByteArray& bytes);

// An open Jet file. Every failure raises TAppError whose message names the
// file; the file is never written.
class TJetFile {
public:
    // Opens the file at `path`. `password` is checked against the database
    // password the file stores (a file without one opens with any password).
    static std::unique_ptr<TJetFile> Open(const QString& path, const QString& password);
    ~TJetFile();
    TJetFile(const TJetFile&) = delete;
    TJetFile& operator=(const TJetFile&) = delete;

    // Runs `sql` (see ParseJetQuery) and returns a cursor before its first
    // row. The cursor must not outlive the file.
    std::unique_ptr<TDbCursor> OpenCursor(const QString& sql);

    struct TImpl;

private:
    explicit TJetFile(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> FImpl;
};
