#pragma once
// Answers dialogs as they open, so that nothing waits for a person. Used by
// the window suites (the source dialog, message boxes) and by the benchmarks
// that open the main window; Qt Widgets only, header only, no test framework.

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QObject>
#include <QTimer>

#include <functional>
#include <utility>

// While it lives, hands every dialog that shows (message boxes included) to
// `answer`, from the dialog's own event loop once that runs, so that the
// answer closes it as a click would. A dialog gone before then is not handed
// over.
class TDialogAnswerer : public QObject {
public:
    using TAnswer = std::function<void(QDialog* dialog)>;

    explicit TDialogAnswerer(TAnswer answer, QObject* parent = nullptr) : QObject(parent), FAnswer(std::move(answer))
    {
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show)
            if (auto* dialog = qobject_cast<QDialog*>(watched))
                QTimer::singleShot(0, dialog, [answer = FAnswer, dialog] { answer(dialog); });
        return false;
    }

private:
    TAnswer FAnswer;
};
