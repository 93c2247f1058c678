// The toolkit under the window: fonts, buttons, bevelled panels, the error
// box of the program entry, and the standard buttons' language.
#include "app/uMain.h"
#include "support/test_support.h"

#include <QFontInfo>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// Guards against wrong pixel sizes for the designed point sizes.
TEST(Toolkit, FontsUsePixelSizesAt96DpiAndAKaiFace)
{
    const std::pair<int, int> sizes[] = {{8, 11}, {10, 13}, {11, 15}, {12, 16}, {16, 21}, {18, 24}, {22, 29}, {28, 37}};
    for (auto [points, pixels] : sizes)
        EXPECT_EQ(PointsToPixels(points), pixels) << points;
    const QFont font = KaiFont(22, true);
    EXPECT_EQ(font.pixelSize(), 29);
    EXPECT_TRUE(font.bold());
    const QString family = QFontInfo(font).family();
    EXPECT_TRUE(family.contains(QStringLiteral("Kai"), Qt::CaseInsensitive)) << family.toStdString();
}

// Guards against a button running its handler twice (label and panel) or
// a disabled one passing clicks.
TEST(Toolkit, ButtonRunsItsHandlerOnceAndNotWhenDisabled)
{
    QWidget host;
    host.resize(200, 100);
    const TButton button = CreateButton(&host, QRect(10, 10, 110, 36), QColor(0xDC, 0xBE, 0xA0),
                                        QStringLiteral("重新开始"), 10, QColor(0x3C, 0x1E, 0x00));
    int clicks = 0;
    QObject::connect(button.Panel, &TPanel::Clicked, &host, [&] { ++clicks; });
    QObject::connect(button.Label, &TLabel::Clicked, &host, [&] { ++clicks; });
    host.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&host));
    QTest::mouseClick(button.Label, Qt::LeftButton, {}, QPoint(55, 18));
    EXPECT_EQ(clicks, 1);
    // A double-click is one click: its second press starts none.
    QTest::mouseDClick(button.Label, Qt::LeftButton, {}, QPoint(55, 18));
    QTest::mouseRelease(button.Label, Qt::LeftButton, {}, QPoint(55, 18));
    EXPECT_EQ(clicks, 1);
    button.Label->lower();  // reach the panel itself, as a click on its bevel does
    QTest::mouseClick(button.Panel, Qt::LeftButton, {}, QPoint(0, 0));
    EXPECT_EQ(clicks, 2);
    button.Label->raise();
    EXPECT_EQ(button.Panel->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(button.Label->cursor().shape(), Qt::PointingHandCursor);  // inherited

    auto textPixels = [&](QRgb rgb) {
        const QImage image = button.Panel->grab().toImage();
        int count = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                count += (image.pixel(x, y) & 0xFFFFFF) == rgb;
        return count;
    };
    EXPECT_GT(textPixels(0x3C1E00), 0);
    button.Panel->setEnabled(false);
    EXPECT_FALSE(button.Label->isEnabled());
    // A disabled button looks disabled: its text turns grey.
    EXPECT_EQ(textPixels(0x3C1E00), 0);
    EXPECT_GT(textPixels(0x808080), 0);
    QTest::mouseClick(button.Label, Qt::LeftButton, {}, QPoint(55, 18));
    QTest::mouseClick(button.Panel, Qt::LeftButton, {}, QPoint(1, 1));
    EXPECT_EQ(clicks, 2);
}

// Guards against bevel edges in the wrong colours or places.
TEST(Toolkit, PanelDrawsClassicBevels)
{
    TPanel panel(nullptr);
    panel.resize(20, 10);
    panel.SetColor(QColor(0xEB, 0xDD, 0xD4));
    panel.SetBevels(TBevel::Raised, TBevel::Lowered, 1, 1);
    const QImage image = panel.grab().toImage();
    EXPECT_EQ(PixelAt(image, 0, 0), 0xFFFFFFu);  // outer raised: light top-left
    EXPECT_EQ(PixelAt(image, 19, 9), 0xA0A0A0u);  // dark bottom-right
    EXPECT_EQ(PixelAt(image, 1, 1), 0xEBDDD4u);  // border in the panel colour
    EXPECT_EQ(PixelAt(image, 2, 2), 0xA0A0A0u);  // inner lowered: dark top-left
    EXPECT_EQ(PixelAt(image, 17, 7), 0xFFFFFFu);  // light bottom-right
    EXPECT_EQ(PixelAt(image, 10, 5), 0xEBDDD4u);  // inside
}

// Guards against an error escaping the program entry after the application
// object is gone, when no box can appear.
TEST(Toolkit, AnErrorEscapingTheEntryShowsTheErrorBox)
{
    std::vector<bool> appAlive;
    std::vector<TMessageBoxCall> calls;
    const TMessageBoxHook previous = SetMessageBoxHook([&](const TMessageBoxCall& call) {
        appAlive.push_back(QApplication::instance() != nullptr);
        calls.push_back(call);
    });
    EXPECT_EQ(RunGuarded([]() -> int { throw TAppError(QStringLiteral("无法启动")); }), 1);
    EXPECT_EQ(RunGuarded([] { return 0; }), 0);
    SetMessageBoxHook(previous);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Text, QStringLiteral("无法启动"));
    EXPECT_EQ(calls[0].Caption, QStringLiteral("Error"));
    EXPECT_EQ(calls[0].Icon, TMsgIcon::Error);
    EXPECT_TRUE(appAlive[0]);
}

// Guards against English buttons on a Chinese desktop: message boxes take
// their standard buttons from Qt's translations.
TEST(Toolkit, StandardButtonsFollowTheSystemLanguage)
{
    ASSERT_TRUE(InstallQtTranslations(QLocale(QLocale::Chinese, QLocale::China)))
        << "Qt's translations are missing (Debian package qt6-translations-l10n)";
    QMessageBox box(QMessageBox::Information, QStringLiteral("提示"), QStringLiteral("x"), QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), QStringLiteral("确定"));
    InstallQtTranslations(QLocale(QLocale::English, QLocale::UnitedStates));
    QMessageBox english(QMessageBox::Information, QStringLiteral("x"), QStringLiteral("x"), QMessageBox::Ok);
    EXPECT_EQ(english.button(QMessageBox::Ok)->text(), QStringLiteral("OK"));
}

}  // namespace
