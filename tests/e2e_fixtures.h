// What the parts of the end-to-end suite share: the library rows, the
// program directory holding them, and the player's clicks, keys and answers.
#pragma once

#include "support/loader_helpers.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline const char* const kJingYeSiUtf8 = "床前明月光，疑是地上霜。\r\n举头望明月，低头思故乡。";

// Library rows: id, title, author, dynasty, content.
struct TRow {
    int id;
    const char* title;
    const char* author;
    const char* dynasty;
    const char* content;
};

inline const TRow kTang300[] = {
    {1, "静夜思", "李白", "唐", kJingYeSiUtf8},
    {2, "登鹳雀楼", "王之涣", "唐", "白日依山尽，黄河入海流。\r\n欲穷千里目，更上一层楼。"},
    {3, "绝句", "杜甫", "唐", "两个黄鹂鸣翠柳，一行白鹭上青天。\r\n窗含西岭千秋雪，门泊东吴万里船。"},
};

inline const TRow kSchool[] = {
    {1, "春晓", "孟浩然", "唐", "春眠不觉晓，处处闻啼鸟。\r\n夜来风雨声，花落知多少。"},
    {139, "相思", "王维", "唐", "红豆生南国，春来发几枝。\r\n愿君多采撷，此物最相思。"},
    {140, "江雪", "柳宗元", "唐", "千山鸟飞绝，万径人踪灭。\r\n孤舟蓑笠翁，独钓寒江雪。"},
    {269, "鹿柴", "王维", "唐", "空山不见人，但闻人语响。\r\n返景入深林，复照青苔上。"},
    {270, "登鹳雀楼", "王之涣", "唐", "白日依山尽，黄河入海流。\r\n欲穷千里目，更上一层楼。"},
    {342, "绝句", "杜甫", "唐", "两个黄鹂鸣翠柳，一行白鹭上青天。\r\n窗含西岭千秋雪，门泊东吴万里船。"},
    {343, "静夜思", "李白", "唐", kJingYeSiUtf8},
};

template <std::size_t N> TTestTable Table(const char* name, const TRow (&rows)[N])
{
    TTestTable table{
        QString::fromUtf8(name), QStringLiteral("ID INTEGER, TITLE TEXT, AUTHOR TEXT, DYNASTY TEXT, CONTENT TEXT"), {}};
    for (const TRow& row : rows)
        table.Rows.push_back({row.id, QString::fromUtf8(row.title), QString::fromUtf8(row.author),
                              QString::fromUtf8(row.dynasty), QString::fromUtf8(row.content)});
    return table;
}

// A program directory holding the two local tables, the way the build
// writes db21.mdb next to the game.
class TGameDir {
public:
    TGameDir()
    {
        WriteTestDatabase(FDir.File(QStringLiteral("db21.mdb")), {Table("TBZ300", kTang300), Table("TB112", kSchool)});
    }

private:
    TScopedProgramDir FDir;
};

inline std::vector<std::string> Titles(const TfrmMain& frm)
{
    return TitlesOf(frm);
}

inline void ClickLabel(TLabel* label)
{
    QTest::mouseClick(label, Qt::LeftButton, {}, label->rect().center());
}

// A key as the player presses it: to whichever control has the focus.
inline void PressKey(QWidget& window, Qt::Key key)
{
    QWidget* focus = QApplication::focusWidget();
    QTest::keyClick(focus && focus->window() == &window ? focus : &window, key);
}

inline void TypeAnswer(TfrmMain& frm, const QString& text)
{
    frm.edtAnswer->setFocus();
    frm.edtAnswer->setText(text);
    QTest::keyClick(frm.edtAnswer, Qt::Key_Return);
}

inline QString RemoteConnection()
{
    return qEnvironmentVariable("VERSEQUEST_TEST_REMOTE_CONNECTION");
}
