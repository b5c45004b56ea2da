#pragma once
// Money and counts as people read them: one fixed-point decimal, an integer count of
// millionths, for every amount that is summed or shown (the server's totals and the
// report's aggregates), never a binary double in a sum. pt-BR text: "1.234,56".

#include <QString>

namespace kpr {

struct FixedAmount
{
    static constexpr qint64 scale = 1000000;
    static constexpr qint64 perCent = scale / 100;
    qint64 micros = 0; // good to about ±9.2 × 10^12

    // The nearest millionth, half away from zero.
    static FixedAmount fromDouble(double value);
    static constexpr FixedAmount fromCents(qint64 cents) { return FixedAmount{cents * perCent}; }

    // Whole cents, half away from zero.
    qint64 cents() const;
    double toDouble() const { return double(micros) / double(scale); }

    FixedAmount &operator+=(FixedAmount other)
    {
        micros += other.micros;
        return *this;
    }
    friend bool operator==(FixedAmount a, FixedAmount b) { return a.micros == b.micros; }
    friend bool operator<(FixedAmount a, FixedAmount b) { return a.micros < b.micros; }

    // The amount rounded half away from zero to decimals (0 to 6): its sign, whole part and
    // fraction digits ("1234" and "57" for 1234.5678 at two). A value that rounds to zero
    // is not negative.
    struct Digits
    {
        bool negative = false;
        QString whole;
        QString fraction;
    };
    Digits digits(int decimals) const;
};

// numerator / denominator rounded half away from zero; denominator must not be 0.
qint64 divideRounded(qint64 numerator, qint64 denominator);

// "1.234,56", "0,05", "-12,30" at two decimals.
QString formatAmountBR(FixedAmount amount, int decimals = 2);
// "1.234", "0", "-7".
QString formatCountBR(qint64 count);

} // namespace kpr
