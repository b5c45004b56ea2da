#include "appserver/rdmcfr/methodtable.h"

#include "appserver/rdmcfr/boundary.h"
#include "appserver/rdmcfr/methods.h"
#include "framework/core/dates.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver::rdmcfr {

namespace {
constexpr ArgKind T = ArgKind::Text;
constexpr ArgKind D = ArgKind::Date;
constexpr ArgKind P = ArgKind::Packet;
constexpr Session::Access R = Session::Access::Read;
constexpr Session::Access W = Session::Access::Write;
} // namespace

QDate Args::date(int position) const
{
    return dayNumberToDate(m_values.at(position - 1).toDouble());
}

const QList<MethodSpec> &methodTable()
{
    // Arguments in the order the screen sends them; see docs/appserver-protocol.md.
    static const QList<MethodSpec> table{
        {u"GetClieFili"_s, {T}, R, &GetClieFili},
        {u"ProPrxRelApurFat"_s, {T}, W, &ProPrxRelApurFat},
        {u"ProRelGesDireta"_s, {T, D, D, T, T}, W, &ProRelGesDireta},
        {u"GetCFRSintData"_s, {}, R, &GetCFRSintData},
        {u"GetClieSelect"_s, {T, T, T}, R, &GetClieSelect},
        {u"GetTotalizacao"_s, {T, T, D, D, T}, R, &GetTotalizacao},
        {u"GetServSelect"_s, {T, T, T}, R, &GetServSelect},
        {u"GetQtdeEfetData"_s, {T, T, T, T, D, D}, R, &GetQtdeEfetData},
        {u"SetCRFSintDados"_s, {P}, W, &SetCRFSintDados},
        {u"GetCFRSintServ"_s, {}, R, &GetCFRSintServ},
        {u"GetQtdeEfetServ"_s, {T, T, T, D, D}, R, &GetQtdeEfetServ},
        {u"GetSequencial"_s, {D, T, T, T, T, T}, W, &GetSequencial},
        {u"DelCRFSintDados"_s, {T, T}, W, &DelCRFSintDados},
        {u"ProDelTableRelApur"_s, {T, T}, W, &ProDelTableRelApur},
        {u"clientesComDados"_s, {T, T, D, D, T}, R, &clientesComDados},
        {u"EmailFilial"_s, {T}, R, &EmailFilial},
        // The send log of the e-mailed statements.
        {u"ReservaEnvio"_s, {T, D, D, T, T, T, T, T, T}, W, &ReservaEnvio},
        {u"ConcluiEnvio"_s, {T, T, T}, W, &ConcluiEnvio},
        {u"SituacaoEnvios"_s, {T, D, D, T}, R, &SituacaoEnvios},
    };
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
        return u"%1: espera %2 argumento(s), recebeu %3."_s.arg(method.name)
            .arg(method.args.size())
            .arg(args.size());
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
                return u"%1: o argumento %2 deve ser uma data (número de dias)."_s.arg(method.name)
                    .arg(i + 1);
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
