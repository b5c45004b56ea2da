// kpr-appserver --branch-email: the options and the password checked in-process, each
// refusal with its text; then the real process storing a branch's settings on SQLite while
// the server serves, read back with EmailFilial over HTTP; refused runs that leave FILIAL
// as it was; and the same store on PostgreSQL.

#include "appserver/branchemail.h"
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

#include <cstdio>
#include <optional>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::appserver;
using kpr::test::AppServerProcess;
using kpr::test::PgCluster;

using Changes = QList<std::pair<QString, std::optional<QString>>>;
Q_DECLARE_METATYPE(Changes)
Q_DECLARE_METATYPE(kpr::appserver::SmtpSecurity)

namespace {

const QString kExe = QStringLiteral(KPR_APPSERVER_EXE);

// A complete --branch-email command line with some options changed; std::nullopt leaves
// the option out.
QStringList mailArgs(const QString &db, const Changes &changes = {})
{
    QList<std::pair<QString, std::optional<QString>>> opts{
        {u"--branch-email"_s, u"0001"_s},       {u"--smtp"_s, u"smtp.example.com:587"_s},
        {u"--login"_s, u"faturamento"_s},       {u"--from"_s, u"cfr@example.com"_s},
        {u"--security"_s, u"starttls"_s}};
    for (const auto &[name, value] : changes) {
        auto it = std::find_if(opts.begin(), opts.end(), [&](const auto &o) { return o.first == name; });
        if (it == opts.end())
            opts.append({name, value});
        else
            it->second = value;
    }
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

Run runServer(const QStringList &args, const QByteArray &input)
{
    QProcess p;
    p.start(kExe, args);
    p.write(input);
    p.closeWriteChannel();
    Run r;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exit = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

// FILIAL's mail columns of a branch, by name; empty when there is no such row.
QVariantMap mailRow(const QString &url, const QString &branch)
{
    QVariantMap row;
    {
        auto db = openDatabase(url, u"read"_s);
        if (!db)
            return row;
        {
            QSqlQuery q(*db);
            q.prepare(u"SELECT CDFILIAL, NMFILIAL, DSLOGINSMTP, DSEMAILFILI, CDSENHEMAILF, DSSMTPEMAILF, "
                      "IDUTTLSEMAIL, IDUTSSLEMAIL, DSEMAILSMTP FROM FILIAL WHERE CDFILIAL = ?"_s);
            q.addBindValue(branch);
            if (q.exec() && q.next()) {
                for (int i = 0; i < q.record().count(); ++i)
                    row.insert(q.record().fieldName(i).toUpper(), q.value(i));
            }
        }
        db.value().close();
    }
    QSqlDatabase::removeDatabase(u"read"_s);
    return row;
}

bool addBranches(const QString &url)
{
    bool ok = true;
    {
        auto db = openDatabase(url, u"fill"_s);
        if (!db)
            return false;
        for (const QString &code : {u"0001"_s, u"0002"_s})
            ok &= kpr::test::execSql(*db,
                                     u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI, DSEMAILFILI, DSSMTPEMAILF, "
                                     "IDUTTLSEMAIL, IDUTSSLEMAIL) VALUES (?, ?, ?, ?, '127.0.0.1:2525', 'N', 'N')"_s,
                                     {code, u"Filial "_s + code, QDate(2024, 1, 31), u"filial"_s + code + u"@example.com"_s});
        db.value().close();
    }
    QSqlDatabase::removeDatabase(u"fill"_s);
    return ok;
}

} // namespace

class TestBranchEmail : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void acceptedOptions_data();
    void acceptedOptions();
    void refusedOptions_data();
    void refusedOptions();
    void password_data();
    void password();
    void passwordLine_data();
    void passwordLine();
    void storedAndReadBackOverHttp();
    void refusedRunsWriteNothing_data();
    void refusedRunsWriteNothing();
    void storedOnPostgreSQL();

private:
    QJsonObject emailFilial(const QString &branch);

    QTemporaryDir m_dir;
    QString m_url;
    AppServerProcess m_server{kExe};
};

void TestBranchEmail::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_url = u"sqlite:"_s + m_dir.filePath(u"mail.db"_s);
    const auto init = AppServerProcess::initDatabase(kExe, m_url);
    QVERIFY2(init, qPrintable(init.error()));
    QVERIFY(addBranches(m_url));
    const auto started = m_server.start(m_url);
    QVERIFY2(started, qPrintable(started.error()));
}

void TestBranchEmail::cleanupTestCase()
{
    if (m_server.running())
        QVERIFY(m_server.stop());
}

void TestBranchEmail::acceptedOptions_data()
{
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<QString>("smtp");
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("from");
    QTest::addColumn<SmtpSecurity>("security");
    const QString host40 = u"smtp."_s + QString(31, u'a') + u".com"_s;
    const QString from120 = QString(108, u'c') + u"@example.com"_s;
    QTest::newRow("starttls") << Changes{} << u"smtp.example.com:587"_s << u"faturamento"_s
                              << u"cfr@example.com"_s << SmtpSecurity::StartTls;
    QTest::newRow("ssl, any case") << Changes{{u"--security"_s, u"SSL"_s}} << u"smtp.example.com:587"_s
                                   << u"faturamento"_s << u"cfr@example.com"_s << SmtpSecurity::Ssl;
    QTest::newRow("none, empty login and sender")
        << Changes{{u"--security"_s, u"none"_s}, {u"--login"_s, u""_s}, {u"--from"_s, u""_s}}
        << u"smtp.example.com:587"_s << QString() << QString() << SmtpSecurity::None;
    QTest::newRow("no port, widest texts")
        << Changes{{u"--smtp"_s, host40}, {u"--login"_s, QString(40, u'l')}, {u"--from"_s, from120}}
        << host40 << QString(40, u'l') << from120 << SmtpSecurity::StartTls;
    QTest::newRow("IPv6 with port") << Changes{{u"--smtp"_s, u"[::1]:65535"_s}} << u"[::1]:65535"_s
                                    << u"faturamento"_s << u"cfr@example.com"_s << SmtpSecurity::StartTls;
}

void TestBranchEmail::acceptedOptions()
{
    QFETCH(Changes, changes);
    const auto o = parseOptions(mailArgs(u"sqlite:x.db"_s, changes));
    QVERIFY2(o, qPrintable(o.error()));
    QVERIFY(o->branchEmail);
    const BranchEmail &m = *o->branchEmail;
    QCOMPARE(m.branch, u"0001"_s);
    QTEST(m.smtp, "smtp");
    QTEST(m.login, "login");
    QTEST(m.from, "from");
    QTEST(m.security, "security");
}

void TestBranchEmail::refusedOptions_data()
{
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<QString>("error");
    const auto row = [](const char *tag, Changes c, const QString &error) { QTest::newRow(tag) << c << error; };
    row("no --smtp", {{u"--smtp"_s, std::nullopt}}, u"--branch-email exige --smtp."_s);
    row("no --login", {{u"--login"_s, std::nullopt}}, u"--branch-email exige --login."_s);
    row("no --from", {{u"--from"_s, std::nullopt}}, u"--branch-email exige --from."_s);
    row("no --security", {{u"--security"_s, std::nullopt}}, u"--branch-email exige --security."_s);
    row("mail options without --branch-email", {{u"--branch-email"_s, std::nullopt}},
        u"--smtp, --login, --from e --security só valem com --branch-email."_s);
    row("empty branch", {{u"--branch-email"_s, u""_s}}, u"--branch-email espera o código da filial."_s);
    row("unknown security", {{u"--security"_s, u"tls"_s}}, u"--security espera ssl, starttls ou none, não \"tls\"."_s);
    row("port 0", {{u"--smtp"_s, u"smtp.example.com:0"_s}},
        u"--smtp: a porta deve ser um número de 1 a 65535, não \"0\"."_s);
    row("port 65536", {{u"--smtp"_s, u"smtp.example.com:65536"_s}},
        u"--smtp: a porta deve ser um número de 1 a 65535, não \"65536\"."_s);
    row("port with sign", {{u"--smtp"_s, u"smtp.example.com:+25"_s}},
        u"--smtp: a porta deve ser um número de 1 a 65535, não \"+25\"."_s);
    row("port name", {{u"--smtp"_s, u"smtp.example.com:smtp"_s}},
        u"--smtp: a porta deve ser um número de 1 a 65535, não \"smtp\"."_s);
    row("empty port", {{u"--smtp"_s, u"smtp.example.com:"_s}},
        u"--smtp espera SERVIDOR ou SERVIDOR:PORTA, não \"smtp.example.com:\"."_s);
    row("no host", {{u"--smtp"_s, u":25"_s}}, u"--smtp espera SERVIDOR ou SERVIDOR:PORTA, não \":25\"."_s);
    row("empty server", {{u"--smtp"_s, u""_s}}, u"--smtp espera SERVIDOR ou SERVIDOR:PORTA, não \"\"."_s);
    row("blank in host", {{u"--smtp"_s, u"smtp example.com"_s}},
        u"--smtp espera SERVIDOR ou SERVIDOR:PORTA, não \"smtp example.com\"."_s);
    row("bare IPv6", {{u"--smtp"_s, u"::1"_s}}, u"--smtp espera SERVIDOR ou SERVIDOR:PORTA, não \"::1\"."_s);
    row("server of 41", {{u"--smtp"_s, u"smtp."_s + QString(32, u'a') + u".com"_s}},
        u"--smtp tem 41 caracteres; cabem no máximo 40."_s);
    row("login of 41", {{u"--login"_s, QString(41, u'l')}}, u"--login tem 41 caracteres; cabem no máximo 40."_s);
    row("sender of 121", {{u"--from"_s, QString(109, u'c') + u"@example.com"_s}},
        u"--from tem 121 caracteres; cabem no máximo 120."_s);
    for (const QString &from : {u"cfr.example.com"_s, u"cfr@@example.com"_s, u"a@b@example.com"_s,
                                u"@example.com"_s, u"cfr@"_s, u"Filial <cfr@example.com>"_s}) {
        QTest::addRow("sender \"%s\"", qPrintable(from))
            << Changes{{u"--from"_s, from}}
            << u"--from espera um endereço de e-mail como cfr@empresa.com.br, não \"%1\"."_s.arg(from);
    }
}

void TestBranchEmail::refusedOptions()
{
    QFETCH(Changes, changes);
    QFETCH(QString, error);
    const auto o = parseOptions(mailArgs(u"sqlite:x.db"_s, changes));
    QVERIFY(!o);
    QCOMPARE(o.error(), error);
}

void TestBranchEmail::password_data()
{
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("error"); // empty: accepted
    const QString length = u"a senha SMTP tem %1 caracteres; cabem no máximo 20."_s;
    const QString ascii = u"a senha SMTP só pode ter letras sem acento, dígitos, espaços e os "
                          "símbolos do teclado americano (ASCII imprimível)."_s;
    QTest::newRow("empty: no password") << QString() << QString();
    QTest::newRow("20, blanks and symbols") << u" Abc~!@#$%^&*()_+{} "_s << QString();
    QTest::newRow("21") << QString(21, u'x') << length.arg(21);
    QTest::newRow("accented") << u"senhá"_s << ascii;
    QTest::newRow("tab") << u"se\tnha"_s << ascii;
    QTest::newRow("DEL") << u"senha\x7f"_s << ascii;
}

void TestBranchEmail::password()
{
    QFETCH(QString, password);
    QFETCH(QString, error);
    const Status s = checkSmtpPassword(password);
    QCOMPARE(s.ok(), error.isEmpty());
    QCOMPARE(s.error(), error);
}

void TestBranchEmail::passwordLine_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("line");
    QTest::newRow("newline removed") << QByteArray("s3nha\n") << u"s3nha"_s;
    QTest::newRow("CRLF removed") << QByteArray("s3nha\r\n") << u"s3nha"_s;
    QTest::newRow("no line end") << QByteArray("s3nha") << u"s3nha"_s;
    QTest::newRow("only the first line") << QByteArray(" a b \nsecond\n") << u" a b "_s;
    QTest::newRow("empty line") << QByteArray("\n") << QString();
    QTest::newRow("no input") << QByteArray() << QString();
    QTest::newRow("UTF-8") << QByteArray("senh\xc3\xa1\n") << u"senhá"_s;
}

void TestBranchEmail::passwordLine()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, line);
    std::FILE *in = std::tmpfile();
    QVERIFY(in);
    std::fwrite(input.constData(), 1, size_t(input.size()), in);
    std::rewind(in);
    QCOMPARE(readPasswordLine(in), line);
    std::fclose(in);
}

QJsonObject TestBranchEmail::emailFilial(const QString &branch)
{
    httplib::Client client("127.0.0.1", m_server.port());
    const QByteArray body = QJsonDocument(QJsonObject{{u"method"_s, u"EmailFilial"_s}, {u"args"_s, QJsonArray{branch}}})
                                .toJson(QJsonDocument::Compact);
    const auto r = client.Post("/rpc/Kpr04700.rdmCFR", body.constData(), size_t(body.size()), "application/json");
    if (!r || r->status != 200)
        return {};
    const QJsonObject answer = QJsonDocument::fromJson(QByteArray::fromStdString(r->body)).object();
    const QJsonObject packet = answer.value(u"result"_s).toObject();
    const QJsonArray fields = packet.value(u"fields"_s).toArray();
    const QJsonArray rows = packet.value(u"rows"_s).toArray();
    if (!answer.value(u"ok"_s).toBool() || rows.size() != 1)
        return {};
    QJsonObject row;
    for (qsizetype i = 0; i < fields.size(); ++i)
        row.insert(fields.at(i).toObject().value(u"name"_s).toString(), rows.at(0).toArray().at(i));
    return row;
}

void TestBranchEmail::storedAndReadBackOverHttp()
{
    const QVariantMap other = mailRow(m_url, u"0002"_s);
    // Every printable character class, and a blank at each end that must survive.
    const QString password = u" S3nh@:\"forte\"~ "_s;
    const Run run = runServer(mailArgs(m_url, {{u"--smtp"_s, u"smtp.example.com:465"_s}, {u"--security"_s, u"ssl"_s}}),
                              password.toUtf8() + '\n');
    QVERIFY2(run.exit == 0, qPrintable(run.err));
    QCOMPARE(run.out, u"kpr-appserver: e-mail da filial 0001 gravado: servidor smtp.example.com:465 (ssl)\n"_s);
    QVERIFY(!run.out.contains(u"forte"_s) && !run.err.contains(u"forte"_s));

    QJsonObject m = emailFilial(u"0001"_s);
    QVERIFY(!m.isEmpty());
    QCOMPARE(m.value(u"DSSMTPEMAILF"_s).toString(), u"smtp.example.com:465"_s);
    QCOMPARE(m.value(u"DSLOGINSMTP"_s).toString(), u"faturamento"_s);
    QCOMPARE(m.value(u"DSEMAILSMTP"_s).toString(), u"cfr@example.com"_s);
    QCOMPARE(m.value(u"DSEMAILFILI"_s).toString(), u"filial0001@example.com"_s); // not an option: kept
    QCOMPARE(m.value(u"IDUTSSLEMAIL"_s).toString(), u"S"_s);
    QCOMPARE(m.value(u"IDUTTLSEMAIL"_s).toString(), u"N"_s);
    const QString stored = m.value(u"CDSENHEMAILF"_s).toString();
    QVERIFY(stored != password);
    QCOMPARE(Uncripto(stored, ChaveCripto), password);

    // Stored again: STARTTLS, no login, no sender of its own, and an empty line for no password.
    const Run again = runServer(mailArgs(m_url, {{u"--login"_s, u""_s}, {u"--from"_s, u""_s}}), "\n");
    QVERIFY2(again.exit == 0, qPrintable(again.err));
    m = emailFilial(u"0001"_s);
    QCOMPARE(m.value(u"DSSMTPEMAILF"_s).toString(), u"smtp.example.com:587"_s);
    QCOMPARE(m.value(u"IDUTSSLEMAIL"_s).toString(), u"N"_s);
    QCOMPARE(m.value(u"IDUTTLSEMAIL"_s).toString(), u"S"_s);
    for (const QString &empty : {u"DSLOGINSMTP"_s, u"DSEMAILSMTP"_s, u"CDSENHEMAILF"_s})
        QVERIFY2(m.value(empty).isNull(), qPrintable(empty));

    // --security none: neither flag.
    const Run none = runServer(mailArgs(m_url, {{u"--security"_s, u"none"_s}}), "x\n");
    QVERIFY2(none.exit == 0, qPrintable(none.err));
    m = emailFilial(u"0001"_s);
    QCOMPARE(m.value(u"IDUTSSLEMAIL"_s).toString(), u"N"_s);
    QCOMPARE(m.value(u"IDUTTLSEMAIL"_s).toString(), u"N"_s);
    QCOMPARE(Uncripto(m.value(u"CDSENHEMAILF"_s).toString(), ChaveCripto), u"x"_s);

    QCOMPARE(mailRow(m_url, u"0002"_s), other); // only the named branch changes
}

void TestBranchEmail::refusedRunsWriteNothing_data()
{
    QTest::addColumn<Changes>("changes");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("error");
    QTest::newRow("unknown branch") << Changes{{u"--branch-email"_s, u"0099"_s}} << QByteArray("s3nha\n")
                                    << u"kpr-appserver: a filial \"0099\" não existe em %1; nada foi gravado.\n"_s.arg(m_url);
    QTest::newRow("bad option") << Changes{{u"--security"_s, u"tls"_s}} << QByteArray("s3nha\n")
                                << u"kpr-appserver: --security espera ssl, starttls ou none, não \"tls\".\n"_s;
    QTest::newRow("password of 21") << Changes{} << QByteArray(21, 'p') + '\n'
                                    << u"kpr-appserver: a senha SMTP tem 21 caracteres; cabem no máximo 20.\n"_s;
    QTest::newRow("accented password") << Changes{} << QByteArray("senh\xc3\xa1\n")
                                       << u"kpr-appserver: a senha SMTP só pode ter letras sem acento, dígitos, "
                                          "espaços e os símbolos do teclado americano (ASCII imprimível).\n"_s;
}

void TestBranchEmail::refusedRunsWriteNothing()
{
    QFETCH(Changes, changes);
    QFETCH(QByteArray, input);
    QFETCH(QString, error);
    const QVariantMap before = mailRow(m_url, u"0001"_s);
    QVERIFY(!before.isEmpty());
    const Run run = runServer(mailArgs(m_url, changes), input);
    QCOMPARE(run.exit, 2);
    QCOMPARE(run.out, QString());
    QVERIFY2(run.err.startsWith(error), qPrintable(run.err)); // a bad option adds the usage
    QCOMPARE(mailRow(m_url, u"0001"_s), before);
    QVERIFY(m_server.running());
}

void TestBranchEmail::storedOnPostgreSQL()
{
    if (!PgCluster::available()) {
        if (qEnvironmentVariable("CI") == u"true")
            QFAIL("PostgreSQL 15 is not installed; CI requires it (run scripts/setup)");
        QSKIP("PostgreSQL 15 is not installed");
    }
    PgCluster pg;
    const Status started = pg.start();
    QVERIFY2(started, qPrintable(started.error()));
    QVERIFY(pg.createDatabase(u"kpr_mail"_s));
    const QString url = pg.url(u"kpr_mail"_s);
    const auto init = AppServerProcess::initDatabase(kExe, url);
    QVERIFY2(init, qPrintable(init.error()));
    QVERIFY(addBranches(url));

    const QString password = QString(20, u'~'); // the widest the column takes
    const Run run = runServer(mailArgs(url, {{u"--from"_s, QString(108, u'c') + u"@example.com"_s}}), password.toUtf8());
    QVERIFY2(run.exit == 0, qPrintable(run.err));
    const QVariantMap m = mailRow(url, u"0001"_s);
    QCOMPARE(m.value(u"DSSMTPEMAILF"_s).toString(), u"smtp.example.com:587"_s);
    QCOMPARE(m.value(u"DSLOGINSMTP"_s).toString(), u"faturamento"_s);
    QCOMPARE(m.value(u"DSEMAILSMTP"_s).toString().size(), 120);
    QCOMPARE(m.value(u"IDUTSSLEMAIL"_s).toString(), u"N"_s);
    QCOMPARE(m.value(u"IDUTTLSEMAIL"_s).toString(), u"S"_s);
    QCOMPARE(Uncripto(m.value(u"CDSENHEMAILF"_s).toString(), ChaveCripto), password);

    const Run unknown = runServer(mailArgs(url, {{u"--branch-email"_s, u"0099"_s}}), "s3nha\n");
    QCOMPARE(unknown.exit, 2);
    QCOMPARE(mailRow(url, u"0001"_s), m);
    pg.stop();
}

QTEST_GUILESS_MAIN(TestBranchEmail)
#include "tst_appserver_branchemail.moc"
