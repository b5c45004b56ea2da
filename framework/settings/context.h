#pragma once
// The user's context values: the branch in process, the report directory, the application
// server's address and the shared database. One object per process, filled by the shell at
// start-up (defaults, then the configuration file, then --set on the command line) and read
// by the packages through the host's free functions below.
//
// The configuration file is a small INI file whose keys are the values' own names:
//
//   [General]
//   FiliProcFat=0001
//   NomeFiliProcFat=Matriz
//   ModuFili=false
//   ReportDir=/opt/kpr/layouts
//   WebURL=127.0.0.1
//   WebPort=8211
//   WebSecretFile=/home/user/.config/kpr/appserver.secret
//   WebTLS=N
//   Database=sqlite:/var/lib/kpr/kpr.db
//
// Keys outside [General] (other sections) are left to their owners; lines starting with
// ';' or '#' are comments; a value may be enclosed in double quotes to keep blanks at its
// ends. Values are taken as they stand: a comma is part of the text, not a list separator.

#include "framework/core/result.h"

#include <QString>
#include <QStringList>

namespace kpr {

struct ContextValues
{
    QString FiliProcFat; // billing branch in process; empty when there is none
    QString NomeFiliProcFat;
    QString FiliProc; // branch in process
    QString NomeFiliProc;
    bool ModuFili = false; // true: the user may not change the branch
    QString ReportDir;
    QString WebURL;
    int WebPort = 0;
    QString WebSecretFile; // file whose first line is the server's secret; empty: none sent
    bool WebTLS = false;   // "S": https://, the server's certificate and name verified
    QString Database;      // "sqlite:PATH" or "postgresql://..."
};

class Context
{
public:
    static Context &instance();

    const ContextValues &values() const { return m_values; }

    // The names accepted in the configuration file and by set(), in a fixed order.
    static QStringList keys();
    // Sets one value from its text. Refuses an unknown key, a ModuFili or WebTLS that is no
    // boolean (true/false, 1/0, yes/no, S/N) and a WebPort outside 1..65535; nothing changes
    // then. WebTLS reads back as "S" or "N".
    Status set(const QString &key, const QString &text);
    QString text(const QString &key) const; // the value as set() takes it; "" for an unknown key

    // Applies "KEY=VALUE" items in order; stops at the first bad one and names it.
    Status applySettings(const QStringList &items);
    // Reads a configuration file (see above). A file that cannot be read is an error.
    Status loadIni(const QString &path);
    // Back to the built-in defaults.
    void reset();

    // Built-in defaults: ReportDir the shipped layouts folder, WebURL 127.0.0.1, WebPort
    // 8211, Database sqlite:$XDG_DATA_HOME/kpr/kpr.db (~/.local/share/kpr/kpr.db).
    static QString defaultReportDir();
    static QString defaultDatabase();
    static constexpr int defaultWebPort = 8211;
    // $XDG_CONFIG_HOME/kpr/kpr-shell.ini (~/.config/kpr/kpr-shell.ini).
    static QString defaultConfigPath();

private:
    Context();
    ContextValues m_values;
};

// The shell's start-up: defaults, then the configuration file, then each --set KEY=VALUE in
// the order given, whatever their place among the other arguments. The file is the one named
// by --config FILE (or --config=FILE), which must exist; without --config the default file
// is read when it exists. Arguments that are neither are left to the caller.
Status configureContext(const QStringList &arguments);

// The host's functions over the context values.
QString FiliProcFat();
QString NomeFiliProcFat();
QString FiliProc();
QString NomeFiliProc();
bool ModuFili();
QString ReportDir();
QString WebURL();
int WebPort();
QString WebSecretFile();
bool WebTLS();

} // namespace kpr
