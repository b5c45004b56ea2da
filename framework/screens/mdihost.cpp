#include "framework/screens/mdihost.h"

#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>

namespace kpr {

namespace {
QPointer<QMdiArea> &theArea()
{
    static QPointer<QMdiArea> area;
    return area;
}
} // namespace

void MdiHost::setArea(QMdiArea *area)
{
    theArea() = area;
}

QMdiArea *MdiHost::area()
{
    return theArea().data();
}

QMdiSubWindow *MdiHost::subWindowOf(const QWidget *screen)
{
    return screen ? qobject_cast<QMdiSubWindow *>(screen->parentWidget()) : nullptr;
}

QWidget *MdiHost::showScreen(QWidget *screen)
{
    if (!screen)
        return nullptr;
    QMdiSubWindow *sub = subWindowOf(screen);
    if (!sub && area()) {
        const bool fixed = screen->minimumSize() == screen->maximumSize();
        Qt::WindowFlags flags = Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                                | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
        if (!fixed)
            flags |= Qt::WindowMaximizeButtonHint;
        sub = area()->addSubWindow(screen, flags);
        sub->setWindowTitle(screen->windowTitle());
        sub->setWindowIcon(screen->windowIcon());
        if (fixed && sub->layout())
            sub->layout()->setSizeConstraint(QLayout::SetFixedSize);
    }
    if (sub) {
        sub->showNormal();
        sub->raise();
        if (QMdiArea *a = sub->mdiArea())
            a->setActiveSubWindow(sub);
        return sub;
    }
    screen->setWindowState((screen->windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized)) | Qt::WindowActive);
    screen->show();
    screen->raise();
    screen->activateWindow();
    return screen;
}

} // namespace kpr
