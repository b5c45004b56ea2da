#pragma once
// The screen's side of the apuration run for tests and benchmarks: the selection as plain
// members, the apuration cache, the seven tables defined as the screen defines them, and
// the progress calls recorded ("on:<text>", "off"). Also helpers that build the server's
// packets of the working tables from rows given in field order.

#include "cfr/apuration/geratableapurfat.h"
#include "framework/core/messages.h"
#include "framework/data/clientdataset.h"

#include <QJsonObject>
#include <QList>
#include <QVariantList>

namespace kpr::cfr::test {

class TelaTeste : public EstadoApuracao
{
public:
    explicit TelaTeste(RdmCFR &rdm);

    RdmCFR *servidor;
    QString filial = QStringLiteral("0001");
    QString nomeFilial = QStringLiteral("Filial Centro");
    QDate inicio{2024, 1, 1};
    QDate fim{2024, 1, 11};
    bool todos = true;
    QString lista;
    int posicao = 1;
    QStringList filiais, apuracoes;
    QStringList progresso;
    TMessages msgPadrao;

    TClientDataSet sintData{QStringLiteral("qryCFRSintData")};
    TClientDataSet sintServ{QStringLiteral("qryCFRSintServ")};
    TClientDataSet clieSelect{QStringLiteral("qryClieSelect")};
    TClientDataSet servSelect{QStringLiteral("qryServSelect")};
    TClientDataSet qtdeEfetData{QStringLiteral("qryQtdeEfetData")};
    TClientDataSet total{QStringLiteral("qryTotal")};
    TClientDataSet qtdeEfetServ{QStringLiteral("qryQtdeEfetServ")};

    RdmCFR &rdm() override { return *servidor; }
    QString CdFilial() const override { return filial; }
    QString NmFilial() const override { return nomeFilial; }
    QDate DtInicial() const override { return inicio; }
    QDate DtFinal() const override { return fim; }
    bool TodosClientes() const override { return todos; }
    QString ClientesLista() const override { return lista; }
    int PosicaoLayout() const override { return posicao; }
    QStringList &lstFiliais() override { return filiais; }
    QStringList &lstApuracoes() override { return apuracoes; }
    QString Msg(const QString &key) const override { return msgPadrao.Msg(key); }
    void ActiveShowAvi(const QString &text) override { progresso.append(QStringLiteral("on:") + text); }
    void DeactiveShowAvi() override { progresso.append(QStringLiteral("off")); }
    TClientDataSet &qryCFRSintData() override { return sintData; }
    TClientDataSet &qryCFRSintServ() override { return sintServ; }
    TClientDataSet &qryClieSelect() override { return clieSelect; }
    TClientDataSet &qryServSelect() override { return servSelect; }
    TClientDataSet &qryQtdeEfetData() override { return qtdeEfetData; }
    TClientDataSet &qryTotal() override { return total; }
    TClientDataSet &qryQtdeEfetServ() override { return qtdeEfetServ; }
};

// A packet with the fields of the table that define gives and these rows (values in field
// order; a missing trailing value is empty).
QJsonObject pacote(void (*define)(TClientDataSet &), const QList<QVariantList> &linhas = {});

// Rows of the working tables, in field order.
QVariantList clienteSelect(const QString &cliente, const QString &endereco = QStringLiteral("Rua A, 1"));
QVariantList qtdeData(const QString &cliente, const QString &servico, const QDate &dia, const QVariant &efetivos,
                      const QVariant &preco, const QString &nome = QStringLiteral("Almoço"));
QVariantList qtdeServ(const QString &cliente, const QString &servico, const QDate &dia, const QVariant &efetivos,
                      const QVariant &preco, const QString &nome = QStringLiteral("Almoço"));

// A table's rows in its current order as "FIELD=value" texts of the fields named (numbers
// in shortest form, dates dd/MM, empty values as "-"), joined by blanks.
QStringList linhas(const TClientDataSet &t, const QStringList &campos);

} // namespace kpr::cfr::test
