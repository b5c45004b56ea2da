#include "appserver/rdmcfr/methodtable.h"

#include "appserver/rdmcfr/boundary.h"
#include "appserver/rdmcfr/methods.h"
#include "framework/core/dates.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

QDate Args::date(int position) const
{
    return dayNumberToDate(m_values.at(position - 1).toDouble());
}

namespace {

// The function that runs each method of the contract, in the contract's order.
Method runner(contract::Method id)
{
    using M = contract::Method;
    switch (id) {
    case M::GetClieFili: return &GetClieFili;
    case M::ProPrxRelApurFat: return &ProPrxRelApurFat;
    case M::ProRelGesDireta: return &ProRelGesDireta;
    case M::GetCFRSintData: return &GetCFRSintData;
    case M::GetClieSelect: return &GetClieSelect;
    case M::GetTotalizacao: return &GetTotalizacao;
    case M::GetServSelect: return &GetServSelect;
    case M::GetQtdeEfetData: return &GetQtdeEfetData;
    case M::SetCRFSintDados: return &SetCRFSintDados;
    case M::GetCFRSintServ: return &GetCFRSintServ;
    case M::GetQtdeEfetServ: return &GetQtdeEfetServ;
    case M::GetSequencial: return &GetSequencial;
    case M::DelCRFSintDados: return &DelCRFSintDados;
    case M::ProDelTableRelApur: return &ProDelTableRelApur;
    case M::clientesComDados: return &clientesComDados;
    case M::EmailFilial: return &EmailFilial;
    case M::ReservaEnvio: return &ReservaEnvio;
    case M::ConcluiEnvio: return &ConcluiEnvio;
    case M::SituacaoEnvios: return &SituacaoEnvios;
    }
    return nullptr;
}

} // namespace

const QList<MethodSpec> &methodTable()
{
    static const QList<MethodSpec> table = [] {
        QList<MethodSpec> t;
        for (const contract::MethodContract &m : contract::rdmCfrMethods()) {
            t.append({m.name, m.args,
                      m.access == contract::Access::Write ? Session::Access::Write : Session::Access::Read,
                      runner(m.id)});
        }
        return t;
    }();
    return table;
}

const MethodSpec *findMethod(const QString &name)
{
    for (const MethodSpec &m : methodTable())
        if (m.name == name)
            return &m;
    return nullptr;
}

QString checkArgs(const MethodSpec &method, const QJsonArray &args)
{
    if (args.size() != method.args.size())
        return u"%1: espera %2 argumento(s), recebeu %3."_s.arg(method.name).arg(method.args.size()).arg(args.size());
    for (int i = 0; i < method.args.size(); ++i) {
        const QJsonValue v = args.at(i);
        switch (method.args.at(i)) {
        case ArgKind::Text:
            if (!v.isString())
                return u"%1: o argumento %2 deve ser um texto."_s.arg(method.name).arg(i + 1);
            if (const QString fault = textFault(v.toString()); !fault.isEmpty())
                return u"%1: o argumento %2 %3."_s.arg(method.name).arg(i + 1).arg(fault);
            break;
        case ArgKind::Date:
            if (!v.isDouble())
                return u"%1: o argumento %2 deve ser uma data (número de dias)."_s.arg(method.name).arg(i + 1);
            if (const QString fault = dayNumberFault(v.toDouble()); !fault.isEmpty())
                return u"%1: o argumento %2 %3."_s.arg(method.name).arg(i + 1).arg(fault);
            break;
        case ArgKind::Packet:
            if (!v.isObject())
                return u"%1: o argumento %2 deve ser um pacote de dados: não é um objeto {\"fields\": [...], \"rows\": [...]}."_s
                    .arg(method.name)
                    .arg(i + 1);
            break;
        }
    }
    return {};
}

CallOutcome callMethod(const QString &name, const QJsonArray &args)
{
    const MethodSpec *method = findMethod(name);
    if (!method)
        return {false, QJsonValue(), u"Método \"%1\" não existe no módulo Kpr04700.rdmCFR."_s.arg(name)};
    if (const QString why = checkArgs(*method, args); !why.isEmpty())
        return {false, QJsonValue(), why};
    auto session = Session::forThisThread(method->name);
    if (!session)
        return {false, QJsonValue(), session.error()};
    Session &s = **session;
    s.setMethod(method->name);
    if (auto begun = s.begin(method->access); !begun)
        return {false, QJsonValue(), begun.error()};
    Result<Answer> result = ResultError{u"Erro interno em %1."_s.arg(method->name)};
    // Nothing may escape into the transport; the transaction is undone, the caller gets the
    // short text and the log says what happened.
    const auto registra = [&](const QString &what) {
        const QByteArray line = "kpr-appserver: erro interno em " + method->name.toUtf8() + ": " + what.toUtf8() + '\n';
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
        std::fflush(stderr);
    };
    try {
        result = method->run(s, Args(args));
    } catch (const std::exception &e) {
        registra(QString::fromUtf8(e.what()));
    } catch (...) {
        registra(u"exceção desconhecida"_s);
    }
    if (!result) {
        s.rollback();
        return {false, QJsonValue(), result.error()};
    }
    if (auto committed = s.commit(); !committed)
        return {false, QJsonValue(), committed.error()};
    return {true, std::move(result).value(), {}};
}

} // namespace kpr::appserver::rdmcfr
