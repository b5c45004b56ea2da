#include "framework/data/index.h"

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace kpr::detail {

OrderKey::OrderKey(const RecordStore *store, std::vector<KeyPart> parts, TIndexOptions options)
    : m_store(store),
      m_parts(std::move(parts)),
      m_cs(options.testFlag(ixCaseInsensitive) ? Qt::CaseInsensitive : Qt::CaseSensitive),
      m_descending(options.testFlag(ixDescending))
{}

void OrderKey::encodePart(std::string &out, const KeyPart &p, const CellView &v) const
{
    const size_t start = out.size();
    if (v.null) {
        out.push_back('\0'); // null sorts first
    } else if (p.kind == CellKind::Text) {
        // Each unit + 1 as two big-endian bytes, then 0 0: a shorter text sorts first.
        const qsizetype n = v.text->size();
        out.resize(start + 1 + size_t(n) * 2 + 2);
        char *w = out.data() + start;
        *w++ = '\1';
        const char16_t *u = reinterpret_cast<const char16_t *>(v.text->constData());
        const bool fold = m_cs == Qt::CaseInsensitive;
        for (qsizetype i = 0; i < n; ++i) {
            char16_t c = u[i];
            if (fold)
                c = c < 0x80 ? ((c >= 'A' && c <= 'Z') ? char16_t(c + 32) : c) : QChar(c).toCaseFolded().unicode();
            const quint32 x = std::min<quint32>(quint32(c) + 1, 0xFFFF);
            *w++ = char(x >> 8);
            *w++ = char(x & 0xFF);
        }
        *w++ = '\0';
        *w = '\0';
    } else {
        const double d = v.number == 0 ? 0.0 : v.number; // -0 and 0 are one key
        quint64 bits;
        std::memcpy(&bits, &d, sizeof bits);
        bits = (bits >> 63) ? ~bits : (bits | (quint64(1) << 63));
        out.resize(start + 9);
        char *w = out.data() + start;
        *w++ = '\1';
        for (int shift = 56; shift >= 0; shift -= 8)
            *w++ = char((bits >> shift) & 0xFF);
    }
    if (m_descending)
        for (size_t i = start; i < out.size(); ++i)
            out[i] = char(~out[i]);
}

void OrderKey::setRow(RowId row)
{
    if (m_parts.empty())
        return;
    if (m_refs.size() <= row)
        m_refs.resize(std::max<size_t>(size_t(row) + 1, m_refs.size() * 2));
    m_scratch.clear();
    for (const KeyPart &p : m_parts)
        encodePart(m_scratch, p, viewOf(m_store->columns[size_t(p.column)], row));
    if (m_scratch.size() >= (size_t(1) << 24))
        throw EDatabaseError(u"An index key of more than 16 MB"_s);
    KeyRef &ref = m_refs[row];
    const size_t oldLen = ref.len;
    if (oldLen > 0 && oldLen >= m_scratch.size()) { // the new key fits where the old one was
        std::memcpy(m_arena.data() + ref.off, m_scratch.data(), m_scratch.size());
        m_garbage += oldLen - m_scratch.size();
        ref.len = m_scratch.size();
        return;
    }
    m_garbage += oldLen;
    ref.off = m_arena.size();
    ref.len = m_scratch.size();
    m_arena.insert(m_arena.end(), m_scratch.begin(), m_scratch.end());
    if (m_garbage > (size_t(1) << 20) && m_garbage > m_arena.size() / 2)
        rebuild(); // edits left more old keys than live ones
}

void OrderKey::rebuild()
{
    if (m_parts.empty())
        return;
    m_arena.clear();
    m_refs.assign(m_store->stamps.size(), KeyRef{});
    m_garbage = 0;
    for (RowId row = 0; row < RowId(m_store->stamps.size()); ++row)
        if (m_store->stamps[row] != 0)
            setRow(row);
}

void OrderKey::encodeProbe(const std::vector<Cell> &probe, const std::vector<int> &map, std::string &out) const
{
    out.clear();
    for (size_t j = 0; j < map.size() && j < m_parts.size(); ++j)
        encodePart(out, m_parts[j], viewOf(probe[size_t(map[j])]));
}

void RowOrder::syncLast(int block)
{
    m_last.resize(m_blocks.size());
    for (size_t b = size_t(std::max(block, 0)); b < m_blocks.size(); ++b)
        m_last[b] = m_blocks[b].back();
}

void RowOrder::clear()
{
    m_last.clear();
    m_blocks.clear();
    m_size = 0;
}

void RowOrder::assign(const std::vector<RowId> &sorted)
{
    clear();
    constexpr size_t fill = MaxBlock / 2;
    for (size_t i = 0; i < sorted.size(); i += fill) {
        const size_t n = std::min(fill, sorted.size() - i);
        std::vector<RowId> block;
        block.reserve(MaxBlock);
        block.assign(sorted.begin() + qsizetype(i), sorted.begin() + qsizetype(i + n));
        m_blocks.push_back(std::move(block));
    }
    m_size = sorted.size();
    syncLast(0);
}

RowOrder::Pos RowOrder::last() const
{
    if (m_blocks.empty())
        return end();
    return Pos{int(m_blocks.size()) - 1, int(m_blocks.back().size()) - 1};
}

bool RowOrder::next(Pos &p) const
{
    if (isEnd(p))
        return false;
    if (size_t(p.offset) + 1 < m_blocks[size_t(p.block)].size()) {
        ++p.offset;
        return true;
    }
    if (size_t(p.block) + 1 < m_blocks.size()) {
        ++p.block;
        p.offset = 0;
        return true;
    }
    return false;
}

bool RowOrder::prior(Pos &p) const
{
    if (isEnd(p))
        return false;
    if (p.offset > 0) {
        --p.offset;
        return true;
    }
    if (p.block > 0) {
        --p.block;
        p.offset = int(m_blocks[size_t(p.block)].size()) - 1;
        return true;
    }
    return false;
}

int RowOrder::indexOf(const Pos &p) const
{
    if (isEnd(p))
        return int(m_size);
    size_t n = 0;
    for (int b = 0; b < p.block; ++b)
        n += m_blocks[size_t(b)].size();
    return int(n) + p.offset;
}

RowOrder::Pos RowOrder::posAt(int index) const
{
    if (index < 0)
        return end();
    size_t rest = size_t(index);
    for (size_t b = 0; b < m_blocks.size(); ++b) {
        if (rest < m_blocks[b].size())
            return Pos{int(b), int(rest)};
        rest -= m_blocks[b].size();
    }
    return end();
}

void RowOrder::splitIfFull(Pos &p)
{
    auto &block = m_blocks[size_t(p.block)];
    if (block.size() <= MaxBlock)
        return;
    const size_t half = block.size() / 2;
    std::vector<RowId> upper;
    upper.reserve(MaxBlock);
    upper.assign(block.begin() + qsizetype(half), block.end());
    block.resize(half);
    const RowId upperLast = upper.back();
    m_last[size_t(p.block)] = block.back();
    m_blocks.insert(m_blocks.begin() + p.block + 1, std::move(upper)); // `block` is stale from here
    m_last.insert(m_last.begin() + p.block + 1, upperLast);
    if (size_t(p.offset) >= half) {
        ++p.block;
        p.offset -= int(half);
    }
}

RowOrder::Pos RowOrder::insert(RowId id, const OrderKey &key)
{
    ++m_size;
    if (m_blocks.empty()) {
        m_blocks.emplace_back();
        m_blocks.back().reserve(MaxBlock);
        m_blocks.back().push_back(id);
        m_last.assign(1, id);
        return Pos{0, 0};
    }
    // Rows mostly arrive in order (appends, keys growing): try the end first.
    if (key.compareRows(m_blocks.back().back(), id) < 0) {
        Pos p{int(m_blocks.size()) - 1, int(m_blocks.back().size())};
        m_blocks.back().push_back(id);
        m_last.back() = id;
        splitIfFull(p);
        return p;
    }
    // The first block whose last row comes after the new one takes it.
    const auto lastIt =
        std::partition_point(m_last.begin(), m_last.end(), [&](RowId r) { return key.compareRows(r, id) < 0; });
    const int b = int(lastIt - m_last.begin());
    auto &block = m_blocks[size_t(b)];
    const auto it =
        std::partition_point(block.begin(), block.end(), [&](RowId r) { return key.compareRows(r, id) < 0; });
    Pos p{b, int(it - block.begin())};
    block.insert(it, id);
    splitIfFull(p);
    return p;
}

RowOrder::Pos RowOrder::erase(const Pos &p)
{
    auto &block = m_blocks[size_t(p.block)];
    block.erase(block.begin() + p.offset);
    --m_size;
    if (block.empty()) {
        m_blocks.erase(m_blocks.begin() + p.block);
        m_last.erase(m_last.begin() + p.block);
        return Pos{p.block, 0}; // the next block, or end()
    }
    m_last[size_t(p.block)] = block.back();
    if (size_t(p.offset) < block.size())
        return p;
    return Pos{p.block + 1, 0};
}

RowOrder::Pos RowOrder::find(RowId id, const OrderKey &key) const
{
    const auto lastIt =
        std::partition_point(m_last.begin(), m_last.end(), [&](RowId r) { return key.compareRows(r, id) < 0; });
    const auto blockIt = m_blocks.begin() + (lastIt - m_last.begin());
    if (blockIt != m_blocks.end()) {
        const auto it =
            std::partition_point(blockIt->begin(), blockIt->end(), [&](RowId r) { return key.compareRows(r, id) < 0; });
        if (it != blockIt->end() && *it == id)
            return Pos{int(blockIt - m_blocks.begin()), int(it - blockIt->begin())};
    }
    return end();
}

RowOrder::Pos RowOrder::lowerBound(const std::string &probe, const OrderKey &key) const
{
    const auto lastIt =
        std::partition_point(m_last.begin(), m_last.end(), [&](RowId r) { return key.compareToProbe(r, probe) < 0; });
    const auto blockIt = m_blocks.begin() + (lastIt - m_last.begin());
    if (blockIt == m_blocks.end())
        return end();
    const auto it = std::partition_point(blockIt->begin(), blockIt->end(),
                                         [&](RowId r) { return key.compareToProbe(r, probe) < 0; });
    return Pos{int(blockIt - m_blocks.begin()), int(it - blockIt->begin())};
}

} // namespace kpr::detail
