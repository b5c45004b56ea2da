#include "framework/core/cripto.h"

#include <cstdint>

namespace kpr {

namespace {

constexpr int firstPrintable = 32;
constexpr int printableCount = 95; // 32..126

// A small linear congruential stream; its steps are 1..94, never 0, so that every
// printable character changes.
class KeyStream
{
public:
    explicit KeyStream(int key) : m_state(static_cast<std::uint32_t>(key) ^ 0x5DEECE6Du) {}
    int next()
    {
        m_state = m_state * 1103515245u + 12345u;
        return int((m_state >> 16) % (printableCount - 1)) + 1;
    }

private:
    std::uint32_t m_state;
};

QString rotate(const QString &text, int key, int direction)
{
    QString out = text;
    KeyStream stream(key);
    for (QChar &c : out) {
        const int step = stream.next();
        const int u = c.unicode();
        if (u < firstPrintable || u >= firstPrintable + printableCount)
            continue;
        const int shifted = (u - firstPrintable + direction * step + printableCount) % printableCount;
        c = QChar(char16_t(firstPrintable + shifted));
    }
    return out;
}

} // namespace

QString Cripto(const QString &text, int key)
{
    return rotate(text, key, +1);
}

QString Uncripto(const QString &text, int key)
{
    return rotate(text, key, -1);
}

} // namespace kpr
