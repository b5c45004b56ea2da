#include "framework/reportdesigner/layoutjson.h"

#include <QJsonArray>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

QJsonValue child(const QJsonValue &v, const QString &key)
{
    if (v.isArray()) {
        bool ok = false;
        const int i = key.toInt(&ok);
        return ok ? v.toArray().at(i) : QJsonValue(QJsonValue::Undefined);
    }
    return v.toObject().value(key);
}

QJsonValue withChild(const QJsonValue &parent, const JsonPath &path, int at, const QJsonValue &value)
{
    const QString &key = path.at(at);
    const bool last = at == path.size() - 1;
    if (parent.isArray()) {
        QJsonArray a = parent.toArray();
        bool ok = false;
        const int i = key.toInt(&ok);
        if (!ok || i < 0)
            return parent;
        const QJsonValue v = last ? value : withChild(i < a.size() ? a.at(i) : QJsonValue(), path, at + 1, value);
        if (v.isUndefined()) {
            if (i < a.size())
                a.removeAt(i);
        } else if (i < a.size()) {
            a[i] = v;
        } else {
            a.append(v);
        }
        return a;
    }
    QJsonObject o = parent.toObject();
    const QJsonValue v = last ? value : withChild(o.value(key), path, at + 1, value);
    if (v.isUndefined())
        o.remove(key);
    else
        o.insert(key, v);
    return o;
}

} // namespace

QJsonValue jsonAt(const QJsonObject &root, const JsonPath &path)
{
    QJsonValue v = root;
    for (const QString &key : path)
        v = child(v, key);
    return v;
}

void setJsonAt(QJsonObject &root, const JsonPath &path, const QJsonValue &value)
{
    if (path.isEmpty())
        return;
    root = withChild(root, path, 0, value).toObject();
}

QString jsonToText(const QJsonValue &value, const QString &kind)
{
    if (value.isArray() && (kind == u"list"_s || kind == u"filters"_s || kind == u"sort"_s)) {
        QStringList parts;
        for (const QJsonValue &v : value.toArray()) {
            const QJsonObject o = v.toObject();
            if (kind == u"filters"_s)
                parts << u"%1 %2 %3"_s.arg(o.value(u"field"_s).toString(), o.value(u"op"_s).toString(u"equals"_s),
                                           o.value(u"param"_s).toString());
            else if (v.isObject())
                parts << (o.value(u"descending"_s).toBool() ? o.value(u"field"_s).toString() + u" desc"_s
                                                            : o.value(u"field"_s).toString());
            else
                parts << v.toString();
        }
        return parts.join(u"; "_s);
    }
    switch (value.type()) {
    case QJsonValue::Bool: return value.toBool() ? u"sim"_s : u"não"_s;
    case QJsonValue::Double: return QString::number(value.toDouble(), 'g', 12);
    case QJsonValue::String: return value.toString();
    case QJsonValue::Array: {
        QStringList lines;
        for (const QJsonValue &v : value.toArray())
            lines << v.toString();
        return lines.join(u'\n');
    }
    default: return QString();
    }
}

QJsonValue textToJson(const QString &text, const QString &kind)
{
    const QString t = text.trimmed();
    if (t.isEmpty())
        return QJsonValue(QJsonValue::Undefined);
    if (kind == u"number"_s) {
        bool ok = false;
        const double d = QString(t).replace(u',', u'.').toDouble(&ok);
        return ok ? QJsonValue(d) : QJsonValue(t);
    }
    if (kind == u"bool"_s) {
        const QString l = t.toLower();
        if (l == u"sim"_s || l == u"true"_s || l == u"1"_s)
            return true;
        if (l == u"não"_s || l == u"nao"_s || l == u"false"_s || l == u"0"_s)
            return false;
        return t;
    }
    if (kind == u"list"_s || kind == u"filters"_s || kind == u"sort"_s) {
        QJsonArray out;
        for (const QString &part : t.split(u';', Qt::SkipEmptyParts)) {
            const QStringList words = part.simplified().split(u' ', Qt::SkipEmptyParts);
            if (words.isEmpty())
                continue;
            if (kind == u"filters"_s) {
                if (words.size() != 3)
                    return t; // not "CAMPO op PARAM": the reader says what a filter is
                out << QJsonObject{{u"field"_s, words[0]}, {u"op"_s, words[1]}, {u"param"_s, words[2]}};
            } else if (kind == u"sort"_s && words.size() == 2
                       && words[1].compare(u"desc"_s, Qt::CaseInsensitive) == 0) {
                out << QJsonObject{{u"field"_s, words[0]}, {u"descending"_s, true}};
            } else if (words.size() == 1) {
                out << words[0];
            } else {
                return t;
            }
        }
        return out;
    }
    return text;
}

} // namespace kpr
