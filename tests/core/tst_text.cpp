// Text helpers: blanks and unfilled masks, zero padding, and mask formatting of the two
// registration numbers.
#include "framework/core/mask.h"
#include "framework/core/strings.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstText : public QObject
{
    Q_OBJECT
private slots:
    void emptyString_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("empty");
        QTest::newRow("nothing") << QString() << true;
        QTest::newRow("blanks") << u"    "_s << true;
        QTest::newRow("branch mask unfilled, one blank a position") << u"    "_s << true;
        QTest::newRow("date mask unfilled") << u"  /  /    "_s << true;
        QTest::newRow("underscore blanks of a CPF mask") << u"___.___.___-__"_s << true;
        QTest::newRow("one digit") << u" 1  "_s << false;
        QTest::newRow("a filled date") << u"01/02/2026"_s << false;
        QTest::newRow("a letter") << u"a"_s << false;
        QTest::newRow("zero is a value") << u"0"_s << false;
    }
    void emptyString()
    {
        QFETCH(QString, text);
        QFETCH(bool, empty);
        QCOMPARE(EmptyString(text), empty);
    }

    void ajusta_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("branch 1 -> 0001") << u"1"_s << 4 << u"0001"_s;
        QTest::newRow("already full") << u"0012"_s << 4 << u"0012"_s;
        QTest::newRow("letters padded too") << u"AB"_s << 4 << u"00AB"_s;
        QTest::newRow("longer stays whole, not cut") << u"123456"_s << 4 << u"123456"_s;
        QTest::newRow("column suffix") << u"7"_s << 2 << u"07"_s;
        QTest::newRow("group number") << u"12"_s << 3 << u"012"_s;
        QTest::newRow("mask blanks are not digits") << u"1   "_s << 4 << u"0001"_s;
        QTest::newRow("empty becomes zeros") << QString() << 2 << u"00"_s;
    }
    void ajusta()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QCOMPARE(Ajusta(text, width), expected);
    }

    void cutToWidth()
    {
        // A 40-character service name stored in a 30-character field keeps its first 30.
        const QString name = u"Almoço executivo com sobremesa e suco natural"_s.left(40);
        QCOMPARE(name.size(), 40);
        QCOMPARE(kpr::cutToWidth(name, 30), name.left(30));
        QCOMPARE(kpr::cutToWidth(u"Jantar"_s, 30), u"Jantar"_s);
        // Accented letters count as one character each, not as their UTF-8 bytes.
        QCOMPARE(kpr::cutToWidth(u"ÇÃÉÍÕ"_s, 3), u"ÇÃÉ"_s);
    }

    void pictPess()
    {
        QCOMPARE(PictPess(u"J"_s), u"99.999.999/9999-99;0;_"_s);
        QCOMPARE(PictPess(u"F"_s), u"999.999.999-99;0;_"_s);
        QCOMPARE(PictPess(u"j"_s), PictPess(u"J"_s));
        QVERIFY(PictPess(u"E"_s).isEmpty());
        QVERIFY(PictPess(QString()).isEmpty());
    }

    void formatMaskText_data()
    {
        QTest::addColumn<QString>("mask");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const QString cnpj = PictPess(u"J"_s);
        const QString cpf = PictPess(u"F"_s);
        QTest::newRow("CNPJ") << cnpj << u"12345678000190"_s << u"12.345.678/0001-90"_s;
        QTest::newRow("CPF") << cpf << u"52998224725"_s << u"529.982.247-25"_s;
        QTest::newRow("CPF short: blanks fill the rest") << cpf << u"5299"_s << u"529.9__.___-__"_s;
        QTest::newRow("CPF over-long: the excess is dropped") << cpf << u"5299822472599"_s << u"529.982.247-25"_s;
        QTest::newRow("empty text shows the unfilled mask") << cpf << QString() << u"___.___.___-__"_s;
        QTest::newRow("no mask: unchanged") << QString() << u"123456"_s << u"123456"_s;
        QTest::newRow("branch mask upper-cases") << u">aaaa;0; "_s << u"ab1"_s << u"AB1 "_s;
        QTest::newRow("literals saved: text carries them") << u"99/99/9999;1;_"_s << u"01/02/2026"_s << u"01/02/2026"_s;
        QTest::newRow("escaped mask character is a literal") << u"\\A-999;0;_"_s << u"123"_s << u"A-123"_s;
    }
    void formatMaskText()
    {
        QFETCH(QString, mask);
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(FormatMaskText(mask, text), expected);
    }

    void editMaskParts()
    {
        const EditMask m = EditMask::parse(u">aaaa;0; "_s);
        QCOMPARE(m.mask, u">aaaa"_s);
        QCOMPARE(m.saveLiterals, false);
        QCOMPARE(m.blank, QLatin1Char(' '));
        QCOMPARE(m.inputLength(), 4);
        QCOMPARE(EditMask::parse(u"99.999.999/9999-99;0;_"_s).inputLength(), 14);
    }
};

QTEST_APPLESS_MAIN(TstText)
#include "tst_text.moc"
