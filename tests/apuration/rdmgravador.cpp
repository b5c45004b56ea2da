#include "rdmgravador.h"

#include "contract/methods.h"

#include <QJsonObject>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr::test {

namespace {
using M = contract::Method;
// The method's name as the contract writes it.
QString nome(M id)
{
    return contract::method(id).name;
}
} // namespace

QString Chamada::texto() const
{
    QStringList partes{metodo};
    for (const QVariant &a : args) {
        if (a.metaType() == QMetaType::fromType<QDate>())
            partes.append(a.toDate().toString(u"dd/MM"_s));
        else if (a.metaType() == QMetaType::fromType<QJsonObject>())
            partes.append(u"<pacote>"_s);
        else
            partes.append(a.toString().isEmpty() ? u"\"\""_s : a.toString());
    }
    return partes.join(u' ');
}

QStringList RdmGravador::metodos() const
{
    QStringList m;
    for (const Chamada &c : chamadas)
        m.append(c.metodo);
    return m;
}

QStringList RdmGravador::textos(const QString &metodo) const
{
    QStringList t;
    for (const Chamada &c : chamadas)
        if (metodo.isEmpty() || c.metodo == metodo)
            t.append(c.texto());
    return t;
}

void RdmGravador::EmSequencia(const QList<ChamadaCFR> &lista, const RespostaSequencia &resposta)
{
    if (!juntas) {
        RdmCFR::EmSequencia(lista, resposta);
        return;
    }
    QList<ServerResult> respostas;
    for (const ChamadaCFR &c : lista)
        respostas.append(chamaTipada(c));
    for (qsizetype i = 0; i < respostas.size(); ++i) {
        if (!resposta(i, respostas.at(i)))
            return;
    }
}

ServerResult RdmGravador::trata(Chamada chamada, const std::function<ServerResult(RdmCFR &)> &real)
{
    chamadas.append(chamada);
    ServerResult r = m_real ? real(*m_real) : (m_resposta ? m_resposta(chamada) : ServerResult::success(QJsonValue()));
    if (ajuste)
        ajuste(chamada, r);
    return r;
}

ServerResult RdmGravador::GetClieFili(const QString &filial)
{
    return trata({nome(M::GetClieFili), {filial}}, [&](RdmCFR &r) { return r.GetClieFili(filial); });
}

ServerResult RdmGravador::ProPrxRelApurFat(const QString &filial)
{
    return trata({nome(M::ProPrxRelApurFat), {filial}}, [&](RdmCFR &r) { return r.ProPrxRelApurFat(filial); });
}

ServerResult RdmGravador::ProRelGesDireta(const QString &filial, const QDate &inicio, const QDate &fim,
                                          const QString &apuracao, const QString &vazio)
{
    return trata({nome(M::ProRelGesDireta), {filial, inicio, fim, apuracao, vazio}},
                 [&](RdmCFR &r) { return r.ProRelGesDireta(filial, inicio, fim, apuracao, vazio); });
}

ServerResult RdmGravador::GetCFRSintData()
{
    return trata({nome(M::GetCFRSintData), {}}, [&](RdmCFR &r) { return r.GetCFRSintData(); });
}

ServerResult RdmGravador::GetClieSelect(const QString &filial, const QString &apuracao, QString &clientes)
{
    return trata({nome(M::GetClieSelect), {filial, apuracao, clientes}},
                 [&](RdmCFR &r) { return r.GetClieSelect(filial, apuracao, clientes); });
}

ServerResult RdmGravador::GetTotalizacao(const QString &filial, const QString &apuracao, const QDate &inicio,
                                         const QDate &fim, QString &cliente)
{
    return trata({nome(M::GetTotalizacao), {filial, apuracao, inicio, fim, cliente}},
                 [&](RdmCFR &r) { return r.GetTotalizacao(filial, apuracao, inicio, fim, cliente); });
}

ServerResult RdmGravador::GetServSelect(const QString &filial, const QString &apuracao, const QString &cliente)
{
    return trata({nome(M::GetServSelect), {filial, apuracao, cliente}},
                 [&](RdmCFR &r) { return r.GetServSelect(filial, apuracao, cliente); });
}

ServerResult RdmGravador::GetQtdeEfetData(const QString &filial, const QString &apuracao, const QString &cliente,
                                          const QString &servico, QDate &inicioJanela, QDate &fimJanela)
{
    ServerResult r = trata({nome(M::GetQtdeEfetData), {filial, apuracao, cliente, servico, inicioJanela, fimJanela}},
                           [&](RdmCFR &real) {
                               return real.GetQtdeEfetData(filial, apuracao, cliente, servico, inicioJanela, fimJanela);
                           });
    // A test answer may hand the window back changed, as a server could through the refs.
    if (!m_real && r.ok && r.refs.size() == 6) {
        inicioJanela = QDate::fromString(r.refs.at(4).toString(), Qt::ISODate);
        fimJanela = QDate::fromString(r.refs.at(5).toString(), Qt::ISODate);
    }
    return r;
}

ServerResult RdmGravador::SetCRFSintDados(const QJsonObject &pacote)
{
    return trata({nome(M::SetCRFSintDados), {pacote}}, [&](RdmCFR &r) { return r.SetCRFSintDados(pacote); });
}

ServerResult RdmGravador::GetCFRSintServ()
{
    return trata({nome(M::GetCFRSintServ), {}}, [&](RdmCFR &r) { return r.GetCFRSintServ(); });
}

ServerResult RdmGravador::GetQtdeEfetServ(const QString &filial, const QString &apuracao, const QString &cliente,
                                          const QDate &inicio, const QDate &fim)
{
    return trata({nome(M::GetQtdeEfetServ), {filial, apuracao, cliente, inicio, fim}},
                 [&](RdmCFR &r) { return r.GetQtdeEfetServ(filial, apuracao, cliente, inicio, fim); });
}

ServerResult RdmGravador::GetSequencial(const QDate &inicio, const QString &filial, QString &clientes,
                                        const QString &apuracao, const QString &cliente, QString &quinzena)
{
    return trata({nome(M::GetSequencial), {inicio, filial, clientes, apuracao, cliente, quinzena}},
                 [&](RdmCFR &r) { return r.GetSequencial(inicio, filial, clientes, apuracao, cliente, quinzena); });
}

ServerResult RdmGravador::DelCRFSintDados(const QString &filial, const QString &apuracao)
{
    return trata({nome(M::DelCRFSintDados), {filial, apuracao}},
                 [&](RdmCFR &r) { return r.DelCRFSintDados(filial, apuracao); });
}

ServerResult RdmGravador::ProDelTableRelApur(const QString &filial, const QString &apuracao)
{
    return trata({nome(M::ProDelTableRelApur), {filial, apuracao}},
                 [&](RdmCFR &r) { return r.ProDelTableRelApur(filial, apuracao); });
}

ServerResult RdmGravador::clientesComDados(const QString &filial, QString &apuracao, const QDate &inicio,
                                           const QDate &fim, QString &clientes)
{
    return trata({nome(M::clientesComDados), {filial, apuracao, inicio, fim, clientes}},
                 [&](RdmCFR &r) { return r.clientesComDados(filial, apuracao, inicio, fim, clientes); });
}

ServerResult RdmGravador::EmailFilial(QString &filial)
{
    return trata({nome(M::EmailFilial), {filial}}, [&](RdmCFR &r) { return r.EmailFilial(filial); });
}

} // namespace kpr::cfr::test
