#pragma once
// The machine-wide registry (HKEY_LOCAL_MACHINE on the suite's home platform): QSettings in
// system scope. On Linux that is the INI file /etc/xdg/<organization>/<application>.conf;
// tests move it with QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, dir).
// Keys may use '\' or '/' between their parts ("Kpr\Geral\WorkDir").

#include "framework/core/result.h"

#include <QString>

namespace kpr {

class Registry
{
public:
    explicit Registry(QString organization = defaultOrganization(), QString application = defaultApplication());

    static QString defaultOrganization(); // "Kpr"
    static QString defaultApplication();  // "Kpr"

    bool contains(const QString &key) const;
    // The value's text, or defaultValue when the key is absent.
    QString readString(const QString &key, const QString &defaultValue = QString()) const;
    // Writes and syncs; an unwritable file (the usual case for a user outside the
    // administrators on /etc) comes back as an error naming the file.
    Status writeString(const QString &key, const QString &value);
    Status remove(const QString &key);

    QString fileName() const;

private:
    QString m_organization;
    QString m_application;
};

} // namespace kpr
