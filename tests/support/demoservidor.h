#pragma once
// What the CFR screen's end-to-end tests stand on: a demo database that kpr-demodata makes
// (one branch, "0001"), the shared connection open on it, the real kpr-appserver serving it,
// the context values the screen reads pointing there, and the machine registry moved into
// the test's folder with its work directory there too.

#include "framework/core/result.h"
#include "tests/support/appserverprocess.h"

#include <QString>
#include <QVariantList>

#include <memory>

namespace kpr::test {

class DemoServidor
{
public:
    struct Tamanho
    {
        int clientes = 6;
        int servicos = 8;
        int dias = 45;
        QString inicio = QStringLiteral("2024-03-01");
        int semente = 3;
    };

    DemoServidor(QString demodata, QString appserver, QString layouts);
    ~DemoServidor();

    // In folder: the database, the registry (etc/) and the work directory (trab/).
    Status inicia(const QString &pasta, const Tamanho &tamanho);
    // Applies a statement to the database before or while the server runs.
    bool sql(const QString &statement, const QVariantList &values = {}) const;
    Status para();

    QString url() const { return m_url; }
    // The output directory of the per-client export: the work directory + "CFR/".
    QString saida() const { return m_saida; }
    AppServerProcess &servidor() { return *m_servidor; }

private:
    QString m_demodata;
    QString m_appserver;
    QString m_layouts;
    QString m_url;
    QString m_saida;
    std::unique_ptr<AppServerProcess> m_servidor;
};

} // namespace kpr::test
