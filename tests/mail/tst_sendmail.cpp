#include "framework/mail/sendmail.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>
#include <QUrlQuery>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

bool writeScript(const QString &path, const QByteArray &body)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("#!/bin/sh\n" + body) < 0)
        return false;
    f.close();
    return f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

} // namespace

class TestSendMail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void handsMessageToMailProgram();
    void exitStatusMapping_data();
    void exitStatusMapping();

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
};

void TestSendMail::initTestCase()
{
    m_path = qgetenv("PATH");
    QVERIFY(writeScript(m_dir.filePath(u"recorder"_s), "printf '%s' \"$1\" > \"$KPR_MAILER_OUT\"\n"));
}

void TestSendMail::cleanup()
{
    qputenv("PATH", m_path);
    qunsetenv("MAILER");
}

// The real xdg-email, with MAILER as the mail program: what that program receives is the
// mailto: URL of one message, every address separate and the texts whole.
void TestSendMail::handsMessageToMailProgram()
{
    const QString attachment = m_dir.filePath(u"relatório março.pdf"_s);
    QFile f(attachment);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("%PDF-1.4\n") > 0);
    f.close();
    const QString out = m_dir.filePath(u"mailto.txt"_s);
    qputenv("KPR_MAILER_OUT", out.toLocal8Bit());
    qputenv("MAILER", m_dir.filePath(u"recorder"_s).toLocal8Bit());

    const int rc = SendMail(u"Relatório de refeições – março"_s, u"Prezado cliente,\nsegue o relatório."_s,
                            u" a@x.com ; b@y.com;; "_s, u"c@z.com"_s, u"d@w.com;e@v.com"_s, attachment, u";"_s,
                            {mapiLogonUI, mapiDialog});
    QCOMPARE(rc, SUCCESS_SUCCESS);

    QFile recorded(out);
    QVERIFY(recorded.open(QIODevice::ReadOnly));
    const QUrl url(QString::fromUtf8(recorded.readAll()));
    QCOMPARE(url.scheme(), u"mailto"_s);
    const QUrlQuery query(url);
    QStringList to{url.path()};
    to += query.allQueryItemValues(u"to"_s);
    QCOMPARE(to, (QStringList{u"a@x.com"_s, u"b@y.com"_s}));
    QCOMPARE(query.allQueryItemValues(u"cc"_s), QStringList{u"c@z.com"_s});
    QCOMPARE(query.allQueryItemValues(u"bcc"_s), (QStringList{u"d@w.com"_s, u"e@v.com"_s}));
    QCOMPARE(query.queryItemValue(u"subject"_s, QUrl::FullyDecoded), u"Relatório de refeições – março"_s);
    QCOMPARE(query.queryItemValue(u"body"_s, QUrl::FullyDecoded), u"Prezado cliente,\r\nsegue o relatório."_s);
    QCOMPARE(query.queryItemValue(u"attach"_s, QUrl::FullyDecoded), attachment);
}

void TestSendMail::exitStatusMapping_data()
{
    QTest::addColumn<QString>("fakeXdgEmail"); // script body; empty: the real one
    QTest::addColumn<QByteArray>("mailer");    // MAILER script body; empty: none
    QTest::addColumn<bool>("missingAttachment");
    QTest::addColumn<int>("expected");

    QTest::newRow("xdg-email 0: sent") << u"exit 0"_s << QByteArray() << false << SUCCESS_SUCCESS;
    QTest::newRow("xdg-email 1: bad arguments") << u"exit 1"_s << QByteArray() << false << MAPI_E_FAILURE;
    QTest::newRow("xdg-email 2: file missing") << u"exit 2"_s << QByteArray() << false << MAPI_E_ATTACHMENT_NOT_FOUND;
    QTest::newRow("xdg-email 3: no mail program") << u"exit 3"_s << QByteArray() << false << MAPI_E_LOGIN_FAILURE;
    QTest::newRow("xdg-email 4: mail program failed") << u"exit 4"_s << QByteArray() << false << MAPI_E_FAILURE;
    QTest::newRow("xdg-email 5: no permission")
        << u"exit 5"_s << QByteArray() << false << MAPI_E_ATTACHMENT_OPEN_FAILURE;
    QTest::newRow("xdg-email not found") << QString() << QByteArray() << false << MAPI_E_LOGIN_FAILURE;
    QTest::newRow("real: MAILER fails") << u"real"_s << QByteArray("exit 1\n") << false << MAPI_E_FAILURE;
    QTest::newRow("real: attachment missing")
        << u"real"_s << QByteArray("exit 0\n") << true << MAPI_E_ATTACHMENT_NOT_FOUND;
}

void TestSendMail::exitStatusMapping()
{
    QFETCH(QString, fakeXdgEmail);
    QFETCH(QByteArray, mailer);
    QFETCH(bool, missingAttachment);
    QFETCH(int, expected);

    // A PATH of one folder: the fake xdg-email or nothing at all.
    QTemporaryDir bin;
    if (fakeXdgEmail != u"real"_s) {
        if (!fakeXdgEmail.isEmpty())
            QVERIFY(writeScript(bin.filePath(u"xdg-email"_s), fakeXdgEmail.toUtf8() + '\n'));
        qputenv("PATH", bin.path().toLocal8Bit());
    }
    if (!mailer.isEmpty()) {
        QVERIFY(writeScript(bin.filePath(u"mailer"_s), mailer));
        qputenv("MAILER", bin.filePath(u"mailer"_s).toLocal8Bit());
    }
    const QString attachment = missingAttachment ? bin.filePath(u"não existe.pdf"_s) : QString();
    QCOMPARE(SendMail(u"Assunto"_s, u"Texto"_s, u"a@x.com"_s, QString(), QString(), attachment, u";"_s, {}), expected);
}

QTEST_GUILESS_MAIN(TestSendMail)
#include "tst_sendmail.moc"
