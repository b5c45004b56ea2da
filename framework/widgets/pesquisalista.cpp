#include "framework/widgets/pesquisalista.h"

#include "framework/core/abort.h"
#include "framework/widgets/datasourcemodel.h"

#include <QApplication>
#include <QDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QString selectionText(const QStringList &keys)
{
    QString out;
    for (const QString &k : keys)
        out += u'_' + k + u'_';
    return out;
}

bool selectionHas(const QString &selection, const QString &key)
{
    if (key.isEmpty())
        return false;
    // The text is "_k1__k2_...": split at the underscores, a key is one of the parts. A key
    // that holds an underscore itself can only be searched for.
    if (key.contains(u'_'))
        return selection.contains(u'_' + key + u'_');
    return selection.split(u'_', Qt::SkipEmptyParts).contains(key);
}

bool PesquisaLista(TDataSource *dataSource, const QString &keyField, const QString &title, bool requireSelection,
                   QString &selection)
{
    if (!dataSource || !dataSource->DataSet())
        throw EKprError(u"PesquisaLista: sem fonte de dados."_s);
    TClientDataSet *ds = dataSource->DataSet();
    if (!ds->Active())
        throw EKprError(u"PesquisaLista: a tabela %1 não está aberta."_s.arg(ds->objectName()));
    ds->FieldByName(keyField); // an unknown key field is a programming error: say so now

    QWidget *parent = QApplication::activeModalWidget();
    if (!parent)
        parent = QApplication::activeWindow();
    QDialog dlg(parent);
    dlg.setObjectName(u"dlgPesquisaLista"_s);
    dlg.setWindowTitle(title);
    dlg.resize(560, 400);

    auto *model = new TDataSourceModel(&dlg);
    model->setCheckable(true, keyField);
    model->setDataSource(dataSource);
    for (int r = 0; r < model->rowCount(); ++r)
        if (selectionHas(selection, model->keyAt(r)))
            model->setChecked(r, true);

    auto *proxy = new QSortFilterProxyModel(&dlg);
    proxy->setSourceModel(model);
    proxy->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy->setFilterKeyColumn(-1);

    auto *filter = new QLineEdit(&dlg);
    filter->setObjectName(u"edtFiltro"_s);
    filter->setPlaceholderText(u"Filtrar"_s);
    QObject::connect(filter, &QLineEdit::textChanged, proxy,
                     [proxy](const QString &t) { proxy->setFilterFixedString(t); });

    auto *view = new QTableView(&dlg);
    view->setObjectName(u"grdPesquisaLista"_s);
    view->setModel(proxy);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setStretchLastSection(true);
    view->setColumnWidth(0, 28);
    for (int c = 1; c < model->columnCount(); ++c)
        if (const int w = model->widthAt(c); w > 0)
            view->setColumnWidth(c, w);
    // A click anywhere on a row, or the space bar, turns its check over.
    const auto toggle = [model, proxy](const QModelIndex &i) {
        if (!i.isValid())
            return;
        const int row = proxy->mapToSource(i).row();
        model->setChecked(row, !model->isChecked(row));
    };
    QObject::connect(view, &QTableView::doubleClicked, view, toggle);

    auto *all = new QPushButton(u"Marcar todos"_s, &dlg);
    all->setObjectName(u"btnMarcarTodos"_s);
    auto *none = new QPushButton(u"Desmarcar todos"_s, &dlg);
    none->setObjectName(u"btnDesmarcarTodos"_s);
    auto *ok = new QPushButton(u"OK"_s, &dlg);
    ok->setObjectName(u"btnOk"_s);
    ok->setDefault(true);
    auto *cancel = new QPushButton(u"Cancelar"_s, &dlg);
    cancel->setObjectName(u"btnCancelar"_s);
    QObject::connect(all, &QPushButton::clicked, model, [model] { model->setAllChecked(true); });
    QObject::connect(none, &QPushButton::clicked, model, [model] { model->setAllChecked(false); });
    QObject::connect(cancel, &QPushButton::clicked, &dlg, &QDialog::reject);
    QObject::connect(ok, &QPushButton::clicked, &dlg, guarded([&dlg, model, requireSelection](bool) {
                         if (requireSelection && model->checkedKeys().isEmpty())
                             MensErro(u"Selecione ao menos um registro."_s);
                         dlg.accept();
                     }));

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch(1);
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto *layout = new QVBoxLayout(&dlg);
    layout->addWidget(filter);
    layout->addWidget(view, 1);
    layout->addLayout(buttons);

    // Space on the grid turns the current row's check over.
    struct SpaceToggle : QObject
    {
        std::function<void(const QModelIndex &)> fn;
        QTableView *view = nullptr;
        bool eventFilter(QObject *, QEvent *e) override
        {
            if (e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Space) {
                fn(view->currentIndex());
                return true;
            }
            return false;
        }
    };
    auto *space = new SpaceToggle;
    space->setParent(&dlg);
    space->fn = toggle;
    space->view = view;
    view->installEventFilter(space);
    view->setFocus();

    if (dlg.exec() != QDialog::Accepted)
        return false;
    selection = selectionText(model->checkedKeys());
    return true;
}

} // namespace kpr
