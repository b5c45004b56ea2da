#include "tests/support/demoservidor.h"

#include "framework/db/dtmdbgeral.h"
#include "framework/settings/context.h"
#include "framework/settings/registry.h"
#include "tests/support/sqlexec.h"

#include <QDir>
#include <QProcess>
#include <QSettings>

using namespace Qt::Literals::StringLiterals;

namespace kpr::test {

DemoServidor::DemoServidor(QString demodata, QString appserver, QString layouts)
    : m_demodata(std::move(demodata)),
      m_appserver(std::move(appserver)),
      m_layouts(std::move(layouts))
{}

DemoServidor::~DemoServidor() = default;

Status DemoServidor::inicia(const QString &pasta, const Tamanho &t)
{
    const QDir d(pasta);
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, d.filePath(u"etc"_s));
    if (const Status s = Registry().writeString(u"SiteWebCli/WorkDir"_s, d.filePath(u"trab"_s)); !s)
        return s;
    m_saida = d.filePath(u"trab/CFR/"_s);
    m_url = u"sqlite:"_s + d.filePath(u"demo.db"_s);

    QProcess demo;
    demo.start(m_demodata, {u"--db"_s, m_url, u"--branches"_s, u"1"_s, u"--clients"_s, QString::number(t.clientes),
                            u"--services"_s, QString::number(t.servicos), u"--days"_s, QString::number(t.dias),
                            u"--start"_s, t.inicio, u"--seed"_s, QString::number(t.semente)});
    if (!demo.waitForFinished(120000) || demo.exitCode() != 0)
        return makeError(u"kpr-demodata: "_s + QString::fromUtf8(demo.readAllStandardError()));
    if (const Status s = dtmDBGeral::open(m_url); !s)
        return s;

    m_servidor = std::make_unique<AppServerProcess>(m_appserver);
    if (const Status s = m_servidor->start(m_url); !s)
        return s;
    Context &c = Context::instance();
    for (const auto &[chave, valor] : {std::pair{u"FiliProcFat"_s, u"0001"_s},
                                       {u"NomeFiliProcFat"_s, u"Filial Campinas"_s},
                                       {u"ModuFili"_s, u"false"_s},
                                       {u"WebURL"_s, m_servidor->host()},
                                       {u"WebPort"_s, QString::number(m_servidor->port())},
                                       {u"ReportDir"_s, m_layouts}})
        if (const Status s = c.set(chave, valor); !s)
            return s;
    return {};
}

bool DemoServidor::sql(const QString &statement, const QVariantList &values) const
{
    return execSql(dtmDBGeral::database(), statement, values);
}

Status DemoServidor::para()
{
    dtmDBGeral::close();
    if (m_servidor && m_servidor->running())
        return m_servidor->stop();
    return {};
}

} // namespace kpr::test
