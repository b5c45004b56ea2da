#pragma once
// An application server's answer to one call, read from its bytes.

#include "framework/core/serverresult.h"

#include <QByteArray>
#include <QString>

namespace kpr {

// The reply to one call read as the protocol defines it: a success or the server's
// text, or a failure naming what is wrong with the reply. Used by the transport, and
// testable without a network.
ServerResult parseRpcAnswer(const QByteArray &body, int argCount, const QString &where, const QString &method);

} // namespace kpr
