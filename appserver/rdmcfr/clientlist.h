#pragma once
// The client lists of the list picker: each key between underscores, "_0001__0002_".

#include <QSet>
#include <QString>

namespace kpr::appserver::rdmcfr {

struct ClientList
{
    bool all = true; // an empty list (or "T" where it means all) selects every client
    QSet<QString> codes;

    bool contains(const QString &code) const { return all || codes.contains(code); }
};

enum class TMeansAll { No, Yes };

// Splits on "_" and drops empty parts; "T" means all only where tMeansAll says so.
ClientList parseClientList(const QString &text, TMeansAll tMeansAll);

} // namespace kpr::appserver::rdmcfr
