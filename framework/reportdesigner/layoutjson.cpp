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

QString jsonToText(const QJsonValue &value)
{
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
    return text;
}

} // namespace kpr
