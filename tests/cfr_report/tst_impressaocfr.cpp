// The statements' fingerprints: the send log keeps them, so the same content must give the
// same text on every workstation and in every later version. The table below holds every
// kind of cell the statements have; its fingerprints are pinned.
#include "cfr/report/impressaocfr.h"

#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"

#include <QTest>

#include <QScopeGuard>

#include <algorithm>
#include <ctime>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstImpressaoCFR : public QObject
{
    Q_OBJECT

    struct Linha
    {
        QString cliente, apuracao, nome;
        QVariant data, efetivos, preco;
        qlonglong ordem;
    };

    static void enche(TClientDataSet &t, const QList<Linha> &linhas)
    {
        t.AddField(u"CDCLIENTE"_s, ftString, 21);
        t.AddField(u"NRAPURACGD"_s, ftString, 10);
        t.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
        t.AddField(u"DTAPURACFAT"_s, ftDateTime);
        t.AddField(u"NREFETIVOS"_s, ftFloat);
        t.AddField(u"VRPRECO"_s, ftFloat);
        t.AddField(u"NRORDEM"_s, ftInteger);
        t.CreateDataSet();
        for (const Linha &l : linhas) {
            t.Append();
            t.FieldByName(u"CDCLIENTE"_s)->setAsString(l.cliente);
            t.FieldByName(u"NRAPURACGD"_s)->setAsString(l.apuracao);
            t.FieldByName(u"NMRAZSOCCLIE"_s)->setAsString(l.nome);
            t.FieldByName(u"DTAPURACFAT"_s)->setValue(l.data);
            t.FieldByName(u"NREFETIVOS"_s)->setValue(l.efetivos);
            t.FieldByName(u"VRPRECO"_s)->setValue(l.preco);
            t.FieldByName(u"NRORDEM"_s)->setValue(l.ordem);
            t.Post();
        }
    }

    static QList<Linha> linhas(const QString &apuracao)
    {
        // Midnight of a day whose midnight Brazil's summer time skipped: the stored wall-clock
        // value is the statement's, whatever the zone of the workstation that reads it.
        const QDateTime meiaNoite(QDate(2018, 11, 4), QTime(0, 0), Qt::UTC);
        const QDateTime tarde(QDate(2027, 1, 15), QTime(14, 32, 7), Qt::UTC);
        return {
            {u"12.3"_s, apuracao, u"  Restaurante Ação Ltda  "_s, meiaNoite, 12.0, 12.345678, 1},
            {u"12.3"_s, apuracao, u"  Restaurante Ação Ltda  "_s, tarde, 0.03125, 2.5, 2},
            {u"123"_s, apuracao, u"Cozinha"_s, tarde, -0.0, 1e15 + 2, -3},
            {u"123"_s, apuracao, u"Cozinha"_s, QVariant(), QVariant(), -7.25, 4},
        };
    }

private slots:
    void pinnedFingerprints_data()
    {
        QTest::addColumn<QByteArray>("zona");
        QTest::newRow("UTC") << QByteArray("UTC");
        QTest::newRow("São Paulo") << QByteArray("America/Sao_Paulo");
    }

    void pinnedFingerprints()
    {
        QFETCH(QByteArray, zona);
        const QByteArray antes = qgetenv("TZ");
        qputenv("TZ", zona);
        tzset();
        const auto volta = qScopeGuard([&] {
            qputenv("TZ", antes);
            tzset();
        });
        TClientDataSet t;
        enche(t, linhas(u"0000000001"_s));
        const QHash<QString, QString> impressoes =
            cfr::ImpressoesPorCliente(t, u"CDCLIENTE"_s, {u"NRAPURACGD"_s}, u"T"_s);
        QCOMPARE(impressoes.size(), 2);
        QCOMPARE(impressoes.value(u"12.3"_s), u"66c1ce6dd33fe56543e5357b3c56aa28f78fad6b20caba5eb5f637b4d883a9e9"_s);
        QCOMPARE(impressoes.value(u"123"_s), u"4b64cde4496d96b9c0fa4e129c768f02e0b2b5fa4ab6e19080edcfab3dc471b9"_s);

        // Another apuration number and another row order: the same statement.
        TClientDataSet outra;
        QList<Linha> invertidas = linhas(u"0000000002"_s);
        std::reverse(invertidas.begin(), invertidas.end());
        enche(outra, invertidas);
        QCOMPARE(cfr::ImpressoesPorCliente(outra, u"CDCLIENTE"_s, {u"NRAPURACGD"_s}, u"T"_s), impressoes);
        // The group selection is part of the statement.
        QVERIFY(cfr::ImpressoesPorCliente(outra, u"CDCLIENTE"_s, {u"NRAPURACGD"_s}, u"_01_"_s).value(u"123"_s)
                != impressoes.value(u"123"_s));
    }
};

QTEST_GUILESS_MAIN(TstImpressaoCFR)
#include "tst_impressaocfr.moc"
