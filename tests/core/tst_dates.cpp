// Day numbers: day 0 is 30 December 1899; the time of day is the fraction.
#include "framework/core/dates.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstDates : public QObject
{
    Q_OBJECT
private slots:
    void dayNumbers_data()
    {
        QTest::addColumn<QDate>("date");
        QTest::addColumn<double>("day");
        QTest::newRow("day zero") << QDate(1899, 12, 30) << 0.0;
        QTest::newRow("1 Jan 1900 is day 2") << QDate(1900, 1, 1) << 2.0;
        // 1900 is no leap year: 28 Feb 1900 is day 60 and 1 Mar 1900 day 61.
        QTest::newRow("28 Feb 1900") << QDate(1900, 2, 28) << 60.0;
        QTest::newRow("1 Mar 1900") << QDate(1900, 3, 1) << 61.0;
        // 2000 and 2024 are leap years: 29 February exists and counts.
        QTest::newRow("29 Feb 2024") << QDate(2024, 2, 29) << 45351.0;
        QTest::newRow("1 Mar 2024") << QDate(2024, 3, 1) << 45352.0;
        QTest::newRow("1 Jan 2026") << QDate(2026, 1, 1) << 46023.0;
        QTest::newRow("before day zero") << QDate(1899, 12, 29) << -1.0;
    }
    void dayNumbers()
    {
        QFETCH(QDate, date);
        QFETCH(double, day);
        QCOMPARE(toDayNumber(date), day);
        QCOMPARE(dayNumberToDate(day), date);
    }

    void timeFractions()
    {
        const QDateTime sixAm(QDate(2026, 1, 1), QTime(6, 0));
        QCOMPARE(toDayNumber(sixAm), 46023.25);
        QCOMPARE(dayNumberToDateTime(46023.75), QDateTime(QDate(2026, 1, 1), QTime(18, 0)));
        // The date part ignores the time: 23:59 is still the same day.
        QCOMPARE(dayNumberToDate(46023.999), QDate(2026, 1, 1));
        // Before day zero the fraction still counts forward from midnight.
        QCOMPARE(dayNumberToDateTime(-1.25), QDateTime(QDate(1899, 12, 29), QTime(6, 0)));
        QCOMPARE(toDayNumber(QDateTime(QDate(1899, 12, 29), QTime(6, 0))), -1.25);
        // Rounding up to the next midnight moves to the next day, not to 24:00.
        QCOMPARE(dayNumberToDateTime(46023.9999999999), QDateTime(QDate(2026, 1, 2), QTime(0, 0)));
        // The day after the final date is the final day number plus 1.0.
        QCOMPARE(toDayNumber(QDate(2026, 3, 31)) + 1.0, toDayNumber(QDate(2026, 4, 1)));
    }

    void brazilianDates()
    {
        QCOMPARE(formatDateBR(QDate(2026, 2, 1)), u"01/02/2026"_s);
        QCOMPARE(formatDateBR(QDate()), QString());
        QCOMPARE(parseDateBR(u"01/02/2026"_s), QDate(2026, 2, 1));
        QCOMPARE(parseDateBR(u"1/2/2026"_s), QDate(2026, 2, 1));
        QVERIFY(!parseDateBR(u"31/02/2026"_s).isValid());
        QVERIFY(!parseDateBR(u"29/02/2025"_s).isValid());
        QVERIFY(parseDateBR(u"29/02/2024"_s).isValid());
        QVERIFY(!parseDateBR(u"  /  /    "_s).isValid());
        QVERIFY(!parseDateBR(u"2026-02-01"_s).isValid());
    }
};

QTEST_APPLESS_MAIN(TstDates)
#include "tst_dates.moc"
