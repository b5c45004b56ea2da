#pragma once
// The host's data grid: a table view over a TDataSource. The grid's current row follows the
// table's cursor and moves it; with editing on, a typed text goes through the table's
// Edit/Post (so the table's BeforeEdit can refuse it) and Down on the last row appends a row
// (BeforeInsert can refuse that). OnKeyDown sees every key first and can clear it.

#include "framework/data/datasource.h"
#include "framework/widgets/datasourcemodel.h"

#include <QTableView>

#include <functional>
#include <vector>

namespace kpr {

class TDBGrid : public QTableView
{
    Q_OBJECT

public:
    // Receives the key (set it to 0 to swallow it) and the modifiers held.
    using KeyDownEvent = std::function<void(QObject *sender, int &key, Qt::KeyboardModifiers shift)>;

    explicit TDBGrid(QWidget *parent = nullptr);

    TDataSource *DataSource() const { return m_model->dataSource(); }
    void setDataSource(TDataSource *source);
    // Columns of its own (field, title, width in pixels); without them every visible field.
    void setColumns(const std::vector<TColumn> &columns);
    void setEditing(bool editing);

    KeyDownEvent OnKeyDown;

    TDataSourceModel *dataModel() const { return m_model; }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void applyWidths();
    void followCursor();

    TDataSourceModel *m_model;
    bool m_editing = false;
    bool m_moving = false;
};

} // namespace kpr
