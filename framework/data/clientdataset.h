#pragma once
// The in-memory table (client dataset) of the host framework: persistent field definitions,
// named indexes, the insert / edit / post cycle, a cursor, locate, and the data packets the
// application server sends and receives.
//
// Errors: operations throw EDatabaseError with a text that names the table (its objectName)
// and, where there is one, the field ("qryCFRSintData: Field 'QTSERV12' not found").
// LoadFromPacket answers a Status instead, and leaves the table as it was on failure;
// setData is the same load throwing EDatabaseError, for callers that stop on any failure.
//
// Signals (dataChanged, cursorMoved, stateChanged) are emitted only while a TDataSource is
// attached and controls are not disabled, so that building a table costs no signal traffic.

#include "framework/core/result.h"
#include "framework/core/serverresult.h"
#include "framework/data/field.h"
#include "framework/data/index.h"
#include "framework/data/storage.h"

#include <QByteArray>
#include <QJsonObject>
#include <QHash>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVariantList>

#include <functional>
#include <memory>
#include <vector>

namespace kpr {

class TDataSetCursor;
class TDataSource;

enum TDataSetState { dsInactive, dsBrowse, dsInsert, dsEdit };

enum TLocateOption {
    loCaseInsensitive = 0x1,
    loPartialKey = 0x2, // text values match the start of the field's text
};
Q_DECLARE_FLAGS(TLocateOptions, TLocateOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TLocateOptions)

using TDataSetNotifyEvent = std::function<void(class TClientDataSet &)>;

namespace detail {
struct PacketData;
// Where a cursor stands: its row, and that row's place in the current order as of
// `version` (recomputed from the row when the order has changed since).
struct CursorState
{
    RowId row = NoRow;
    quint64 stamp = 0;
    RowOrder::Pos pos;
    quint64 version = 0;
    bool bof = true;
    bool eof = true;
};
} // namespace detail

class TClientDataSet : public QObject
{
    Q_OBJECT

public:
    explicit TClientDataSet(QObject *parent = nullptr);
    explicit TClientDataSet(const QString &name, QObject *parent = nullptr);
    ~TClientDataSet() override;

    // --- Fields. Persistent fields are added while the table is closed; a table without
    // them takes its fields from the first packet it loads.
    TField *AddField(const QString &name, TFieldType type, int size = 0);
    TField *FieldByName(const QString &name) const; // case-insensitive; throws when absent
    TField *FindField(const QString &name) const;   // nullptr when absent
    const QList<TField *> &Fields() const { return m_fieldList; }
    int FieldCount() const { return int(m_fieldList.size()); }
    bool HasPersistentFields() const { return m_persistent; }

    // --- Indexes. Fields separated by ';'. With an index selected in IndexName the rows are
    // kept and walked in its order; an empty IndexName is the insertion order.
    void AddIndex(const QString &name, const QString &fields, TIndexOptions options = {});
    QStringList IndexNames() const;
    QString IndexName() const { return m_activeIndex < 0 ? QString() : m_indexes[size_t(m_activeIndex)]->name; }
    void setIndexName(const QString &name);

    // --- Opening and closing.
    void CreateDataSet(); // an empty table from the field definitions
    void Close();         // drops the rows; fields and indexes stay defined
    void EmptyDataSet();  // drops the rows, stays open
    bool Active() const { return m_state != dsInactive; }
    TDataSetState State() const { return m_state; }

    // --- Editing. Insert puts the new row before the current one in insertion order,
    // Append after the last; with an index the posted row takes its place by key.
    void Insert();
    void Append();
    void Edit(); // on an empty table, Insert
    void Post();
    void Cancel();
    void Delete();
    bool Modified() const { return m_modified; }
    // Run before the operation; kpr::Abort() (EAbort) in them cancels it and propagates.
    TDataSetNotifyEvent BeforeEdit;
    TDataSetNotifyEvent BeforeInsert;

    // --- Cursor. Moving first posts a pending change (or cancels an unmodified one).
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const { return m_cur.eof; }
    bool Bof() const { return m_cur.bof; }
    int RecNo() const; // 1-based place in the current order; 0 when there is no row
    void setRecNo(int recNo);
    int RecordCount() const { return int(m_store.liveCount); }
    // The rows in the current order by their stored ids, and a cell of one of them: a reader
    // that comes back to the same rows many times keeps the ids instead of copying values.
    // Ids hold until the rows are replaced or dropped (Generation() changes) or the row is
    // deleted; a deleted row's id may be given to a new row, which then has another stamp
    // (RowStamp is 0 for a free id).
    std::vector<detail::RowId> RowIds() const;
    quint64 RowStamp(detail::RowId row) const { return m_store.isLive(row) ? m_store.stamps[row] : 0; }
    detail::CellView CellAt(detail::RowId row, const TField *field) const
    {
        return detail::viewOf(m_store.columns[size_t(field->Index())], row);
    }
    quint64 Generation() const { return m_generation; }
    bool IsEmpty() const { return m_store.liveCount == 0; }

    // Moves to the first row, in the current order, whose fields ("F1;F2") hold the values.
    // Uses an index on those fields when there is one, else walks the rows. Date-time values
    // may be QDate, QDateTime or day numbers. Answers false and stays put when none matches.
    bool Locate(const QString &keyFields, const QVariantList &keyValues, TLocateOptions options = {});
    bool Locate(const QString &keyField, const QVariant &keyValue, TLocateOptions options = {});

    // A cursor of its own over this table's rows, starting on the current row.
    TDataSetCursor CloneCursor() const;

    // Signals stay quiet between these two; EnableControls reports one change.
    void DisableControls();
    void EnableControls();

    // --- Data packets (see the application server protocol). Loading replaces the rows,
    // binds fields by name (case-insensitive), cuts texts to the field sizes, opens the
    // table and goes to its first row. A table with persistent fields refuses a packet that
    // lacks one of them and ignores the packet's other fields.
    Status LoadFromPacket(const QJsonObject &packet);
    Status LoadFromPacket(const QByteArray &json);
    // A server result kept as the packet's text loads straight from it; any other result
    // loads as its QJsonValue.
    Status LoadFromPacket(const ServerValue &packet);
    void setData(const QJsonValue &packet);  // throws EDatabaseError
    void setData(const QByteArray &json);    // throws EDatabaseError
    void setData(const ServerValue &packet); // throws EDatabaseError
    QJsonObject dataPacket() const;          // every field, every row in the current order
    Q_INVOKABLE QByteArray dataPacketJson() const;
    Q_INVOKABLE int recordCount() const { return RecordCount(); }

signals:
    void dataChanged();
    void cursorMoved();
    void stateChanged();

private:
    friend class TField;
    friend class TDataSetCursor;
    friend class TDataSource;

    struct IndexDef
    {
        QString name;
        QString fields;
        TIndexOptions options;
        std::vector<int> fieldIndexes;
        detail::OrderKey key;
        detail::RowOrder order;
    };
    struct LocatePlan;

    [[noreturn]] void fail(const QString &text) const;
    QString errorText(const QString &text) const;
    void checkActive() const;
    void checkBrowseMode();
    void checkInactive() const;
    int fieldIndex(const QString &name) const;
    std::vector<int> resolveFields(const QString &names) const;
    void bindIndex(IndexDef &index);
    void rebuildOrders();
    void resetStorage();
    void startInsert(bool append);
    void clearBuffer();
    qint64 labelBefore(detail::RowId row);
    void relabel();

    // Values of the current record (the edit buffer while inserting or editing).
    detail::CellView readCell(int field) const;
    void writeCell(int field, detail::Cell &&value);

    // The current order and the cursor walks shared with TDataSetCursor.
    const detail::RowOrder &order() const;
    const detail::OrderKey &orderKey() const;
    void resolve(detail::CursorState &c) const;
    void moveFirst(detail::CursorState &c) const;
    void moveLast(detail::CursorState &c) const;
    void moveNext(detail::CursorState &c) const;
    void movePrior(detail::CursorState &c) const;
    void placeAt(detail::CursorState &c, detail::RowId row) const;
    int recNoOf(detail::CursorState &c) const;
    const LocatePlan &locatePlan(const QString &keyFields) const;
    detail::RowId findRow(const QString &keyFields, const QVariantList &keyValues, TLocateOptions options) const;

    Status loadPacket(detail::PacketData &&packet);
    void notifyData();
    void notifyCursor();
    void notifyState();

    std::vector<std::unique_ptr<TField>> m_fields;
    QList<TField *> m_fieldList;
    QHash<QString, int> m_fieldByName; // as written and upper-cased
    bool m_persistent = false;

    std::vector<std::unique_ptr<IndexDef>> m_indexes;
    int m_activeIndex = -1;

    detail::RecordStore m_store;
    detail::OrderKey m_naturalKey;
    detail::RowOrder m_natural;
    quint64 m_orderVersion = 1;
    quint64 m_generation = 1; // changes when the rows are replaced or dropped

    TDataSetState m_state = dsInactive;
    detail::CursorState m_cur;
    std::vector<detail::Cell> m_buffer;
    std::vector<quint8> m_dirty;
    std::vector<int> m_touched;
    bool m_modified = false;
    bool m_appending = false;
    detail::RowId m_insertBefore = detail::NoRow;

    mutable std::vector<std::unique_ptr<LocatePlan>> m_plans;
    mutable std::vector<detail::Cell> m_probe; // scratch of findRow, kept to spare allocations
    mutable std::string m_probeKey;
    int m_sources = 0;
    int m_disabled = 0;
    bool m_changedWhileDisabled = false;
};

// A working cursor over a table: it walks and reads the rows without moving the table's own
// cursor. It follows the table's current order; rows posted or deleted through the table
// are seen at once. When its row is deleted, or the table is reloaded, it goes back to the
// first row.
class TDataSetCursor
{
public:
    explicit TDataSetCursor(const TClientDataSet &dataSet);

    const TClientDataSet &DataSet() const { return *m_ds; }
    void First();
    void Next();
    void Prior();
    void Last();
    bool Eof() const;
    bool Bof() const;
    int RecNo() const;
    int RecordCount() const { return m_ds->RecordCount(); }
    bool Locate(const QString &keyFields, const QVariantList &keyValues, TLocateOptions options = {});

    bool IsNull(const QString &field) const;
    QString AsString(const QString &field) const;
    double AsFloat(const QString &field) const;
    QDateTime AsDateTime(const QString &field) const;
    QVariant Value(const QString &field) const;
    // The cell as stored (its text, or its number: a date is its day number), without a
    // QVariant: for callers that read every cell of many rows. The field is this cursor's
    // dataset's, looked up once.
    detail::CellView Raw(const TField *field) const { return cell(field); }

private:
    void check() const;
    detail::CellView cell(const TField *f) const;

    const TClientDataSet *m_ds;
    mutable detail::CursorState m_cur;
    mutable quint64 m_generation;
};

} // namespace kpr
