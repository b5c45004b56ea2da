#include "framework/core/cripto.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TestCripto : public QObject
{
    Q_OBJECT

private slots:
    void roundTrip_data();
    void roundTrip();
    void storedVectors_data();
    void storedVectors();
};

void TestCripto::roundTrip_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<int>("key");
    QString allPrintable;
    for (char16_t c = 32; c < 127; ++c)
        allPrintable.append(QChar(c));
    QTest::newRow("empty") << QString() << ChaveCripto;
    QTest::newRow("one character") << u"a"_s << ChaveCripto;
    QTest::newRow("column's full width") << u"Senha#Forte!2024~ab "_s << ChaveCripto;
    QTest::newRow("range ends: blank and tilde") << u" ~ ~"_s << ChaveCripto;
    QTest::newRow("every printable character") << allPrintable << ChaveCripto;
    QTest::newRow("accents pass, ASCII around them turns") << u"ação-1º"_s << ChaveCripto;
    QTest::newRow("key zero") << u"senha123"_s << 0;
    QTest::newRow("negative key") << u"senha123"_s << -7;
}

// Whatever the text: same length, printable stays printable, every printable ASCII
// character changes, and each direction undoes the other.
void TestCripto::roundTrip()
{
    QFETCH(QString, plain);
    QFETCH(int, key);
    const QString ciphered = Cripto(plain, key);
    QCOMPARE(ciphered.size(), plain.size());
    for (qsizetype i = 0; i < plain.size(); ++i) {
        const char16_t p = plain[i].unicode();
        const char16_t c = ciphered[i].unicode();
        if (p >= 32 && p <= 126) {
            QVERIFY2(c >= 32 && c <= 126, qPrintable(u"position %1 left the printable range"_s.arg(i)));
            QVERIFY2(c != p, qPrintable(u"position %1 unchanged"_s.arg(i)));
        } else {
            QCOMPARE(c, p);
        }
    }
    QCOMPARE(Uncripto(ciphered, key), plain);
    QCOMPARE(Cripto(Uncripto(plain, key), key), plain);
}

void TestCripto::storedVectors_data()
{
    QTest::addColumn<QString>("plain");
    QTest::addColumn<QString>("stored");
    // Passwords already stored in branches' rows: the cipher must never change under them.
    QTest::newRow("senha123") << u"senha123"_s << u"]rC5Y AV"_s;
    QTest::newRow("Filial#01 smtp") << u"Filial#01 smtp"_s << u"0vA6Y[2SDr &Jg"_s;
}

void TestCripto::storedVectors()
{
    QFETCH(QString, plain);
    QFETCH(QString, stored);
    QCOMPARE(Cripto(plain, ChaveCripto), stored);
    QCOMPARE(Uncripto(stored, ChaveCripto), plain);
}

QTEST_GUILESS_MAIN(TestCripto)
#include "tst_cripto.moc"
