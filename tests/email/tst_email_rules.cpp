// The e-mail screen's rules without a window: the address list check and the SMTP settings
// a branch's e-mail settings give.
#include "email/dadossmtp.h"
#include "email/validaemails.h"
#include "framework/core/cripto.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

class TstEmailRules : public QObject
{
    Q_OBJECT

private slots:
    void enderecos_data()
    {
        QTest::addColumn<QString>("lista");
        QTest::addColumn<bool>("valida");
        // Single addresses: local part, "@", domain part, ".", top-level part.
        QTest::newRow("plain") << u"fulano@empresa.com.br"_s << true;
        QTest::newRow("one letter each") << u"a@b.c"_s << true;
        QTest::newRow("no domain part") << u"a@.com"_s << true;
        QTest::newRow("digit 4 at the top") << u"x@y.mp4"_s << true;
        QTest::newRow("digit 2 at the top") << u"x@y.co2"_s << true;
        QTest::newRow("digit 3 at the top") << u"x@y.co3"_s << false;
        QTest::newRow("underscore before the @") << u"a_b@c.com"_s << true;
        QTest::newRow("underscore in the domain") << u"a@b_c.com"_s << false;
        QTest::newRow("upper case") << u"A@B.COM"_s << true;
        QTest::newRow("blank inside") << u"a b@c.com"_s << false;
        QTest::newRow("accented letter") << u"joão@x.com"_s << false;
        QTest::newRow("@ first") << u"@empresa.com"_s << false;
        // Other shapes.
        QTest::newRow("only dot before the @") << u"fulano.silva@empresa"_s << false;
        QTest::newRow("ends with a dot") << u"a@b.com."_s << false;
        QTest::newRow("second @") << u"a@b@c.com"_s << false;
        QTest::newRow("no @") << u"empresa.com"_s << false;
        QTest::newRow("blanks around") << u"  a@b.com \t"_s << true;
        QTest::newRow("two by ;") << u"a@b.com;c@d.org"_s << true;
        QTest::newRow("two by |") << u"a@b.com|c@d.org"_s << true;
        QTest::newRow("two by , and blank") << u"a@b.com, c@d.org"_s << true;
        QTest::newRow("trailing ;") << u"a@b.com;"_s << true;
        QTest::newRow("starts with ;") << u";a@b.com"_s << false;
        QTest::newRow(";; inside") << u"a@b.com;;c@d.org"_s << false;
        // The "," decides first: the first element then holds "a@b.com;c@d.org".
        QTest::newRow("; then ,") << u"a@b.com;c@d.org,e@f.net"_s << false;
        QTest::newRow("trailing , and blanks") << u"a@b.com,  "_s << true;
        QTest::newRow("control character") << u"a@b.c\u0001m"_s << false;
    }

    void enderecos()
    {
        QFETCH(QString, lista);
        QFETCH(bool, valida);
        QCOMPARE(ValidaEmails(lista), valida);
    }

    void dadosSmtp_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("servidor");
        QTest::addColumn<QString>("tls");
        QTest::addColumn<QString>("ssl");
        QTest::addColumn<QStringList>("esperado"); // login, host, port, mode
        const QString fili = u"filial@x.com"_s;
        QTest::newRow("no port") << u"cfr"_s << u"smtp.x.com"_s << u"N"_s << u"N"_s
                                 << QStringList{u"cfr"_s, u"smtp.x.com"_s, u"25"_s, QString()};
        QTest::newRow("port 587, TLS") << u"cfr"_s << u"smtp.x.com:587"_s << u"S"_s << u"N"_s
                                       << QStringList{u"cfr"_s, u"smtp.x.com"_s, u"587"_s, u"TLS"_s};
        QTest::newRow("trailing colon") << u"cfr"_s << u"smtp.x.com:"_s << u"N"_s << u"N"_s
                                        << QStringList{u"cfr"_s, u"smtp.x.com"_s, QString(), QString()};
        QTest::newRow("two colons") << u"cfr"_s << u"h:25:26"_s << u"N"_s << u"N"_s
                                    << QStringList{u"cfr"_s, u"h"_s, u"25:26"_s, QString()};
        QTest::newRow("both S: SSL") << u"cfr"_s << u"h:465"_s << u"S"_s << u"S"_s
                                     << QStringList{u"cfr"_s, u"h"_s, u"465"_s, u"SSL"_s};
        QTest::newRow("lower-case s is not set")
            << u"cfr"_s << u"h"_s << u"s"_s << u"s"_s << QStringList{u"cfr"_s, u"h"_s, u"25"_s, QString()};
        QTest::newRow("empty login: the branch's address")
            << u"  "_s << u"h"_s << u"N"_s << u"N"_s << QStringList{fili, u"h"_s, u"25"_s, QString()};
    }

    void dadosSmtp()
    {
        QFETCH(QString, login);
        QFETCH(QString, servidor);
        QFETCH(QString, tls);
        QFETCH(QString, ssl);
        QFETCH(QStringList, esperado);
        const QString cifrada = Cripto(u"s3nh@!"_s, ChaveCripto);
        const DadosSMTP d = DerivaDadosSMTP(login, u"filial@x.com"_s, cifrada, servidor, tls, ssl);
        QCOMPARE((QStringList{d.login, d.host, d.porta, d.modo}), esperado);
        QCOMPARE(d.senha, u"s3nh@!"_s); // deciphered, never the stored text
    }
};

QTEST_GUILESS_MAIN(TstEmailRules)
#include "tst_email_rules.moc"
