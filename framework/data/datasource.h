#pragma once
// Connects a table to the controls that show it (grids, list pickers): they watch the
// source, and the source can be pointed at another table without rewiring them.

#include "framework/data/clientdataset.h"

#include <QObject>
#include <QPointer>

namespace kpr {

class TDataSource : public QObject
{
    Q_OBJECT

public:
    explicit TDataSource(QObject *parent = nullptr);
    TDataSource(const QString &name, TClientDataSet *dataSet, QObject *parent = nullptr);
    ~TDataSource() override;

    TClientDataSet *DataSet() const { return m_dataSet; }
    void setDataSet(TClientDataSet *dataSet);

signals:
    void dataChanged();    // rows added, changed, removed or reordered; a new packet
    void cursorMoved();    // the table's current row changed
    void stateChanged();   // browse / insert / edit / closed
    void dataSetChanged(); // the source now points at another table

private:
    void detach();

    QPointer<TClientDataSet> m_dataSet;
};

} // namespace kpr
