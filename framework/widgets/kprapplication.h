#pragma once
// The shell's application object and the error box every silent-abort boundary shows.

#include <QApplication>

namespace kpr {

// Installs the presenter that shows each error text in a modal critical message box with
// an OK button, parented to the active window (objectName "kprErrorBox").
void installMessageBoxPresenter();

// Every event is delivered behind the handler boundary: an abort is swallowed, any other
// exception is shown in the error box, and nothing reaches Qt's event loop, which is not
// exception-safe. Installs the message-box presenter.
class KprApplication : public QApplication
{
    Q_OBJECT

public:
    KprApplication(int &argc, char **argv);

    bool notify(QObject *receiver, QEvent *event) override;
};

} // namespace kpr
