#pragma once
// The PDF options dialog shown before an export that asks for it: title, author and the
// compression of pictures.

#include "framework/pdf/gtexpdfengine.h"

#include <QDialog>

class QComboBox;
class QDialogButtonBox;
class QLineEdit;

namespace kpr {

class TfrmPDFSetup : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmPDFSetup(QWidget *parent = nullptr);

    QLineEdit *edtTitulo;
    QLineEdit *edtAutor;
    QComboBox *cbbCompressao;
    QDialogButtonBox *panBotoes;

    void setValues(const QString &title, const QString &author, PdfCompression compression);
    QString title() const;
    QString author() const;
    PdfCompression compression() const;
};

} // namespace kpr
