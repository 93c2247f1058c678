#include "app/screen_fit.h"

#include <algorithm>
#include <cmath>

namespace {

// The outer size in device pixels of `client` at `scale`, with `frame`.
QSize OuterSize(const QSize& client, const QMargins& frame, double scale)
{
    return {static_cast<int>(std::ceil(client.width() * scale - 1e-9)) + frame.left() + frame.right(),
            static_cast<int>(std::ceil(client.height() * scale - 1e-9)) + frame.top() + frame.bottom()};
}

bool Fits(const QRect& workArea, const QSize& outer)
{
    return outer.width() <= workArea.width() && outer.height() <= workArea.height();
}

}  // namespace

TWindowFit FitWindow(const QRect& workArea, const QMargins& frame, double systemScale, const QSize& client)
{
    TWindowFit fit;
    fit.Scale = systemScale;
    if (!Fits(workArea, OuterSize(client, frame, systemScale)) && client.width() > 0 && client.height() > 0) {
        const double room = std::min(double(workArea.width() - frame.left() - frame.right()) / client.width(),
                                     double(workArea.height() - frame.top() - frame.bottom()) / client.height());
        // Whole steps, and never above the system's scale.
        double scale = std::floor(room / kFitScaleStep + 1e-9) * kFitScaleStep;
        while (scale > kSmallestFitScale && !Fits(workArea, OuterSize(client, frame, scale)))
            scale -= kFitScaleStep;
        fit.Scale = std::clamp(scale, std::min(kSmallestFitScale, systemScale), systemScale);
    }
    fit.Position = PlaceWindow(workArea, OuterSize(client, frame, fit.Scale));
    return fit;
}

QPoint PlaceWindow(const QRect& workArea, const QSize& outer)
{
    return {workArea.x() + std::max(0, (workArea.width() - outer.width()) / 2),
            workArea.y() + std::max(0, (workArea.height() - outer.height()) / 2)};
}
