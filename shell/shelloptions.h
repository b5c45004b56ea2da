#pragma once
// The shell's own command-line options: --menu FILE and --open PACKAGE:PROCEDURE
// (repeatable). --config FILE and --set KEY=VALUE belong to the context values
// (framework/settings) and are only stepped over here.

#include "framework/core/result.h"
#include "shell/packageloader.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace kpr::shell {

struct ShellOptions
{
    QString menuFile;         // empty: the shipped menu
    QList<OpenRequest> opens; // in the order given
    bool help = false;

    // arguments without the program name. Unknown options and missing values are errors.
    static Result<ShellOptions> parse(const QStringList &arguments);
    static QString usage();
};

} // namespace kpr::shell
