#include "host/chamada.h"

#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"

namespace kpr::cfr {

ServerResult chama(TNetConnection &net, contract::Method metodo, std::initializer_list<QJsonValue> args)
{
    const contract::MethodContract &m = contract::method(metodo);
    Q_ASSERT(qsizetype(args.size()) == m.args.size());
    return net.call(m.name, args);
}

void devolve(const ServerResult &resposta, contract::Method metodo, std::initializer_list<Referencia> variaveis)
{
    if (!resposta.ok)
        return;
    const QList<int> &posicoes = contract::method(metodo).byReference;
    Q_ASSERT(qsizetype(variaveis.size()) == posicoes.size());
    qsizetype i = 0;
    for (const Referencia &v : variaveis) {
        const int pos = posicoes.value(i++, -1);
        if (pos < 0 || pos >= resposta.refs.size())
            continue;
        const QJsonValue valor = resposta.refs.at(pos);
        if (QString *const *texto = std::get_if<QString *>(&v)) {
            if (valor.isString())
                **texto = valor.toString();
        } else if (QDate *const *data = std::get_if<QDate *>(&v)) {
            const QDate d = rpcDate(valor);
            if (d.isValid())
                **data = d;
        }
    }
}

} // namespace kpr::cfr
