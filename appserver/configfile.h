#pragma once
// The server's configuration file (--config): the valued options of the command line, one
// "name = value" a line, as a service manager's unit would otherwise have to spell them.

#include "framework/core/result.h"

#include <QStringList>

namespace kpr::appserver {

// The file's settings as command-line arguments ("--name=value"), in file order. Blank lines
// and lines starting with '#' or ';' are skipped, and so is a name with an empty value (a
// template keeps its optional settings empty). Names outside the valued server options, a
// line without '=', a repeated name and an unreadable file are refused, naming file and line.
Result<QStringList> readConfigFile(const QString &path);

} // namespace kpr::appserver
