#pragma once
// Orders of an in-memory table's rows: the insertion order and one order per named index.
// An order is a sorted list of row ids kept in blocks of at most a thousand ids, so that an
// insert or a removal moves a few kilobytes whatever the table's size, a search costs two
// binary searches, and walking the rows is a step through contiguous memory. Ties in an
// index are broken by the insertion order, so every row has one exact place.

#include "framework/data/storage.h"

#include <QFlags>
#include <QString>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace kpr {

enum TIndexOption {
    ixCaseInsensitive = 0x1, // text key fields compare without regard to letter case
    ixDescending = 0x2,      // the key order reversed (ties stay in insertion order)
};
Q_DECLARE_FLAGS(TIndexOptions, TIndexOption)
Q_DECLARE_OPERATORS_FOR_FLAGS(TIndexOptions)

namespace detail {

struct KeyPart
{
    int column;
    CellKind kind;
};

// How an order compares rows: by its key fields, then by the rows' insertion labels.
// With no key fields it is the insertion order itself.
//
// An index keeps, per row, its key encoded so that comparing two keys is one memcmp: text
// as UTF-16 units (case-folded for a case-insensitive index) plus a terminator, numbers in
// an order-preserving 8-byte form, a marker byte for null, all bytes complemented for a
// descending index. The encoded keys live in one arena, so that a search reads a few
// contiguous bytes per step instead of several columns of the table.
class OrderKey
{
public:
    OrderKey() = default;
    OrderKey(const RecordStore *store, std::vector<KeyPart> parts, TIndexOptions options);

    const std::vector<KeyPart> &parts() const { return m_parts; }
    Qt::CaseSensitivity caseSensitivity() const { return m_cs; }

    // Encodes the row's key from its stored values: after a post, before the row goes
    // into the order. rebuild() encodes every live row.
    void setRow(RowId row);
    void rebuild();
    // The key of a search into out: part j of the key is probe[map[j]], for as many parts
    // as map lists.
    void encodeProbe(const std::vector<Cell> &probe, const std::vector<int> &map, std::string &out) const;

    int compareFields(RowId a, RowId b) const
    {
        if (m_parts.empty())
            return 0;
        const KeyRef ka = m_refs[a], kb = m_refs[b];
        const size_t la = ka.len, lb = kb.len;
        const int c = std::memcmp(m_arena.data() + ka.off, m_arena.data() + kb.off, std::min(la, lb));
        if (c)
            return c;
        return la < lb ? -1 : (lb < la ? 1 : 0);
    }
    int compareRows(RowId a, RowId b) const
    {
        if (const int c = compareFields(a, b))
            return c;
        const qint64 la = m_store->labels[a], lb = m_store->labels[b];
        return la < lb ? -1 : (lb < la ? 1 : 0);
    }
    // The row against an encoded probe: equal when the row's key starts with it.
    int compareToProbe(RowId row, const std::string &probe) const
    {
        const KeyRef k = m_refs[row];
        const size_t len = k.len;
        const int c = std::memcmp(m_arena.data() + k.off, probe.data(), std::min(len, probe.size()));
        if (c)
            return c;
        return len < probe.size() ? -1 : 0;
    }

private:
    struct KeyRef // 8 bytes, so that more of them stay in cache during a search
    {
        quint64 off : 40 = 0; // a terabyte of keys
        quint64 len : 24 = 0;
    };
    void encodePart(std::string &out, const KeyPart &p, const CellView &v) const;

    const RecordStore *m_store = nullptr;
    std::vector<KeyPart> m_parts;
    Qt::CaseSensitivity m_cs = Qt::CaseSensitive;
    bool m_descending = false;
    std::vector<char> m_arena;
    std::vector<KeyRef> m_refs;
    size_t m_garbage = 0;
    mutable std::string m_scratch;
};

class RowOrder
{
public:
    struct Pos
    {
        int block = 0;
        int offset = 0;
        bool operator==(const Pos &) const = default;
    };

    size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    void clear();
    // Takes ids already sorted by the order's key.
    void assign(const std::vector<RowId> &sorted);

    Pos first() const { return Pos{0, 0}; }
    Pos last() const;
    Pos end() const { return Pos{int(m_blocks.size()), 0}; }
    bool isEnd(const Pos &p) const { return p.block >= int(m_blocks.size()); }
    RowId at(const Pos &p) const { return m_blocks[size_t(p.block)][size_t(p.offset)]; }
    bool next(Pos &p) const;         // false (p unchanged) at the last row
    bool prior(Pos &p) const;        // false (p unchanged) at the first row
    int indexOf(const Pos &p) const; // 0-based position in the order
    Pos posAt(int index) const;

    Pos insert(RowId id, const OrderKey &key);
    // Removes the row at p; the answer is the position of the row that followed (or end()).
    Pos erase(const Pos &p);
    // The exact position of a row whose key values are as stored; end() when absent.
    Pos find(RowId id, const OrderKey &key) const;
    // First row with key(row) >= probe over the probe's parts.
    Pos lowerBound(const std::string &probe, const OrderKey &key) const;

    template<typename F>
    void forEach(F &&fn) const
    {
        for (const auto &b : m_blocks)
            for (RowId id : b)
                fn(id);
    }

private:
    void splitIfFull(Pos &p);

    void syncLast(int block);

    static constexpr size_t MaxBlock = 1024;
    std::vector<std::vector<RowId>> m_blocks;
    std::vector<RowId> m_last; // each block's last row, side by side for the search across blocks
    size_t m_size = 0;
};

} // namespace detail
} // namespace kpr
