#pragma once
// The main window on a screen too small for it even at one device pixel per
// logical pixel. Qt paints widgets at no scale below that, so the window is
// shown through a graphics view that draws it scaled: text and lines are
// drawn at the scale, not stretched as a picture, and the window keeps its
// layout, its events and its focus as it has them unscaled.

#include <QGraphicsView>
#include <QPointer>

class TScaledHost : public QGraphicsView {
public:
    // Takes `form` (a top-level widget without parent, which it shows at
    // `scale`); the host goes when the form is destroyed.
    TScaledHost(QWidget* form, double scale);

protected:
    // A close of the host asks the form, which may put it off.
    void closeEvent(QCloseEvent* event) override;

private:
    QPointer<QWidget> FForm;
};
