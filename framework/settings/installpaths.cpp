#include "framework/settings/installpaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#if !defined(KPR_BIN_TO_DATA) || !defined(KPR_BIN_TO_PACKAGES)
#error "KPR_BIN_TO_DATA and KPR_BIN_TO_PACKAGES must give the install tree's relative paths"
#endif

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

QString besideExecutable(const char *relative)
{
    if (!QCoreApplication::instance())
        return {};
    const QString path = QDir::cleanPath(QCoreApplication::applicationDirPath() + u'/' + QString::fromUtf8(relative));
    return QFileInfo(path).isDir() ? path : QString();
}

} // namespace

QString installedDataDir()
{
    return besideExecutable(KPR_BIN_TO_DATA);
}

QString installedPackageDir()
{
    return besideExecutable(KPR_BIN_TO_PACKAGES);
}

} // namespace kpr
