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

void ReportRows::appendRow(std::vector<QVariant> &&cells)
{
    Q_ASSERT(cells.size() == size_t(m_fields.size()));
    for (QVariant &v : cells)
        m_cells.push_back(std::move(v));
    ++m_rows;
}

void ReportRows::retain(const std::function<bool(int)> &keep)
{
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

namespace {

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
    const size_t width = size_t(m_fields.size());
    std::vector<QVariant> sorted;
    sorted.reserve(m_cells.size());
    for (int r : order)
        for (size_t c = 0; c < width; ++c)
            sorted.push_back(std::move(m_cells[size_t(r) * width + c]));
    m_cells = std::move(sorted);
}

ReportRows ReportRows::fromTable(const QString &name, const TClientDataSet &table)
{
    ReportRows rows(name);
    QStringList names;
    for (const TField *f : table.Fields()) {
        rows.addField(f->FieldName(), f->DataType());
        names << f->FieldName();
    }
    if (!table.Active() || table.IsEmpty())
        return rows;
    TDataSetCursor cur(table);
    for (cur.First(); !cur.Eof(); cur.Next()) {
        std::vector<QVariant> cells;
        cells.reserve(size_t(names.size()));
        for (const QString &f : names)
            cells.push_back(cur.Value(f));
        rows.appendRow(std::move(cells));
    }
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

ReportRows runSql(const DataSetDef &d, const QString &fileName, const TParams &params)
{
    TADOIBQuery q(d.name);
    q.setSQL(d.sql.split(u'\n'));
    if (d.sqlDialect.contains(u"sqlite"_s))
        q.setSQL_SQLITE(d.sqlDialect.value(u"sqlite"_s).split(u'\n'));
    if (d.sqlDialect.contains(u"postgresql"_s))
        q.setSQL_PG(d.sqlDialect.value(u"postgresql"_s).split(u'\n'));
    if (q.statementText().trimmed().isEmpty())
        failDataSet(fileName, d, u"não há comando SQL para este tipo de banco de dados"_s);
    for (const QString &name : q.ParamNames()) {
        const TParam *p = params.FindParam(name);
        if (!p)
            failDataSet(fileName, d, u"o parâmetro ':%1' do SQL não está declarado em 'parameters'"_s.arg(name));
        TParam &target = q.ParamByName(name);
        target.setDataType(p->DataType());
        target.setValue(p->Value());
    }
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
                                     const TableLookup &tables)
{
    std::vector<ReportRows> out;
    for (const DataSetDef &d : layout.datasets) {
        ReportRows rows;
        if (d.isSql()) {
            rows = runSql(d, fileName, params);
        } else {
            const TClientDataSet *table = tables ? tables(d.table) : nullptr;
            if (!table)
                failDataSet(fileName, d, u"a tabela '%1' não está disponível para o relatório"_s.arg(d.table));
            rows = ReportRows::fromTable(d.name, *table);
        }
        for (const DataSetFilter &f : d.filters) {
            const int c = rows.column(f.field);
            if (c < 0)
                failDataSet(fileName, d, u"o filtro usa o campo '%1', que o conjunto de dados não tem"_s.arg(f.field));
            const TParam *p = params.FindParam(f.param);
            if (!p)
                failDataSet(fileName, d, u"o filtro usa o parâmetro '%1', que não existe"_s.arg(f.param));
            if (f.op == DataSetFilter::Op::InList) {
                const QString list = p->AsString();
                rows.retain([&](int r) { return inListParam(list, plainText(rows.value(r, c))); });
            } else {
                rows.retain([&](int r) { return equalsParam(*p, rows.value(r, c)); });
            }
        }
        for (const SortKey &k : d.sort)
            if (rows.column(k.field) < 0)
                failDataSet(fileName, d, u"a ordem usa o campo '%1', que o conjunto de dados não tem"_s.arg(k.field));
        if (!d.sort.isEmpty())
            rows.sort(d.sort);
        out.push_back(std::move(rows));
    }
    return out;
}

} // namespace kpr
