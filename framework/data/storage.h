#pragma once
// Column-wise record storage of an in-memory table, and the conversions between stored
// cells and the typed values fields hand out. Internal to the data layer.
//
// One column per field: text fields keep QStrings, every other type a double (integers,
// booleans 0/1, date-times as day numbers rounded to the millisecond so that equal times
// compare equal). Rows are addressed by a stable row id; ids of deleted rows are reused, and
// a per-row stamp tells a working cursor that its row has gone.

#include "framework/data/field.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <limits>
#include <vector>

namespace kpr::detail {

using RowId = quint32;
constexpr RowId NoRow = std::numeric_limits<RowId>::max();

enum class CellKind : quint8 { Text, Number };

inline CellKind kindOf(TFieldType type)
{
    return isTextType(type) ? CellKind::Text : CellKind::Number;
}

// A column grows only when a value is written into it: rows past its end are null, so a
// row costs nothing in the columns it leaves empty.
struct Column
{
    CellKind kind = CellKind::Text;
    std::vector<QString> text;  // Text columns only
    std::vector<double> number; // Number columns only
    std::vector<quint8> null;   // 1 = null

    size_t size() const { return null.size(); }
    bool isNull(RowId row) const { return row >= null.size() || null[row]; }
    void reserve(size_t n);
    void appendNull();
    void ensure(RowId row)
    {
        if (row < null.size())
            return;
        if (row == null.size()) { // the usual case: the next row
            null.push_back(1);
            if (kind == CellKind::Text)
                text.emplace_back();
            else
                number.push_back(0.0);
            return;
        }
        grow(row);
    }
    void clear();

private:
    void grow(RowId row);
};

// A value outside the table: an edit buffer slot or one part of a search key.
struct Cell
{
    QString text;
    double number = 0;
    bool null = true;
};

// Read access to one stored or buffered value without copying it.
struct CellView
{
    const QString *text = nullptr; // set for text cells that are not null
    double number = 0;
    bool null = true;
};

inline CellView viewOf(const Column &c, RowId row)
{
    if (c.isNull(row))
        return {};
    if (c.kind == CellKind::Text)
        return CellView{&c.text[row], 0, false};
    return CellView{nullptr, c.number[row], false};
}

inline CellView viewOf(const Cell &c)
{
    if (c.null)
        return {};
    return CellView{&c.text, c.number, false};
}

class RecordStore
{
public:
    std::vector<Column> columns;
    std::vector<qint64> labels;  // position key of the row in insertion order
    std::vector<quint64> stamps; // 0 for a free id
    size_t liveCount = 0;

    void reset(const std::vector<TFieldType> &types);
    RowId allocate();        // a new row, every value null
    void release(RowId row); // frees the id and the row's texts
    bool isLive(RowId row) const { return row < stamps.size() && stamps[row] != 0; }
    void setCell(int column, RowId row, Cell &&value);
    // Takes loaded columns of rowCount rows each; the rows get labels in their order.
    void adopt(std::vector<Column> &&loaded, size_t rowCount, qint64 labelGap);

private:
    std::vector<RowId> m_free;
    quint64 m_nextStamp = 1;
};

// Day numbers rounded to the millisecond: the same instant always gives the same double.
double normalizeDayNumber(double dayNumber);

// Text comparison that answers at once for two texts sharing one buffer, which is the rule
// for key texts copied from one source into many rows.
inline int compareText(const QString &a, const QString &b, Qt::CaseSensitivity cs)
{
    if (a.size() == b.size() && a.constData() == b.constData())
        return 0;
    return QString::compare(a, b, cs);
}

inline int compareNumber(double a, double b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

// Conversions of a cell of a field of the given type; `field` names it in errors.
QString cellAsString(TFieldType type, const CellView &cell);
double cellAsFloat(TFieldType type, const CellView &cell, const QString &field);
QDateTime cellAsDateTime(TFieldType type, const CellView &cell, const QString &field);
bool cellAsBoolean(TFieldType type, const CellView &cell);
QVariant cellAsVariant(TFieldType type, const CellView &cell);

// Building a cell of a field of the given type from a value. Text is cut to size (0: no
// cut). Throws EDatabaseError for a value the type cannot hold.
Cell cellFromString(TFieldType type, int size, const QString &value, const QString &field);
Cell cellFromFloat(TFieldType type, int size, double value);
Cell cellFromDateTime(TFieldType type, int size, const QDateTime &value);
Cell cellFromBoolean(TFieldType type, int size, bool value);
Cell cellFromVariant(TFieldType type, int size, const QVariant &value, const QString &field);
// For search keys: the same as cellFromVariant, but text is never cut.
Cell keyCellFromVariant(TFieldType type, const QVariant &value, const QString &field);

} // namespace kpr::detail
