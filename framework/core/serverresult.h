#pragma once
// The outcome of one call of an application server method, and the check every caller
// runs it through.

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include <memory>

namespace kpr {

// The result of a method: a QJsonValue, or the JSON text of an object as the answer
// carried it. A data packet, the bulk of most answers, stays text so that a table loads
// it straight from its bytes (TClientDataSet::setData); whoever reads it as a QJsonValue
// gets one built from the text on first use, once for all the copies. The text was
// checked for its structure (brackets, strings, UTF-8) when the answer was read; the
// reader of the packet checks the rest, and a text Qt cannot read gives an empty object.
class ServerValue
{
public:
    ServerValue() = default; // null
    ServerValue(QJsonValue value) : m_value(std::move(value)) {}
    ServerValue &operator=(QJsonValue value)
    {
        *this = ServerValue(std::move(value));
        return *this;
    }

    // The text of a JSON object, kept as given (with the room after it the packet reader
    // wants, when the caller left some).
    static ServerValue fromObjectJson(QByteArray json);

    bool hasJson() const { return bool(m_json); }
    const QByteArray &json() const; // the kept text; empty when there is none
    const QJsonValue &value() const;
    operator const QJsonValue &() const { return value(); }

    // The QJsonValue interface callers use, answered without building the value where
    // the kept text is enough.
    QJsonValue::Type type() const { return m_json ? QJsonValue::Object : m_value.type(); }
    bool isNull() const { return type() == QJsonValue::Null; }
    bool isUndefined() const { return type() == QJsonValue::Undefined; }
    bool isBool() const { return type() == QJsonValue::Bool; }
    bool isDouble() const { return type() == QJsonValue::Double; }
    bool isString() const { return type() == QJsonValue::String; }
    bool isArray() const { return type() == QJsonValue::Array; }
    bool isObject() const { return type() == QJsonValue::Object; }
    bool toBool(bool defaultValue = false) const { return value().toBool(defaultValue); }
    int toInt(int defaultValue = 0) const { return value().toInt(defaultValue); }
    qint64 toInteger(qint64 defaultValue = 0) const { return value().toInteger(defaultValue); }
    double toDouble(double defaultValue = 0) const { return value().toDouble(defaultValue); }
    QString toString() const { return value().toString(); }
    QString toString(const QString &defaultValue) const { return value().toString(defaultValue); }
    QJsonArray toArray() const { return value().toArray(); }
    QJsonObject toObject() const { return value().toObject(); }
    QVariant toVariant() const { return value().toVariant(); }
    const QJsonValue operator[](QStringView key) const { return value()[key]; }
    const QJsonValue operator[](QLatin1StringView key) const { return value()[key]; }
    const QJsonValue operator[](qsizetype i) const { return value()[i]; }

    friend bool operator==(const ServerValue &a, const ServerValue &b) { return a.value() == b.value(); }
    friend bool operator==(const ServerValue &a, const QJsonValue &b) { return a.value() == b; }

private:
    struct Kept;
    std::shared_ptr<const Kept> m_json; // set for a kept text
    QJsonValue m_value = QJsonValue(QJsonValue::Null);
};

struct ServerResult
{
    bool ok = false;
    ServerValue data; // the method's result
    QJsonArray refs;  // every argument as the server left it, by position
    QString error;    // the text the user is shown when ok is false

    static ServerResult success(QJsonValue data, QJsonArray refs = {});
    static ServerResult success(ServerValue data, QJsonArray refs);
    static ServerResult failure(QString error);
};

// The data part of a good result. A failed one is shown through MensErro with abort as
// given; when that does not abort, the answer is a null value. code is kept for callers
// that pass one; it does not change the check. A packet kept as text stays text, for
// setData.
ServerValue CheckResultServ(const ServerResult &result, bool abort = true, int code = 0);

} // namespace kpr
