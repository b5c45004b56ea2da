#include "framework/settings/context.h"

#include "framework/settings/installpaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <optional>

#ifndef KPR_LAYOUTS_DIR
#error "KPR_LAYOUTS_DIR must name the shipped layouts folder"
#endif

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

enum class Key {
    FiliProcFat,
    NomeFiliProcFat,
    FiliProc,
    NomeFiliProc,
    ModuFili,
    ReportDir,
    WebURL,
    WebPort,
    Database,
    WebSecretFile,
    WebTLS,
    Unknown
};

const QStringList &keyNames()
{
    static const QStringList names{u"FiliProcFat"_s, u"NomeFiliProcFat"_s, u"FiliProc"_s, u"NomeFiliProc"_s,
                                   u"ModuFili"_s,    u"ReportDir"_s,       u"WebURL"_s,   u"WebPort"_s,
                                   u"Database"_s,    u"WebSecretFile"_s,   u"WebTLS"_s};
    return names;
}

// Keys are matched without regard to case, so "webport" in a hand-written file still counts.
Key keyOf(const QString &name)
{
    const QStringList &names = keyNames();
    for (int i = 0; i < names.size(); ++i) {
        if (names[i].compare(name.trimmed(), Qt::CaseInsensitive) == 0)
            return static_cast<Key>(i);
    }
    return Key::Unknown;
}

std::optional<bool> parseBool(const QString &text)
{
    const QString t = text.trimmed().toLower();
    if (t == u"true"_s || t == u"1"_s || t == u"yes"_s || t == u"s"_s || t == u"sim"_s)
        return true;
    if (t == u"false"_s || t == u"0"_s || t == u"no"_s || t == u"n"_s || t == u"nao"_s || t == u"não"_s)
        return false;
    return std::nullopt;
}

QString unknownKeyText(const QString &key)
{
    return u"Chave de configuração desconhecida: \"%1\". Chaves aceitas: %2."_s.arg(key, keyNames().join(u", "_s));
}

} // namespace

Context &Context::instance()
{
    static Context c;
    return c;
}

Context::Context()
{
    reset();
}

void Context::reset()
{
    m_values = ContextValues{};
    m_values.ReportDir = defaultReportDir();
    m_values.WebURL = u"127.0.0.1"_s;
    m_values.WebPort = defaultWebPort;
    m_values.Database = defaultDatabase();
}

QStringList Context::keys()
{
    return keyNames();
}

QString Context::defaultReportDir()
{
    if (const QString installed = installedDataDir(); !installed.isEmpty())
        return installed + u"/layouts"_s;
    return QDir::cleanPath(QString::fromUtf8(KPR_LAYOUTS_DIR));
}

QString Context::defaultDatabase()
{
    return u"sqlite:"_s + QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + u"/kpr/kpr.db"_s;
}

QString Context::defaultConfigPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/kpr/kpr-shell.ini"_s;
}

Status Context::set(const QString &key, const QString &text)
{
    ContextValues &v = m_values;
    switch (keyOf(key)) {
    case Key::FiliProcFat: v.FiliProcFat = text; break;
    case Key::NomeFiliProcFat: v.NomeFiliProcFat = text; break;
    case Key::FiliProc: v.FiliProc = text; break;
    case Key::NomeFiliProc: v.NomeFiliProc = text; break;
    case Key::ModuFili: {
        const auto b = parseBool(text);
        if (!b)
            return makeError(u"ModuFili deve ser true ou false, não \"%1\"."_s.arg(text));
        v.ModuFili = *b;
        break;
    }
    case Key::ReportDir: v.ReportDir = text; break;
    case Key::WebURL: v.WebURL = text.trimmed(); break;
    case Key::WebPort: {
        bool ok = false;
        const int port = text.trimmed().toInt(&ok);
        if (!ok || port < 1 || port > 65535)
            return makeError(u"WebPort deve ser um número de 1 a 65535, não \"%1\"."_s.arg(text));
        v.WebPort = port;
        break;
    }
    case Key::Database: v.Database = text.trimmed(); break;
    case Key::WebSecretFile: v.WebSecretFile = text.trimmed(); break;
    case Key::WebTLS: {
        const auto b = parseBool(text);
        if (!b)
            return makeError(u"WebTLS deve ser S ou N, não \"%1\"."_s.arg(text));
        v.WebTLS = *b;
        break;
    }
    case Key::Unknown: return makeError(unknownKeyText(key));
    }
    return {};
}

QString Context::text(const QString &key) const
{
    const ContextValues &v = m_values;
    switch (keyOf(key)) {
    case Key::FiliProcFat: return v.FiliProcFat;
    case Key::NomeFiliProcFat: return v.NomeFiliProcFat;
    case Key::FiliProc: return v.FiliProc;
    case Key::NomeFiliProc: return v.NomeFiliProc;
    case Key::ModuFili: return v.ModuFili ? u"true"_s : u"false"_s;
    case Key::ReportDir: return v.ReportDir;
    case Key::WebURL: return v.WebURL;
    case Key::WebPort: return QString::number(v.WebPort);
    case Key::Database: return v.Database;
    case Key::WebSecretFile: return v.WebSecretFile;
    case Key::WebTLS: return v.WebTLS ? u"S"_s : u"N"_s;
    case Key::Unknown: break;
    }
    return {};
}

Status Context::applySettings(const QStringList &items)
{
    for (const QString &item : items) {
        const qsizetype eq = item.indexOf(u'=');
        if (eq <= 0)
            return makeError(u"Valor de configuração inválido: \"%1\". Use CHAVE=VALOR."_s.arg(item));
        if (auto st = set(item.left(eq).trimmed(), item.mid(eq + 1)); !st)
            return st;
    }
    return {};
}

Status Context::loadIni(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return makeError(u"Não foi possível ler o arquivo de configuração %1: %2"_s.arg(QDir::toNativeSeparators(path),
                                                                                        file.errorString()));

    // Parsed by hand rather than with QSettings: QSettings turns "a, b" into a list and
    // treats backslashes and quotes in its own way, and these values must arrive as written.
    bool inGeneral = true;
    int lineNo = 0;
    while (!file.atEnd()) {
        ++lineNo;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']'))
                return makeError(u"%1, linha %2: seção mal formada: \"%3\"."_s.arg(QDir::toNativeSeparators(path),
                                                                                   QString::number(lineNo), line));
            inGeneral = line.mid(1, line.size() - 2).trimmed().compare(u"General"_s, Qt::CaseInsensitive) == 0;
            continue;
        }
        if (!inGeneral)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            return makeError(u"%1, linha %2: esperado CHAVE=VALOR, encontrado \"%3\"."_s.arg(
                QDir::toNativeSeparators(path), QString::number(lineNo), line));
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        if (auto st = set(line.left(eq).trimmed(), value); !st)
            return makeError(
                u"%1, linha %2: %3"_s.arg(QDir::toNativeSeparators(path), QString::number(lineNo), st.error()));
    }
    return {};
}

Status configureContext(const QStringList &arguments)
{
    QString config;
    bool configGiven = false;
    QStringList sets;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments[i];
        if (a == u"--config"_s || a == u"--set"_s) {
            if (i + 1 >= arguments.size())
                return makeError(u"Falta o valor de %1."_s.arg(a));
            const QString &value = arguments[++i];
            if (a == u"--set"_s) {
                sets << value;
            } else {
                configGiven = true;
                config = value;
            }
        } else if (a.startsWith(u"--config="_s)) {
            configGiven = true;
            config = a.mid(9);
        } else if (a.startsWith(u"--set="_s)) {
            sets << a.mid(6);
        }
    }

    Context &c = Context::instance();
    c.reset();
    if (!configGiven) {
        config = Context::defaultConfigPath();
        if (!QFileInfo::exists(config))
            config.clear();
    }
    if (!config.isEmpty()) {
        if (auto st = c.loadIni(config); !st)
            return st;
    }
    return c.applySettings(sets);
}

QString FiliProcFat()
{
    return Context::instance().values().FiliProcFat;
}
QString NomeFiliProcFat()
{
    return Context::instance().values().NomeFiliProcFat;
}
QString FiliProc()
{
    return Context::instance().values().FiliProc;
}
QString NomeFiliProc()
{
    return Context::instance().values().NomeFiliProc;
}
bool ModuFili()
{
    return Context::instance().values().ModuFili;
}
QString ReportDir()
{
    return Context::instance().values().ReportDir;
}
QString WebURL()
{
    return Context::instance().values().WebURL;
}
int WebPort()
{
    return Context::instance().values().WebPort;
}
QString WebSecretFile()
{
    return Context::instance().values().WebSecretFile;
}
bool WebTLS()
{
    return Context::instance().values().WebTLS;
}

} // namespace kpr
