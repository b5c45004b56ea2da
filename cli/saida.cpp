#include "cli/saida.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

QMap<QString, int> contagens(const ResultadoExecucao &r)
{
    QMap<QString, int> n{{u"sent"_s, 0}, {u"skipped"_s, 0}, {u"failed"_s, 0}, {u"uncertain"_s, 0}};
    for (const ClienteExecucao &c : r.clientes)
        ++n[c.situacao];
    return n;
}

} // namespace

QString ResumoTexto(const ResultadoExecucao &r)
{
    QString s;
    for (const ClienteExecucao &c : r.clientes)
        s += u"%1\t%2\t%3\n"_s.arg(c.codigo, c.situacao, QString(c.resposta).replace(u'\n', u' '));
    const QMap<QString, int> n = contagens(r);
    s += u"enviados %1, ignorados %2, falhas %3, incertos %4\n"_s.arg(n[u"sent"_s])
             .arg(n[u"skipped"_s])
             .arg(n[u"failed"_s])
             .arg(n[u"uncertain"_s]);
    return s;
}

QByteArray ResumoJson(const OpcoesCFR &o, const ResultadoExecucao &r)
{
    QJsonArray clientes;
    for (const ClienteExecucao &c : r.clientes)
        clientes.append(QJsonObject{
            {u"code"_s, c.codigo}, {u"name"_s, c.nome}, {u"status"_s, c.situacao}, {u"reply"_s, c.resposta}});
    QJsonObject contas;
    const QMap<QString, int> n = contagens(r);
    for (auto it = n.cbegin(); it != n.cend(); ++it)
        contas.insert(it.key(), it.value());
    const QJsonObject raiz{
        {u"branch"_s, o.filial},
        {u"period"_s, QJsonObject{{u"from"_s, o.inicio.toString(Qt::ISODate)}, {u"to"_s, o.fim.toString(Qt::ISODate)}}},
        {u"layout"_s, o.layout},
        {u"dryRun"_s, o.simulacao},
        {u"exitCode"_s, r.codigoSaida},
        {u"error"_s, r.erro},
        {u"counts"_s, contas},
        {u"seconds"_s, QJsonObject{{u"apuration"_s, r.segundosApuracao},
                                   {u"pdf"_s, r.segundosPdf},
                                   {u"mail"_s, r.segundosEnvio},
                                   {u"log"_s, r.segundosRegistro},
                                   {u"logAfterPdf"_s, r.segundosRegistroDepois},
                                   {u"fingerprints"_s, r.segundosImpressoes}}},
        {u"clients"_s, clientes},
    };
    return QJsonDocument(raiz).toJson(QJsonDocument::Indented);
}

} // namespace kpr::cfr
