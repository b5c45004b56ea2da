#include "cfr/report/impressaocfr.h"

#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMap>

#include <algorithm>
#include <cmath>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// A cell as the same text however it was stored: numbers to four decimals, dates as ISO
// date and time, texts trimmed. The send log keeps these fingerprints, so the text is fixed:
// the number paths give what QString::number(v, 'f', 4) gives, a whole number without its
// cost. A date is its stored wall-clock value, whatever the workstation's time zone.
void acrescentaCanonico(QString &linha, TFieldType tipo, const detail::CellView &c)
{
    if (c.null) {
        linha += u'-';
        return;
    }
    switch (tipo) {
    case ftString:
    case ftFixedChar: linha += QStringView(*c.text).trimmed(); return;
    case ftBoolean: linha += c.number != 0 ? u"true"_s : u"false"_s; return;
    case ftDateTime: {
        QDate d;
        QTime h;
        splitDayNumber(c.number, &d, &h);
        char texto[40];
        std::snprintf(texto, sizeof texto, "%04d-%02d-%02dT%02d:%02d:%02d", d.year(), d.month(), d.day(), h.hour(),
                      h.minute(), h.second());
        linha += QLatin1StringView(texto);
        return;
    }
    case ftInteger:
    case ftFloat:
    case ftUnknown: break;
    }
    const double v = c.number;
    if (v == std::trunc(v) && std::fabs(v) < 1e15 && !(v == 0 && std::signbit(v))) {
        linha += QString::number(qint64(v));
        linha += u".0000"_s;
    } else {
        linha += QString::number(v, 'f', 4);
    }
}

} // namespace

QHash<QString, QString> ImpressoesPorCliente(const TClientDataSet &tabela, const QString &campoCliente,
                                             const QStringList &ignorados, const QString &extra)
{
    // The fields in name order, each with its "NAME=" prefix, looked up once.
    QList<std::pair<const TField *, QString>> campos;
    const TField *cliente = nullptr;
    for (const TField *f : tabela.Fields()) {
        if (f->FieldName().compare(campoCliente, Qt::CaseInsensitive) == 0)
            cliente = f;
        else if (!ignorados.contains(f->FieldName(), Qt::CaseInsensitive))
            campos.append({f, f->FieldName() + u'='});
    }
    std::sort(campos.begin(), campos.end(),
              [](const auto &a, const auto &b) { return a.first->FieldName() < b.first->FieldName(); });

    QHash<QString, QStringList> linhas;
    if (tabela.Active() && cliente) {
        TDataSetCursor c(tabela);
        QString linha;
        for (c.First(); !c.Eof(); c.Next()) {
            linha.clear();
            for (const auto &[campo, prefixo] : std::as_const(campos)) {
                linha += prefixo;
                acrescentaCanonico(linha, campo->DataType(), c.Raw(campo));
                linha += u'\x1f';
            }
            const detail::CellView codigo = c.Raw(cliente);
            const QString chave =
                codigo.text ? codigo.text->trimmed() : c.Value(cliente->FieldName()).toString().trimmed();
            linhas[chave] << linha;
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
