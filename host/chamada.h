#pragma once
// One call of a method of the contract over the screen's connection: the method's name
// comes from the contract, and the by-reference arguments are copied back from the answer
// at the positions the contract gives for them.

#include "contract/methods.h"
#include "framework/core/serverresult.h"

#include <QDate>
#include <QJsonValue>
#include <QString>

#include <initializer_list>
#include <variant>

namespace kpr {
class TNetConnection;
}

namespace kpr::cfr {

ServerResult chama(TNetConnection &net, contract::Method metodo, std::initializer_list<QJsonValue> args = {});

// A variable the server may answer back: a text or a date.
using Referencia = std::variant<QString *, QDate *>;

// After a good answer, each variable takes the value the server left at the next
// by-reference position of the method (a value of another kind leaves it as it was).
void devolve(const ServerResult &resposta, contract::Method metodo, std::initializer_list<Referencia> variaveis);

} // namespace kpr::cfr
