#pragma once
// Text helpers of the host framework.

#include <QString>

#include <utility>

namespace kpr {

// True for an empty text, a text of blanks, and an unfilled edit mask: blanks, the
// underscore blank character and mask literals ("  /  /    ", "   .   .   -  ").
bool EmptyString(const QString &text);

// The text (without surrounding blanks) padded on the left with "0" to width characters;
// a longer text comes back unchanged.
QString Ajusta(const QString &text, int width);

// The first value when cond holds, else the second.
template<typename T>
T iif(bool cond, T whenTrue, T whenFalse)
{
    return cond ? std::move(whenTrue) : std::move(whenFalse);
}
inline QString iif(bool cond, const QString &whenTrue, const QString &whenFalse)
{
    return cond ? whenTrue : whenFalse;
}

// The text cut to at most width characters, as a fixed-width field stores it.
QString cutToWidth(const QString &text, int width);

} // namespace kpr
