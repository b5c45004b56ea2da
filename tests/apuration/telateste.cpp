#include "telateste.h"

#include "cfr/apuration/consultasapuracao.h"
#include "cfr/apuration/statementtables.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr::test {

TelaTeste::TelaTeste(RdmCFR &rdm)
    : servidor(&rdm),
      msgPadrao({u"pro_GeraTableApurFat|Gerando dados para o relatório..."_s})
{
    defineCFRSintData(sintData);
    defineCFRSintServ(sintServ);
    defineQryClieSelect(clieSelect);
    defineQryServSelect(servSelect);
    defineQryQtdeEfetData(qtdeEfetData);
    defineQryTotal(total);
    defineQryQtdeEfetServ(qtdeEfetServ);
    sintData.CreateDataSet();
    sintServ.CreateDataSet();
}

QJsonObject pacote(void (*define)(TClientDataSet &), const QList<QVariantList> &linhas)
{
    TClientDataSet t(u"pacote"_s);
    define(t);
    t.setIndexName(QString());
    t.CreateDataSet();
    for (const QVariantList &l : linhas) {
        t.Append();
        for (int i = 0; i < l.size(); ++i)
            if (!t.Fields().at(i)->ReadOnly())
                t.Fields().at(i)->setAsVariant(l.at(i));
        t.Post();
    }
    return t.dataPacket();
}

QVariantList clienteSelect(const QString &cliente, const QString &endereco)
{
    return {cliente, endereco, u"Centro"_s, QVariant(), u"80000-000"_s, u"ISENTO"_s, u"(41) 3000-0000"_s};
}

QVariantList qtdeData(const QString &cliente, const QString &servico, const QDate &dia, const QVariant &efetivos,
                      const QVariant &preco, const QString &nome)
{
    return {cliente, servico, dia, efetivos, u"J"_s, u"RJ"_s + cliente, u"Razão "_s + cliente, nome, preco};
}

QVariantList qtdeServ(const QString &cliente, const QString &servico, const QDate &dia, const QVariant &efetivos,
                      const QVariant &preco, const QString &nome)
{
    return {u"0001"_s,
            cliente,
            servico,
            u"A1"_s,
            dia,
            efetivos,
            preco,
            nome,
            u"Filial Centro"_s,
            u"J"_s,
            u"RJ"_s + cliente,
            u"Razão "_s + cliente};
}

QStringList linhas(const TClientDataSet &t, const QStringList &campos)
{
    QStringList out;
    TDataSetCursor c = t.CloneCursor();
    for (c.First(); !c.Eof(); c.Next()) {
        QStringList l;
        for (const QString &f : campos) {
            QString v;
            if (c.IsNull(f))
                v = u"-"_s;
            else if (t.FieldByName(f)->DataType() == ftDateTime)
                v = c.AsDateTime(f).date().toString(u"dd/MM"_s);
            else if (t.FieldByName(f)->DataType() == ftFloat)
                v = QString::number(c.AsFloat(f));
            else
                v = c.AsString(f);
            l.append(f + u'=' + v);
        }
        out.append(l.join(u' '));
    }
    return out;
}

} // namespace kpr::cfr::test
