#include "framework/widgets/datasourcemodel.h"

#include "framework/core/abort.h"

#include <QFontMetrics>
#include <QGuiApplication>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

TDataSourceModel::TDataSourceModel(QObject *parent) : QAbstractTableModel(parent) {}

void TDataSourceModel::setDataSource(TDataSource *source)
{
    if (m_source)
        disconnect(m_source, nullptr, this, nullptr);
    m_source = source;
    if (source) {
        connect(source, &TDataSource::dataChanged, this, [this] { reload(); });
        connect(source, &TDataSource::dataSetChanged, this, [this] { reload(); });
        connect(source, &TDataSource::stateChanged, this, [this] { reload(); });
    }
    reload();
}

void TDataSourceModel::setColumns(const std::vector<TColumn> &columns)
{
    m_ownColumns = columns;
    reload();
}

void TDataSourceModel::setCheckable(bool checkable, const QString &keyField)
{
    m_checkable = checkable;
    m_keyField = keyField;
    reload();
}

void TDataSourceModel::reload()
{
    if (m_reading)
        return; // the walk below moves the table's cursor, which reports back here
    const QStringList wasChecked = checkedKeys();
    beginResetModel();
    m_fieldNames.clear();
    m_titles.clear();
    m_widths.clear();
    m_rows.clear();
    m_keys.clear();

    TClientDataSet *ds = m_source ? m_source->DataSet() : nullptr;
    if (ds && ds->Active()) {
        const QFontMetrics fm(QGuiApplication::font());
        if (!m_ownColumns.empty()) {
            for (const TColumn &c : m_ownColumns) {
                const TField *f = ds->FindField(c.fieldName);
                m_fieldNames << c.fieldName;
                m_titles << (c.title.isEmpty() && f ? f->DisplayLabel() : c.title);
                m_widths.push_back(c.width > 0 ? c.width : (f ? f->DisplayWidth() * fm.averageCharWidth() + 8 : 0));
            }
        } else {
            for (const TField *f : ds->Fields()) {
                if (!f->Visible())
                    continue;
                m_fieldNames << f->FieldName();
                m_titles << f->DisplayLabel();
                m_widths.push_back(qMin(f->DisplayWidth(), 60) * fm.averageCharWidth() + 8);
            }
        }
        const TField *keyField = m_keyField.isEmpty() ? nullptr : ds->FindField(m_keyField);
        std::vector<const TField *> shown;
        for (const QString &name : m_fieldNames)
            shown.push_back(ds->FindField(name));
        const auto cellText = [](const TField *f) {
            if (!f)
                return QString();
            try {
                return f->DisplayText();
            } catch (const std::exception &) {
                return QString(); // a display handler that fails shows nothing, as in a grid
            }
        };

        if (ds->State() == dsBrowse) {
            m_reading = true;
            const int recNo = ds->RecNo();
            ds->DisableControls();
            try {
                for (ds->First(); !ds->Eof(); ds->Next()) {
                    QStringList row;
                    for (const TField *f : shown)
                        row << cellText(f);
                    m_rows.push_back(row);
                    m_keys << (keyField ? keyField->AsString().trimmed() : QString());
                }
                if (recNo > 0)
                    ds->setRecNo(recNo);
            } catch (...) {
                ds->EnableControls();
                m_reading = false;
                endResetModel();
                throw;
            }
            ds->EnableControls();
            m_reading = false;
        } else {
            // While a record is being edited the table's cursor must not move: read the
            // stored values through a cursor of its own.
            TDataSetCursor cur = ds->CloneCursor();
            for (cur.First(); !cur.Eof(); cur.Next()) {
                QStringList row;
                for (const QString &name : m_fieldNames)
                    row << (ds->FindField(name) ? cur.AsString(name) : QString());
                m_rows.push_back(row);
                m_keys << (keyField ? cur.AsString(keyField->FieldName()).trimmed() : QString());
            }
        }
    }
    // Checks are kept by key, so a reload of the same rows keeps them.
    m_checked.clear();
    for (int r = 0; r < m_keys.size(); ++r)
        if (!m_keys[r].isEmpty() && wasChecked.contains(m_keys[r]))
            m_checked.insert(r);
    endResetModel();
}

int TDataSourceModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

int TDataSourceModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_fieldNames.size()) + (m_checkable ? 1 : 0);
}

QVariant TDataSourceModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(m_rows.size()))
        return {};
    const int fc = fieldColumn(index.column());
    if (fc < 0) {
        if (role == Qt::CheckStateRole)
            return m_checked.contains(index.row()) ? Qt::Checked : Qt::Unchecked;
        return {};
    }
    if (role == Qt::DisplayRole || role == Qt::EditRole) {
        const QString cell = m_rows[size_t(index.row())].value(fc);
        if (fc < int(m_ownColumns.size()) && m_ownColumns[size_t(fc)].text)
            return m_ownColumns[size_t(fc)].text(cell);
        return cell;
    }
    return {};
}

QVariant TDataSourceModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const int fc = fieldColumn(section);
    return fc < 0 ? QVariant(QString()) : QVariant(m_titles.value(fc));
}

Qt::ItemFlags TDataSourceModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid())
        return f;
    const int fc = fieldColumn(index.column());
    if (fc < 0)
        return f | Qt::ItemIsUserCheckable;
    if (fc < int(m_ownColumns.size()) && m_ownColumns[size_t(fc)].text)
        return f; // shows what is kept beside the table: nothing to edit
    if (m_editable)
        f |= Qt::ItemIsEditable;
    return f;
}

bool TDataSourceModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid())
        return false;
    const int fc = fieldColumn(index.column());
    if (fc < 0 && role == Qt::CheckStateRole) {
        setChecked(index.row(), value.toInt() == Qt::Checked);
        return true;
    }
    if (fc < 0 || role != Qt::EditRole || !m_editable || !m_source || !m_source->DataSet())
        return false;
    // The table decides: its BeforeEdit may abort, a field may refuse the text.
    TClientDataSet *ds = m_source->DataSet();
    return runGuarded([&] {
        ds->setRecNo(index.row() + 1);
        ds->Edit();
        try {
            ds->FieldByName(m_fieldNames[fc])->setAsString(value.toString());
            ds->Post();
        } catch (...) {
            ds->Cancel();
            throw;
        }
    });
}

QString TDataSourceModel::keyAt(int row) const
{
    return m_keys.value(row);
}

bool TDataSourceModel::isChecked(int row) const
{
    return m_checked.contains(row);
}

void TDataSourceModel::setChecked(int row, bool checked)
{
    if (row < 0 || row >= int(m_rows.size()))
        return;
    if (checked)
        m_checked.insert(row);
    else
        m_checked.remove(row);
    const QModelIndex i = index(row, 0);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

void TDataSourceModel::setAllChecked(bool checked)
{
    for (int r = 0; r < int(m_rows.size()); ++r)
        setChecked(r, checked);
}

QStringList TDataSourceModel::checkedKeys() const
{
    QStringList keys;
    for (int r = 0; r < int(m_rows.size()); ++r)
        if (m_checked.contains(r))
            keys << m_keys[r];
    return keys;
}

TField *TDataSourceModel::fieldAt(int column) const
{
    const int fc = fieldColumn(column);
    TClientDataSet *ds = m_source ? m_source->DataSet() : nullptr;
    if (fc < 0 || !ds)
        return nullptr;
    return ds->FindField(m_fieldNames.value(fc));
}

int TDataSourceModel::widthAt(int column) const
{
    const int fc = fieldColumn(column);
    return fc < 0 ? 0 : (fc < int(m_widths.size()) ? m_widths[size_t(fc)] : 0);
}

} // namespace kpr
