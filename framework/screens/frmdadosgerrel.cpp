#include "framework/screens/frmdadosgerrel.h"

#include "framework/core/abort.h"
#include "framework/report/layoutfile.h"
#include "framework/reportdesigner/frmlayouteditor.h"
#include "framework/screens/layoutsaveas.h"
#include "framework/settings/context.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

QToolButton *outputButton(QWidget *parent, const QString &name, const QString &text, QStyle::StandardPixmap icon)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(name);
    b->setText(text);
    b->setToolTip(text);
    b->setIcon(parent->style()->standardIcon(icon));
    b->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    return b;
}

} // namespace

QString formatMessage(const QString &text, const QStringList &args)
{
    QString out;
    qsizetype next = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'%' && i + 1 < text.size() && text[i + 1] == u's') {
            out += args.value(next++);
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

TfrmDadosGerRel::TfrmDadosGerRel(QWidget *parent) : TfrmRotiGeral(parent)
{
    setObjectName(u"frmDadosGerRel"_s);

    m_rpddPadrao = new TReportDesignerDialog(this);
    m_rpddPadrao->setSaveAsHandler([this](const QString &path) { saveLayoutAs(path); });
    m_rpddPadrao->setEditHandler([this](const QString &path) { editLayout(path); });

    lblCodRel = new QLabel(this);
    lblCodRel->setObjectName(u"lblCodRel"_s);
    lblCodRel->setVisible(false); // a value the screen carries, not shown to the user

    cbbReportNames = new QComboBox(panMenu);
    cbbReportNames->setObjectName(u"cbbReportNames"_s);
    cbbReportNames->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    cbbReportNames->setMinimumContentsLength(24);
    if (auto *menu = qobject_cast<QHBoxLayout *>(panMenu->layout()))
        menu->insertWidget(0, cbbReportNames, 1);

    // The output buttons take the confirm button's place on a report screen.
    sbtConfirma->setVisible(false);
    sbtPrint = outputButton(panBotoes, u"sbtPrint"_s, u"Imprimir"_s, QStyle::SP_DialogSaveButton);
    sbtPreview = outputButton(panBotoes, u"sbtPreview"_s, u"Visualizar"_s, QStyle::SP_FileDialogContentsView);
    sbtSalvarComo = outputButton(panBotoes, u"sbtSalvarComo"_s, u"Salvar como"_s, QStyle::SP_DriveFDIcon);
    sbtReportEdit =
        outputButton(panBotoes, u"sbtReportEdit"_s, u"Editar relatório"_s, QStyle::SP_FileDialogDetailedView);
    for (QToolButton *b : {sbtPrint, sbtPreview, sbtSalvarComo, sbtReportEdit})
        botoesLayout()->addWidget(b);

    connect(sbtPrint, &QToolButton::clicked, this, guarded([this](bool) { sbtPrintClick(sbtPrint); }));
    connect(sbtPreview, &QToolButton::clicked, this, guarded([this](bool) { sbtPreviewClick(sbtPreview); }));
    connect(sbtSalvarComo, &QToolButton::clicked, this, guarded([this](bool) { sbtSalvarComoClick(sbtSalvarComo); }));
    connect(sbtReportEdit, &QToolButton::clicked, this, guarded([this](bool) { sbtReportEditClick(sbtReportEdit); }));

    // The texts the report handling shows; a screen's own table may say them otherwise.
    msgPadrao->setLines({
        u"Arq_Rel_Err|O arquivo contendo a definição do relatório de código '%s' não foi "
        u"encontrado no diretório '%s'."_s,
        u"NovoCaption|Título do relatório"_s,
        u"NovoPrompt|Informe o título do relatório:"_s,
    });
}

TfrmDadosGerRel::~TfrmDadosGerRel() = default;

void TfrmDadosGerRel::setReportDialog(std::unique_ptr<IReportDialog> dialog)
{
    m_rpdd = std::move(dialog);
}

IReportDialog *TfrmDadosGerRel::reportDialog() const
{
    return m_rpdd ? m_rpdd.get() : m_rpddPadrao;
}

QString TfrmDadosGerRel::reportCode() const
{
    return lblCodRel->text().left(6);
}

QString TfrmDadosGerRel::layoutFileName(int index) const
{
    if (index < 0 || index >= m_numbers.size())
        return QString();
    return reportCode() + m_numbers[index] + u".QR2"_s;
}

QString TfrmDadosGerRel::selectedLayoutFileName() const
{
    return layoutFileName(cbbReportNames->currentIndex());
}

QString TfrmDadosGerRel::layoutPath(const QString &fileName)
{
    QString dir = ReportDir();
    if (!dir.endsWith(u'/') && !dir.endsWith(u'\\'))
        dir += u'/';
    return dir + fileName;
}

QString TfrmDadosGerRel::layoutTitle(const QString &path)
{
    return readLayoutTitle(path);
}

void TfrmDadosGerRel::loadReportNames()
{
    const QString keep = m_numbers.value(cbbReportNames->currentIndex());
    cbbReportNames->clear();
    m_numbers.clear();
    m_dates.clear();

    const QString code = reportCode();
    if (code.isEmpty())
        return;
    QDir dir(ReportDir());
    // Exact case: "KPR04700.QR2" and "kpr04700.qr2" are different files here, and the layout
    // file name that every caller builds uses the code's case and ".QR2".
    const QFileInfoList files = dir.entryInfoList({code + u"*.QR2"_s}, QDir::Files | QDir::CaseSensitive, QDir::Name);
    for (const QFileInfo &fi : files) {
        const QString name = fi.fileName();
        if (!name.startsWith(code) || !name.endsWith(u".QR2"_s))
            continue;
        const QString number = name.mid(code.size(), name.size() - code.size() - 4);
        if (number.isEmpty())
            continue;
        const QString title = layoutTitle(fi.filePath());
        cbbReportNames->addItem(title.isEmpty() ? name : title);
        m_numbers << number;
        m_dates << fi.lastModified().toString(u"dd/MM/yyyy HH:mm:ss"_s);
    }
    const int again = m_numbers.indexOf(keep);
    cbbReportNames->setCurrentIndex(again >= 0 ? again : (m_numbers.isEmpty() ? -1 : 0));
}

void TfrmDadosGerRel::FormCreate(QObject *Sender)
{
    TfrmRotiGeral::FormCreate(Sender);
    loadReportNames();
}

void TfrmDadosGerRel::FormActivate(QObject *Sender)
{
    TfrmRotiGeral::FormActivate(Sender);
}

void TfrmDadosGerRel::FormClose(QObject *Sender, TCloseAction &Action)
{
    TfrmRotiGeral::FormClose(Sender, Action);
}

void TfrmDadosGerRel::runReport(ReportAction action)
{
    const QString file = selectedLayoutFileName();
    if (file.isEmpty())
        MensErro(u"Não há relatório selecionado."_s);
    const QString path = layoutPath(file);
    if (!QFileInfo(path).isFile()) {
        const QString code = reportCode() + m_numbers.value(cbbReportNames->currentIndex());
        MensErro(formatMessage(msgPadrao->Msg(u"Arq_Rel_Err"_s), {code, ReportDir()}));
    }
    reportDialog()->Execute(action, path);
}

void TfrmDadosGerRel::saveLayoutAs(const QString &path)
{
    QInputDialog ask(this);
    ask.setObjectName(u"dlgNovoTitulo"_s);
    ask.setWindowTitle(msgPadrao->Msg(u"NovoCaption"_s));
    ask.setLabelText(msgPadrao->Msg(u"NovoPrompt"_s));
    ask.setTextValue(cbbReportNames->currentText());
    if (ask.exec() != QDialog::Accepted)
        throw EAbort();
    const QString title = ask.textValue().trimmed();
    if (title.isEmpty())
        MensErro(u"O título do relatório deve ser informado."_s);
    const QString number = saveLayoutCopy(path, ReportDir(), reportCode(), title);
    loadReportNames();
    cbbReportNames->setCurrentIndex(int(m_numbers.indexOf(number)));
}

void TfrmDadosGerRel::editLayout(const QString &path)
{
    TfrmLayoutEditor editor(path, m_rpddPadrao, this);
    if (editor.exec() == QDialog::Accepted)
        loadReportNames(); // the title may have changed; the selection stays
}

void TfrmDadosGerRel::sbtPrintClick(QObject *)
{
    runReport(ReportAction::Print);
}

void TfrmDadosGerRel::sbtPreviewClick(QObject *)
{
    runReport(ReportAction::Preview);
}

void TfrmDadosGerRel::sbtSalvarComoClick(QObject *)
{
    runReport(ReportAction::SaveAs);
}

void TfrmDadosGerRel::sbtReportEditClick(QObject *)
{
    runReport(ReportAction::Edit);
}

} // namespace kpr
