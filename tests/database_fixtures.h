// What the two halves of the database suite share: the local file's name
// and its connection string.
#pragma once

#include "library/db/connection_string.h"

#include <QString>

inline const QString kDb = QStringLiteral("db21.mdb");

inline QString JetString(const QString& path)
{
    return LocalConnectionString(path, QString());
}
