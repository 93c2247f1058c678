// The painting behind the main window's controls: the frame, its ornaments,
// panels and bevels, the background picture and the shown poem panel, by the
// pixels of the grabbed window.
#include "layout_fixtures.h"

#include <QImage>

#include <gtest/gtest.h>

namespace {

// The border strips, the frame's corner ornaments and the plain background of the window at rest.
const TProbe kFrameProbes[] = {
    {400, 4, kStrip},
    {400, 710, kStrip},
    // Corner points, arm ends, the pixels past them and beside them.
    {8, 8, kOrnament},
    {791, 8, kOrnament},
    {8, 706, kOrnament},
    {791, 706, kOrnament},
    {7, 8, kOrnament},
    {8, 7, kOrnament},
    {790, 8, kOrnament},
    {791, 705, kOrnament},
    {8, 27, kOrnament},
    {27, 8, kOrnament},
    {791, 27, kOrnament},
    {772, 8, kOrnament},
    {8, 687, kOrnament},
    {27, 706, kOrnament},
    {791, 687, kOrnament},
    {772, 706, kOrnament},
    {7, 27, kOrnament},
    {27, 7, kOrnament},
    {790, 687, kOrnament},
    {772, 705, kOrnament},
    {8, 28, kPaperRgb},
    {28, 8, kPaperRgb},
    {791, 28, kPaperRgb},
    {771, 8, kPaperRgb},
    {8, 686, kPaperRgb},
    {28, 706, kPaperRgb},
    {791, 686, kPaperRgb},
    {771, 706, kPaperRgb},
    {6, 20, kPaperRgb},
    {9, 20, kPaperRgb},
    {20, 6, kPaperRgb},
    {20, 9, kPaperRgb},
    {789, 20, kPaperRgb},
    {792, 20, kPaperRgb},
    {20, 704, kPaperRgb},
    {20, 707, kPaperRgb},
    {7, 7, kPaperRgb},
    {3, 300, kPaperRgb},
    {5, 300, kPaperRgb},
    {794, 300, kPaperRgb},
    {796, 300, kPaperRgb},
    // The plain background in the gaps and in the right column.
    {12, 300, kPaperRgb},
    {535, 300, kPaperRgb},
    {545, 300, kPaperRgb},
    {700, 400, kPaperRgb},
    {400, 98, kPaperRgb},
    {400, 387, kPaperRgb},
    {25, 370, kPaperRgb},
    {400, 612, kPaperRgb},
    {400, 690, kPaperRgb},
};

// Panels and their bevels at rest.
const TProbe kPanelProbes[] = {
    {20, 10, kPaperRgb},  {529, 94, kPaperRgb}, {25, 553, kPaperRgb}, {25, 620, kPaperRgb}, {20, 102, kLight},
    {529, 150, kDark},    {21, 103, 0xEBDDD4},  {22, 104, kDark},     {30, 162, 0xEBDDD4},  {40, 213, kPaperRgb},
    {20, 390, kLight},    {529, 541, kDark},    {21, 391, 0xE8F0F5},  {22, 392, 0xE8F0F5},  {23, 393, kDark},
    {526, 538, kLight},   {100, 500, 0xE8F0F5}, {360, 570, kDark},    {361, 571, kLight},   {409, 601, kLight},
    {408, 600, kDark},    {363, 574, 0xDCBEA0}, {421, 574, 0xF0D8C0}, {479, 574, 0xDCBEA0}, {98, 624, kDark},
    {101, 627, 0xDCBEA0}, {220, 624, kDark},    {223, 627, 0xDCBEA0}, {547, 12, kDark},     {549, 14, 0xDCBEA0},
};

// Guards against a frame or ornament drawn in the wrong place, width or
// colour, or painted over by the background; against panels, bevels and a
// hidden side panel showing the wrong colours; and against painting that
// changes with repetition.
TEST(Painting, FrameAndOrnamentsOverThePlainBackground)
{
    TWindow w;
    TfrmMain& f = w.Show();
    const QImage shot = w.Shot();
    ASSERT_EQ(shot.size(), QSize(800, 715));

    // The frame's sides show between the border strips; its top and bottom
    // edges lie under them.
    for (int y = 6; y <= 708; ++y) {
        ASSERT_EQ(PixelAt(shot, 4, y), kFrame) << y;
        ASSERT_EQ(PixelAt(shot, 795, y), kFrame) << y;
    }
    ExpectPixels(shot, kFrameProbes);
    ExpectPixels(shot, kPanelProbes);

    // Painting again gives the same picture.
    f.repaint();
    f.update();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Shot(), shot);

    // The window's own painting alone: the frame's top and bottom rows are
    // drawn too, and its inside is not filled.
    QImage own(800, 715, QImage::Format_RGB32);
    own.fill(Qt::black);
    f.render(&own, QPoint(), QRegion(), QWidget::DrawWindowBackground);
    for (int x : {4, 300, 795})
        ExpectPixels(own, {{x, 4, kFrame}, {x, 710, kFrame}, {x, 3, kPaperRgb}, {x, 711, kPaperRgb}});
    ExpectPixels(own, {{400, 5, kPaperRgb}, {400, 300, kPaperRgb}});
}

// Guards against a background of another size drawn unscaled, tiled, offset
// or smoothed instead of stretched over the whole client area, and against a
// picture's alpha or an empty picture hiding the window colour wrongly.
TEST(Painting, BackgroundPictureIsStretchedToTheClientArea)
{
    // 10 x 5 cells of two colours: each cell becomes 80 x 143 pixels.
    QImage picture(10, 5, QImage::Format_RGB32);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 10; ++x)
            picture.setPixel(x, y, (x + y) % 2 ? 0xFF2040C0 : 0xFFE0D020);
    TWindow w(picture);
    w.Show();
    const QImage shot = w.Shot();
    // Points around cell edges where no control covers the painting.
    const QPoint points[] = {{0, 6},     {1, 142},   {1, 143},   {12, 285},  {12, 286},  {2, 708},
                             {535, 428}, {535, 429}, {639, 100}, {640, 100}, {719, 572}, {720, 572},
                             {719, 571}, {799, 6},   {799, 708}, {560, 142}, {560, 143}, {700, 690},
                             {400, 99},  {400, 387}, {100, 612}, {300, 693}};
    for (const QPoint& p : points)
        EXPECT_EQ(PixelAt(shot, p.x(), p.y()), picture.pixel(p.x() / 80, p.y() / 143) & 0xFFFFFF)
            << p.x() << "," << p.y();
    ExpectPixels(shot, {{4, 300, kFrame}, {791, 706, kOrnament}});  // over the picture

    QImage seeThrough(3, 3, QImage::Format_ARGB32);
    seeThrough.fill(qRgba(0x20, 0x40, 0xC0, 0));
    const std::pair<QImage, QRgb> cases[] = {{seeThrough, 0x2040C0}, {QImage(), 0x7DDDEF}};
    for (const auto& [background, color] : cases) {
        SCOPED_TRACE(background.isNull() ? "empty" : "transparent");
        w.Frm->FBackground = background;
        w.Frm->repaint();
        ExpectPixels(w.Shot(), {{700, 400, color}, {12, 300, color}, {4, 300, kFrame}, {8, 8, kOrnament}});
    }
}

// Guards against the poem panel's colours, divider or 2-pixel rule missing
// once the panel is shown.
TEST(Painting, ShownPoemPanelDrawsDividerAndRule)
{
    TWindow w;
    TfrmMain& f = w.Show();
    f.SetPoemPanelVisible(true);
    QCoreApplication::processEvents();
    ExpectPixels(w.Shot(), {
                               {545, 300, kOrnament},
                               {546, 300, kOrnament},
                               {544, 300, kPaperRgb},
                               {547, 300, kPaperRgb},
                               {558, 10, 0xEBF0F2},
                               {789, 669, 0xEBF0F2},
                               {700, 400, 0xEBF0F2},
                               {600, 600, 0xEBF0F2},
                               {578, 102, kOrnament},
                               {769, 103, kOrnament},
                               {577, 102, 0xEBF0F2},
                               {770, 102, 0xEBF0F2},
                               {600, 101, 0xEBF0F2},
                               {600, 104, 0xEBF0F2},
                               {795, 300, kFrame},
                               {570, 40, kLight},
                           });
    // The text label lies wholly inside the scroll box's content.
    EXPECT_GE(f.sbPoem->Content()->width(), f.lblPoemText->geometry().right() + 1);
}

}  // namespace
