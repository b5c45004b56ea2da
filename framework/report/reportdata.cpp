#include "framework/report/reportdata.h"

#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/db/adoibquery.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/report/layoutfile.h"
#include "framework/report/valueformat.h"

#include <QSet>

#include <algorithm>
#include <numeric>
#include <optional>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

ReportRows::ReportRows(QString name) : m_name(std::move(name)) {}

void ReportRows::addField(const QString &field, TFieldType type)
{
    m_byName.insert(field.toUpper(), int(m_fields.size()));
    m_fields << field;
    m_types.push_back(type);
}

int ReportRows::column(const QString &field) const
{
    return m_byName.value(field.toUpper(), -1);
}

namespace detail {

TableRowIds::TableRowIds(const QString &name, const TClientDataSet &table)
    : m_name(name),
      m_table(&table),
      m_generation(table.Generation()),
      m_valid(true)
{
    for (const TField *f : table.Fields())
        m_fields.push_back(f);
    if (table.Active())
        m_ids = table.RowIds();
    m_stamps.reserve(m_ids.size());
    for (RowId id : m_ids)
        m_stamps.push_back(table.RowStamp(id));
}

QVariant TableRowIds::value(int row, int column) const
{
    const RowId id = m_ids[size_t(row)];
    const TClientDataSet *table = m_table.data();
    if (!table || table->Generation() != m_generation || table->RowStamp(id) != m_stamps[size_t(row)])
        throw EKprError(u"A tabela '%1' mudou durante o relatório."_s.arg(m_name));
    const TField *f = m_fields[size_t(column)];
    return cellAsVariant(f->DataType(), table->CellAt(id, f));
}

TableRowIds TableRowIds::selected(const std::vector<int> &rows) const
{
    TableRowIds out;
    out.m_name = m_name;
    out.m_table = m_table;
    out.m_fields = m_fields;
    out.m_generation = m_generation;
    out.m_valid = m_valid;
    out.m_ids.reserve(rows.size());
    out.m_stamps.reserve(rows.size());
    for (int r : rows) {
        out.m_ids.push_back(m_ids[size_t(r)]);
        out.m_stamps.push_back(m_stamps[size_t(r)]);
    }
    return out;
}

} // namespace detail

void ReportRows::appendRow(std::vector<QVariant> &&cells)
{
    Q_ASSERT(!m_byId.valid());
    Q_ASSERT(cells.size() == size_t(m_fields.size()));
    for (QVariant &v : cells)
        m_cells.push_back(std::move(v));
    ++m_rows;
}

void ReportRows::retain(const std::function<bool(int)> &keep)
{
    if (m_byId.valid()) {
        std::vector<int> kept;
        for (int r = 0; r < m_rows; ++r)
            if (keep(r))
                kept.push_back(r);
        m_byId = m_byId.selected(kept);
        m_rows = m_byId.size();
        return;
    }
    const size_t width = size_t(m_fields.size());
    std::vector<QVariant> kept;
    int rows = 0;
    for (int r = 0; r < m_rows; ++r) {
        if (!keep(r))
            continue;
        for (size_t c = 0; c < width; ++c)
            kept.push_back(std::move(m_cells[size_t(r) * width + c]));
        ++rows;
    }
    m_cells = std::move(kept);
    m_rows = rows;
}

void ReportRows::keepRows(const std::vector<int> &rows)
{
    if (m_byId.valid()) {
        m_byId = m_byId.selected(rows);
        m_rows = m_byId.size();
        return;
    }
    const size_t width = size_t(m_fields.size());
    std::vector<QVariant> kept;
    kept.reserve(rows.size() * width);
    for (int r : rows)
        for (size_t c = 0; c < width; ++c)
            kept.push_back(std::move(m_cells[size_t(r) * width + c]));
    m_cells = std::move(kept);
    m_rows = int(rows.size());
}

ReportRows ReportRows::subset(const std::vector<int> &rows) const
{
    ReportRows out(m_name);
    out.m_fields = m_fields;
    out.m_types = m_types;
    out.m_byName = m_byName;
    if (m_byId.valid()) {
        out.m_byId = m_byId.selected(rows);
        out.m_rows = out.m_byId.size();
        return out;
    }
    const size_t width = size_t(m_fields.size());
    out.m_cells.reserve(rows.size() * width);
    for (int r : rows)
        for (size_t c = 0; c < width; ++c)
            out.m_cells.push_back(m_cells[size_t(r) * width + c]);
    out.m_rows = int(rows.size());
    return out;
}

// The rows of one opening as the cache keeps them: the values an SQL statement gave, or the
// row ids of a registered table in its order at the time.
class CachedRows
{
public:
    explicit CachedRows(ReportRows rows) : m_rows(std::move(rows)) {}
    CachedRows(const QString &name, const TClientDataSet &table) : m_rows(name), m_byId(name, table)
    {
        for (const TField *f : table.Fields())
            m_rows.addField(f->FieldName(), f->DataType());
    }

    int rowCount() const { return m_byId.valid() ? m_byId.size() : m_rows.rowCount(); }
    int column(const QString &field) const { return m_rows.column(field); }
    QVariant value(int row, int column) const
    {
        return m_byId.valid() ? m_byId.value(row, column) : m_rows.value(row, column);
    }
    // The rows of these numbers (ascending) as values.
    ReportRows subset(const std::vector<int> &rows) const
    {
        if (!m_byId.valid())
            return m_rows.subset(rows);
        ReportRows out = m_rows; // the fields
        const int width = m_rows.columnCount();
        for (int r : rows) {
            std::vector<QVariant> cells;
            cells.reserve(size_t(width));
            for (int c = 0; c < width; ++c)
                cells.push_back(value(r, c));
            out.appendRow(std::move(cells));
        }
        return out;
    }

private:
    ReportRows m_rows; // the values, or for a table only its fields
    detail::TableRowIds m_byId;
};

struct DataSetCache::Entry
{
    explicit Entry(CachedRows r) : rows(std::move(r)) {}
    CachedRows rows;
    // column → trimmed plain text → row numbers
    QHash<int, QHash<QString, std::vector<int>>> index;
};

DataSetCache::DataSetCache() = default;
DataSetCache::~DataSetCache() = default;

const CachedRows *DataSetCache::find(const QString &key) const
{
    const auto it = m_entries.constFind(key);
    return it == m_entries.cend() ? nullptr : &it.value()->rows;
}

const CachedRows &DataSetCache::store(const QString &key, CachedRows rows)
{
    auto e = std::make_shared<Entry>(std::move(rows));
    m_entries.insert(key, e);
    return e->rows;
}

const std::vector<int> &DataSetCache::rowsWith(const QString &key, int column, const QString &value)
{
    static const std::vector<int> none;
    const auto it = m_entries.constFind(key);
    if (it == m_entries.cend())
        return none;
    Entry &e = *it.value();
    auto idx = e.index.find(column);
    if (idx == e.index.end()) {
        QHash<QString, std::vector<int>> built;
        for (int r = 0; r < e.rows.rowCount(); ++r)
            built[plainText(e.rows.value(r, column)).trimmed()].push_back(r);
        idx = e.index.insert(column, std::move(built));
    }
    const auto rows = idx->constFind(value);
    return rows == idx->cend() ? none : *rows;
}

namespace {

// The keys of a list parameter ("_K1__K2_"); empty for "T", which takes every row.
QStringList listKeys(const QString &list, bool &all)
{
    const QString l = list.trimmed();
    all = l.compare(u"T"_s, Qt::CaseInsensitive) == 0;
    QStringList keys;
    if (all)
        return keys;
    for (const QString &k : l.split(u'_', Qt::SkipEmptyParts))
        if (!k.trimmed().isEmpty())
            keys << k.trimmed();
    return keys;
}

bool isDateValue(const QVariant &v)
{
    return v.typeId() == QMetaType::QDate || v.typeId() == QMetaType::QDateTime;
}

int compareValues(const QVariant &a, const QVariant &b)
{
    const bool an = !a.isValid() || a.isNull();
    const bool bn = !b.isValid() || b.isNull();
    if (an || bn)
        return an == bn ? 0 : (an ? -1 : 1); // empty values first
    if (a.typeId() == QMetaType::QString && b.typeId() == QMetaType::QString)
        return a.toString().compare(b.toString()); // codes: "10" after "09", by character
    if (isDateValue(a) && isDateValue(b)) {
        const QDateTime x = dateTimeOf(a), y = dateTimeOf(b);
        return x < y ? -1 : (y < x ? 1 : 0);
    }
    const std::optional<double> x = numberOf(a);
    const std::optional<double> y = numberOf(b);
    if (x && y)
        return *x < *y ? -1 : (*y < *x ? 1 : 0);
    return plainText(a).compare(plainText(b));
}

} // namespace

void ReportRows::sort(const QList<SortKey> &keys)
{
    std::vector<std::pair<int, bool>> cols;
    for (const SortKey &k : keys)
        cols.push_back({column(k.field), k.descending});
    std::vector<int> order(static_cast<size_t>(m_rows));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        for (const auto &[c, desc] : cols) {
            const int r = compareValues(value(x, c), value(y, c));
            if (r != 0)
                return desc ? r > 0 : r < 0;
        }
        return false;
    });
    if (m_byId.valid()) {
        m_byId = m_byId.selected(order);
        return;
    }
    const size_t width = size_t(m_fields.size());
    std::vector<QVariant> sorted;
    sorted.reserve(m_cells.size());
    for (int r : order)
        for (size_t c = 0; c < width; ++c)
            sorted.push_back(std::move(m_cells[size_t(r) * width + c]));
    m_cells = std::move(sorted);
}

void ReportRows::ownValues()
{
    if (!m_byId.valid())
        return;
    const detail::TableRowIds ids = std::exchange(m_byId, {});
    const size_t width = size_t(m_fields.size());
    m_cells.clear();
    m_cells.reserve(size_t(m_rows) * width);
    for (int r = 0; r < m_rows; ++r)
        for (size_t c = 0; c < width; ++c)
            m_cells.push_back(ids.value(r, int(c)));
}

ReportRows ReportRows::fromTable(const QString &name, const TClientDataSet &table)
{
    ReportRows rows(name);
    for (const TField *f : table.Fields())
        rows.addField(f->FieldName(), f->DataType());
    rows.m_byId = detail::TableRowIds(name, table);
    rows.m_rows = rows.m_byId.size();
    return rows;
}

bool inListParam(const QString &list, const QString &value)
{
    const QString l = list.trimmed();
    if (l.compare(u"T"_s, Qt::CaseInsensitive) == 0)
        return true;
    const QString v = value.trimmed();
    if (v.isEmpty())
        return false;
    for (const QString &key : l.split(u'_', Qt::SkipEmptyParts))
        if (key.trimmed() == v)
            return true;
    return false;
}

bool equalsParam(const TParam &param, const QVariant &value)
{
    if (param.IsNull() || !value.isValid() || value.isNull())
        return false;
    switch (param.DataType()) {
    case ftDateTime: {
        const QDateTime a = dateTimeOf(param.Value());
        const QDateTime b = dateTimeOf(value);
        return a.isValid() && b.isValid() && a.date() == b.date();
    }
    case ftFloat:
    case ftInteger: {
        const std::optional<double> a = numberOf(param.Value());
        const std::optional<double> b = numberOf(value);
        return a && b && *a == *b;
    }
    default: return param.AsString().trimmed() == plainText(value).trimmed();
    }
}

namespace {

[[noreturn]] void failDataSet(const QString &fileName, const DataSetDef &d, const QString &what)
{
    throw EKprError(u"%1: conjunto de dados '%2': %3."_s.arg(layoutErrorPrefix(fileName), d.name, what));
}

// The dataset's statement for this database with the layout's values bound; key gets what
// identifies its rows (the statement and the values it names).
void prepareSql(TADOIBQuery &q, const DataSetDef &d, const QString &fileName, const TParams &params, QString &key)
{
    // A layout reads; whatever its SQL says, it never writes.
    q.setReadOnly(true);
    q.setSQL(d.sql.split(u'\n'));
    if (d.sqlDialect.contains(u"sqlite"_s))
        q.setSQL_SQLITE(d.sqlDialect.value(u"sqlite"_s).split(u'\n'));
    if (d.sqlDialect.contains(u"postgresql"_s))
        q.setSQL_PG(d.sqlDialect.value(u"postgresql"_s).split(u'\n'));
    if (q.statementText().trimmed().isEmpty())
        failDataSet(fileName, d, u"não há comando SQL para este tipo de banco de dados"_s);
    key = u"sql\x1f"_s + q.statementText();
    for (const QString &name : q.ParamNames()) {
        const TParam *p = params.FindParam(name);
        if (!p)
            failDataSet(fileName, d, u"o parâmetro ':%1' do SQL não está declarado em 'parameters'"_s.arg(name));
        TParam &target = q.ParamByName(name);
        target.setDataType(p->DataType());
        target.setValue(p->Value());
        key += u'\x1f' + name + u'=' + QString::number(int(p->DataType())) + u':' + plainText(p->Value());
    }
}

ReportRows runSql(TADOIBQuery &q, const DataSetDef &d, const QString &fileName)
{
    try {
        q.Open();
    } catch (const EKprError &e) {
        failDataSet(fileName, d, e.text());
    }
    ReportRows rows(d.name);
    for (const TField *f : q.Fields())
        rows.addField(f->FieldName(), f->DataType());
    const int width = q.FieldCount();
    for (q.First(); !q.Eof(); q.Next()) {
        std::vector<QVariant> cells;
        cells.reserve(size_t(width));
        for (int c = 0; c < width; ++c)
            cells.push_back(q.Fields()[c]->AsVariant());
        rows.appendRow(std::move(cells));
    }
    q.Close();
    return rows;
}

} // namespace

std::vector<ReportRows> openDataSets(const ReportLayout &layout, const QString &fileName, const TParams &params,
                                     const TableLookup &tables, DataSetCache *cache)
{
    std::vector<ReportRows> out;
    for (const DataSetDef &d : layout.datasets) {
        // Read the rows, or find them among those an earlier opening read.
        QString key;
        TADOIBQuery q(d.name);
        const TClientDataSet *table = nullptr;
        if (d.isSql()) {
            prepareSql(q, d, fileName, params, key);
        } else {
            table = tables ? tables(d.table) : nullptr;
            if (!table)
                failDataSet(fileName, d, u"a tabela '%1' não está disponível para o relatório"_s.arg(d.table));
            key = u"table\x1f%1\x1f%2"_s.arg(d.table).arg(quintptr(table));
        }
        key = d.name + u'\x1f' + key;
        DataSetCache *keep = d.reread ? nullptr : cache;
        const CachedRows *cached = keep ? keep->find(key) : nullptr;
        ReportRows rows;
        if (!cached) {
            if (keep)
                cached = d.isSql() ? &keep->store(key, CachedRows(runSql(q, d, fileName)))
                                   : &keep->store(key, CachedRows(d.name, *table));
            else
                rows = d.isSql() ? runSql(q, d, fileName) : ReportRows::fromTable(d.name, *table);
        }
        const auto rowCount = [&] { return cached ? cached->rowCount() : rows.rowCount(); };
        const auto columnOf = [&](const QString &field) { return cached ? cached->column(field) : rows.column(field); };
        const auto valueAt = [&](int r, int c) { return cached ? cached->value(r, c) : rows.value(r, c); };

        // The filters, each narrowing the rows: first the list filters a cache answers from its
        // index, so that an opening for one client never walks every row of the statement;
        // then the others over what is left. The result is the same in any order (rows keep
        // their order).
        struct Filtro
        {
            const DataSetFilter *def;
            int column;
            const TParam *param;
        };
        std::vector<Filtro> filtros;
        for (const DataSetFilter &f : d.filters) {
            const int c = columnOf(f.field);
            if (c < 0)
                failDataSet(fileName, d, u"o filtro usa o campo '%1', que o conjunto de dados não tem"_s.arg(f.field));
            const TParam *p = params.FindParam(f.param);
            if (!p)
                failDataSet(fileName, d, u"o filtro usa o parâmetro '%1', que não existe"_s.arg(f.param));
            filtros.push_back({&f, c, p});
        }
        std::optional<std::vector<int>> kept; // none: every row
        const auto narrow = [&](std::vector<int> next) {
            if (!kept) {
                kept = std::move(next);
                return;
            }
            std::vector<int> both;
            std::set_intersection(kept->begin(), kept->end(), next.begin(), next.end(), std::back_inserter(both));
            kept = std::move(both);
        };
        const auto each = [&](const std::function<bool(int)> &pass) {
            std::vector<int> next;
            if (kept) {
                for (int r : *kept)
                    if (pass(r))
                        next.push_back(r);
            } else {
                for (int r = 0, n = rowCount(); r < n; ++r)
                    if (pass(r))
                        next.push_back(r);
            }
            kept = std::move(next);
        };
        // A dataset linked to the master is only ever read through the link: with a cache, its
        // rows are narrowed at once to the keys the master's rows hold (the same index), so
        // that a statement's totals of every client are not copied for each client's file.
        const DataSetDef *masterDef = layout.masterDataSet();
        const size_t masterIndex = masterDef ? size_t(masterDef - layout.datasets.constData()) : size_t(-1);
        if (cached && d.link && masterIndex < out.size()) {
            const ReportRows &m = out[masterIndex];
            const int masterCol = m.column(d.link->masterField);
            const int linkCol = columnOf(d.link->field);
            if (masterCol >= 0 && linkCol >= 0) {
                QSet<QString> keys;
                for (int r = 0; r < m.rowCount(); ++r)
                    keys.insert(plainText(m.value(r, masterCol)).trimmed());
                std::vector<int> matching;
                for (const QString &k : std::as_const(keys)) {
                    const std::vector<int> &rows = keep->rowsWith(key, linkCol, k);
                    matching.insert(matching.end(), rows.begin(), rows.end());
                }
                std::sort(matching.begin(), matching.end());
                narrow(std::move(matching));
            }
        }
        for (const bool indexed : {true, false}) {
            for (const Filtro &f : filtros) {
                const bool inList = f.def->op == DataSetFilter::Op::InList;
                if ((inList && cached) != indexed)
                    continue;
                if (inList) {
                    bool every = false;
                    const QStringList keys = listKeys(f.param->AsString(), every);
                    if (every)
                        continue;
                    if (cached) {
                        std::vector<int> matching;
                        for (const QString &k : keys) {
                            const std::vector<int> &m = keep->rowsWith(key, f.column, k);
                            matching.insert(matching.end(), m.begin(), m.end());
                        }
                        std::sort(matching.begin(), matching.end());
                        matching.erase(std::unique(matching.begin(), matching.end()), matching.end());
                        narrow(std::move(matching));
                    } else {
                        const QSet<QString> wanted(keys.cbegin(), keys.cend());
                        each([&](int r) { return wanted.contains(plainText(valueAt(r, f.column)).trimmed()); });
                    }
                } else {
                    each([&](int r) { return equalsParam(*f.param, valueAt(r, f.column)); });
                }
            }
        }
        if (!kept) {
            kept.emplace(static_cast<size_t>(rowCount()));
            std::iota(kept->begin(), kept->end(), 0);
        }
        if (cached) {
            rows = cached->subset(*kept);
        } else if (int(kept->size()) != rows.rowCount()) {
            rows.keepRows(*kept);
        }
        for (const SortKey &k : d.sort)
            if (rows.column(k.field) < 0)
                failDataSet(fileName, d, u"a ordem usa o campo '%1', que o conjunto de dados não tem"_s.arg(k.field));
        if (!d.sort.isEmpty())
            rows.sort(d.sort);
        // A run's reports may be painted on other threads while the next one opens: a table
        // read again for each opening hands over values, not the table.
        if (cache)
            rows.ownValues();
        out.push_back(std::move(rows));
    }
    return out;
}

} // namespace kpr
