#pragma once
// JSON written straight as text. Qt's QJsonValue copies a nested array or object into its
// parent on every insert, so a packet built as QJsonArray rows is copied three times
// before it is sent; the hot methods write their packets as text once instead.

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonValue>
#include <QString>

namespace kpr::appserver {

void appendJsonString(QByteArray &out, const QString &text);
// A string already in UTF-8.
void appendJsonUtf8(QByteArray &out, QByteArrayView utf8);
void appendJsonNumber(QByteArray &out, double value);

// The same written at a pointer with room enough, for a writer that makes room for many
// values at once; each answers the end of what it wrote. A text needs jsonUtf8Room bytes
// (every byte escaped as \u00XX at worst), a number at most MaxJsonNumber.
constexpr qsizetype MaxJsonNumber = 32;
constexpr qsizetype jsonUtf8Room(QByteArrayView utf8)
{
    return 6 * utf8.size() + 2;
}
char *writeJsonUtf8(char *out, QByteArrayView utf8);
char *writeJsonNumber(char *out, double value);
// Any value; arrays and objects go through QJsonDocument.
void appendJsonValue(QByteArray &out, const QJsonValue &value);

// A method's answer: a JSON value, or the text of one already written (packets).
class Answer
{
public:
    Answer(QJsonValue value) : m_value(std::move(value)) {}
    static Answer fromJsonText(QByteArray text);

    QByteArray jsonText() const;
    QJsonValue value() const; // reads the text back when the answer was written as text

private:
    Answer() = default;
    QJsonValue m_value;
    QByteArray m_text;
};

} // namespace kpr::appserver
