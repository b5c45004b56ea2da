#include "cfr/report/impressaocfr.h"

#include "framework/data/clientdataset.h"
#include "framework/data/field.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMap>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// A value as the same text however it was stored: numbers to four decimals, dates as ISO.
QString canonico(const QVariant &v)
{
    if (!v.isValid() || v.isNull())
        return u"-"_s;
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::LongLong:
        return QString::number(v.toDouble(), 'f', 4);
    case QMetaType::QDate:
        return v.toDate().toString(Qt::ISODate);
    case QMetaType::QDateTime:
        return v.toDateTime().toString(u"yyyy-MM-ddTHH:mm:ss"_s);
    default:
        return v.toString().trimmed();
    }
}

} // namespace

QHash<QString, QString> ImpressoesPorCliente(const TClientDataSet &tabela, const QString &campoCliente,
                                             const QStringList &ignorados, const QString &extra)
{
    QStringList campos;
    for (const TField *f : tabela.Fields())
        if (!ignorados.contains(f->FieldName(), Qt::CaseInsensitive)
            && f->FieldName().compare(campoCliente, Qt::CaseInsensitive) != 0)
            campos << f->FieldName();
    campos.sort();

    QHash<QString, QStringList> linhas;
    if (tabela.Active()) {
        TDataSetCursor c(tabela);
        for (c.First(); !c.Eof(); c.Next()) {
            QString linha;
            for (const QString &campo : campos)
                linha += campo + u'=' + canonico(c.Value(campo)) + u'\x1f';
            linhas[c.Value(campoCliente).toString().trimmed()] << linha;
        }
    }
    QHash<QString, QString> impressoes;
    for (auto it = linhas.begin(); it != linhas.end(); ++it) {
        std::sort(it->begin(), it->end());
        QCryptographicHash h(QCryptographicHash::Sha256);
        h.addData(extra.toUtf8());
        h.addData("\x1e");
        for (const QString &l : *it) {
            h.addData(l.toUtf8());
            h.addData("\x1e");
        }
        impressoes.insert(it.key(), QString::fromLatin1(h.result().toHex()));
    }
    return impressoes;
}

} // namespace kpr::cfr
