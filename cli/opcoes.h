#pragma once
// The command line of kpr-cfr, the statement run for schedulers.

#include "framework/core/result.h"

#include <QDate>
#include <QString>
#include <QStringList>

namespace kpr::cfr {

struct OpcoesCFR
{
    bool ajuda = false;
    QString filial;
    QDate inicio;
    QDate fim;
    QString layout; // the layout number, "01"
    QString assunto;
    QString arquivoCorpo; // the body, a UTF-8 text file
    QStringList clientes; // empty: every client with data
    bool simulacao = false;
    QString saida; // where a dry run leaves the PDFs
    bool reenviar = false;
    bool assumir = false; // take over statements left "sending" by a run that died
    bool json = false;
    // PDFs made before their messages start going out (--part-size): smaller starts the mail
    // earlier, larger embeds the fonts fewer times.
    int documentosPorParte = 100;
};

// The arguments after the program's name. --set NAME=VALUE and --config FILE are the shell's
// and are skipped here (configureContext reads them). today fixes what
// "--period previous-fortnight" means.
Result<OpcoesCFR> LeOpcoes(const QStringList &argumentos, const QDate &hoje);

// The fortnight before the one today falls in: the 16th to the end of the previous month
// when today is in the first half, else the 1st to the 15th of this month.
std::pair<QDate, QDate> QuinzenaAnterior(const QDate &hoje);

QString UsoCFR();

} // namespace kpr::cfr
