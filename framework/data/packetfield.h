#pragma once
// One field of a data packet as the wire carries it (docs/appserver-protocol.md): name,
// type, size of a text and provider flags. The one field type of both ends: the server
// builds and reads packets with it, the client's tables are loaded from it. Qt Core only,
// header only, so the server needs nothing else of the client's data layer.

#include <QFlags>
#include <QString>
#include <QStringView>

#include <optional>
#include <utility>

namespace kpr {

enum TFieldType {
    ftUnknown,
    ftString,    // text cut to Size characters when stored (Size 0: no limit)
    ftFixedChar, // stored like ftString; travels as "fixedchar" so the far side knows CHAR(n)
    ftFloat,
    ftInteger,
    ftDateTime, // a host day number with the time of day as its fraction
    ftBoolean,
};

enum TProviderFlag {
    pfInUpdate = 0x1,
    pfInWhere = 0x2,
    pfInKey = 0x4,
    pfHidden = 0x8,
};
Q_DECLARE_FLAGS(TProviderFlags, TProviderFlag)
Q_DECLARE_OPERATORS_FOR_FLAGS(TProviderFlags)

inline bool isTextType(TFieldType type)
{
    return type == ftString || type == ftFixedChar;
}

struct PacketField
{
    QString name;
    TFieldType type = ftString;
    int size = 0; // characters, for text types
    // ["pfInUpdate", "pfInWhere"] marks a field the far side stores; [] one it does not.
    TProviderFlags flags = TProviderFlags(pfInUpdate) | pfInWhere;

    bool stored() const { return flags.testFlag(pfInUpdate); }
    friend bool operator==(const PacketField &, const PacketField &) = default;
};

// "string", "fixedchar", "float", "integer", "datetime", "boolean".
inline QString packetTypeName(TFieldType type)
{
    switch (type) {
    case ftFixedChar: return QStringLiteral("fixedchar");
    case ftFloat: return QStringLiteral("float");
    case ftInteger: return QStringLiteral("integer");
    case ftDateTime: return QStringLiteral("datetime");
    case ftBoolean: return QStringLiteral("boolean");
    case ftString:
    case ftUnknown: break;
    }
    return QStringLiteral("string");
}

// The type of a wire name; nullopt for a name that is none.
inline std::optional<TFieldType> packetFieldType(const QString &name)
{
    static const std::pair<const char16_t *, TFieldType> types[] = {
        {u"string", ftString},   {u"fixedchar", ftFixedChar}, {u"float", ftFloat},
        {u"integer", ftInteger}, {u"datetime", ftDateTime},   {u"boolean", ftBoolean}};
    for (const auto &[n, t] : types)
        if (name == QStringView(n))
            return t;
    return std::nullopt;
}

} // namespace kpr
