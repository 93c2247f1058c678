#pragma once
// Text as a Jet file stores it, decoded here rather than by libmdb: libmdb
// converts through UCS-2 and turns every character outside the BMP into "??".
// QtCore only.

#include <QByteArray>
#include <QString>

// How a file stores its text: Jet 3 in the code page its header names, Jet 4
// as UTF-16LE or Access's compressed form.
struct TJetTextForm {
    bool Jet3 = false;
    int CodePage = 0;  // Jet 3 only; 0 is the Western default
};

// Text as a Jet 4 file stores it: UTF-16LE, or Access's compressed form
// (FF FE, then runs of one-byte Latin-1 characters and two-byte UTF-16 units
// switched by zero bytes). Raises TAppError for bytes that are neither.
QString DecodeJet4Text(const QByteArray& bytes);

// The one step from stored bytes to text, for every text value, memo and
// password of a file of either version. Raises TAppError (the detail alone,
// without the file) for bytes or a code page it cannot decode.
QString DecodeJetText(const QByteArray& bytes, const TJetTextForm& form);
