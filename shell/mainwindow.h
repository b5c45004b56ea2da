#pragma once
// The shell's main window, frmPrincipal: the menu of modules read from the menu file and
// the MDI area in which the packages' screens open as child windows.

#include "shell/menuconfig.h"
#include "shell/packageloader.h"

#include <QMainWindow>

class QMdiArea;

namespace kpr::shell {

class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    MainWindow(const QList<MenuEntry> &menu, const QStringList &packageSearchPath, QWidget *parent = nullptr);
    // Destroys the screens before their packages are unloaded: their code lives there.
    ~MainWindow() override;

    QMdiArea *mdiArea() const { return m_area; }
    PackageLoader &loader() { return m_loader; }

    // Loads the package and calls the procedure; a failure is shown in the error box.
    void open(const QString &package, const QString &procedure);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildMenus(const QList<MenuEntry> &menu);
    void updateTitle();

    QMdiArea *m_area;
    PackageLoader m_loader;
};

} // namespace kpr::shell
