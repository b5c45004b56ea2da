#pragma once
// Drives the next modal window from a timer, so that a test never leaves one open: fn gets
// the window once it shows; a window fn leaves open is closed two seconds later, and the
// watch gives up after five seconds when no window came.

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

inline void whenModal(std::function<void(QWidget *)> fn)
{
    auto *timer = new QTimer;
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [timer, clock, fn] {
        QWidget *w = QApplication::activeModalWidget();
        if (!w && clock->elapsed() < 5000)
            return;
        timer->stop();
        timer->deleteLater();
        if (!w)
            return;
        QPointer<QWidget> guard(w);
        QTimer::singleShot(2000, [guard] {
            if (!guard || !guard->isVisible())
                return;
            if (auto *d = qobject_cast<QDialog *>(guard.data()))
                d->reject();
            else
                guard->close();
        });
        fn(w);
    });
    timer->start(20);
}
