#pragma once
// Saving a copy of a report layout under a new title: the copy takes the next free layout
// number of the report code in the layout directory, so that it joins the report list.

#include <QString>

namespace kpr {

// The next free layout number of code in dir, two digits: one above the highest in use;
// when "99" is in use, the lowest unused one; empty when all of "00" to "99" are.
QString nextLayoutNumber(const QString &dir, const QString &code);

// Reads the layout at sourcePath, gives it title and writes it as dir/<code><number>.QR2
// under the next free number, which it answers. Failures (a layout that cannot be read, no
// free number, a file that cannot be written) throw EKprError; nothing is left half written.
QString saveLayoutCopy(const QString &sourcePath, const QString &dir, const QString &code, const QString &title);

} // namespace kpr
