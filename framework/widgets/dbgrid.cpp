#include "framework/widgets/dbgrid.h"

#include "framework/core/abort.h"

#include <QHeaderView>
#include <QKeyEvent>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

TDBGrid::TDBGrid(QWidget *parent) : QTableView(parent), m_model(new TDataSourceModel(this))
{
    setModel(m_model);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    verticalHeader()->hide();
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyWidths();
        followCursor();
    });
    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            guarded([this](const QModelIndex &current, const QModelIndex &) {
                TDataSource *src = m_model->dataSource();
                if (m_moving || !current.isValid() || !src || !src->DataSet())
                    return;
                TClientDataSet *ds = src->DataSet();
                if (ds->RecNo() != current.row() + 1)
                    ds->setRecNo(current.row() + 1);
            }));
}

void TDBGrid::setDataSource(TDataSource *source)
{
    if (TDataSource *old = m_model->dataSource())
        disconnect(old, &TDataSource::cursorMoved, this, nullptr);
    m_model->setDataSource(source);
    if (source)
        connect(source, &TDataSource::cursorMoved, this, [this] { followCursor(); });
}

void TDBGrid::setColumns(const std::vector<TColumn> &columns)
{
    m_model->setColumns(columns);
}

void TDBGrid::setEditing(bool editing)
{
    m_editing = editing;
    m_model->setEditable(editing);
    setEditTriggers(editing ? QAbstractItemView::AllEditTriggers : QAbstractItemView::NoEditTriggers);
}

void TDBGrid::applyWidths()
{
    for (int c = 0; c < m_model->columnCount(); ++c)
        if (const int w = m_model->widthAt(c); w > 0)
            setColumnWidth(c, w);
}

void TDBGrid::followCursor()
{
    TDataSource *src = m_model->dataSource();
    if (!src || !src->DataSet() || !src->DataSet()->Active())
        return;
    const int row = src->DataSet()->RecNo() - 1;
    if (row < 0 || row >= m_model->rowCount())
        return;
    m_moving = true;
    const int col = currentIndex().isValid() ? currentIndex().column() : 0;
    setCurrentIndex(m_model->index(row, col));
    m_moving = false;
}

void TDBGrid::keyPressEvent(QKeyEvent *event)
{
    int key = event->key();
    if (OnKeyDown && !runGuarded([&] { OnKeyDown(this, key, event->modifiers()); }))
        key = 0;
    if (key == 0) {
        event->accept();
        return;
    }
    TDataSource *src = m_model->dataSource();
    TClientDataSet *ds = src ? src->DataSet() : nullptr;
    if (m_editing && ds && ds->Active()) {
        if (key == Qt::Key_Down && currentIndex().row() == m_model->rowCount() - 1
            && event->modifiers() == Qt::NoModifier) {
            runGuarded([&] { ds->Append(); });
            event->accept();
            return;
        }
        if (key == Qt::Key_Delete && (event->modifiers() & Qt::ControlModifier)) {
            runGuarded([&] {
                if (!ds->IsEmpty())
                    ds->Delete();
            });
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

} // namespace kpr
