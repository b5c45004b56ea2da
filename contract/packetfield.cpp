#include "contract/packetfield.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::contract {

PacketField textField(const QString &name, int size, bool stored)
{
    return PacketField{name, FieldType::String, size, stored};
}

PacketField floatField(const QString &name)
{
    return PacketField{name, FieldType::Float, 0, true};
}

PacketField dateTimeField(const QString &name)
{
    return PacketField{name, FieldType::DateTime, 0, true};
}

QString typeName(FieldType type)
{
    switch (type) {
    case FieldType::String: return u"string"_s;
    case FieldType::FixedChar: return u"fixedchar"_s;
    case FieldType::Float: return u"float"_s;
    case FieldType::Integer: return u"integer"_s;
    case FieldType::DateTime: return u"datetime"_s;
    case FieldType::Boolean: return u"boolean"_s;
    }
    return u"string"_s;
}

} // namespace kpr::contract
