#pragma once
// Helpers of the window suites: message boxes recorded instead of shown, a
// program directory of their own, the source dialog answered, pixels and
// shown windows.

#include "app/application_window.h"
#include "support/rules_support.h"

#include <QImage>
#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <vector>

// Records every message box while it lives; restores the previous hook after.
class TMessageBoxRecorder {
public:
    TMessageBoxRecorder();
    ~TMessageBoxRecorder();
    TMessageBoxRecorder(const TMessageBoxRecorder&) = delete;
    TMessageBoxRecorder& operator=(const TMessageBoxRecorder&) = delete;

    const std::vector<TMessageBoxCall>& Calls() const { return FCalls; }
    void Clear() { FCalls.clear(); }

private:
    std::vector<TMessageBoxCall> FCalls;
    TMessageBoxHook FPrevious;
};

// A fresh, empty program directory for the duration of a test; files the
// program reads from its directory (database, icon, background) go here.
class TScopedProgramDir {
public:
    // The program directory is a fresh folder, or `folder` (a name of any
    // script) inside it.
    explicit TScopedProgramDir(const QString& folder = QString());
    ~TScopedProgramDir();

    QString Path() const { return FDir.path() + QLatin1Char('/') + FFolder; }
    QString File(const QString& name) const { return Path() + name; }

private:
    QTemporaryDir FDir;  // not copyable, so neither is the scope
    QString FFolder;  // empty, or the folder's name with a trailing '/'
};

// The source dialog that every TfrmMain opens: GUI suites answer it
// automatically so that nothing waits for a person. By default it is
// accepted with its preset; a test queues other answers, taken in order.
class QDialog;
using TRangeDialogAnswer = std::function<void(QDialog* dialog)>;
void QueueRangeDialogAnswer(TRangeDialogAnswer answer);
// Answers that pick source `index` and press OK, or press Cancel.
TRangeDialogAnswer ChooseSource(int index);
TRangeDialogAnswer CancelDialog();
// How many source dialogs have been shown, and the preset each one showed.
int RangeDialogsShown();
std::vector<int> RangeDialogPresets();
void InstallRangeDialogAnswerer();

// The colour of a pixel of a grabbed image, without its alpha.
QRgb PixelAt(const QImage& image, int x, int y);

// Shows `window`, makes it the active one and waits until it is exposed.
void ShowAndActivate(QWidget& window);
