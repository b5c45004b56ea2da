#pragma once
// Where the packages' screens live: the shell registers its MDI area here, and a package
// puts each screen it creates into a child window of that area. Without an area (a test,
// a tool with no shell) screens are shown as windows of their own.

#include <QPointer>

class QMdiArea;
class QMdiSubWindow;
class QWidget;

namespace kpr {

class MdiHost
{
public:
    MdiHost() = delete;

    static void setArea(QMdiArea *area);
    static QMdiArea *area();

    // Shows the screen in front and in its normal state (a minimised screen comes back):
    // on first use inside a QMdiSubWindow of the area, when there is one. A screen of fixed
    // size gets a child window without maximise button that cannot be resized. Answers the
    // window that holds the screen (the sub-window, or the screen itself).
    static QWidget *showScreen(QWidget *screen);
    // The sub-window holding the screen, or nullptr.
    static QMdiSubWindow *subWindowOf(const QWidget *screen);
};

} // namespace kpr
