#include "cfr/selection/selectionrules.h"

#include "cfr/selection/layoutentry.h"
#include "framework/core/mask.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

QString falhaPeriodo(const QDate &inicial, const QDate &final, int posicao)
{
    if (final < inicial)
        return u"DtIni_maior"_s;
    if (hasPeriodLimit(posicao) && inicial.daysTo(final) > 31)
        return u"DtFinal_maior_31"_s;
    return QString();
}

bool faltaSelecao(bool listaMarcada, const QString &selecao)
{
    return listaMarcada && selecao.isEmpty();
}

QString textoInscricao(const QString &tipoPessoa, const QString &numero)
{
    return FormatMaskText(PictPess(tipoPessoa), numero);
}

} // namespace kpr::cfr
