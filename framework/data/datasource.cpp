#include "framework/data/datasource.h"

namespace kpr {

TDataSource::TDataSource(QObject *parent) : QObject(parent) {}

TDataSource::TDataSource(const QString &name, TClientDataSet *dataSet, QObject *parent) : QObject(parent)
{
    setObjectName(name);
    setDataSet(dataSet);
}

TDataSource::~TDataSource()
{
    detach();
}

void TDataSource::detach()
{
    if (!m_dataSet)
        return;
    disconnect(m_dataSet, nullptr, this, nullptr);
    --m_dataSet->m_sources;
    m_dataSet = nullptr;
}

void TDataSource::setDataSet(TClientDataSet *dataSet)
{
    if (dataSet == m_dataSet)
        return;
    detach();
    m_dataSet = dataSet;
    if (dataSet) {
        ++dataSet->m_sources; // the table emits its signals only while a source listens
        connect(dataSet, &TClientDataSet::dataChanged, this, &TDataSource::dataChanged);
        connect(dataSet, &TClientDataSet::cursorMoved, this, &TDataSource::cursorMoved);
        connect(dataSet, &TClientDataSet::stateChanged, this, &TDataSource::stateChanged);
    }
    emit dataSetChanged();
    emit dataChanged();
}

} // namespace kpr
