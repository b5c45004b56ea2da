#include "framework/widgets/kprapplication.h"

#include "framework/core/abort.h"

#include <QMessageBox>
#include <QPointer>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

void installMessageBoxPresenter()
{
    setErrorPresenter([](const QString &text) {
        QWidget *parent = QApplication::activeModalWidget();
        if (!parent)
            parent = QApplication::activeWindow();
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), text, QMessageBox::Ok, parent);
        box.setObjectName(u"kprErrorBox"_s);
        box.exec();
    });
}

KprApplication::KprApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    installMessageBoxPresenter();
}

bool KprApplication::notify(QObject *receiver, QEvent *event)
{
    bool handled = false;
    runGuarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace kpr
