#pragma once
// The open libmdb handle of a Jet file and the checks every read of it goes
// through: pages within the file, text decoded by our own rules, errors that
// name the file. Shared by the file object and the table reader; nothing
// outside the Jet layer includes it, and only the database layer's target
// can: libmdb's headers are its private dependency.

#ifndef VQ_DATABASE_LAYER
#error "jet_handle.h is internal to the database layer; the Jet reader's interface is library/db/jet/jet_file.h"
#endif

#include <QString>

#include <mdbtools.h>

#include <cstdint>

class QByteArray;

struct TJetHandle {
    QString Path;
    MdbHandle* Mdb = nullptr;
    bool Jet3 = false;
    bool Ace = false;  // Access 2007 and later: Jet 4's layout under an ACE header
    int PageSize = 0;
    std::uint32_t PageCount = 0;  // from the file's size, checked before libmdb opened it

    TJetHandle() = default;
    ~TJetHandle();
    TJetHandle(const TJetHandle&) = delete;
    TJetHandle& operator=(const TJetHandle&) = delete;

    // Raises the reader's error: "无法读取诗词数据库文件 <path>：<detail>".
    [[noreturn]] void Fail(const QString& detail) const;

    // Pages are checked against the file before libmdb reads them: past the
    // end it would print to stderr and carry on with fewer rows.
    void RequirePage(std::uint32_t page) const;

    // Makes `page` the current page of the handle.
    void LoadPage(std::uint32_t page) const;

    // Stored text of this file's version (see DecodeJetText); bytes it cannot
    // decode raise the reader's error.
    QString DecodeText(const QByteArray& bytes) const;
};
