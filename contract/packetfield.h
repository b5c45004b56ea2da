#pragma once
// One field of a data packet as the wire carries it (docs/appserver-protocol.md): name,
// type, size of a text, and whether it is flagged for storing (["pfInUpdate","pfInWhere"])
// or not ([]).

#include <QList>
#include <QString>

#include <optional>

namespace kpr::contract {

enum class FieldType { String, FixedChar, Float, Integer, DateTime, Boolean };

struct PacketField
{
    QString name;
    FieldType type = FieldType::String;
    int size = 0;       // characters, for String and FixedChar
    bool stored = true; // flags ["pfInUpdate","pfInWhere"]; false: flags []

    friend bool operator==(const PacketField &, const PacketField &) = default;
};

PacketField textField(const QString &name, int size, bool stored = true);
PacketField floatField(const QString &name);
PacketField dateTimeField(const QString &name);

// "string", "fixedchar", "float", "integer", "datetime", "boolean".
QString typeName(FieldType type);

} // namespace kpr::contract
