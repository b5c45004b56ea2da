#pragma once
// Money and counts as the statement shows them, in pt-BR: exact integer cents, rounded
// half away from zero, never a binary double in a sum shown to people.

#include <QString>

namespace kpr::appserver {

// "1.234,56", "0,05", "-12,30".
QString formatMoneyBR(qint64 cents);
// "1.234", "0", "-7".
QString formatCountBR(qint64 count);
// numerator / denominator rounded half away from zero; denominator must not be 0.
qint64 divideRounded(qint64 numerator, qint64 denominator);

} // namespace kpr::appserver
