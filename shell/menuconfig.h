#pragma once
// The shell's menu, read from a text file: one entry a line, "caption|package|procedure",
// with "#" starting a comment line. The entries open screens of loaded packages.

#include "framework/core/result.h"

#include <QList>
#include <QString>

namespace kpr::shell {

struct MenuEntry
{
    QString caption;
    QString package;
    QString procedure;
};

Result<QList<MenuEntry>> parseMenu(const QString &text, const QString &fileName);
Result<QList<MenuEntry>> readMenuFile(const QString &path);

} // namespace kpr::shell
