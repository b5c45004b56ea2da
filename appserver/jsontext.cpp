#include "appserver/jsontext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocale>

#include <charconv>
#include <cmath>
#include <cstring>

namespace kpr::appserver {

void appendJsonString(QByteArray &out, const QString &text)
{
    appendJsonUtf8(out, text.toUtf8());
}

char *writeJsonUtf8(char *out, QByteArrayView utf8)
{
    static const char hex[] = "0123456789abcdef";
    // Most texts need no escape: copy them whole.
    bool plain = true;
    bool checked = false;
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u >= 0x80) {
            // Bytes that are no valid UTF-8 come out as U+FFFD, as through QString: three
            // bytes for one, within the room asked for. The text is checked once, at its
            // first byte past ASCII.
            if (!checked && !QtPrivate::isValidUtf8(utf8))
                return writeJsonUtf8(out, QString::fromUtf8(utf8).toUtf8());
            checked = true;
            continue;
        }
        if (u < 0x20 || c == '"' || c == '\\') {
            plain = false;
            break;
        }
    }
    // An escape met before the check: the rest of the text is checked now.
    if (!plain && !checked && !QtPrivate::isValidUtf8(utf8))
        return writeJsonUtf8(out, QString::fromUtf8(utf8).toUtf8());
    *out++ = '"';
    if (plain) {
        if (!utf8.isEmpty())
            std::memcpy(out, utf8.data(), size_t(utf8.size()));
        out += utf8.size();
        *out++ = '"';
        return out;
    }
    const auto put = [&](char a, char b) {
        *out++ = a;
        *out++ = b;
    };
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"': put('\\', '"'); break;
        case '\\': put('\\', '\\'); break;
        case '\n': put('\\', 'n'); break;
        case '\r': put('\\', 'r'); break;
        case '\t': put('\\', 't'); break;
        case '\b': put('\\', 'b'); break;
        case '\f': put('\\', 'f'); break;
        default:
            if (u < 0x20) {
                put('\\', 'u');
                put('0', '0');
                put(hex[u >> 4], hex[u & 0xf]);
            } else {
                *out++ = c;
            }
        }
    }
    *out++ = '"';
    return out;
}

char *writeJsonNumber(char *out, double value)
{
    // The shortest text that reads back as the same double. Below 1e15 std::to_chars writes
    // exactly what QByteArray::number(value, 'g', shortest) writes, without allocating;
    // beyond it the two differ in the digits after the 17th, so Qt's text is kept there.
    if (std::fabs(value) < 1e15)
        return std::to_chars(out, out + MaxJsonNumber, value).ptr;
    const QByteArray text = QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
    std::memcpy(out, text.constData(), size_t(text.size()));
    return out + text.size();
}

void appendJsonUtf8(QByteArray &out, QByteArrayView utf8)
{
    const qsizetype at = out.size();
    out.resize(at + jsonUtf8Room(utf8));
    out.truncate(writeJsonUtf8(out.data() + at, utf8) - out.constData());
}

void appendJsonNumber(QByteArray &out, double value)
{
    const qsizetype at = out.size();
    out.resize(at + MaxJsonNumber);
    out.truncate(writeJsonNumber(out.data() + at, value) - out.constData());
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
