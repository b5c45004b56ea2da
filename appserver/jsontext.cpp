#include "appserver/jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <charconv>
#include <cmath>

namespace kpr::appserver {

void appendJsonString(QByteArray &out, const QString &text)
{
    appendJsonUtf8(out, text.toUtf8());
}

void appendJsonUtf8(QByteArray &out, QByteArrayView utf8)
{
    static const char hex[] = "0123456789abcdef";
    // Most texts need no escape: copy them whole.
    bool plain = true;
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            // Bytes that are no valid UTF-8 come out as U+FFFD, as through QString.
            if (!QtPrivate::isValidUtf8(utf8)) {
                appendJsonString(out, QString::fromUtf8(utf8));
                return;
            }
            continue;
        }
        if (u < 0x20 || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    if (plain) {
        out.reserve(out.size() + utf8.size() + 2);
        out += '"';
        out += utf8;
        out += '"';
        return;
    }
    out.reserve(out.size() + utf8.size() + 2);
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        case '\b': out += "\\b"; break;
        case '\f': out += "\\f"; break;
        default:
            if (u < 0x20) {
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    out += '"';
}

void appendJsonNumber(QByteArray &out, double value)
{
    // The shortest text that reads back as the same double. Below 1e15 std::to_chars writes
    // exactly what QByteArray::number(value, 'g', shortest) writes, without allocating;
    // beyond it the two differ in the digits after the 17th, so Qt's text is kept there.
    if (std::fabs(value) < 1e15) {
        char text[32];
        const auto written = std::to_chars(text, text + sizeof text, value);
        out.append(text, written.ptr - text);
        return;
    }
    out += QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

void appendJsonValue(QByteArray &out, const QJsonValue &value)
{
    switch (value.type()) {
    case QJsonValue::Null:
    case QJsonValue::Undefined: out += "null"; break;
    case QJsonValue::Bool: out += value.toBool() ? "true" : "false"; break;
    case QJsonValue::Double: appendJsonNumber(out, value.toDouble()); break;
    case QJsonValue::String: appendJsonString(out, value.toString()); break;
    case QJsonValue::Array: out += QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact); break;
    case QJsonValue::Object: out += QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact); break;
    }
}

Answer Answer::fromJsonText(QByteArray text)
{
    Answer a;
    a.m_text = std::move(text);
    return a;
}

QByteArray Answer::jsonText() const
{
    if (!m_text.isEmpty())
        return m_text;
    QByteArray out;
    appendJsonValue(out, m_value);
    return out;
}

QJsonValue Answer::value() const
{
    if (m_text.isEmpty())
        return m_value;
    // Only tests and traces come here: wrap to read any value, not only containers.
    return QJsonDocument::fromJson('[' + m_text + ']').array().at(0);
}

} // namespace kpr::appserver
