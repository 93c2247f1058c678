#pragma once
// What screen readers learn from the window, through Qt's accessibility
// interface (AT-SPI on Linux, UI Automation on Windows): each button panel
// is one push button named by its caption, each verse line a text of what
// it shows with one child per character, the status line a notification
// spoken as each message appears. Nothing here changes what the window draws or how it takes
// keys and clicks.

class QObject;
class QString;
class TLabel;
class TPaintBox;

// Installs the interfaces of the game's controls; call once the application
// object exists (again is harmless).
void InstallAccessibility();

// Tells screen readers that the name of `object` changed (a button caption).
void NotifyAccessibleNameChanged(QObject* object);

// Tells screen readers what changed on a verse line box since they last
// heard of it: the characters uncovered, or a whole new line.
void NotifyLineChanged(TPaintBox* box);

// Shows `text` in the status line. Screen readers speak every message
// whatever has the focus, also one that repeats the text already shown (a
// second wrong answer).
void ShowStatusText(TLabel* label, const QString& text);
