#pragma once
// The loader's rules that need no window: which result columns it takes, the
// record one row becomes, the row loop, and the progress text of a remote load.

#include "library/poem.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// What a result column is to the loader, by its name with ASCII a-z turned
// into A-Z and then compared exactly ("Title" is the title column, "TITLE "
// is not).
enum class TPoemColumn { Other, Title, Author, Dynasty };
TPoemColumn PoemColumnOf(const QString& name);

// The values of one row, already converted to GBK, as the columns gave them.
struct TPoemRow {
    std::string Content;
    std::string Title;
    std::string Author;
    std::string Dynasty;
};

class TDbQuery;

// Where the loader finds its values in a result: CONTENT (the first column of
// that name, ignoring ASCII case) and the title, author and dynasty columns,
// -1 where absent. For columns whose names match alike, the later one wins.
struct TPoemColumns {
    int Content = -1;
    int Title = -1;
    int Author = -1;
    int Dynasty = -1;
};
// Raises TAppError naming the query when there is no CONTENT column.
TPoemColumns PoemColumnsOf(const TDbQuery& query);

// The values of the query's current row in `row`: CONTENT and the title,
// author and dynasty columns where present, all read as text and converted
// to GBK; the others are left empty.
void ReadPoemRow(const TDbQuery& query, const TPoemColumns& columns, TPoemRow& row);

// The record `row` becomes when `kept` poems were kept before it: an empty
// title becomes `label` followed by kept + 1, the dynasty is trimmed, the
// title and author are not, and the lines are cut from the content. A record
// whose Lines are empty is not kept.
TPoemRecord PoemFromRow(TPoemRow row, const std::string& label, int kept);

// Kept poems from one progress report of a load to the next.
inline constexpr int kProgressStep = 10;
// Told how many poems are kept so far; it may let the window handle its
// messages, and raise to stop the read.
using TReadProgress = std::function<void(int kept)>;

// The loader's row loop: every row of `query` from the current one to its end
// becomes a record (PoemFromRow, untitled ones named after `label` and their
// number among the kept poems), appended to `poems` when it has lines. After
// each row at which the number kept is a multiple of kProgressStep (0
// included, so a dropped row there reports the same number again),
// `progress`, when set, is told that number. The columns are looked up at
// the first row. Returns the number kept; on an error the poems appended
// before it stay.
int ReadPoems(TDbQuery& query, const std::string& label, std::vector<TPoemRecord>& poems,
              const TReadProgress& progress = {});

// "正在加载诗词数据..." followed by kept, "/" and total.
QString ProgressText(int kept, std::int64_t total);
