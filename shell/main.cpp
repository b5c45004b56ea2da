// kpr-shell: the host shell. Reads the context values and the menu, opens the shared
// database connection and shows the main window whose menu opens the packages' screens.
#include "framework/core/abort.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/settings/context.h"
#include "framework/settings/installpaths.h"
#include "framework/widgets/kprapplication.h"
#include "shell/mainwindow.h"
#include "shell/menuconfig.h"
#include "shell/shelloptions.h"

#include <QDir>
#include <QFileInfo>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::shell;

namespace {

int fail(const QString &text, int code = 2)
{
    QTextStream(stderr) << u"kpr-shell: "_s << text << Qt::endl;
    return code;
}

// The shipped menu: the installed one, else beside the executable, else the one in the
// source tree.
QString defaultMenuFile()
{
    if (const QString installed = installedDataDir(); !installed.isEmpty())
        return installed + u"/menu.conf"_s;
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(u"menu.conf"_s);
    if (QFileInfo::exists(beside))
        return beside;
    return QString::fromUtf8(KPR_MENU_FILE);
}

QStringList packageSearchPath()
{
    if (const QString installed = installedPackageDir(); !installed.isEmpty())
        return {installed};
    return {QDir(QCoreApplication::applicationDirPath()).filePath(u"../packages"_s),
            QString::fromUtf8(KPR_PACKAGE_DIR)};
}

} // namespace

int main(int argc, char *argv[])
{
    KprApplication app(argc, argv);
    QApplication::setApplicationName(u"kpr-shell"_s);
    QApplication::setApplicationDisplayName(u"KPR"_s);
    QApplication::setOrganizationName(u"KPR"_s);

    const QStringList arguments = app.arguments().mid(1);
    Result<ShellOptions> options = ShellOptions::parse(arguments);
    if (!options)
        return fail(options.error() + u"\n"_s + ShellOptions::usage());
    if (options->help) {
        QTextStream(stdout) << ShellOptions::usage();
        return 0;
    }
    if (const Status st = configureContext(arguments); !st)
        return fail(st.error());

    const QString menuFile = options->menuFile.isEmpty() ? defaultMenuFile() : options->menuFile;
    Result<QList<MenuEntry>> menu = readMenuFile(menuFile);
    if (!menu)
        return fail(menu.error());

    // The look-up queries of every package run on this connection. A database that cannot
    // be opened is reported; the screens report it again when they need it.
    const Status db = dtmDBGeral::open();

    int rc = 0;
    {
        MainWindow window(menu.value(), packageSearchPath());
        window.show();
        if (!db) {
            fail(db.error(), 0);
            window.statusBar()->showMessage(db.error());
        }
        const QList<OpenRequest> opens = options->opens;
        QTimer::singleShot(0, &window, [&window, opens] {
            for (const OpenRequest &o : opens)
                window.open(o.package, o.procedure);
        });
        rc = QApplication::exec();
    }
    dtmDBGeral::close();
    return rc;
}
