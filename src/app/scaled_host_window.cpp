#include "app/scaled_host_window.h"

#include <QCloseEvent>
#include <QGraphicsProxyWidget>
#include <QGraphicsScene>

#include <cmath>

TScaledHost::TScaledHost(QWidget* form, double scale) : FForm(form)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(form->windowFlags());
    setWindowTitle(form->windowTitle());
    setWindowIcon(form->windowIcon());
    connect(form, &QWidget::windowTitleChanged, this, &QWidget::setWindowTitle);
    connect(form, &QWidget::windowIconChanged, this, &QWidget::setWindowIcon);

    auto* scene = new QGraphicsScene(this);
    QGraphicsProxyWidget* proxy = scene->addWidget(form);
    scene->setSceneRect(proxy->boundingRect());
    setScene(scene);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setRenderHints(QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    setTransform(QTransform::fromScale(scale, scale));
    setFixedSize(static_cast<int>(std::ceil(form->width() * scale)),
                 static_cast<int>(std::ceil(form->height() * scale)));
    // The form frees itself when it closes (and so ends the program); so does its host.
    connect(form, &QObject::destroyed, this, [this] {
        if (isVisible())
            close();
        else
            deleteLater();
    });
}

void TScaledHost::closeEvent(QCloseEvent* event)
{
    if (FForm && !FForm->close()) {
        event->ignore();  // put off: the form closes, and takes its host, when it can
        return;
    }
    event->accept();
}
