#pragma once
// The program's fonts: the faces it names, the substitutes it registers for
// them, point sizes as pixels, and the set-up the application object runs
// once at start. A platform's own font fallbacks belong in SetUpFonts().

#include <QFont>
#include <QString>

// The face every run-time text uses; substitutes are registered for it.
inline const QString kKaiFace = QStringLiteral("楷体_GB2312");

// Everything the program does about fonts before its first window: the
// substitutes of the faces it names, then the window font as the
// application's default. Idempotent.
void SetUpFonts();

// Points at 96 dpi to pixels, rounded as MulDiv(pt, 96, 72) does.
int PointsToPixels(int points);
QFont KaiFont(int points, bool bold);
QFont WindowFont();
