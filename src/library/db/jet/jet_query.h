#pragma once
// The loader's queries on a Jet file: which table to read and which rows to
// keep. libmdb has no SQL of its own that we trust, so the few texts the
// loader runs for its local sources are mapped onto a table read filtered by
// ID. QtCore only.

#include <QString>

#include <cstdint>
#include <vector>

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
