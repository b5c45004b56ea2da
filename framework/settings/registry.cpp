#include "framework/settings/registry.h"

#include <QDir>
#include <QSettings>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

QString normalizedKey(const QString &key)
{
    QString k = key;
    k.replace(u'\\', u'/');
    return k;
}

Status syncStatus(QSettings &s)
{
    s.sync();
    switch (s.status()) {
    case QSettings::NoError: return {};
    case QSettings::AccessError:
        return makeError(
            u"Não foi possível gravar no registro (%1): acesso negado."_s.arg(QDir::toNativeSeparators(s.fileName())));
    case QSettings::FormatError:
        return makeError(u"O registro (%1) está mal formado."_s.arg(QDir::toNativeSeparators(s.fileName())));
    }
    return {};
}

} // namespace

Registry::Registry(QString organization, QString application)
    : m_organization(std::move(organization)),
      m_application(std::move(application))
{}

QString Registry::defaultOrganization()
{
    return u"Kpr"_s;
}
QString Registry::defaultApplication()
{
    return u"Kpr"_s;
}

bool Registry::contains(const QString &key) const
{
    const QSettings s(QSettings::SystemScope, m_organization, m_application);
    return s.contains(normalizedKey(key));
}

QString Registry::readString(const QString &key, const QString &defaultValue) const
{
    const QSettings s(QSettings::SystemScope, m_organization, m_application);
    const QVariant v = s.value(normalizedKey(key));
    if (!v.isValid())
        return defaultValue;
    // A hand-written "a, b" reads back as a list; the registry only holds texts.
    if (v.metaType().id() == QMetaType::QStringList)
        return v.toStringList().join(u", "_s);
    return v.toString();
}

Status Registry::writeString(const QString &key, const QString &value)
{
    QSettings s(QSettings::SystemScope, m_organization, m_application);
    s.setValue(normalizedKey(key), value);
    return syncStatus(s);
}

Status Registry::remove(const QString &key)
{
    QSettings s(QSettings::SystemScope, m_organization, m_application);
    s.remove(normalizedKey(key));
    return syncStatus(s);
}

QString Registry::fileName() const
{
    const QSettings s(QSettings::SystemScope, m_organization, m_application);
    return s.fileName();
}

} // namespace kpr
