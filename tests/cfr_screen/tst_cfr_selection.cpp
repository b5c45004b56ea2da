// The selection panel's decisions without a window: the period rule by layout position and
// the layout entries that carry behaviour.
#include "cfr/selection/layoutentry.h"
#include "cfr/selection/selectionrules.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr::cfr;

class TstCfrSelection : public QObject
{
    Q_OBJECT

private slots:
    void periodRule_data()
    {
        QTest::addColumn<int>("position");
        QTest::addColumn<QDate>("inicial");
        QTest::addColumn<QDate>("final");
        QTest::addColumn<QString>("key");
        // February 2024 has 29 days: 1/2 to 3/3 is 31 days, to 4/3 32.
        QTest::newRow("leap February, 31 days") << 1 << QDate(2024, 2, 1) << QDate(2024, 3, 3) << QString();
        QTest::newRow("leap February, 32 days") << 3 << QDate(2024, 2, 1) << QDate(2024, 3, 4) << u"DtFinal_maior_31"_s;
        QTest::newRow("over a year end, 32 days")
            << 1 << QDate(2023, 12, 15) << QDate(2024, 1, 16) << u"DtFinal_maior_31"_s;
        QTest::newRow("position 0 has no limit") << 0 << QDate(2024, 1, 1) << QDate(2024, 6, 30) << QString();
        QTest::newRow("position 5 has no limit") << 5 << QDate(2024, 1, 1) << QDate(2024, 6, 30) << QString();
        QTest::newRow("one day back") << 2 << QDate(2024, 1, 2) << QDate(2024, 1, 1) << u"DtIni_maior"_s;
        QTest::newRow("back and long: order first") << 1 << QDate(2024, 6, 1) << QDate(2024, 1, 1) << u"DtIni_maior"_s;
    }

    void periodRule()
    {
        QFETCH(int, position);
        QFETCH(QDate, inicial);
        QFETCH(QDate, final);
        QFETCH(QString, key);
        QCOMPARE(falhaPeriodo(inicial, final, position), key);
    }

    void serviceGroupLayoutIsExactly08()
    {
        QVERIFY(isServiceGroupLayout(u"KPR047"_s, u"08"_s));
        QVERIFY(!isServiceGroupLayout(u"KPR047"_s, u"8"_s));
        QVERIFY(!isServiceGroupLayout(u"KPR047"_s, u"008"_s));
        QCOMPARE(layoutFileName(u"KPR047"_s, u"008"_s), u"KPR047008.QR2"_s);
        // An 08 entry at position 3 is both by date and the service-group layout.
        QVERIFY(LayoutPorData(3) && hasPeriodLimit(3));
        QVERIFY(PedeSequencia(3) && !PedeSequencia(2));
    }

    void listWithoutSelection()
    {
        QVERIFY(faltaSelecao(true, QString()));
        QVERIFY(!faltaSelecao(true, u"_0001_"_s));
        QVERIFY(!faltaSelecao(false, QString()));
    }
};

QTEST_GUILESS_MAIN(TstCfrSelection)
#include "tst_cfr_selection.moc"
