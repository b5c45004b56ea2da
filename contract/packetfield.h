#pragma once
// The packet fields of the contract's lists: the wire's one field type (name, type, size of
// a text, provider flags), and the three kinds the module's packets use.

#include "framework/data/packetfield.h"

#include <QList>

namespace kpr::contract {

using kpr::PacketField;

// A text of size characters; stored false travels with empty flags (the far side does not
// store it).
PacketField textField(const QString &name, int size, bool stored = true);
PacketField floatField(const QString &name);
PacketField dateTimeField(const QString &name);

} // namespace kpr::contract
