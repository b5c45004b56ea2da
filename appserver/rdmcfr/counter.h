#pragma once
// The counters of CONTADOR, raised atomically with UPDATE ... RETURNING: two callers never
// get the same number, and a number is never given out again.

#include "appserver/database/session.h"

namespace kpr::appserver::rdmcfr {

// The next number of the counter, created at 0 on first use (inside the caller's write
// transaction, so that a failed call gives the number back).
Result<qint64> nextNumber(Session &s, const QString &counter);

} // namespace kpr::appserver::rdmcfr
