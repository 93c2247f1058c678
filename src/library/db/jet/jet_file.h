#pragma once
// A Jet 3 / Jet 4 database file (the .mdb format), or an Access 2007+ file
// (.accdb, the same layout as Jet 4) that is not encrypted, read through libmdb from
// mdbtools: the local poem database when it is not an SQLite file. Read-only.
//
// libmdb finds tables, columns, rows and long values; the Jet layer adds what
// a poem load needs on top of it: the loader's queries mapped onto table
// reads (jet_query.h), values decoded from the row's own bytes (NULL from the
// null mask, text as UTF-16 including characters outside the BMP, memos of any
// length; jet_text.h, jet_table_reader.h), the database password, and strict
// checks so that a damaged file gives a clear error instead of rows silently
// missing. QtCore only; libmdb stays inside the Jet layer's sources.

#include <QByteArray>
#include <QString>

#include <memory>

class TDbCursor;

// True when `head` (the first bytes of a file) is a Jet 3, Jet 4 or ACE
// (Access 2007 and later) header: "Standard Jet DB" or "Standard ACE DB" and
// its terminating zero at byte 4.
bool IsJetHeader(const QByteArray& head);

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

private:
    struct TImpl;
    explicit TJetFile(std::unique_ptr<TImpl> impl);
    std::unique_ptr<TImpl> FImpl;
};
