#pragma once
// Editing a layout as its JSON document: a value found by its path of keys and indexes
// ("bands", "detail", "elements", "3"), set or removed in place. The layout editor edits the
// document the file format writes, so every key of the format is editable the same way and
// the format's reader validates the result.

#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace kpr {

using JsonPath = QStringList;

QJsonValue jsonAt(const QJsonObject &root, const JsonPath &path);
// Sets the value at path; parents that are missing are created as objects. An undefined
// value removes the key (or the array entry).
void setJsonAt(QJsonObject &root, const JsonPath &path, const QJsonValue &value);

// A property value as the editor's text shows it: numbers in the shortest form, booleans
// "sim"/"não", a list of lines joined by line breaks; undefined → "". Kinds with a text of
// their own: "list" (names joined by "; "), "filters" ("CAMPO inList P_PARAM; ...") and
// "sort" ("CAMPO; CAMPO desc").
QString jsonToText(const QJsonValue &value, const QString &kind = QStringLiteral("text"));
// The text typed for a property back as the value of its kind: "number" (a decimal comma
// is accepted), "bool" (sim/não, true/false, 1/0), "list", "filters", "sort" or "text". An
// empty text is undefined (the key is removed); a text that is not of its kind stays text,
// so the format's reader names the fault.
QJsonValue textToJson(const QString &text, const QString &kind);

} // namespace kpr
