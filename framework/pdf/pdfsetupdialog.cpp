#include "framework/pdf/pdfsetupdialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

TfrmPDFSetup::TfrmPDFSetup(QWidget *parent) : QDialog(parent)
{
    setObjectName(u"frmPDFSetup"_s);
    setWindowTitle(u"Opções do arquivo PDF"_s);

    edtTitulo = new QLineEdit(this);
    edtTitulo->setObjectName(u"edtTitulo"_s);
    edtAutor = new QLineEdit(this);
    edtAutor->setObjectName(u"edtAutor"_s);
    cbbCompressao = new QComboBox(this);
    cbbCompressao->setObjectName(u"cbbCompressao"_s);
    cbbCompressao->addItem(u"Normal"_s, int(PdfCompression::Normal));
    cbbCompressao->addItem(u"Imagens reduzidas (arquivo menor)"_s, int(PdfCompression::SmallImages));

    panBotoes = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    panBotoes->setObjectName(u"panBotoes"_s);
    panBotoes->button(QDialogButtonBox::Ok)->setText(u"Gerar"_s);
    panBotoes->button(QDialogButtonBox::Cancel)->setText(u"Cancelar"_s);
    connect(panBotoes, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(panBotoes, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *form = new QFormLayout;
    form->addRow(u"Título:"_s, edtTitulo);
    form->addRow(u"Autor:"_s, edtAutor);
    form->addRow(u"Compressão:"_s, cbbCompressao);
    auto *box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(panBotoes);
}

void TfrmPDFSetup::setValues(const QString &title, const QString &author, PdfCompression compression)
{
    edtTitulo->setText(title);
    edtAutor->setText(author);
    cbbCompressao->setCurrentIndex(cbbCompressao->findData(int(compression)));
}

QString TfrmPDFSetup::title() const
{
    return edtTitulo->text().trimmed();
}

QString TfrmPDFSetup::author() const
{
    return edtAutor->text().trimmed();
}

PdfCompression TfrmPDFSetup::compression() const
{
    return PdfCompression(cbbCompressao->currentData().toInt());
}

} // namespace kpr
