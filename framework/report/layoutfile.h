#pragma once
// Reading and writing layout files in the "kpr-layout" JSON format (docs/layout-format.md).
// Every error text is pt-BR, names the file and, where there is one, the part of the layout
// at fault ("faixa 'detail', elemento 3 ('qtServico')"), and is meant for the user as it
// stands.

#include "framework/core/result.h"
#include "framework/report/layout.h"

#include <QByteArray>
#include <QString>

namespace kpr {

// The layout of a file. fileName names the file in error texts.
Result<ReportLayout> parseLayout(const QByteArray &json, const QString &fileName);
Result<ReportLayout> readLayoutFile(const QString &path);
// readLayoutFile, throwing EKprError with the text of a failure.
ReportLayout loadLayoutFile(const QString &path);

// The layout as the format writes it (indented JSON, UTF-8); parseLayout reads it back to
// an equal layout.
QByteArray writeLayout(const ReportLayout &layout);
// Writes through a temporary file and renames it, so that a failed write leaves the old file.
Status saveLayoutFile(const QString &path, const ReportLayout &layout);

// The title a layout file declares, or "" when it has none or cannot be read. Reads the
// title of a kpr-layout document and, for files of the earlier plain format, a "title:" line
// among the first lines.
QString readLayoutTitle(const QString &path);

// The message prefix naming a file: "Layout 'KPR04700.QR2'".
QString layoutErrorPrefix(const QString &fileName);

} // namespace kpr
