#pragma once
// What the apuration run hands to either statement pass: the selection as it stood when
// the run started, and the apuration number the server keeps the run's rows under.

#include <QDate>
#include <QString>

namespace kpr::cfr {

struct ApuracaoEntrada
{
    QString cdFilial; // branch code, already padded to four characters
    QString nmFilial; // branch name
    QString apuracao; // apuration number (NRAPURACGD)
    QString clientes; // client argument of GetClieSelect: empty for all clients
    QDate dtInicial;
    QDate dtFinal;
    bool todosClientes = true;
};

} // namespace kpr::cfr
