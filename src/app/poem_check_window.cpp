#include "app/poem_check_window.h"

#include "app/uMain.h"
#include "library/sources.h"

#include <QTextStream>

#include <utility>

namespace {

// Message boxes written to a stream for the length of the check: a box would
// wait for a person who is not there.
class TBoxesToStream {
public:
    explicit TBoxesToStream(QTextStream& err)
        : FPrevious(SetMessageBoxHook([&err](const TMessageBoxCall& call) {
              err << call.Caption << QStringLiteral("：") << call.Text << Qt::endl;
          }))
    {
    }
    ~TBoxesToStream() { SetMessageBoxHook(std::move(FPrevious)); }
    TBoxesToStream(const TBoxesToStream&) = delete;
    TBoxesToStream& operator=(const TBoxesToStream&) = delete;

private:
    TMessageBoxHook FPrevious;
};

}  // namespace

int RunPoemCheck(const QList<int>& sources, QTextStream& out, QTextStream& err)
{
    if (sources.isEmpty())
        return 1;
    TBoxesToStream boxes(err);
    bool allPlayable = true;
    // The constructor loads the first source, as at every start.
    TfrmMain frm(nullptr, sources.front());
    frm.setAttribute(Qt::WA_DontShowOnScreen);
    frm.show();  // FormShow sets up the first puzzle
    for (qsizetype i = 0; i < sources.size(); ++i) {
        // As a switch of source in the game; an error is reported like one
        // escaping a handler there, and the next source is checked.
        if (i > 0)
            RunHandler([&frm, source = sources[i]] { frm.SwitchToSource(source); });
        const QString& label = SourceOf(sources[i]).Label;
        if (frm.FPoemCount > 0 && frm.FTask.TotalChars > 0) {
            out << label << QStringLiteral("：%1 首").arg(frm.FPoemCount) << Qt::endl;
        } else {
            out << label << QStringLiteral("：没有可出题的诗词") << Qt::endl;
            allPlayable = false;
        }
    }
    return allPlayable ? 0 : 1;
}
