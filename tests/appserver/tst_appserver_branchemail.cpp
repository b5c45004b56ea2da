// kpr-appserver --branch-email: each refused option or password with its text (in-process),
// then the real process storing a branch's settings on SQLite while the server serves, read
// back through EmailFilial over HTTP; refused runs leave FILIAL as it was; once on PostgreSQL.

#include "appserver/options.h"
#include "framework/core/cripto.h"
#include "framework/db/databaseurl.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/pgcluster.h"
#include "tests/support/sqlexec.h"

#include <httplib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::appserver;
using kpr::test::AppServerProcess;
using kpr::test::PgCluster;

// Options replaced in a complete command line; std::nullopt leaves one out.
using Changes = QList<std::pair<QString, std::optional<QString>>>;
Q_DECLARE_METATYPE(Changes)

namespace {

const QString kExe = QStringLiteral(KPR_APPSERVER_EXE);
const QString kFields[] = {u"DSSMTPEMAILF"_s, u"DSLOGINSMTP"_s, u"DSEMAILSMTP"_s, u"IDUTSSLEMAIL"_s, u"IDUTTLSEMAIL"_s};

QStringList mailArgs(const QString &db, const Changes &changes = {})
{
    Changes opts{{u"--branch-email"_s, u"0001"_s},
                 {u"--smtp"_s, u"smtp.example.com:587"_s},
                 {u"--login"_s, u"faturamento"_s},
                 {u"--from"_s, u"cfr@example.com"_s},
                 {u"--security"_s, u"starttls"_s}};
    for (const auto &[name, value] : changes)
        std::find_if(opts.begin(), opts.end(), [&](const auto &o) { return o.first == name; })->second = value;
    QStringList args{u"--db"_s, db};
    for (const auto &[name, value] : opts) {
        if (value)
            args << name << *value;
    }
    return args;
}

struct Run
{
    int exit = -1;
    QString out, err;
};

Run store(const QStringList &args, const QByteArray &input)
{
    QProcess p;
    p.start(kExe, args);
    p.write(input);
    p.closeWriteChannel();
    Run r;
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit)
        r = {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), QString::fromUtf8(p.readAllStandardError())};
    return r;
}

// Every column of a branch's FILIAL row, by name (runs one statement on a connection of its own).
QVariantMap filial(const QString &url, const QString &branch, const QString &insert = {})
{
    QVariantMap row;
    {
        auto db = openDatabase(url, u"look"_s);
        if (!db)
            return row;
        if (!insert.isEmpty())
            kpr::test::execSql(*db, insert);
        {
            QSqlQuery q(*db);
            q.prepare(u"SELECT * FROM FILIAL WHERE CDFILIAL = ?"_s);
            q.addBindValue(branch);
            if (q.exec() && q.next()) {
                for (int i = 0; i < q.record().count(); ++i)
                    row.insert(q.record().fieldName(i).toUpper(), q.value(i));
            }
        }
        db.value().close();
    }
    QSqlDatabase::removeDatabase(u"look"_s);
    return row;
}

const QString kInsert = u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI, DSEMAILFILI) VALUES "
                        "('0001', 'Filial Centro', '2024-01-31', 'centro@example.com'), "
                        "('0002', 'Filial Norte', '2024-01-31', 'norte@example.com')"_s;

} // namespace

class TestBranchEmail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_url = u"sqlite:"_s + m_dir.filePath(u"mail.db"_s);
        const auto init = AppServerProcess::initDatabase(kExe, m_url);
        QVERIFY2(init, qPrintable(init.error()));
        QVERIFY(!filial(m_url, u"0001"_s, kInsert).isEmpty());
        const auto started = m_server.start(m_url);
        QVERIFY2(started, qPrintable(started.error()));
    }

    void cleanupTestCase() { QVERIFY(m_server.stop()); }

    void refused_data()
    {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("error");
        const auto row = [](const char *tag, const Changes &c, const QString &error, const QString &password = {}) {
            QTest::newRow(tag) << c << password << error;
        };
        const QString server = u"--smtp espera SERVIDOR ou SERVIDOR:PORTA, não \"%1\"."_s;
        const QString port = u"--smtp: a porta deve ser um número de 1 a 65535, não \"%1\"."_s;
        const QString sender = u"--from espera um endereço de e-mail como cfr@empresa.com.br, não \"%1\"."_s;
        const QString ascii = u"a senha SMTP só pode ter letras sem acento, dígitos, espaços e os "
                              "símbolos do teclado americano (ASCII imprimível)."_s;
        row("no --smtp", {{u"--smtp"_s, {}}}, u"--branch-email exige --smtp."_s);
        row("no --login", {{u"--login"_s, {}}}, u"--branch-email exige --login."_s);
        row("no --security", {{u"--security"_s, {}}}, u"--branch-email exige --security."_s);
        row("no --branch-email", {{u"--branch-email"_s, {}}},
            u"--smtp, --login, --from e --security só valem com --branch-email."_s);
        row("empty branch", {{u"--branch-email"_s, u""_s}}, u"--branch-email espera o código da filial."_s);
        row("security tls", {{u"--security"_s, u"tls"_s}}, u"--security espera ssl, starttls ou none, não \"tls\"."_s);
        row("port 0", {{u"--smtp"_s, u"h:0"_s}}, port.arg(u"0"_s));
        row("port 65536", {{u"--smtp"_s, u"h:65536"_s}}, port.arg(u"65536"_s));
        row("port +25", {{u"--smtp"_s, u"h:+25"_s}}, port.arg(u"+25"_s));
        row("no host", {{u"--smtp"_s, u":25"_s}}, server.arg(u":25"_s));
        row("empty port", {{u"--smtp"_s, u"h:"_s}}, server.arg(u"h:"_s));
        row("blank in host", {{u"--smtp"_s, u"smtp example.com"_s}}, server.arg(u"smtp example.com"_s));
        row("bare IPv6", {{u"--smtp"_s, u"::1"_s}}, server.arg(u"::1"_s));
        row("server of 41", {{u"--smtp"_s, QString(38, u'h') + u":25"_s}},
            u"--smtp tem 41 caracteres; cabem no máximo 40."_s);
        row("login of 41", {{u"--login"_s, QString(41, u'l')}}, u"--login tem 41 caracteres; cabem no máximo 40."_s);
        row("sender of 121", {{u"--from"_s, QString(109, u'c') + u"@example.com"_s}},
            u"--from tem 121 caracteres; cabem no máximo 120."_s);
        for (const char *from :
             {"cfr.example.com", "a@b@example.com", "@example.com", "cfr@", "Filial <cfr@example.com>"})
            row(from, {{u"--from"_s, QString::fromLatin1(from)}}, sender.arg(QLatin1StringView(from)));
        row("password of 21", {}, u"a senha SMTP tem 21 caracteres; cabem no máximo 20."_s, QString(21, u'p'));
        row("accented password", {}, ascii, u"senhá"_s);
        row("tab in password", {}, ascii, u"se\tnha"_s);
        row("DEL in password", {}, ascii, u"senha\x7f"_s);
    }

    void refused()
    {
        QFETCH(Changes, changes);
        QFETCH(QString, password);
        QFETCH(QString, error);
        const auto o = parseOptions(mailArgs(u"sqlite:x.db"_s, changes));
        QCOMPARE(o ? checkSmtpPassword(password).error() : o.error(), error);
    }

    void passwordLine_data()
    {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("line");
        QTest::newRow("CRLF removed") << QByteArray(" s3 nha \r\n") << u" s3 nha "_s;
        QTest::newRow("no line end") << QByteArray("s3nha") << u"s3nha"_s;
        QTest::newRow("only the first line") << QByteArray("a\nb\n") << u"a"_s;
        QTest::newRow("empty line: no password") << QByteArray("\n") << QString();
    }

    void passwordLine()
    {
        QFETCH(QByteArray, input);
        std::FILE *in = std::tmpfile();
        QVERIFY(in);
        std::fwrite(input.constData(), 1, size_t(input.size()), in);
        std::rewind(in);
        QTEST(readPasswordLine(in), "line");
        std::fclose(in);
    }

    // Each store replaces the previous one; the expected columns as EmailFilial answers them.
    void storedAndReadBack_data()
    {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QStringList>("expected"); // kFields in order; "" for NULL
        QTest::newRow("ssl, every printable class, blanks at the ends")
            << Changes{{u"--smtp"_s, u"smtp.example.com:465"_s}, {u"--security"_s, u"ssl"_s}} << u" S3nh@:\"forte\"~ "_s
            << QStringList{u"smtp.example.com:465"_s, u"faturamento"_s, u"cfr@example.com"_s, u"S"_s, u"N"_s};
        QTest::newRow("starttls, no login, sender or password")
            << Changes{{u"--login"_s, u""_s}, {u"--from"_s, u""_s}} << QString()
            << QStringList{u"smtp.example.com:587"_s, u""_s, u""_s, u"N"_s, u"S"_s};
        QTest::newRow("none, IPv6") << Changes{{u"--smtp"_s, u"[::1]:2525"_s}, {u"--security"_s, u"NONE"_s}} << u"x"_s
                                    << QStringList{u"[::1]:2525"_s, u"faturamento"_s, u"cfr@example.com"_s, u"N"_s,
                                                   u"N"_s};
    }

    void storedAndReadBack()
    {
        QFETCH(Changes, changes);
        QFETCH(QString, password);
        QFETCH(QStringList, expected);
        const QVariantMap other = filial(m_url, u"0002"_s);
        const QStringList args = mailArgs(m_url, changes);
        const Run run = store(args, password.toUtf8() + '\n');
        QVERIFY2(run.exit == 0, qPrintable(run.err));
        QCOMPARE(run.out, u"kpr-appserver: e-mail da filial 0001 gravado: servidor %1 (%2)\n"_s.arg(
                              expected[0], args.last().toLower()));
        QVERIFY(password.size() < 2 || !(run.out + run.err).contains(password.trimmed()));

        httplib::Client client("127.0.0.1", m_server.port());
        const std::string body = R"({"method": "EmailFilial", "args": ["0001"]})";
        const auto r = client.Post("/rpc/Kpr04700.rdmCFR", body, "application/json");
        QVERIFY(r && r->status == 200);
        const QJsonObject packet = QJsonDocument::fromJson(QByteArray::fromStdString(r->body))[u"result"_s].toObject();
        QCOMPARE(packet[u"rows"_s].toArray().size(), 1);
        QVariantMap m;
        for (qsizetype i = 0; i < packet[u"fields"_s].toArray().size(); ++i)
            m.insert(packet[u"fields"_s][i][u"name"_s].toString(), packet[u"rows"_s][0][i].toVariant());
        for (int i = 0; i < 5; ++i)
            QCOMPARE(m.value(kFields[i]).toString(), expected[i]);
        QCOMPARE(m.value(u"DSEMAILFILI"_s).toString(), u"centro@example.com"_s); // not an option: kept
        const QString stored = m.value(u"CDSENHEMAILF"_s).toString();
        QVERIFY(password.isEmpty() ? m.value(u"CDSENHEMAILF"_s).isNull() : stored != password);
        QCOMPARE(Uncripto(stored, ChaveCripto), password);
        QCOMPARE(filial(m_url, u"0002"_s), other);
    }

    void refusedRunsWriteNothing_data()
    {
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("error");
        QTest::newRow("unknown branch") << Changes{{u"--branch-email"_s, u"0099"_s}} << QByteArray("s3nha\n")
                                        << u"a filial \"0099\" não existe em %1; nada foi gravado."_s.arg(m_url);
        QTest::newRow("bad option") << Changes{{u"--from"_s, u"cfr"_s}} << QByteArray("s3nha\n")
                                    << u"--from espera um endereço de e-mail como cfr@empresa.com.br, não \"cfr\"."_s;
        QTest::newRow("password of 21") << Changes{} << QByteArray(21, 'p') + '\n'
                                        << u"a senha SMTP tem 21 caracteres; cabem no máximo 20."_s;
    }

    void refusedRunsWriteNothing()
    {
        QFETCH(Changes, changes);
        QFETCH(QByteArray, input);
        QFETCH(QString, error);
        const QVariantMap before = filial(m_url, u"0001"_s);
        const Run run = store(mailArgs(m_url, changes), input);
        QCOMPARE(run.exit, 2);
        QVERIFY2(run.out.isEmpty() && run.err.startsWith(u"kpr-appserver: "_s + error + u'\n'), qPrintable(run.err));
        QCOMPARE(filial(m_url, u"0001"_s), before);
    }

    void storedOnPostgreSQL()
    {
        if (!PgCluster::available()) {
            if (qEnvironmentVariable("CI") == u"true")
                QFAIL("PostgreSQL 15 is not installed; CI requires it (run scripts/setup)");
            QSKIP("PostgreSQL 15 is not installed");
        }
        PgCluster pg;
        QVERIFY(pg.start() && pg.createDatabase(u"kpr_mail"_s));
        const QString url = pg.url(u"kpr_mail"_s);
        QVERIFY(AppServerProcess::initDatabase(kExe, url));
        QVERIFY(!filial(url, u"0001"_s, kInsert).isEmpty());
        const QString password(20, u'~'); // the widest the column takes
        const QString from = QString(108, u'c') + u"@example.com"_s;
        const Run run = store(mailArgs(url, {{u"--from"_s, from}}), password.toUtf8());
        QVERIFY2(run.exit == 0, qPrintable(run.err));
        const QVariantMap m = filial(url, u"0001"_s);
        const QStringList expected{u"smtp.example.com:587"_s, u"faturamento"_s, from, u"N"_s, u"S"_s};
        for (int i = 0; i < 5; ++i)
            QCOMPARE(m.value(kFields[i]).toString(), expected[i]);
        QCOMPARE(Uncripto(m.value(u"CDSENHEMAILF"_s).toString(), ChaveCripto), password);
        QCOMPARE(store(mailArgs(url, {{u"--branch-email"_s, u"0099"_s}}), "s3nha\n").exit, 2);
        QCOMPARE(filial(url, u"0001"_s), m);
    }

private:
    QTemporaryDir m_dir;
    QString m_url;
    AppServerProcess m_server{kExe};
};

QTEST_GUILESS_MAIN(TestBranchEmail)
#include "tst_appserver_branchemail.moc"
