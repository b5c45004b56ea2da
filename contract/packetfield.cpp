#include "contract/packetfield.h"

namespace kpr::contract {

PacketField textField(const QString &name, int size, bool stored)
{
    PacketField f{name, ftString, size};
    if (!stored)
        f.flags = {};
    return f;
}

PacketField floatField(const QString &name)
{
    return PacketField{name, ftFloat, 0};
}

PacketField dateTimeField(const QString &name)
{
    return PacketField{name, ftDateTime, 0};
}

} // namespace kpr::contract
