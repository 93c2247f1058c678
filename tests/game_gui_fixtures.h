// What the two halves of the game's window suite share: poems of our own, a
// window over them whose draws come from a script, and readable QString
// values in failure messages.
#pragma once

#include "app/uMain.h"
#include "support/test_support.h"

#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <vector>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

inline const char* const kQuietNight = "床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。";
inline const char* const kWhiteKing = "朝辞白帝彩云间，千里江陵一日还。\r\n两岸猿声啼不住，轻舟已过万重山。";

inline TPoemRecord Poem(const char* title, const char* author, const char* dynasty, const char* content)
{
    TPoemRecord poem{G(title), G(author), G(dynasty), G(content), {}};
    SplitVerseLines(poem.Content, poem.Lines);
    return poem;
}

inline QString Q(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

inline const QString kSolved = Q("恭喜，猜对了！点击「重新开始」开始下一首！");
inline const QString kWrong = Q("诗词名不正确，请重试！");

// A window over a library of our own whose draws come from a script (0 when
// it runs dry). Show() starts the first puzzle unless `startPuzzle` is false.
struct TGame {
    TScopedProgramDir Dir;
    std::unique_ptr<TfrmMain> Frm;
    std::deque<int> Draws;

    explicit TGame(std::vector<TPoemRecord> poems, std::deque<int> draws = {}) : Draws(std::move(draws))
    {
        {
            TMessageBoxRecorder boxes;  // the empty program directory holds no database
            Frm = std::make_unique<TfrmMain>();
        }
        Frm->setAttribute(Qt::WA_DeleteOnClose, false);
        Frm->FPoemCount = static_cast<std::int32_t>(poems.size());
        Frm->FPoems = std::move(poems);
        Frm->SetRandomDrawForTesting([this](int) {
            if (Draws.empty())
                return 0;
            const int value = Draws.front();
            Draws.pop_front();
            return value;
        });
    }

    TfrmMain& Show(bool startPuzzle = true)
    {
        Frm->FStartPending = startPuzzle;
        ShowAndActivate(*Frm);
        return *Frm;
    }
    void Type(const QString& text, bool enter = false)
    {
        Frm->edtAnswer->setText(text);
        if (enter)
            QTest::keyClick(Frm->edtAnswer, Qt::Key_Return);
        else
            QTest::mouseClick(Frm->lblSubmit, Qt::LeftButton, {}, QPoint(25, 16));
    }
    void Click(TLabel* button) { QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(10, 10)); }
    void ClickLine(int line, int x)
    {
        QTest::mouseClick(Frm->pbLine[static_cast<std::size_t>(line)], Qt::LeftButton, {}, QPoint(x, 20));
    }
    QString Status() const { return Frm->lblStatus->text(); }
    // How many of the answer box and the submit, hint and give-up buttons are enabled.
    int AnswerControlsEnabled() const
    {
        return int(Frm->edtAnswer->isEnabled()) + Frm->pnlSubmit->isEnabled() + Frm->pnlHint->isEnabled() +
               Frm->pnlGiveUp->isEnabled();
    }
};
