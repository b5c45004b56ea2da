#include "shell/mainwindow.h"

#include "framework/core/abort.h"
#include "framework/screens/mdihost.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QStatusBar>

using namespace Qt::Literals::StringLiterals;

namespace kpr::shell {

MainWindow::MainWindow(const QList<MenuEntry> &menu, const QStringList &packageSearchPath, QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(u"frmPrincipal"_s);
    m_area = new QMdiArea(this);
    m_area->setObjectName(u"mdiPrincipal"_s);
    m_area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setCentralWidget(m_area);
    MdiHost::setArea(m_area);
    m_loader.setSearchPath(packageSearchPath);

    buildMenus(menu);
    statusBar()->setObjectName(u"stbPrincipal"_s);
    connect(m_area, &QMdiArea::subWindowActivated, this, [this] { updateTitle(); });
    updateTitle();
    resize(1024, 720);
}

MainWindow::~MainWindow()
{
    // Screens still open (a close that failed, or one refused) go now, while their
    // package's code is still loaded; then the packages unload in reverse order.
    for (QMdiSubWindow *sub : m_area->subWindowList())
        delete sub;
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (MdiHost::area() == m_area)
        MdiHost::setArea(nullptr);
    m_loader.unloadAll();
}

void MainWindow::buildMenus(const QList<MenuEntry> &menu)
{
    QMenu *modules = menuBar()->addMenu(u"&Módulos"_s);
    modules->setObjectName(u"mnuModulos"_s);
    for (const MenuEntry &e : menu) {
        QAction *a = modules->addAction(e.caption);
        a->setObjectName(u"act_"_s + e.procedure);
        a->setData(QStringList{e.package, e.procedure});
        connect(a, &QAction::triggered, this, [this, e] { open(e.package, e.procedure); });
    }
    modules->addSeparator();
    QAction *quit = modules->addAction(u"&Sair"_s);
    quit->setObjectName(u"actSair"_s);
    quit->setShortcut(QKeySequence::Quit);
    connect(quit, &QAction::triggered, this, &QWidget::close);

    QMenu *window = menuBar()->addMenu(u"&Janela"_s);
    window->setObjectName(u"mnuJanela"_s);
    connect(window->addAction(u"&Cascata"_s), &QAction::triggered, m_area, &QMdiArea::cascadeSubWindows);
    connect(window->addAction(u"&Lado a lado"_s), &QAction::triggered, m_area, &QMdiArea::tileSubWindows);
    connect(window->addAction(u"&Fechar todas"_s), &QAction::triggered, m_area, &QMdiArea::closeAllSubWindows);
}

void MainWindow::open(const QString &package, const QString &procedure)
{
    const Status st = m_loader.call(package, procedure);
    if (!st)
        presentError(st.error());
}

void MainWindow::updateTitle()
{
    // As an MDI frame shows it: the application, then the active screen.
    QMdiSubWindow *sub = m_area->activeSubWindow();
    const QString app = u"KPR"_s;
    setWindowTitle(sub ? u"%1 - [%2]"_s.arg(app, sub->windowTitle()) : app);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // Each screen gets its own close (the CFR screen deletes its temporary rows on the
    // server there). A screen whose close fails has shown why; the shell quits anyway and
    // destroys it with its package.
    m_area->closeAllSubWindows();
    event->accept();
}

} // namespace kpr::shell
