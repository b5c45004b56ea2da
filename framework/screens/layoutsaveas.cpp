#include "framework/screens/layoutsaveas.h"

#include "framework/core/abort.h"
#include "framework/report/layoutfile.h"

#include <QDir>
#include <QSet>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QString nextLayoutNumber(const QString &dir, const QString &code)
{
    QSet<int> used;
    int highest = -1;
    const QFileInfoList files =
        QDir(dir).entryInfoList({code + u"*.QR2"_s}, QDir::Files | QDir::CaseSensitive, QDir::Name);
    for (const QFileInfo &fi : files) {
        const QString number = fi.fileName().mid(code.size(), fi.fileName().size() - code.size() - 4);
        bool ok = false;
        const int n = number.toInt(&ok);
        // Only two-digit numbers take part: "8" or "008" name other files than "08".
        if (!ok || number.size() != 2 || n < 0)
            continue;
        used.insert(n);
        highest = std::max(highest, n);
    }
    auto two = [](int n) { return QString::number(n).rightJustified(2, u'0'); };
    if (highest < 99)
        return two(highest + 1);
    for (int n = 0; n <= 99; ++n)
        if (!used.contains(n))
            return two(n);
    return QString();
}

QString saveLayoutCopy(const QString &sourcePath, const QString &dir, const QString &code, const QString &title)
{
    ReportLayout layout = loadLayoutFile(sourcePath);
    const QString number = nextLayoutNumber(dir, code);
    if (number.isEmpty())
        throw EKprError(
            u"Não há número livre para um novo relatório de código '%1' no diretório '%2'."_s.arg(code, dir));
    layout.title = title;
    QString target = dir;
    if (!target.endsWith(u'/') && !target.endsWith(u'\\'))
        target += u'/';
    target += code + number + u".QR2"_s;
    if (const Status saved = saveLayoutFile(target, layout); !saved)
        throw EKprError(saved.error());
    return number;
}

} // namespace kpr
