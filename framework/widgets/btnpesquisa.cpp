#include "framework/widgets/btnpesquisa.h"

#include "framework/core/abort.h"
#include "framework/widgets/datasourcemodel.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

TBtnPesquisa::TBtnPesquisa(QWidget *parent) : QToolButton(parent)
{
    setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    setToolTip(u"Pesquisar"_s);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::clicked, this, guarded([this](bool) { Pesquisar(); }));
}

bool TBtnPesquisa::Pesquisar()
{
    bool flag = true;
    if (OnBeforePesq)
        OnBeforePesq(this, flag);
    if (!flag)
        return false;

    TClientDataSet *ds = m_source ? m_source->DataSet() : nullptr;
    if (!ds || !ds->Active() || ds->IsEmpty())
        MensErro(m_emptyError.isEmpty() ? u"Não há registros."_s : m_emptyError);

    QWidget *parent = window();
    QDialog dlg(parent);
    dlg.setObjectName(u"dlgPesquisa"_s);
    dlg.setWindowTitle(m_title);
    dlg.resize(520, 380);

    auto *model = new TDataSourceModel(&dlg);
    model->setDataSource(m_source);
    auto *proxy = new QSortFilterProxyModel(&dlg);
    proxy->setSourceModel(model);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setFilterKeyColumn(-1);

    auto *filter = new QLineEdit(&dlg);
    filter->setObjectName(u"edtFiltro"_s);
    filter->setPlaceholderText(u"Filtrar"_s);
    connect(filter, &QLineEdit::textChanged, proxy, [proxy](const QString &t) { proxy->setFilterFixedString(t); });

    auto *view = new QTableView(&dlg);
    view->setObjectName(u"grdPesquisa"_s);
    view->setModel(proxy);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    for (int c = 0; c < model->columnCount(); ++c)
        if (const int w = model->widthAt(c); w > 0)
            view->setColumnWidth(c, w);
    // Start on the table's current row.
    const int current = qMax(ds->RecNo() - 1, 0);
    view->selectRow(proxy->mapFromSource(model->index(current, 0)).row());
    connect(view, &QTableView::activated, &dlg, &QDialog::accept);
    connect(view, &QTableView::doubleClicked, &dlg, &QDialog::accept);

    auto *ok = new QPushButton(u"OK"_s, &dlg);
    ok->setObjectName(u"btnOk"_s);
    ok->setDefault(true);
    auto *cancel = new QPushButton(u"Cancelar"_s, &dlg);
    cancel->setObjectName(u"btnCancelar"_s);
    connect(ok, &QPushButton::clicked, &dlg, &QDialog::accept);
    connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(&dlg);
    layout->addWidget(filter);
    layout->addWidget(view, 1);
    layout->addLayout(buttons);
    view->setFocus();

    if (dlg.exec() != QDialog::Accepted)
        return false;
    const QModelIndex picked = proxy->mapToSource(view->currentIndex());
    if (!picked.isValid())
        return false;
    // The source may have been reloaded while the list was open.
    ds = m_source ? m_source->DataSet() : nullptr;
    if (!ds || picked.row() >= ds->RecordCount())
        return false;
    ds->setRecNo(picked.row() + 1);
    if (m_associate) {
        const TField *key = m_keyField.isEmpty() ? ds->Fields().value(0) : ds->FieldByName(m_keyField);
        if (key)
            m_associate->setText(key->AsString());
    }
    if (OnAfterPesq)
        OnAfterPesq(this);
    return true;
}

} // namespace kpr
