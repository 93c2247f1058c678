#include "app/painting.h"

QRect FrameRect(int w, int h)
{
    return QRect(QPoint(4, 4), QPoint(w - 5, h - 5));
}

std::array<QLine, 8> OrnamentSegments(int w, int h)
{
    // Each corner point sits 8 pixels in from the outermost pixel on both
    // sides (the last column is w - 1), with two 20-pixel arms pointing inwards.
    return {{
        {8, 8, 8, 28},  // top left
        {8, 8, 28, 8},
        {w - 9, 8, w - 9, 28},  // top right
        {w - 9, 8, w - 29, 8},
        {8, h - 9, 8, h - 29},  // bottom left
        {8, h - 9, 28, h - 9},
        {w - 9, h - 9, w - 9, h - 29},  // bottom right
        {w - 9, h - 9, w - 29, h - 9},
    }};
}

QRect SegmentPixels(const QLine& segment, int penWidth)
{
    if (penWidth < 1)
        penWidth = 1;
    // Across the line: penWidth pixels, the surplus of an even width on the
    // left or top side (width 2 at x covers x - 1 and x; width 3 covers
    // x - 1 .. x + 1). Along the line: from the first point up to, but not
    // including, the last.
    const int before = penWidth / 2;
    const QPoint a = segment.p1();
    const QPoint b = segment.p2();
    auto along = [](int from, int to, int& low, int& high) {
        if (to > from) {
            low = from;
            high = to - 1;
        } else {
            low = to + 1;
            high = from;
        }
    };
    int low = 0, high = -1;
    if (a.x() == b.x() && a.y() != b.y()) {
        along(a.y(), b.y(), low, high);
        return QRect(QPoint(a.x() - before, low), QPoint(a.x() - before + penWidth - 1, high));
    }
    if (a.y() == b.y() && a.x() != b.x()) {
        along(a.x(), b.x(), low, high);
        return QRect(QPoint(low, a.y() - before), QPoint(high, a.y() - before + penWidth - 1));
    }
    return QRect();  // a point or a slanted line: not part of any ornament
}
