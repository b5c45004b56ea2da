#include "framework/data/clientdataset.h"

#include "framework/data/datapacket.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVarLengthArray>

#include <algorithm>
#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

using detail::Cell;
using detail::CellKind;
using detail::CellView;
using detail::CursorState;
using detail::NoRow;
using detail::RowId;
using detail::RowOrder;

namespace {
// Insertion labels leave room for about twenty inserts at one spot before a renumbering.
constexpr qint64 LabelGap = qint64(1) << 20;
} // namespace

// How Locate searches a given list of fields: the fields, and the indexes that can serve it
// with the position in the list of each of the index's leading fields.
struct TClientDataSet::LocatePlan
{
    QString keyFields;
    std::vector<int> fields;
    bool anyText = false;
    int indexCS = -1; // serves a case-sensitive search
    int indexCI = -1; // serves a case-insensitive search
    std::vector<int> mapCS, mapCI;
};

TClientDataSet::TClientDataSet(QObject *parent) : QObject(parent) {}

TClientDataSet::TClientDataSet(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

TClientDataSet::~TClientDataSet() = default;

QString TClientDataSet::errorText(const QString &text) const
{
    return objectName().isEmpty() ? text : objectName() + u": "_s + text;
}

void TClientDataSet::fail(const QString &text) const
{
    throw EDatabaseError(errorText(text));
}

void TClientDataSet::checkActive() const
{
    if (m_state == dsInactive)
        fail(u"Cannot perform this operation on a closed dataset"_s);
}

void TClientDataSet::checkInactive() const
{
    if (m_state != dsInactive)
        fail(u"Cannot perform this operation on an open dataset"_s);
}

void TClientDataSet::checkBrowseMode()
{
    checkActive();
    if (m_state == dsInsert || m_state == dsEdit) {
        if (m_modified)
            Post();
        else
            Cancel();
    }
}

// --- Fields ------------------------------------------------------------------------------

TField *TClientDataSet::AddField(const QString &name, TFieldType type, int size)
{
    checkInactive();
    if (fieldIndex(name) >= 0)
        fail(u"Duplicate field name '%1'"_s.arg(name));
    if (!m_persistent) { // fields taken from an earlier packet give way to defined ones
        m_fields.clear();
        m_fieldList.clear();
        m_fieldByName.clear();
    }
    m_persistent = true;
    const int index = int(m_fields.size());
    m_fields.push_back(std::make_unique<TField>(this, index, name, type, isTextType(type) ? size : 0));
    m_fieldList.append(m_fields.back().get());
    m_fieldByName.insert(name, index);
    m_fieldByName.insert(name.toUpper(), index);
    m_plans.clear();
    return m_fields.back().get();
}

int TClientDataSet::fieldIndex(const QString &name) const
{
    auto it = m_fieldByName.constFind(name);
    if (it == m_fieldByName.cend())
        it = m_fieldByName.constFind(name.toUpper());
    return it == m_fieldByName.cend() ? -1 : it.value();
}

TField *TClientDataSet::FindField(const QString &name) const
{
    const int i = fieldIndex(name);
    return i < 0 ? nullptr : m_fields[size_t(i)].get();
}

TField *TClientDataSet::FieldByName(const QString &name) const
{
    const int i = fieldIndex(name);
    if (i < 0)
        fail(u"Field '%1' not found"_s.arg(name));
    return m_fields[size_t(i)].get();
}

std::vector<int> TClientDataSet::resolveFields(const QString &names) const
{
    std::vector<int> result;
    for (const QStringView part : QStringView(names).split(u';')) {
        const QString name = part.trimmed().toString();
        if (name.isEmpty())
            continue;
        const int i = fieldIndex(name);
        if (i < 0)
            fail(u"Field '%1' not found"_s.arg(name));
        result.push_back(i);
    }
    if (result.empty())
        fail(u"No fields given in '%1'"_s.arg(names));
    return result;
}

// --- Indexes -----------------------------------------------------------------------------

void TClientDataSet::bindIndex(IndexDef &index)
{
    index.fieldIndexes = resolveFields(index.fields);
    std::vector<detail::KeyPart> parts;
    for (int f : index.fieldIndexes)
        parts.push_back({f, detail::kindOf(m_fields[size_t(f)]->DataType())});
    index.key = detail::OrderKey(&m_store, std::move(parts), index.options);
    index.order.clear();
}

void TClientDataSet::AddIndex(const QString &name, const QString &fields, TIndexOptions options)
{
    for (const auto &ix : m_indexes)
        if (ix->name.compare(name, Qt::CaseInsensitive) == 0)
            fail(u"Duplicate index name '%1'"_s.arg(name));
    auto index = std::make_unique<IndexDef>();
    index->name = name;
    index->fields = fields;
    index->options = options;
    if (Active()) {
        checkBrowseMode();
        bindIndex(*index);
        index->key.rebuild();
        std::vector<RowId> ids;
        ids.reserve(m_natural.size());
        m_natural.forEach([&](RowId r) { ids.push_back(r); });
        std::sort(ids.begin(), ids.end(), [&](RowId a, RowId b) { return index->key.compareRows(a, b) < 0; });
        index->order.assign(ids);
    }
    m_indexes.push_back(std::move(index));
    m_plans.clear();
}

QStringList TClientDataSet::IndexNames() const
{
    QStringList names;
    for (const auto &ix : m_indexes)
        names << ix->name;
    return names;
}

void TClientDataSet::setIndexName(const QString &name)
{
    int found = -1;
    if (!name.isEmpty()) {
        for (size_t i = 0; i < m_indexes.size(); ++i)
            if (m_indexes[i]->name.compare(name, Qt::CaseInsensitive) == 0)
                found = int(i);
        if (found < 0)
            fail(u"Index '%1' not found"_s.arg(name));
    }
    if (found == m_activeIndex)
        return;
    if (Active())
        checkBrowseMode();
    m_activeIndex = found;
    ++m_orderVersion; // the cursor keeps its row; its place is found again in the new order
    notifyData();
}

const detail::RowOrder &TClientDataSet::order() const
{
    return m_activeIndex < 0 ? m_natural : m_indexes[size_t(m_activeIndex)]->order;
}

const detail::OrderKey &TClientDataSet::orderKey() const
{
    return m_activeIndex < 0 ? m_naturalKey : m_indexes[size_t(m_activeIndex)]->key;
}

// --- Opening and closing -----------------------------------------------------------------

std::vector<detail::RowId> TClientDataSet::RowIds() const
{
    std::vector<detail::RowId> ids;
    if (!Active())
        return ids;
    ids.reserve(size_t(RecordCount()));
    detail::CursorState c;
    moveFirst(c);
    while (c.row != detail::NoRow && !c.eof) {
        ids.push_back(c.row);
        moveNext(c);
    }
    return ids;
}

void TClientDataSet::resetStorage()
{
    std::vector<TFieldType> types;
    for (const auto &f : m_fields)
        types.push_back(f->DataType());
    m_store.reset(types);
    m_natural.clear();
    m_naturalKey = detail::OrderKey(&m_store, {}, {});
    for (auto &ix : m_indexes)
        bindIndex(*ix);
    m_buffer.assign(m_fields.size(), Cell{});
    m_dirty.assign(m_fields.size(), 0);
    m_touched.clear();
    m_modified = false;
    m_cur = CursorState{};
    ++m_generation;
    ++m_orderVersion;
    m_plans.clear();
}

void TClientDataSet::CreateDataSet()
{
    if (m_fields.empty())
        fail(u"Cannot create a dataset without field definitions"_s);
    resetStorage();
    m_state = dsBrowse;
    notifyState();
    notifyData();
}

void TClientDataSet::Close()
{
    if (m_state == dsInactive)
        return;
    m_state = dsInactive;
    resetStorage();
    notifyState();
    notifyData();
}

void TClientDataSet::EmptyDataSet()
{
    checkActive();
    resetStorage();
    m_state = dsBrowse;
    notifyState();
    notifyData();
}

// --- Current record ----------------------------------------------------------------------

CellView TClientDataSet::readCell(int field) const
{
    switch (m_state) {
    case dsInactive: return {};
    case dsInsert: return m_dirty[size_t(field)] ? detail::viewOf(m_buffer[size_t(field)]) : CellView{};
    case dsEdit:
        if (m_dirty[size_t(field)])
            return detail::viewOf(m_buffer[size_t(field)]);
        break;
    case dsBrowse: break;
    }
    if (m_cur.row == NoRow)
        return {};
    return detail::viewOf(m_store.columns[size_t(field)], m_cur.row);
}

void TClientDataSet::writeCell(int field, Cell &&value)
{
    if (m_state != dsInsert && m_state != dsEdit)
        fail(u"Dataset not in edit or insert mode"_s);
    m_buffer[size_t(field)] = std::move(value);
    if (!m_dirty[size_t(field)]) {
        m_dirty[size_t(field)] = 1;
        m_touched.push_back(field);
    }
    m_modified = true;
}

void TClientDataSet::clearBuffer()
{
    for (int f : m_touched) {
        m_dirty[size_t(f)] = 0;
        m_buffer[size_t(f)] = Cell{};
    }
    m_touched.clear();
    m_modified = false;
}

// --- Editing -----------------------------------------------------------------------------

void TClientDataSet::startInsert(bool append)
{
    checkBrowseMode();
    if (BeforeInsert)
        BeforeInsert(*this);
    m_appending = append || m_cur.row == NoRow || m_cur.eof;
    m_insertBefore = m_appending ? NoRow : m_cur.row;
    m_state = dsInsert;
    notifyState();
}

void TClientDataSet::Insert()
{
    startInsert(false);
}

void TClientDataSet::Append()
{
    startInsert(true);
}

void TClientDataSet::Edit()
{
    checkActive();
    if (m_state == dsEdit || m_state == dsInsert)
        return;
    if (IsEmpty()) {
        Insert();
        return;
    }
    if (BeforeEdit)
        BeforeEdit(*this);
    m_state = dsEdit;
    notifyState();
}

void TClientDataSet::relabel()
{
    qint64 label = 0;
    m_natural.forEach([&](RowId r) {
        m_store.labels[r] = label;
        label += LabelGap;
    });
}

// A label between the row's predecessor in insertion order and the row itself.
qint64 TClientDataSet::labelBefore(RowId row)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        RowOrder::Pos p = m_natural.find(row, m_naturalKey);
        const qint64 mine = m_store.labels[row];
        const qint64 prev = m_natural.prior(p) ? m_store.labels[m_natural.at(p)] : mine - 2 * LabelGap;
        if (mine - prev >= 2)
            return prev + (mine - prev) / 2;
        relabel();
    }
    return m_store.labels[row] - 1; // not reached: a renumbering leaves full gaps
}

void TClientDataSet::Post()
{
    if (m_state != dsInsert && m_state != dsEdit)
        fail(u"Dataset not in edit or insert mode"_s);
    for (const auto &f : m_fields) {
        if (!f->Required())
            continue;
        const size_t i = size_t(f->Index());
        const bool null = m_dirty[i] ? m_buffer[i].null : (m_state == dsInsert || m_store.columns[i].isNull(m_cur.row));
        if (null)
            fail(u"Field '%1' must have a value"_s.arg(f->FieldName()));
    }

    if (m_state == dsInsert) {
        const RowId row = m_store.allocate();
        for (int f : m_touched)
            m_store.setCell(f, row, std::move(m_buffer[size_t(f)]));
        if (m_insertBefore != NoRow && m_store.isLive(m_insertBefore))
            m_store.labels[row] = labelBefore(m_insertBefore);
        else
            m_store.labels[row] = m_natural.empty() ? 0 : m_store.labels[m_natural.at(m_natural.last())] + LabelGap;
        RowOrder::Pos pos = m_natural.insert(row, m_naturalKey);
        for (size_t i = 0; i < m_indexes.size(); ++i) {
            m_indexes[i]->key.setRow(row);
            const RowOrder::Pos ip = m_indexes[i]->order.insert(row, m_indexes[i]->key);
            if (int(i) == m_activeIndex)
                pos = ip;
        }
        ++m_orderVersion;
        m_cur.row = row;
        m_cur.stamp = m_store.stamps[row];
        m_cur.pos = pos;
        m_cur.version = m_orderVersion;
    } else {
        const RowId row = m_cur.row;
        // An index whose key values change drops the row before the stored values change,
        // and takes it back in its new place afterwards.
        QVarLengthArray<IndexDef *, 8> moved;
        for (const auto &ix : m_indexes) {
            bool changed = false;
            for (int f : ix->fieldIndexes) {
                if (!m_dirty[size_t(f)])
                    continue;
                const CellView now = detail::viewOf(m_store.columns[size_t(f)], row);
                const Cell &next = m_buffer[size_t(f)];
                if (now.null != next.null
                    || (!now.null && (now.text ? *now.text != next.text : now.number != next.number))) {
                    changed = true;
                    break;
                }
            }
            if (changed) {
                ix->order.erase(ix->order.find(row, ix->key));
                moved.append(ix.get());
            }
        }
        for (int f : m_touched)
            m_store.setCell(f, row, std::move(m_buffer[size_t(f)]));
        for (IndexDef *ix : moved) {
            ix->key.setRow(row);
            const RowOrder::Pos ip = ix->order.insert(row, ix->key);
            if (m_activeIndex >= 0 && ix == m_indexes[size_t(m_activeIndex)].get()) {
                ++m_orderVersion;
                m_cur.pos = ip;
                m_cur.version = m_orderVersion;
            }
        }
    }
    clearBuffer();
    m_state = dsBrowse;
    m_cur.bof = m_cur.eof = false;
    notifyState();
    notifyData();
}

void TClientDataSet::Cancel()
{
    if (m_state != dsInsert && m_state != dsEdit)
        return;
    clearBuffer();
    m_state = dsBrowse;
    notifyState();
    notifyCursor();
}

void TClientDataSet::Delete()
{
    checkActive();
    if (m_state == dsInsert) { // the unposted row simply goes away
        Cancel();
        return;
    }
    if (m_state == dsEdit)
        Cancel();
    if (IsEmpty())
        fail(u"Cannot perform this operation on an empty dataset"_s);
    resolve(m_cur);
    const RowId row = m_cur.row;
    RowOrder &current = m_activeIndex < 0 ? m_natural : m_indexes[size_t(m_activeIndex)]->order;
    // Remove from the other orders first: they find the row by its stored values.
    if (m_activeIndex >= 0)
        m_natural.erase(m_natural.find(row, m_naturalKey));
    for (size_t i = 0; i < m_indexes.size(); ++i)
        if (int(i) != m_activeIndex)
            m_indexes[i]->order.erase(m_indexes[i]->order.find(row, m_indexes[i]->key));
    const RowOrder::Pos next = current.erase(m_cur.pos);
    m_store.release(row);
    ++m_orderVersion;
    if (current.empty()) {
        m_cur = CursorState{};
    } else {
        m_cur.eof = current.isEnd(next);
        m_cur.pos = m_cur.eof ? current.last() : next;
        m_cur.row = current.at(m_cur.pos);
        m_cur.stamp = m_store.stamps[m_cur.row];
        m_cur.version = m_orderVersion;
        m_cur.bof = false;
    }
    notifyData();
}

// --- Cursor ------------------------------------------------------------------------------

void TClientDataSet::resolve(CursorState &c) const
{
    if (c.row == NoRow)
        return;
    if (!m_store.isLive(c.row) || m_store.stamps[c.row] != c.stamp) { // a working cursor's row went
        moveFirst(c);
        return;
    }
    if (c.version == m_orderVersion)
        return;
    c.pos = order().find(c.row, orderKey());
    c.version = m_orderVersion;
    if (order().isEnd(c.pos))
        moveFirst(c);
}

void TClientDataSet::moveFirst(CursorState &c) const
{
    const RowOrder &o = order();
    if (o.empty()) {
        c = CursorState{};
        return;
    }
    c.pos = o.first();
    c.row = o.at(c.pos);
    c.stamp = m_store.stamps[c.row];
    c.version = m_orderVersion;
    c.bof = true;
    c.eof = false;
}

void TClientDataSet::moveLast(CursorState &c) const
{
    const RowOrder &o = order();
    if (o.empty()) {
        c = CursorState{};
        return;
    }
    c.pos = o.last();
    c.row = o.at(c.pos);
    c.stamp = m_store.stamps[c.row];
    c.version = m_orderVersion;
    c.bof = false;
    c.eof = true;
}

void TClientDataSet::moveNext(CursorState &c) const
{
    resolve(c);
    c.bof = false;
    if (c.row == NoRow || !order().next(c.pos)) {
        c.eof = true;
        return;
    }
    c.row = order().at(c.pos);
    c.stamp = m_store.stamps[c.row];
    c.eof = false;
}

void TClientDataSet::movePrior(CursorState &c) const
{
    resolve(c);
    c.eof = false;
    if (c.row == NoRow || !order().prior(c.pos)) {
        c.bof = true;
        return;
    }
    c.row = order().at(c.pos);
    c.stamp = m_store.stamps[c.row];
    c.bof = false;
}

void TClientDataSet::placeAt(CursorState &c, RowId row) const
{
    c.row = row;
    c.stamp = m_store.stamps[row];
    c.version = 0; // its place in the order is looked up when the cursor next moves
    c.bof = c.eof = false;
}

int TClientDataSet::recNoOf(CursorState &c) const
{
    resolve(c);
    return c.row == NoRow ? 0 : order().indexOf(c.pos) + 1;
}

void TClientDataSet::First()
{
    checkBrowseMode();
    moveFirst(m_cur);
    notifyCursor();
}

void TClientDataSet::Next()
{
    checkBrowseMode();
    moveNext(m_cur);
    notifyCursor();
}

void TClientDataSet::Prior()
{
    checkBrowseMode();
    movePrior(m_cur);
    notifyCursor();
}

void TClientDataSet::Last()
{
    checkBrowseMode();
    moveLast(m_cur);
    notifyCursor();
}

int TClientDataSet::RecNo() const
{
    if (m_state == dsInactive)
        return 0;
    CursorState c = m_cur;
    return recNoOf(c);
}

void TClientDataSet::setRecNo(int recNo)
{
    checkBrowseMode();
    if (IsEmpty())
        return;
    const int n = std::clamp(recNo, 1, RecordCount());
    m_cur.pos = order().posAt(n - 1);
    m_cur.row = order().at(m_cur.pos);
    m_cur.stamp = m_store.stamps[m_cur.row];
    m_cur.version = m_orderVersion;
    m_cur.bof = m_cur.eof = false;
    notifyCursor();
}

// --- Locate ------------------------------------------------------------------------------

const TClientDataSet::LocatePlan &TClientDataSet::locatePlan(const QString &keyFields) const
{
    for (const auto &p : m_plans)
        if (p->keyFields == keyFields)
            return *p;

    auto plan = std::make_unique<LocatePlan>();
    plan->keyFields = keyFields;
    plan->fields = resolveFields(keyFields);
    for (int f : plan->fields)
        plan->anyText = plan->anyText || isTextType(m_fields[size_t(f)]->DataType());
    const size_t k = plan->fields.size();
    // An index serves the search when its first k fields are the searched ones in any order.
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        const IndexDef &ix = *m_indexes[i];
        if (ix.fieldIndexes.size() < k)
            continue;
        std::vector<int> map;
        for (size_t j = 0; j < k; ++j) {
            const auto it = std::find(plan->fields.begin(), plan->fields.end(), ix.fieldIndexes[j]);
            if (it == plan->fields.end()
                || std::find(map.begin(), map.end(), int(it - plan->fields.begin())) != map.end())
                break;
            map.push_back(int(it - plan->fields.begin()));
        }
        if (map.size() != k)
            continue;
        const bool ci = ix.options.testFlag(ixCaseInsensitive);
        // A case-insensitive index narrows a case-sensitive search too (the rows it finds
        // are then checked exactly); a case-sensitive one cannot serve a search that ignores
        // case on text.
        if (plan->indexCS < 0 || (!ci && m_indexes[size_t(plan->indexCS)]->options.testFlag(ixCaseInsensitive))) {
            plan->indexCS = int(i);
            plan->mapCS = map;
        }
        if (plan->indexCI < 0 && (ci || !plan->anyText)) {
            plan->indexCI = int(i);
            plan->mapCI = map;
        }
    }
    if (m_plans.size() >= 16)
        m_plans.erase(m_plans.begin());
    m_plans.push_back(std::move(plan));
    return *m_plans.back();
}

RowId TClientDataSet::findRow(const QString &keyFields, const QVariantList &keyValues, TLocateOptions options) const
{
    checkActive();
    const LocatePlan &plan = locatePlan(keyFields);
    const size_t k = plan.fields.size();
    if (size_t(keyValues.size()) != k)
        fail(u"Locate on '%1' needs %2 values, %3 given"_s.arg(keyFields).arg(k).arg(keyValues.size()));
    std::vector<Cell> &probe = m_probe;
    probe.resize(k);
    for (size_t i = 0; i < k; ++i) {
        const TField &f = *m_fields[size_t(plan.fields[i])];
        try {
            probe[i] = detail::keyCellFromVariant(f.DataType(), keyValues[qsizetype(i)], f.FieldName());
        } catch (const EDatabaseError &e) {
            fail(e.text());
        }
    }
    const bool partial = options.testFlag(loPartialKey);
    const Qt::CaseSensitivity cs = options.testFlag(loCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive;

    const auto matches = [&](RowId row) {
        for (size_t i = 0; i < k; ++i) {
            const detail::Column &c = m_store.columns[size_t(plan.fields[i])];
            const Cell &v = probe[i];
            if (c.isNull(row) || v.null) {
                if (c.isNull(row) != v.null)
                    return false;
                continue;
            }
            if (c.kind == CellKind::Text) {
                const bool same =
                    partial ? c.text[row].startsWith(v.text, cs) : detail::compareText(c.text[row], v.text, cs) == 0;
                if (!same)
                    return false;
            } else if (c.number[row] != v.number) {
                return false;
            }
        }
        return true;
    };

    const int ixNo = partial ? -1 : (cs == Qt::CaseInsensitive ? plan.indexCI : plan.indexCS);
    if (ixNo >= 0) {
        const IndexDef &ix = *m_indexes[size_t(ixNo)];
        const std::vector<int> &map = cs == Qt::CaseInsensitive ? plan.mapCI : plan.mapCS;
        std::string &key = m_probeKey;
        ix.key.encodeProbe(probe, map, key);
        // Under the same case rule as the search, equal keys are matches; a case-insensitive
        // index serving a case-sensitive search needs each candidate checked.
        const bool exact = (ix.key.caseSensitivity() == cs) || !plan.anyText;
        // Equal keys lie together in insertion order; when another index orders the table,
        // the first of them in that order wins.
        const bool otherOrder = m_activeIndex >= 0 && m_activeIndex != ixNo;
        RowId best = NoRow;
        RowOrder::Pos p = ix.order.lowerBound(key, ix.key);
        while (!ix.order.isEnd(p)) {
            const RowId row = ix.order.at(p);
            if (ix.key.compareToProbe(row, key) != 0)
                break;
            if (exact || matches(row)) {
                if (!otherOrder)
                    return row;
                if (best == NoRow || orderKey().compareRows(row, best) < 0)
                    best = row;
            }
            if (!ix.order.next(p))
                break;
        }
        return best;
    }
    RowId found = NoRow;
    const RowOrder &o = order();
    for (RowOrder::Pos p = o.first(); !o.isEnd(p);) {
        if (matches(o.at(p))) {
            found = o.at(p);
            break;
        }
        if (!o.next(p))
            break;
    }
    return found;
}

bool TClientDataSet::Locate(const QString &keyFields, const QVariantList &keyValues, TLocateOptions options)
{
    checkBrowseMode();
    const RowId row = findRow(keyFields, keyValues, options);
    if (row == NoRow)
        return false;
    placeAt(m_cur, row);
    notifyCursor();
    return true;
}

bool TClientDataSet::Locate(const QString &keyField, const QVariant &keyValue, TLocateOptions options)
{
    return Locate(keyField, QVariantList{keyValue}, options);
}

TDataSetCursor TClientDataSet::CloneCursor() const
{
    return TDataSetCursor(*this);
}

// --- Signals -----------------------------------------------------------------------------

void TClientDataSet::DisableControls()
{
    ++m_disabled;
}

void TClientDataSet::EnableControls()
{
    if (m_disabled == 0 || --m_disabled > 0)
        return;
    if (m_changedWhileDisabled) {
        m_changedWhileDisabled = false;
        if (m_sources > 0) {
            emit dataChanged();
            emit cursorMoved();
        }
    }
}

void TClientDataSet::notifyData()
{
    if (m_sources == 0)
        return;
    if (m_disabled > 0) {
        m_changedWhileDisabled = true;
        return;
    }
    emit dataChanged();
}

void TClientDataSet::notifyCursor()
{
    if (m_sources == 0)
        return;
    if (m_disabled > 0) {
        m_changedWhileDisabled = true;
        return;
    }
    emit cursorMoved();
}

void TClientDataSet::notifyState()
{
    if (m_sources == 0 || m_disabled > 0)
        return;
    emit stateChanged();
}

// --- Packets -----------------------------------------------------------------------------

namespace {

bool compatible(TFieldType mine, TFieldType theirs)
{
    if (isTextType(mine))
        return isTextType(theirs);
    if (mine == ftBoolean || theirs == ftBoolean)
        return mine == theirs;
    return !isTextType(theirs); // float, integer and datetime are all numbers
}

void conformColumn(detail::Column &c, TFieldType type, int size)
{
    if (c.kind == CellKind::Text) {
        if (size > 0)
            for (QString &t : c.text)
                if (t.size() > size)
                    t.truncate(size);
        return;
    }
    if (type == ftDateTime)
        for (double &d : c.number)
            d = detail::normalizeDayNumber(d);
    else if (type == ftInteger)
        for (double &d : c.number)
            d = std::round(d);
}

} // namespace

Status TClientDataSet::loadPacket(detail::PacketData &&packet)
{
    // Everything is checked before anything changes: a refused packet leaves the table as it was.
    const auto packetIndex = [&](const QString &name) {
        for (size_t i = 0; i < packet.fields.size(); ++i)
            if (packet.fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return int(i);
        return -1;
    };
    std::vector<detail::Column> columns;
    if (m_persistent) {
        std::vector<int> source;
        for (const auto &f : m_fields) {
            const int i = packetIndex(f->FieldName());
            if (i < 0)
                return makeError(errorText(u"Field '%1' not found in the data packet"_s.arg(f->FieldName())));
            const TFieldType theirs = packet.fields[size_t(i)].type;
            if (!compatible(f->DataType(), theirs))
                return makeError(errorText(u"Type mismatch for field '%1', expecting: %2 actual: %3"_s.arg(
                    f->FieldName(), fieldTypeName(f->DataType()), fieldTypeName(theirs))));
            source.push_back(i);
        }
        for (size_t f = 0; f < m_fields.size(); ++f) {
            columns.push_back(std::move(packet.columns[size_t(source[f])]));
            conformColumn(columns.back(), m_fields[f]->DataType(), m_fields[f]->Size());
        }
    } else {
        for (const auto &ix : m_indexes)
            for (const QStringView part : QStringView(ix->fields).split(u';'))
                if (!part.trimmed().isEmpty() && packetIndex(part.trimmed().toString()) < 0)
                    return makeError(errorText(u"Field '%1' of index '%2' not found in the data packet"_s.arg(
                        part.trimmed().toString(), ix->name)));
        // Fields of the same name and type are kept, so that pointers to them stay good.
        std::vector<std::unique_ptr<TField>> fields;
        for (size_t i = 0; i < packet.fields.size(); ++i) {
            const PacketField &pf = packet.fields[i];
            std::unique_ptr<TField> field;
            for (auto &old : m_fields)
                if (old && old->FieldName() == pf.name && old->DataType() == pf.type && old->Size() == pf.size)
                    field = std::move(old);
            if (!field)
                field = std::make_unique<TField>(this, 0, pf.name, pf.type, pf.size);
            field->setProviderFlags(pf.flags);
            fields.push_back(std::move(field));
            columns.push_back(std::move(packet.columns[i]));
            conformColumn(columns.back(), pf.type, pf.size);
        }
        m_fields.clear();
        m_fieldList.clear();
        m_fieldByName.clear();
        for (size_t i = 0; i < fields.size(); ++i) {
            // A field keeps its object but takes its place in the new list.
            TField *f = fields[i].get();
            f->m_index = int(i);
            m_fieldByName.insert(f->FieldName(), int(i));
            m_fieldByName.insert(f->FieldName().toUpper(), int(i));
            m_fieldList.append(f);
            m_fields.push_back(std::move(fields[i]));
        }
    }

    resetStorage();
    m_store.adopt(std::move(columns), packet.rowCount, LabelGap);
    std::vector<RowId> ids(packet.rowCount);
    for (size_t i = 0; i < ids.size(); ++i)
        ids[i] = RowId(i);
    m_natural.assign(ids);
    for (auto &ix : m_indexes) {
        ix->key.rebuild();
        std::vector<RowId> sorted = ids;
        std::sort(sorted.begin(), sorted.end(), [&](RowId a, RowId b) { return ix->key.compareRows(a, b) < 0; });
        ix->order.assign(sorted);
    }
    const bool wasActive = Active();
    m_state = dsBrowse;
    moveFirst(m_cur);
    if (!wasActive)
        notifyState();
    notifyData();
    return {};
}

Status TClientDataSet::LoadFromPacket(const QJsonObject &packet)
{
    auto data = detail::readPacket(packet);
    if (!data)
        return makeError(errorText(data.error()));
    return loadPacket(std::move(data).value());
}

Status TClientDataSet::LoadFromPacket(const QByteArray &json)
{
    auto data = detail::readPacket(json);
    if (!data)
        return makeError(errorText(data.error()));
    return loadPacket(std::move(data).value());
}

Status TClientDataSet::LoadFromPacket(const ServerValue &packet)
{
    return packet.hasJson() ? LoadFromPacket(packet.json()) : LoadFromPacket(packet.toObject());
}

void TClientDataSet::setData(const ServerValue &packet)
{
    if (packet.hasJson())
        setData(packet.json());
    else
        setData(packet.value());
}

void TClientDataSet::setData(const QJsonValue &packet)
{
    if (!packet.isObject())
        fail(u"Malformed data packet: not a JSON object"_s);
    const Status s = LoadFromPacket(packet.toObject());
    if (!s)
        throw EDatabaseError(s.error());
}

void TClientDataSet::setData(const QByteArray &json)
{
    const Status s = LoadFromPacket(json);
    if (!s)
        throw EDatabaseError(s.error());
}

QJsonObject TClientDataSet::dataPacket() const
{
    QJsonArray fields;
    for (const auto &f : m_fields) {
        QJsonObject def{{u"name"_s, f->FieldName()}, {u"type"_s, packetTypeName(f->DataType())}};
        if (isTextType(f->DataType()))
            def.insert(u"size"_s, f->Size());
        def.insert(u"flags"_s, providerFlagsToJson(f->ProviderFlags()));
        fields.append(def);
    }
    QJsonArray rows;
    if (Active()) {
        order().forEach([&](RowId row) {
            QJsonArray values;
            for (const auto &f : m_fields)
                values.append(cellToJson(f->DataType(), detail::viewOf(m_store.columns[size_t(f->Index())], row)));
            rows.append(values);
        });
    }
    return QJsonObject{{u"fields"_s, fields}, {u"rows"_s, rows}};
}

QByteArray TClientDataSet::dataPacketJson() const
{
    return QJsonDocument(dataPacket()).toJson(QJsonDocument::Compact);
}

// --- Working cursor ----------------------------------------------------------------------

TDataSetCursor::TDataSetCursor(const TClientDataSet &dataSet)
    : m_ds(&dataSet),
      m_cur(dataSet.m_cur),
      m_generation(dataSet.m_generation)
{}

void TDataSetCursor::check() const
{
    if (m_generation != m_ds->m_generation) {
        m_generation = m_ds->m_generation;
        m_ds->moveFirst(m_cur);
    }
}

void TDataSetCursor::First()
{
    m_ds->checkActive();
    check();
    m_ds->moveFirst(m_cur);
}

void TDataSetCursor::Next()
{
    m_ds->checkActive();
    check();
    m_ds->moveNext(m_cur);
}

void TDataSetCursor::Prior()
{
    m_ds->checkActive();
    check();
    m_ds->movePrior(m_cur);
}

void TDataSetCursor::Last()
{
    m_ds->checkActive();
    check();
    m_ds->moveLast(m_cur);
}

bool TDataSetCursor::Eof() const
{
    check();
    m_ds->resolve(m_cur);
    return m_cur.eof;
}

bool TDataSetCursor::Bof() const
{
    check();
    m_ds->resolve(m_cur);
    return m_cur.bof;
}

int TDataSetCursor::RecNo() const
{
    check();
    return m_ds->recNoOf(m_cur);
}

bool TDataSetCursor::Locate(const QString &keyFields, const QVariantList &keyValues, TLocateOptions options)
{
    check();
    const RowId row = m_ds->findRow(keyFields, keyValues, options);
    if (row == NoRow)
        return false;
    m_ds->placeAt(m_cur, row);
    return true;
}

CellView TDataSetCursor::cell(const TField *f) const
{
    check();
    m_ds->resolve(m_cur);
    if (!m_ds->Active() || m_cur.row == NoRow)
        return {};
    return detail::viewOf(m_ds->m_store.columns[size_t(f->Index())], m_cur.row);
}

bool TDataSetCursor::IsNull(const QString &field) const
{
    return cell(m_ds->FieldByName(field)).null;
}

QString TDataSetCursor::AsString(const QString &field) const
{
    const TField *f = m_ds->FieldByName(field);
    return detail::cellAsString(f->DataType(), cell(f));
}

double TDataSetCursor::AsFloat(const QString &field) const
{
    const TField *f = m_ds->FieldByName(field);
    return detail::cellAsFloat(f->DataType(), cell(f), f->FieldName());
}

QDateTime TDataSetCursor::AsDateTime(const QString &field) const
{
    const TField *f = m_ds->FieldByName(field);
    return detail::cellAsDateTime(f->DataType(), cell(f), f->FieldName());
}

QVariant TDataSetCursor::Value(const QString &field) const
{
    const TField *f = m_ds->FieldByName(field);
    return detail::cellAsVariant(f->DataType(), cell(f));
}

} // namespace kpr
