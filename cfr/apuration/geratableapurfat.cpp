#include "cfr/apuration/geratableapurfat.h"

#include "cfr/apuration/passepordata.h"
#include "cfr/apuration/passeporservico.h"
#include "cfr/selection/layoutentry.h"
#include "framework/core/abort.h"
#include "framework/core/serverresult.h"
#include "framework/core/strings.h"
#include "host/rdmcfr.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

namespace {

// Keeps the run's progress text up until the run ends, however it ends.
class Progresso
{
public:
    Progresso(EstadoApuracao &tela, const QString &texto) : m_tela(tela) { m_tela.ActiveShowAvi(texto); }
    ~Progresso() { m_tela.DeactiveShowAvi(); }
    Progresso(const Progresso &) = delete;
    Progresso &operator=(const Progresso &) = delete;

private:
    EstadoApuracao &m_tela;
};

// A new apuration number for the branch. The answer is taken as the number's text as it
// stands; a refusal, or an answer that is no text or an empty one, is shown and ends the
// run, so that no empty number ever reaches the cache.
QString NovaApuracao(RdmCFR &rdm, const QString &filial)
{
    const ServerResult r = rdm.ProPrxRelApurFat(filial);
    if (!r.ok)
        MensErro(r.error.isEmpty() ? u"ProPrxRelApurFat: o servidor recusou a chamada."_s : r.error);
    const QString numero = r.data.isString() ? r.data.toString() : QString();
    if (EmptyString(numero))
        MensErro(u"O servidor de aplicação não informou o número da apuração da filial %1."_s.arg(filial));
    return numero;
}

} // namespace

EstadoApuracao::~EstadoApuracao() = default;

int PosicaoFilial(const QStringList &lstFiliais, const QString &filial)
{
    for (int i = 0; i < lstFiliais.size(); ++i)
        if (lstFiliais.at(i).compare(filial, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

void GeraTableApurFat(EstadoApuracao &tela)
{
    const QString clientes = tela.TodosClientes() ? QString() : tela.ClientesLista();
    const QString filial = tela.CdFilial();
    int posicao = PosicaoFilial(tela.lstFiliais(), filial);

    Progresso progresso(tela, tela.Msg(u"pro_GeraTableApurFat"_s));

    if (posicao < 0) {
        const QString numero = NovaApuracao(tela.rdm(), filial);
        tela.lstFiliais().append(filial);
        tela.lstApuracoes().append(numero);
        posicao = int(tela.lstFiliais().size()) - 1;
    }
    const QString apuracao = tela.lstApuracoes().value(posicao);

    const QDate inicio = tela.DtInicial();
    const QDate fim = tela.DtFinal();
    CheckResultServ(tela.rdm().ProRelGesDireta(filial, inicio, fim, apuracao, QString()), true, 0);

    ApuracaoEntrada e;
    e.cdFilial = filial;
    e.nmFilial = tela.NmFilial();
    e.apuracao = apuracao;
    e.clientes = clientes;
    e.dtInicial = inicio;
    e.dtFinal = fim;
    e.todosClientes = tela.TodosClientes();

    if (LayoutPorData(tela.PosicaoLayout())) {
        PassePorData(tela.rdm(), {tela.qryCFRSintData(), tela.qryClieSelect(), tela.qryServSelect(),
                                  tela.qryQtdeEfetData(), tela.qryTotal()})
            .Executa(e);
    } else {
        PassePorServico(tela.rdm(), {tela.qryCFRSintServ(), tela.qryClieSelect(), tela.qryQtdeEfetServ()}).Executa(e);
    }
}

} // namespace kpr::cfr
