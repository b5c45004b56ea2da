#include "email/dadossmtp.h"

#include "framework/core/cripto.h"
#include "framework/core/strings.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

DadosSMTP DerivaDadosSMTP(const QString &DSLOGINSMTP, const QString &DSEMAILFILI, const QString &CDSENHEMAILF,
                          const QString &DSSMTPEMAILF, const QString &IDUTTLSEMAIL, const QString &IDUTSSLEMAIL)
{
    DadosSMTP d;
    d.login = EmptyString(DSLOGINSMTP) ? DSEMAILFILI : DSLOGINSMTP;
    d.senha = Uncripto(CDSENHEMAILF, ChaveCripto);
    const qsizetype dois = DSSMTPEMAILF.indexOf(u':');
    d.host = dois < 0 ? DSSMTPEMAILF : DSSMTPEMAILF.left(dois);
    d.porta = dois < 0 ? u"25"_s : DSSMTPEMAILF.mid(dois + 1);
    d.modo = IDUTSSLEMAIL == u"S"_s ? u"SSL"_s : IDUTTLSEMAIL == u"S"_s ? u"TLS"_s : QString();
    return d;
}

} // namespace kpr::cfr
