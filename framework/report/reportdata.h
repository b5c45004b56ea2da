#pragma once
// The rows a report reads: each dataset of a layout opened (SQL on the shared connection
// with the layout's parameters bound, or a registered in-memory table), filtered and sorted.
// SQL rows are held as plain values; a table's rows as the table's own row ids, read cell by
// cell without its cursor, so that a report of a whole statement does not copy it.

#include "framework/data/field.h"
#include "framework/data/storage.h"
#include "framework/data/params.h"
#include "framework/report/layout.h"

#include <QHash>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

namespace kpr {

class TClientDataSet;
class CachedRows;

namespace detail {

// A registered table's rows by id, in the order they had when taken. Reading a cell later
// throws EKprError when the table was destroyed or reloaded since, or the row deleted or
// replaced by another (its id given to a new row).
class TableRowIds
{
public:
    TableRowIds() = default;
    TableRowIds(const QString &name, const TClientDataSet &table);

    bool valid() const { return m_valid; }
    int size() const { return int(m_ids.size()); }
    QVariant value(int row, int column) const;
    // The rows of these numbers, in the order given.
    TableRowIds selected(const std::vector<int> &rows) const;

private:
    QString m_name;
    QPointer<const TClientDataSet> m_table;
    std::vector<RowId> m_ids;
    std::vector<quint64> m_stamps;
    std::vector<const TField *> m_fields;
    quint64 m_generation = 0;
    bool m_valid = false;
};

} // namespace detail

class ReportRows
{
public:
    explicit ReportRows(QString name = {});

    const QString &name() const { return m_name; }
    void addField(const QString &field, TFieldType type);
    const QStringList &fields() const { return m_fields; }
    TFieldType fieldType(int column) const { return m_types[size_t(column)]; }
    int columnCount() const { return int(m_fields.size()); }
    int column(const QString &field) const; // case-insensitive; -1 when absent

    int rowCount() const { return m_rows; }
    // A table's cell throws EKprError when the table was reloaded or the row deleted since.
    QVariant value(int row, int column) const
    {
        if (m_byId.valid())
            return m_byId.value(row, column);
        return m_cells[size_t(row) * size_t(m_fields.size()) + size_t(column)];
    }
    void appendRow(std::vector<QVariant> &&cells); // one value per field, in field order; not for a table

    // Keeps the rows for which keep(row) holds, in their order.
    void retain(const std::function<bool(int row)> &keep);
    // Keeps the rows of these numbers (ascending), moving their values.
    void keepRows(const std::vector<int> &rows);
    // A copy holding the rows of these numbers (ascending).
    ReportRows subset(const std::vector<int> &rows) const;
    // A stable sort on the keys; numbers and dates by value, texts by their characters.
    void sort(const QList<SortKey> &keys);
    // Rows of a table read by id take their values now and no longer read the table: rows
    // that are read later, elsewhere (painted on another thread), while the table may change.
    void ownValues();

    // Every row of a table, in its current order, by the table's row ids: the table's cursor
    // stays where it is and nothing is copied, so the table must not change while these rows
    // are read. A closed table gives its fields and no rows.
    static ReportRows fromTable(const QString &name, const TClientDataSet &table);

private:
    QString m_name;
    QStringList m_fields;
    std::vector<TFieldType> m_types;
    QHash<QString, int> m_byName; // upper-cased
    std::vector<QVariant> m_cells;
    int m_rows = 0;
    detail::TableRowIds m_byId; // a table's rows instead of values
};

// The registered table of a name, or nullptr.
using TableLookup = std::function<const TClientDataSet *(const QString &name)>;

// The unfiltered rows of the datasets that layouts opened, kept for a run of reports over
// data that does not change meanwhile (one file per client of the same statement). A later
// opening of a dataset with the same SQL and the same values of the parameters it names, or
// of the same table, reads no rows again; its list filters pick their rows through an index
// of the filtered column instead of testing every row. A table's rows are kept as the
// table's own row ids, not copied (the statement tables are the largest thing a report
// reads); only each opening's filtered rows become values. Whoever holds one must drop it
// before the data changes (a table reloaded meanwhile is reported, not read).
class DataSetCache
{
public:
    DataSetCache();
    ~DataSetCache();
    DataSetCache(const DataSetCache &) = delete;
    DataSetCache &operator=(const DataSetCache &) = delete;

    const CachedRows *find(const QString &key) const;
    const CachedRows &store(const QString &key, CachedRows rows);
    // The numbers (ascending) of the stored rows whose column holds the value, by its trimmed
    // plain text.
    const std::vector<int> &rowsWith(const QString &key, int column, const QString &value);

private:
    struct Entry;
    QHash<QString, std::shared_ptr<Entry>> m_entries;
};

// Opens every dataset of the layout in the order declared. Throws EKprError with a text
// naming the file and the dataset: an unregistered table, a parameter the SQL names that the
// layout does not declare, a database error, a filter or sort field the dataset lacks. With a
// cache, rows already read for an earlier opening are taken from it.
std::vector<ReportRows> openDataSets(const ReportLayout &layout, const QString &fileName, const TParams &params,
                                     const TableLookup &tables, DataSetCache *cache = nullptr);

// The filter rules on their own: does this row value pass the parameter?
bool inListParam(const QString &list, const QString &value);
bool equalsParam(const TParam &param, const QVariant &value);

} // namespace kpr
