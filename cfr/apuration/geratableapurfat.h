#pragma once
// The apuration run of TfrmCFR: the branch's apuration number (asked for once per branch
// and kept in the cache lstFiliais / lstApuracoes), the direct-management apuration on the
// server, then the statement pass of the selected layout's family. The screen hands in
// its state through EstadoApuracao, so the run is callable (and testable) without a window.

#include <QDate>
#include <QString>
#include <QStringList>

namespace kpr {
class TClientDataSet;
}

namespace kpr::cfr {

class RdmCFR;

// What the run reads from the screen and what it works on. Inputs are read when the run
// needs them, in the order of its steps.
class EstadoApuracao
{
public:
    virtual ~EstadoApuracao();

    virtual RdmCFR &rdm() = 0;

    virtual QString CdFilial() const = 0;   // text of medCdFilial
    virtual QString NmFilial() const = 0;   // NMFILIAL of qryFilial
    virtual QDate DtInicial() const = 0;    // depDtInicial
    virtual QDate DtFinal() const = 0;      // depDtFinal
    virtual bool TodosClientes() const = 0; // rdgTodos selected
    virtual QString ClientesLista() const = 0;
    virtual int PosicaoLayout() const = 0; // item index of cbbReportNames

    // The apuration cache; both lists have the same length, position i belongs together.
    virtual QStringList &lstFiliais() = 0;
    virtual QStringList &lstApuracoes() = 0;

    // A text of msgPadrao by key.
    virtual QString Msg(const QString &key) const = 0;
    // The progress animation over the screen (kind 1) and its removal.
    virtual void ActiveShowAvi(const QString &text) = 0;
    virtual void DeactiveShowAvi() = 0;

    virtual TClientDataSet &qryCFRSintData() = 0;
    virtual TClientDataSet &qryCFRSintServ() = 0;
    virtual TClientDataSet &qryClieSelect() = 0;
    virtual TClientDataSet &qryServSelect() = 0;
    virtual TClientDataSet &qryQtdeEfetData() = 0;
    virtual TClientDataSet &qryTotal() = 0;
    virtual TClientDataSet &qryQtdeEfetServ() = 0;
};

// The position of branch in lstFiliais, letter case ignored; -1 when absent.
int PosicaoFilial(const QStringList &lstFiliais, const QString &filial);

// The run. A server failure is shown and ends the run with EAbort (through CheckResultServ,
// or, for a number the server did not give, MensErro); the progress text is taken down on
// every way out and nothing already done is undone.
void GeraTableApurFat(EstadoApuracao &tela);

} // namespace kpr::cfr
