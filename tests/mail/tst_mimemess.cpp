#include "framework/core/abort.h"
#include "framework/mail/mimemess.h"
#include "mailreader.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

QByteArray joined(const QList<QByteArray> &lines)
{
    QByteArray out;
    for (const QByteArray &line : lines)
        out += line + "\r\n";
    return out;
}

// The header block: the lines before the first empty one.
QList<QByteArray> headerLines(const QList<QByteArray> &lines)
{
    const qsizetype end = lines.indexOf(QByteArray());
    return lines.mid(0, end < 0 ? lines.size() : end);
}

bool hasHeader(const QList<QByteArray> &lines, const QByteArray &name)
{
    for (const QByteArray &line : headerLines(lines)) {
        if (line.toLower().startsWith(name.toLower() + ':'))
            return true;
    }
    return false;
}

} // namespace

class TestMimeMess : public QObject
{
    Q_OBJECT

private slots:
    void accentedTextsAreUtf8Encoded();
    void headersPresent();
    void controlCharactersDoNotMakeHeaders();
    void unreadableAttachmentThrows_data();
    void unreadableAttachmentThrows();

private:
    QTemporaryDir m_dir;
};

// GMime writes Latin text as ISO-8859-1 unless told otherwise; readers expect UTF-8 words
// and parameters, every line 7-bit and ended by CRLF.
void TestMimeMess::accentedTextsAreUtf8Encoded()
{
    const QString pdf = m_dir.filePath(u"relatório março.pdf"_s);
    QFile f(pdf);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QByteArray content;
    for (int i = 0; i < 3000; ++i)
        content.append(char(i * 7 % 256));
    f.write(content);
    f.close();

    TMimeMess mess;
    mess.Header.From = u"Filial São Paulo <filial@kpr.com.br>"_s;
    mess.Header.Subject = u"Relatório de fornecimento – março/ação"_s;
    TMimePart *root = mess.AddPartMultipart(u"mixed"_s, nullptr);
    mess.AddPartText({u"Prezado cliente,"_s, u"segue o relatório de refeições."_s}, root);
    mess.AddPartBinaryFromFile(pdf, root);
    mess.EncodeMessage();
    const QList<QByteArray> lines = mess.Lines();

    for (const QByteArray &line : lines) {
        QVERIFY2(!line.contains('\r') && !line.contains('\n'), line.constData());
        QVERIFY2(line.size() <= 998, "line longer than SMTP allows");
        for (const char c : line)
            QVERIFY2(uchar(c) < 128, line.constData());
    }
    const QByteArray raw = joined(lines);
    const QByteArray lower = raw.toLower();
    QVERIFY(lower.contains("subject: =?utf-8?b?"));
    QVERIFY(lower.contains("filename*=utf-8''relat%c3%b3rio%20mar%c3%a7o.pdf"));
    QVERIFY(!lower.contains("iso-8859-1"));

    const test::ReadMessage read = test::readMessage(raw);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.subject, mess.Header.Subject);
    QCOMPARE(read.from, mess.Header.From);
    QCOMPARE(read.texts.size(), 1);
    QCOMPARE(read.texts[0].trimmed(), u"Prezado cliente,\nsegue o relatório de refeições."_s);
    QCOMPARE(read.attachments.size(), 1);
    QCOMPARE(read.attachments[0].fileName, u"relatório março.pdf"_s);
    QCOMPARE(read.attachments[0].type, u"application/pdf"_s);
    QCOMPARE(read.attachments[0].data, content);
}

void TestMimeMess::headersPresent()
{
    TMimeMess mess;
    mess.Header.From = u"filial@kpr.com.br"_s;
    mess.Header.Subject = u"Relatório"_s;
    mess.AddPartText({u"texto"_s}, nullptr);
    mess.EncodeMessage();
    QList<QByteArray> lines = mess.Lines();
    for (const QByteArray name : {"From", "Subject", "Date", "Message-Id", "MIME-Version", "Content-Type"})
        QVERIFY2(hasHeader(lines, name), name.constData());
    QVERIFY2(!hasHeader(lines, "To"), "a To header nobody asked for");

    mess.Header.ToList = {u"cliente@x.com.br"_s};
    mess.EncodeMessage();
    QVERIFY(hasHeader(mess.Lines(), "To"));

    mess.Clear();
    mess.EncodeMessage();
    QVERIFY(!hasHeader(mess.Lines(), "From"));
}

// A subject or sender with line breaks must stay one header: no Bcc smuggled in.
void TestMimeMess::controlCharactersDoNotMakeHeaders()
{
    TMimeMess mess;
    mess.Header.From = u"Filial <filial@kpr.com.br>\r\nX-Injetado: 1"_s;
    mess.Header.Subject = u"Relatório\r\nBcc: intruso@fora.com\n\rX-Outro: 2\x01"_s;
    mess.AddPartText({u"texto"_s}, nullptr);
    mess.EncodeMessage();
    const QList<QByteArray> headers = headerLines(mess.Lines());
    for (const QByteArray &line : headers) {
        const QByteArray lower = line.toLower();
        QVERIFY2(!lower.startsWith("bcc:") && !lower.startsWith("x-injetado:") && !lower.startsWith("x-outro:"),
                 line.constData());
    }
    const test::ReadMessage read = test::readMessage(joined(mess.Lines()));
    QVERIFY2(read.ok, qPrintable(read.error));
    QVERIFY(!read.headers.contains(u"Bcc"_s));
    QVERIFY(!read.subject.contains(u'\n'));
    QVERIFY(read.subject.startsWith(u"Relatório"_s));
}

void TestMimeMess::unreadableAttachmentThrows_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("named");
    QTest::newRow("missing file") << m_dir.filePath(u"não existe.pdf"_s) << u"não existe.pdf"_s;
    QTest::newRow("a folder") << m_dir.path() << m_dir.path();
    QTest::newRow("no name") << QString() << u"não foi informado"_s;
}

void TestMimeMess::unreadableAttachmentThrows()
{
    QFETCH(QString, fileName);
    QFETCH(QString, named);
    TMimeMess mess;
    TMimePart *root = mess.AddPartMultipart(u"mixed"_s, nullptr);
    try {
        mess.AddPartBinaryFromFile(fileName, root);
        QFAIL("no error for an attachment that cannot be read");
    } catch (const EKprError &e) {
        QVERIFY2(e.text().contains(named), qPrintable(e.text()));
    }
}

QTEST_GUILESS_MAIN(TestMimeMess)
#include "tst_mimemess.moc"
