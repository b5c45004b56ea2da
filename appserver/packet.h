#pragma once
// The data packets of the wire protocol (docs/appserver-protocol.md): the server builds
// them from query results and reads the one SetCRFSintDados receives. The client side
// has its own in-memory tables; this is only the server's view of the format.

#include "appserver/jsontext.h"
#include "contract/packetfield.h"
#include "framework/core/result.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>

#include <vector>

class QSqlQuery;

namespace kpr::appserver {
class SqliteRow;
}

namespace kpr::appserver {

// The wire's one packet field, shared with the client, and the contract's helpers.
using contract::dateTimeField;
using contract::floatField;
using contract::PacketField;
using contract::textField;

// The JSON of one SQL value for a field of the given type: null for NULL, a string for
// text, a number for numbers, the day number for dates.
QJsonValue jsonFromSql(const QVariant &value, TFieldType type);

// Builds a packet as JSON text, row by row (see jsontext.h for why text).
class PacketBuilder
{
public:
    explicit PacketBuilder(const QList<PacketField> &fields);

    const QList<PacketField> &fields() const { return m_fields; }
    // One row from the current record of q: column i is field i.
    void addRow(const QSqlQuery &q);
    // The same from a row read through the sqlite3 C API, with the same conversions.
    void addRow(const SqliteRow &row);
    // One row of values already in JSON form, one per field.
    void addRow(const QJsonArray &row);
    qsizetype rowCount() const { return m_rowCount; }

    QByteArray toJsonText() const;
    Answer answer() const { return Answer::fromJsonText(toJsonText()); }
    QJsonObject toJson() const; // the text read back, for tests

private:
    void beginRow();

    // A text column's last value and its JSON form: the same text in the next row (a
    // client's name on each of its thousand rows) is copied, not checked and escaped again.
    struct LastText
    {
        QByteArray utf8;
        QByteArray json;
        bool valid = false;
    };

    QList<PacketField> m_fields;
    QByteArray m_rows;
    qsizetype m_rowCount = 0;
    std::vector<LastText> m_lastText;
};

// A packet as received: its fields and its rows, each checked to hold one value per field.
// A type or a flag the server does not know is kept as unknown, not refused.
struct ReceivedPacket
{
    QList<PacketField> fields;
    QJsonArray rows;
    int indexOf(const QString &name) const; // -1 when absent
};

// The error text says what is wrong ("falta a lista \"fields\""), without the method.
Result<ReceivedPacket> readPacket(const QJsonValue &value);

} // namespace kpr::appserver
