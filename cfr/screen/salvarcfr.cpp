// The per-client export of the CFR screen: one PDF per client with data into the output
// directory below the work directory, each rendered from the selected layout with the client
// parameter narrowed to that client; and the clean-up of those files.
#include "cfr/apuration/geratableapurfat.h"
#include "cfr/report/arquivoscfr.h"
#include "cfr/report/impressaocfr.h"
#include "cfr/screen/cli_kpr04700.h"
#include "cfr/screen/frmcfr.h"
#include "cfr/selection/layoutentry.h"
#include "framework/core/abort.h"
#include "framework/core/dates.h"
#include "framework/core/serverresult.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/pdf/gtexpdfengine.h"
#include "framework/pdf/gtexpdflote.h"
#include "framework/reportdesigner/reportdesignerdialog.h"
#include "framework/screens/frmdadosgerrel.h"
#include "framework/settings/registry.h"
#include "framework/widgets/btnpesquisa.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/showavi.h"
#include "host/rdmcfr.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <exception>
#include <memory>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

QString TfrmCFR::ExtensaoFormato(TFormato formato) const
{
    return cfr::ExtensaoFormato(formato);
}

QString TfrmCFR::trataNome(const QString &texto) const
{
    return cfr::trataNome(texto);
}

QString TfrmCFR::GetWorkDir() const
{
    // Read on every call: a changed value applies to the next export.
    Registry registro;
    return LeWorkDir(registro);
}

QString TfrmCFR::DiretorioSaida() const
{
    return m_exportacao.isEmpty() ? GetWorkDir() + DiretorioNativo(msgPadrao->Msg(u"DIR_REL_SALVOS"_s)) : m_exportacao;
}

QString TfrmCFR::ArquivoDoCliente(const QString &codigo) const
{
    const QString nome = m_arquivos.doCliente(codigo);
    return nome.isEmpty() ? QString() : DiretorioSaida() + nome;
}

QString TfrmCFR::NovaPastaExportacao()
{
    // The work directory is the machine's: another screen or a kpr-cfr run may export at the
    // same time, under the same client codes. Each export writes into a folder of its own
    // below the output directory, readable by its user only, so that no run empties,
    // overwrites or mails another's files.
    ApagaArquivosGerados();
    const QString base = GetWorkDir() + DiretorioNativo(msgPadrao->Msg(u"DIR_REL_SALVOS"_s));
    QDir().mkdir(base);
    QTemporaryDir pasta(base + u"exportacao-XXXXXX"_s);
    if (!pasta.isValid())
        throw EKprError(
            u"Não foi possível criar a pasta dos arquivos gerados em %1: %2."_s.arg(base, pasta.errorString()));
    pasta.setAutoRemove(false);
    return pasta.path() + u'/';
}

QJsonValue TfrmCFR::getClientesComDados()
{
    QString clientes = rdgTodos->isChecked() ? u"T"_s : ClientesLista;
    const int i = PosicaoFilial(*lstFiliais, medCdFilial->text());
    QString apuracao = i >= 0 ? lstApuracoes->value(i) : QString();
    ShowAviGuard avi(this, 1, QString());
    return CheckResultServ(
        rdm().clientesComDados(medCdFilial->text(), apuracao, depDtInicial->GetDate(), depDtFinal->GetDate(), clientes),
        true, 0);
}

QJsonValue TfrmCFR::getEmailFilial(const QString &filial)
{
    QString codigo = filial;
    ShowAviGuard avi(this, 1, QString());
    return CheckResultServ(rdm().EmailFilial(codigo), true, 0);
}

void TfrmCFR::exportaArquivo(TFormato formato, const QString &arquivo, bool configura, bool abre, const QString &titulo,
                             TgtExPDFLote *lote)
{
    Q_UNUSED(formato); // PDF is the only format
    // One engine per file, released also when the export fails.
    const auto engine = std::make_unique<TgtExPDFEngine>();
    engine->setFileName(arquivo);
    TgtPreferences &p = engine->Preferences();
    p.UseImagesAsResources = false;
    p.ProcessAfterEachPage = true;
    p.ShowSetupDialog = configura;
    p.OpenAfterCreate = abre;
    p.OutputToUserStream = false;
    engine->setTitle(titulo);
    engine->setLote(lote);
    engine->setAuthor(edtNmFilial->text().isEmpty() ? medCdFilial->text() : edtNmFilial->text());

    const QString data = layoutDates().value(cbbReportNames->currentIndex());
    const QDateTime quando = QDateTime::fromString(data, u"dd/MM/yyyy HH:mm:ss"_s);
    const double dataLayout = data.isEmpty() || !quando.isValid() ? 0.0 : toDayNumber(quando);
    rpddPadrao()->ExportReport(layoutPath(selectedLayoutFileName()), dataLayout, *engine);
}

bool TfrmCFR::SalvarCFR(TFormato formato, TModo modo, bool configura, bool abre, bool)
{
    m_exportacao = NovaPastaExportacao();
    const QString saida = m_exportacao;
    m_arquivos.limpa();

    const QString periodo =
        u"%1 a %2"_s.arg(formatDateBR(depDtInicial->GetDate()), formatDateBR(depDtFinal->GetDate()));
    const QString sufixo = msgPadrao->Msg(u"SUFIX_REL_SALVO"_s);
    const QString extensao = ExtensaoFormato(formato);

    if (modo == mUnico) {
        exportaArquivo(formato, saida + sufixo + extensao, configura, abre, u"CFR – "_s + periodo, nullptr);
    } else {
        const bool lista = rdgLista->isChecked();
        const QString clientesAntes = ClientesLista;
        // The selection is the user's: it comes back however the loop ends.
        const auto restaura = qScopeGuard([&] {
            rdgTodos->setChecked(!lista);
            rdgLista->setChecked(lista);
            btpLista->setEnabled(lista);
            ClientesLista = clientesAntes;
        });

        TClientDataSet clientes(u"cdsClientesComDados"_s);
        clientes.setData(getClientesComDados());
        const int total = clientes.RecordCount();
        TField *codigo = clientes.FieldByName(u"CDCLIENTE"_s);
        TField *razao = clientes.FindField(u"NMRAZSOCCLIE"_s);
        ShowAviGuard avi(this, 1, QString());
        // The statement does not change during the loop: each dataset is read once.
        TReportDesignerDialog::Run run(*rpddPadrao());
        // Without the setup dialog or a viewer to open each file, the files are made as a
        // batch (the fonts embedded once a part), painted on the batch's threads while the
        // next client's statement is opened here, and split per client; the files of the
        // clients handed over stay also when a later one fails.
        std::unique_ptr<TgtExPDFLote> lote;
        if (!configura && !abre) {
            lote = std::make_unique<TgtExPDFLote>(saida, DocumentosPorParte);
            lote->setAoSeparar(AoConcluirArquivos);
        }
        const auto conclui = qScopeGuard([&] {
            if (lote && std::uncaught_exceptions() > 0)
                runGuarded([&] { lote->Conclui(); });
        });
        int n = 0;
        for (clientes.First(); !clientes.Eof(); clientes.Next()) {
            ActiveShowAvi(
                this, 1,
                formatMessage(msgPadrao->Msg(u"pro_SalvarCFR"_s), {QString::number(++n), QString::number(total)}));
            const QString cliente = codigo->AsString();
            rdgLista->setChecked(true);
            rdgListaClick(rdgLista);
            ClientesLista = u'_' + cliente + u'_';
            const QString nome = m_arquivos.reserva(cliente, sufixo, extensao);
            const QString titulo = u"CFR – %1 – %2"_s.arg(razao ? razao->AsString() : cliente, periodo);
            exportaArquivo(formato, saida + nome, configura, abre, titulo, lote.get());
        }
        if (lote)
            lote->Conclui();
    }
    return !ArquivosRegulares(saida).isEmpty();
}

QHash<QString, QString> TfrmCFR::ImpressoesCFR() const
{
    return CalculoImpressoesCFR()();
}

std::function<QHash<QString, QString>()> TfrmCFR::CalculoImpressoesCFR() const
{
    const QString grupos = rdbGrupServLista->isChecked() ? GrupServLista : u"T"_s;
    const bool porData = LayoutPorData(cbbReportNames->currentIndex());
    const TClientDataSet *tabela = porData ? qryCFRSintData : qryCFRSintServ;
    const QString cliente = porData ? u"CDCLIENTEAPGD"_s : u"CDCLIENTE"_s;
    return [tabela, cliente, grupos] { return ImpressoesPorCliente(*tabela, cliente, {u"NRAPURACGD"_s}, grupos); };
}

void TfrmCFR::ApagaArquivosGerados()
{
    // This screen's export folder, then the output directory when no other run uses it.
    const QString base = GetWorkDir() + DiretorioNativo(msgPadrao->Msg(u"DIR_REL_SALVOS"_s));
    if (!m_exportacao.isEmpty()) {
        ApagaArquivosRegulares(m_exportacao);
        // A folder that something else keeps (a hidden file, a subfolder) is tried again by
        // the next call.
        if (QDir().rmdir(m_exportacao) || !QFileInfo(m_exportacao).isDir()) {
            m_exportacao.clear();
            m_arquivos.limpa();
        }
    }
    QDir().rmdir(base);
}

} // namespace kpr::cfr
