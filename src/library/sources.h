#pragma once
// The five poem sources, the SQL texts run against them, and the deployment
// values behind the local file's password and the remote server's
// connection string. QtCore only: no widgets here.

#include <QString>

// One poem source: the item of the range dialog and where its poems come from.
struct TPoemSource {
    QString Label;  // the dialog's item text; also names untitled poems
    QString Table;  // the table the poems are read from
    QString Filter;  // appended after "WHERE 1=1"; empty for none
    bool Remote;  // read from the remote server instead of db21.mdb
};

inline constexpr int kSourceCount = 5;

// The source at `index` (0 .. kSourceCount - 1). Raises TAppError otherwise.
const TPoemSource& SourceOf(int index);

// "SELECT COUNT(*) AS Cnt FROM <table> WHERE 1=1<filter>"
QString CountSql(const TPoemSource& source);
// "SELECT * FROM <table> WHERE 1=1<filter>"
QString PoemsSql(const TPoemSource& source);

// The name of the local poem database in the program directory.
inline const QString kLocalDatabaseName = QStringLiteral("db21.mdb");
// Read where db21.mdb is missing: the name a current Access saves the file under.
inline const QString kLocalAccessDatabaseName = QStringLiteral("db21.accdb");

// Values that belong to the deployment rather than to the code. Each is
// compiled in from the CMake cache variable of the same name and can be
// replaced at run time by the environment variable of that name.
enum class TDeploymentKey {
    DbPassword,  // VERSEQUEST_DB_PASSWORD: password of db21.mdb
    RemoteConnection,  // VERSEQUEST_REMOTE_CONNECTION: connection string of the fifth source
};

// The name of the variable behind `key`.
QString DeploymentVariable(TDeploymentKey key);
// The environment variable's value when it is set (even to an empty value),
// the compiled-in default otherwise.
QString DeploymentValue(TDeploymentKey key);
