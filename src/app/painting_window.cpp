// The main window's own painting: the background picture, the frame and the
// corner ornaments.
#include "app/painting.h"
#include "app/palette.h"
#include "app/uMain.h"

#include <QPainter>

// Draws what lies behind the controls: the background picture, the frame and
// the corner ornaments. The window colour is already laid underneath.
// Everything is filled as whole pixels, so the picture does not depend on
// how the paint engine rasterises wide pens, and repainting gives the same
// pixels every time.
void TfrmMain::FormPaint()
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    const int w = width();
    const int h = height();

    if (!FBackground.isNull()) {
        // Stretched to the client area whatever its own size, nearest pixel;
        // any alpha channel is ignored so the picture is always opaque.
        const QRect target(0, 0, w, h);
        if (FBackground.hasAlphaChannel())
            painter.drawImage(target, FBackground.convertToFormat(QImage::Format_RGB32));
        else
            painter.drawImage(target, FBackground);
    }

    const QRect frame = FrameRect(w, h);
    if (frame.isValid()) {
        const QColor color = Rgb(kFrameColor);
        painter.fillRect(QRect(frame.left(), frame.top(), frame.width(), 1), color);
        painter.fillRect(QRect(frame.left(), frame.bottom(), frame.width(), 1), color);
        painter.fillRect(QRect(frame.left(), frame.top(), 1, frame.height()), color);
        painter.fillRect(QRect(frame.right(), frame.top(), 1, frame.height()), color);
    }

    const QColor ornament = Rgb(kPlum);
    for (const QLine& segment : OrnamentSegments(w, h)) {
        const QRect pixels = SegmentPixels(segment, kOrnamentPenWidth);
        if (pixels.isValid())
            painter.fillRect(pixels, ornament);
    }
}
