// CNPJ and CPF check digits, the random stream and the holiday calendar of the demo data.
#include "appserver/demodata/calendar.h"
#include "appserver/demodata/random.h"
#include "appserver/demodata/registration.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr::demodata;

class TstRegistration : public QObject
{
    Q_OBJECT
private slots:
    void cnpj_data()
    {
        QTest::addColumn<QString>("first12");
        QTest::addColumn<QString>("checkDigits");
        // 1,1,2,2,2,3,3,3,0,0,0,1 x 5,4,3,2,9,8,7,6,5,4,3,2 = 102, 102 mod 11 = 3 -> 8;
        // with the 8, x 6,5,4,3,2,9,8,7,6,5,4,3,2 = 120, mod 11 = 10 -> 1.
        QTest::newRow("11.222.333/0001-81") << u"112223330001"_s << u"81"_s;
        // Only the final 1 counts: 1 x 2 = 2 -> 9; then 9 x 2 + 1 x 3 = 21, mod 11 = 10 -> 1.
        QTest::newRow("00.000.000/0001-91") << u"000000000001"_s << u"91"_s;
        // Sum 121 is a multiple of 11: a remainder below 2 gives 0; then 142 mod 11 = 10 -> 1.
        QTest::newRow("33.000.167/0001-01, remainder 0") << u"330001670001"_s << u"01"_s;
    }
    void cnpj()
    {
        QFETCH(QString, first12);
        QFETCH(QString, checkDigits);
        QCOMPARE(cnpjCheckDigits(first12), checkDigits);
        QVERIFY(isValidCnpj(first12 + checkDigits));
        QCOMPARE(makeCnpj(first12.left(8), first12.mid(8).toInt()), first12 + checkDigits);
    }

    void cpf_data()
    {
        QTest::addColumn<QString>("first9");
        QTest::addColumn<QString>("checkDigits");
        // 1,1,1,4,4,4,7,7,7 x 10..2 = 162, mod 11 = 8 -> 3; with the 3, x 11..2 = 204,
        // mod 11 = 6 -> 5.
        QTest::newRow("111.444.777-35") << u"111444777"_s << u"35"_s;
        // 1..9 x 10..2 = 210, mod 11 = 1 -> 0; then 255 mod 11 = 2 -> 9.
        QTest::newRow("123.456.789-09, remainder 1") << u"123456789"_s << u"09"_s;
    }
    void cpf()
    {
        QFETCH(QString, first9);
        QFETCH(QString, checkDigits);
        QCOMPARE(cpfCheckDigits(first9), checkDigits);
        QVERIFY(isValidCpf(first9 + checkDigits));
        QCOMPARE(makeCpf(first9), first9 + checkDigits);
    }

    void invalidNumbers()
    {
        QVERIFY(!isValidCnpj(u"11222333000182"_s));     // last digit off by one
        QVERIFY(!isValidCnpj(u"11222333000118"_s));     // check digits swapped
        QVERIFY(!isValidCnpj(u"21222333000181"_s));     // a body digit changed
        QVERIFY(!isValidCnpj(u"11.222.333/0001-81"_s)); // stored without punctuation
        QVERIFY(!isValidCnpj(u"1122233300018"_s));      // 13 digits
        QVERIFY(!isValidCnpj(u"00000000000000"_s));     // passes the arithmetic, never issued
        QVERIFY(!isValidCpf(u"11144477736"_s));
        QVERIFY(!isValidCpf(u"111.444.777-35"_s));
        QVERIFY(!isValidCpf(u"11111111111"_s));
        QVERIFY(!isValidCpf(u"1114447773"_s));
        QCOMPARE(cnpjCheckDigits(u"11222333000"_s), QString());
        QCOMPARE(cpfCheckDigits(u"11144477a"_s), QString());
    }

    // SplitMix64 from state 0 has the published first outputs below: the stream, and so
    // the demo data of a seed, is the same with every compiler and library.
    void randomStreamIsFixed()
    {
        Random rng(0);
        QCOMPARE(rng.next(), 0xe220a8397b1dcdafULL);
        QCOMPARE(rng.next(), 0x6e789e6aa1b965f4ULL);
        QCOMPARE(rng.next(), 0x06c45d188009454fULL);
        QVERIFY(streamSeed(1, 2) != streamSeed(1, 3));
        QVERIFY(streamSeed(1, 2, 0, 1) != streamSeed(1, 2, 1, 0));
    }

    void randomBounds()
    {
        Random rng(42);
        bool seen[5] = {};
        for (int i = 0; i < 2000; ++i) {
            const int v = rng.between(-2, 2);
            QVERIFY(v >= -2 && v <= 2);
            seen[v + 2] = true;
            const double u = rng.unit();
            QVERIFY(u >= 0.0 && u < 1.0);
        }
        for (bool s : seen)
            QVERIFY(s);
        QCOMPARE(rng.between(7, 7), 7);
    }

    void holidays()
    {
        QCOMPARE(easterSunday(2024), QDate(2024, 3, 31));
        QCOMPARE(easterSunday(2025), QDate(2025, 4, 20));
        QCOMPARE(easterSunday(2026), QDate(2026, 4, 5));
        QVERIFY(isHoliday(QDate(2025, 4, 18))); // Good Friday, two days before Easter
        QVERIFY(isHoliday(QDate(2025, 3, 4)));  // Carnival Tuesday, 47 days before
        QVERIFY(!isHoliday(QDate(2025, 3, 5))); // Ash Wednesday is a working day
        QVERIFY(isHoliday(QDate(2026, 9, 7)));
        QVERIFY(!isHoliday(QDate(2023, 11, 20))); // national only from 2024
        QVERIFY(isHoliday(QDate(2024, 11, 20)));
    }
};

QTEST_GUILESS_MAIN(TstRegistration)
#include "tst_registration.moc"
