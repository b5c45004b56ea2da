#include "contract/methods.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::contract {

namespace {
constexpr ArgKind T = ArgKind::Text;
constexpr ArgKind D = ArgKind::Date;
constexpr ArgKind P = ArgKind::Packet;
constexpr Access R = Access::Read;
constexpr Access W = Access::Write;
using M = Method;
} // namespace

const QList<MethodContract> &rdmCfrMethods()
{
    // Arguments in the order the screen sends them; see docs/appserver-protocol.md.
    static const QList<MethodContract> methods{
        {M::GetClieFili, u"GetClieFili"_s, {T}, {}, R},
        {M::ProPrxRelApurFat, u"ProPrxRelApurFat"_s, {T}, {}, W},
        {M::ProRelGesDireta, u"ProRelGesDireta"_s, {T, D, D, T, T}, {}, W},
        {M::GetCFRSintData, u"GetCFRSintData"_s, {}, {}, R},
        {M::GetClieSelect, u"GetClieSelect"_s, {T, T, T}, {2}, R},
        {M::GetTotalizacao, u"GetTotalizacao"_s, {T, T, D, D, T}, {4}, R},
        {M::GetServSelect, u"GetServSelect"_s, {T, T, T}, {}, R},
        {M::GetQtdeEfetData, u"GetQtdeEfetData"_s, {T, T, T, T, D, D}, {4, 5}, R},
        {M::SetCRFSintDados, u"SetCRFSintDados"_s, {P}, {}, W},
        {M::GetCFRSintServ, u"GetCFRSintServ"_s, {}, {}, R},
        {M::GetQtdeEfetServ, u"GetQtdeEfetServ"_s, {T, T, T, D, D}, {}, R},
        {M::GetSequencial, u"GetSequencial"_s, {D, T, T, T, T, T}, {2, 5}, W},
        {M::DelCRFSintDados, u"DelCRFSintDados"_s, {T, T}, {}, W},
        {M::ProDelTableRelApur, u"ProDelTableRelApur"_s, {T, T}, {}, W},
        {M::clientesComDados, u"clientesComDados"_s, {T, T, D, D, T}, {1, 4}, R},
        {M::EmailFilial, u"EmailFilial"_s, {T}, {0}, R},
        {M::ReservaEnvio, u"ReservaEnvio"_s, {T, D, D, T, T, T, T, T, T}, {}, W},
        {M::ConcluiEnvio, u"ConcluiEnvio"_s, {T, T, T}, {}, W},
        {M::SituacaoEnvios, u"SituacaoEnvios"_s, {T, D, D, T}, {}, R},
    };
    return methods;
}

const MethodContract &method(Method id)
{
    return rdmCfrMethods().at(qsizetype(id));
}

const MethodContract *findMethod(const QString &name)
{
    for (const MethodContract &m : rdmCfrMethods())
        if (m.name == name)
            return &m;
    return nullptr;
}

} // namespace kpr::contract
