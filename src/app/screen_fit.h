#pragma once
// How the main window meets a screen too small for it: the scale at which
// its whole client area and frame fit the work area (the screen less its
// task bars and panels), and where its frame then goes. Widget-free, so that
// the rule is tested without a screen.

#include <QMargins>
#include <QPoint>
#include <QRect>
#include <QSize>

struct TWindowFit {
    double Scale = 1.0;  // device pixels per logical pixel of the client area
    QPoint Position;  // top-left corner of the frame, in the work area's pixels
};

// Scale factors move in these steps, so that the choice is stable for work
// areas a pixel apart.
inline constexpr double kFitScaleStep = 0.01;
// Below this the text would be unreadable; a smaller work area keeps it and
// shows what fits, title bar first.
inline constexpr double kSmallestFitScale = 0.5;

// The window of `client` logical pixels with `frame` (the title bar and
// borders, which the system draws at its own scale, in device pixels) at the
// system's scale `systemScale` when that fits `workArea` (device pixels);
// else at the largest smaller scale that fits. The frame is centred within
// the work area, its top never above the work area's top nor its left beyond
// the work area's left.
TWindowFit FitWindow(const QRect& workArea, const QMargins& frame, double systemScale, const QSize& client);

// Where a window of `outer` size (its frame included) goes in `workArea`:
// centred, its top-left corner never above or left of the area's.
QPoint PlaceWindow(const QRect& workArea, const QSize& outer);
