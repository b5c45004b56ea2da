// kpr-cfr, the statement run from the command line: its options in-process, and the program
// end to end against the real kpr-appserver and a real SMTP server (STARTTLS and AUTH):
// refused recipients sent by the next run, two runs at once sending each statement once, a
// claim left by a run that died reported as uncertain, a dry run, the exit codes.
#include "cli/opcoes.h"
#include "framework/core/cripto.h"
#include "framework/data/clientdataset.h"
#include "framework/data/field.h"
#include "framework/db/dtmdbgeral.h"
#include "framework/net/netconnection.h"
#include "host/registroenvios.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/smtpserver.h"
#include "tests/support/sqlexec.h"

#include <QCoreApplication>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;
using kpr::test::AppServerProcess;
using kpr::test::SmtpServer;

namespace {

struct Execucao
{
    int saida = -1;
    QJsonObject json;
    QString erros;
    // client code → status
    QMap<QString, QString> situacao() const
    {
        QMap<QString, QString> m;
        for (const QJsonValue &v : json.value(u"clients"_s).toArray())
            m.insert(v[u"code"_s].toString(), v[u"status"_s].toString());
        return m;
    }
};

} // namespace

class TstKprCfr : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_db;
    std::unique_ptr<AppServerProcess> m_server;
    std::unique_ptr<SmtpServer> m_smtp;

    bool sql(const QString &s, const QVariantList &v = {}) { return kpr::test::execSql(dtmDBGeral::database(), s, v); }

    void apontaSmtp(const SmtpServer &s)
    {
        QVERIFY(sql(u"UPDATE FILIAL SET DSSMTPEMAILF = ?, IDUTTLSEMAIL = 'S', IDUTSSLEMAIL = 'N', DSLOGINSMTP = 'cfr', "
                    "CDSENHEMAILF = ?, DSEMAILSMTP = 'cfr@restaurante.com.br' WHERE CDFILIAL = '0001'"_s,
                    {u"127.0.0.1:"_s + s.portText(), Cripto(u"segredo"_s, ChaveCripto)}));
    }

    QProcess *inicia(const QStringList &args, const QString &estacao = u"LOTE-1"_s)
    {
        auto *p = new QProcess(this);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_DIRS"_s, m_dir.filePath(u"etc"_s));
        env.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"home"_s));
        env.insert(u"TMPDIR"_s, m_dir.filePath(u"tmp-"_s) + estacao);
        env.insert(u"SSL_CERT_FILE"_s, SmtpServer::caFile());
        env.insert(u"KPR_ESTACAO"_s, estacao);
        QDir().mkpath(m_dir.filePath(u"tmp-"_s) + estacao);
        p->setProcessEnvironment(env);
        p->start(QString::fromUtf8(KPR_CFR_EXE),
                 QStringList{u"--set"_s, u"Database=sqlite:"_s + m_db, u"--set"_s, u"WebURL="_s + m_server->host(),
                             u"--set"_s, u"WebPort="_s + QString::number(m_server->port()), u"--set"_s,
                             u"WebSecretFile="_s + m_server->secretFile(), u"--set"_s,
                             u"ReportDir="_s + QString::fromUtf8(KPR_LAYOUTS_DIR), u"--json"_s}
                     + args);
        return p;
    }

    Execucao termina(QProcess *p)
    {
        Execucao e;
        if (!p->waitForFinished(120000))
            p->kill();
        e.saida = p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
        e.json = QJsonDocument::fromJson(p->readAllStandardOutput()).object();
        e.erros = QString::fromUtf8(p->readAllStandardError());
        delete p;
        return e;
    }

    Execucao roda(const QStringList &args) { return termina(inicia(args)); }

    QStringList envio(const QString &periodo)
    {
        return {u"--branch"_s, u"0001"_s,      u"--period"_s,        periodo,          u"--layout"_s,
                u"00"_s,       u"--subject"_s, u"CFR da quinzena"_s, u"--body-file"_s, m_dir.filePath(u"corpo.txt"_s)};
    }

private slots:
    void opcoes_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("erro"); // empty: accepted
        const QStringList base{u"--branch"_s,    u"0001"_s, u"--period"_s,  u"2027-01-01..2027-01-15"_s,
                               u"--layout"_s,    u"01"_s,   u"--subject"_s, u"CFR"_s,
                               u"--body-file"_s, u"c.txt"_s};
        QTest::newRow("complete") << base << QString();
        QTest::newRow("dry run") << QStringList{
            u"--branch=0001"_s, u"--period=2027-01-01..2027-01-15"_s, u"--layout=01"_s, u"--dry-run"_s, u"--out"_s,
            u"/tmp/x"_s} << QString();
        QTest::newRow("shell's --set") << base + QStringList{u"--set"_s, u"WebPort=9"_s} << QString();
        QTest::newRow("no branch") << base.mid(2) << u"falta --branch."_s;
        QTest::newRow("period reversed") << QStringList{u"--branch"_s, u"1"_s, u"--period"_s,
                                                        u"2027-01-15..2027-01-01"_s}
                                         << u"--period: a data inicial deve ser menor ou igual à final."_s;
        QTest::newRow("period shape") << QStringList{
            u"--period"_s,
            u"2027-01-01"_s} << u"--period espera AAAA-MM-DD..AAAA-MM-DD ou previous-fortnight, não \"2027-01-01\"."_s;
        QTest::newRow("dry run without --out")
            << QStringList(base) + QStringList{u"--dry-run"_s} << u"--dry-run e --out PASTA andam juntos."_s;
        QTest::newRow("no subject") << QStringList{base.mid(0, 6)} << u"falta --subject."_s;
        QTest::newRow("unknown") << base + QStringList{u"--quiet"_s} << u"opção desconhecida \"--quiet\"."_s;
        QTest::newRow("value to a flag") << base + QStringList{u"--json=yes"_s} << u"--json não aceita valor."_s;
        QTest::newRow("part size") << base + QStringList{u"--part-size"_s, u"0"_s}
                                   << u"--part-size espera um número de 1 a 10000, não \"0\"."_s;
    }

    void opcoes()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, erro);
        const Result<OpcoesCFR> o = LeOpcoes(args, QDate(2027, 1, 20));
        QCOMPARE(o.ok() ? QString() : o.error(), erro);
    }

    void quinzenaAnterior_data()
    {
        QTest::addColumn<QDate>("hoje");
        QTest::addColumn<QDate>("inicio");
        QTest::addColumn<QDate>("fim");
        QTest::newRow("1 January: second half of December")
            << QDate(2027, 1, 1) << QDate(2026, 12, 16) << QDate(2026, 12, 31);
        QTest::newRow("15 March: second half of February")
            << QDate(2028, 3, 15) << QDate(2028, 2, 16) << QDate(2028, 2, 29);
        QTest::newRow("16th: first half") << QDate(2027, 4, 16) << QDate(2027, 4, 1) << QDate(2027, 4, 15);
    }

    void quinzenaAnterior()
    {
        QFETCH(QDate, hoje);
        QFETCH(QDate, inicio);
        QFETCH(QDate, fim);
        QCOMPARE(QuinzenaAnterior(hoje), std::make_pair(inicio, fim));
    }

    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_db = m_dir.filePath(u"demo.db"_s);
        QProcess demo;
        demo.start(QString::fromUtf8(KPR_DEMODATA_EXE),
                   {u"--db"_s, u"sqlite:"_s + m_db, u"--branches"_s, u"1"_s, u"--clients"_s, u"6"_s, u"--services"_s,
                    u"6"_s, u"--days"_s, u"45"_s, u"--start"_s, u"2024-03-01"_s, u"--seed"_s, u"5"_s});
        QVERIFY(demo.waitForFinished(60000));
        QCOMPARE(demo.exitCode(), 0);
        QVERIFY2(dtmDBGeral::open(u"sqlite:"_s + m_db), "dtmDBGeral");
        for (int i = 1; i <= 6; ++i)
            QVERIFY(sql(u"UPDATE CLIENTE SET DSEMAIL = ? WHERE CDCLIENTE = ?"_s,
                        {u"cfr@cliente%1.com.br"_s.arg(i), u"%1"_s.arg(i, 10, 10, QChar(u'0'))}));
        m_smtp = std::make_unique<SmtpServer>(
            SmtpServer::Options{.mode = SmtpServer::Mode::StartTls, .user = u"cfr"_s, .password = u"segredo"_s});
        QVERIFY(m_smtp->start());
        apontaSmtp(*m_smtp);
        // With a secret, as a server reached over a network runs: kpr-cfr sends it.
        m_server = std::make_unique<AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
        m_server->setUseSecret(true);
        QVERIFY(m_server->start(u"sqlite:"_s + m_db));
        QFile corpo(m_dir.filePath(u"corpo.txt"_s));
        QVERIFY(corpo.open(QIODevice::WriteOnly));
        corpo.write("Prezado cliente,\nsegue o CFR da quinzena.\n");
    }

    void cleanupTestCase()
    {
        dtmDBGeral::close();
        if (m_server)
            QVERIFY(m_server->stop());
    }

    // Refused at one client's RCPT: that client fails (exit 1), the others are sent, each
    // with its own PDF, while the export goes on in parts of two; the next run sends only
    // that one and skips the rest.
    void falhaDepoisSoOQueFaltou()
    {
        SmtpServer recusa(SmtpServer::Options{.mode = SmtpServer::Mode::StartTls,
                                              .user = u"cfr"_s,
                                              .password = u"segredo"_s,
                                              .refuseRcptTo = u"cfr@cliente3.com.br"_s});
        QVERIFY(recusa.start());
        apontaSmtp(recusa);
        const Execucao primeira = roda(envio(u"2024-03-01..2024-03-15"_s) + QStringList{u"--part-size"_s, u"2"_s});
        QCOMPARE(primeira.saida, 1);
        QMap<QString, QString> s = primeira.situacao();
        QCOMPARE(s.size(), 6);
        QCOMPARE(s.value(u"0000000003"_s), u"failed"_s);
        QCOMPARE(int(std::count(s.cbegin(), s.cend(), u"sent"_s)), 5);
        QCOMPARE(recusa.messages().size(), 5);
        for (const test::SmtpMessage &m : recusa.messages()) {
            const QChar n = m.rcptTos.value(0).section(u'@', 1, 1).section(u'.', 0, 0).back();
            QVERIFY2(m.data.contains((u"000000000"_s + n + u"_CFR.PDF"_s).toLatin1()), qPrintable(m.rcptTos.value(0)));
            QCOMPARE(m.data.count("_CFR.PDF"), 2); // its own file, once in each header
        }
        QVERIFY(primeira.json[u"clients"_s].toArray()[2][u"reply"_s].toString().startsWith(u"MailTo Exception->"_s));

        apontaSmtp(*m_smtp);
        const int antes = int(m_smtp->messages().size());
        const Execucao segunda = roda(envio(u"2024-03-01..2024-03-15"_s));
        QCOMPARE(segunda.saida, 0);
        s = segunda.situacao();
        QCOMPARE(s.value(u"0000000003"_s), u"sent"_s);
        QCOMPARE(int(std::count(s.cbegin(), s.cend(), u"skipped"_s)), 5);
        QCOMPARE(int(m_smtp->messages().size()), antes + 1);
        QCOMPARE(m_smtp->messages().last().rcptTos, QStringList{u"cfr@cliente3.com.br"_s});
    }

    // Two runs at once, from two workstations: each statement goes out exactly once.
    void duasExecucoesAoMesmoTempo()
    {
        const int antes = int(m_smtp->messages().size());
        QProcess *a = inicia(envio(u"2024-03-16..2024-03-31"_s), u"LOTE-A"_s);
        QProcess *b = inicia(envio(u"2024-03-16..2024-03-31"_s), u"LOTE-B"_s);
        const Execucao ea = termina(a);
        const Execucao eb = termina(b);
        QVERIFY2(ea.saida == 0 || ea.saida == 1, qPrintable(ea.erros));
        QVERIFY2(eb.saida == 0 || eb.saida == 1, qPrintable(eb.erros));
        const QList<kpr::test::SmtpMessage> novas = m_smtp->messages().mid(antes);
        QStringList destinos;
        for (const auto &m : novas)
            destinos += m.rcptTos;
        destinos.sort();
        QCOMPARE(destinos.size(), 6);
        QCOMPARE(QSet<QString>(destinos.cbegin(), destinos.cend()).size(), 6);
        // Each client is sent by one run and skipped or left to the other by the other.
        const auto sa = ea.situacao(), sb = eb.situacao();
        for (auto it = sa.cbegin(); it != sa.cend(); ++it)
            QVERIFY2((it.value() == u"sent"_s) != (sb.value(it.key()) == u"sent"_s), qPrintable(it.key()));
    }

    // A claim a run left behind when it died is uncertain for the next run (exit 1, nothing
    // sent for it) until --take-over; a dry run writes the PDFs and sends nothing.
    void incertoEsimulacao()
    {
        const QString periodo = u"2024-04-01..2024-04-14"_s;
        const QString saida = m_dir.filePath(u"simulacao"_s);
        const int antes = int(m_smtp->messages().size());
        const Execucao simulacao = roda({u"--branch"_s, u"0001"_s, u"--period"_s, periodo, u"--layout"_s, u"00"_s,
                                         u"--dry-run"_s, u"--out"_s, saida});
        QCOMPARE(simulacao.saida, 0);
        QCOMPARE(QDir(saida).entryList(QDir::Files).size(), 6);
        QCOMPARE(int(m_smtp->messages().size()), antes);

        // A run that died between its claim and its conclusion.
        TNetConnection net;
        net.setSecretFile(m_server->secretFile());
        net.setHost(m_server->host());
        net.setPort(m_server->port());
        net.setServerName(u"Kpr04700.rdmCFR"_s);
        RegistroEnvios registro(net);
        // The fingerprint as the run computes it: take it from the send log of a first run.
        const Execucao primeira = roda(envio(periodo) + QStringList{u"--clients"_s, u"0000000001"_s});
        QCOMPARE(primeira.saida, 0);
        TClientDataSet envios;
        QVERIFY(envios.LoadFromPacket(
            registro.SituacaoEnvios(u"0001"_s, QDate(2024, 4, 1), QDate(2024, 4, 14), u"00"_s).data.toObject()));
        QVERIFY(envios.Locate(u"CDCLIENTE"_s, u"0000000001"_s));
        const QString impressao = envios.FieldByName(u"DSIMPRESSAO"_s)->AsString();
        QVERIFY(sql(u"UPDATE ENVIOCFR SET IDSITUACAO = 'E', NMESTACAO = 'LOTE-MORTO' WHERE DSIMPRESSAO = ?"_s,
                    {impressao}));

        const Execucao depois = roda(envio(periodo));
        QCOMPARE(depois.saida, 1);
        QCOMPARE(depois.situacao().value(u"0000000001"_s), u"uncertain"_s);
        QCOMPARE(int(m_smtp->messages().size()), antes + 1 + 5);
        const Execucao assumida = roda(envio(periodo) + QStringList{u"--take-over"_s});
        QCOMPARE(assumida.saida, 0);
        QCOMPARE(assumida.situacao().value(u"0000000001"_s), u"sent"_s);
        QCOMPARE(int(m_smtp->messages().size()), antes + 1 + 5 + 1);
    }

    // Bad arguments and settings: exit 2, the reason on standard error.
    void codigosDeSaida_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("erro");
        QTest::newRow("bad option") << QStringList{u"--frobnicate"_s} << u"opção desconhecida"_s;
        QTest::newRow("unknown layout") << QStringList{u"--branch"_s,  u"0001"_s,
                                                       u"--period"_s,  u"2024-03-01..2024-03-10"_s,
                                                       u"--layout"_s,  u"77"_s,
                                                       u"--dry-run"_s, u"--out"_s,
                                                       u"x"_s}
                                        << u"o layout 77 não existe"_s;
        QTest::newRow("by date over 31 days")
            << QStringList{u"--branch"_s, u"0001"_s, u"--period"_s,  u"2024-03-01..2024-04-14"_s,
                           u"--layout"_s, u"01"_s,   u"--dry-run"_s, u"--out"_s,
                           u"x"_s}
            << u"menor ou igual a 31 dias"_s;
        QTest::newRow("unknown branch") << QStringList{u"--branch"_s,  u"0999"_s,
                                                       u"--period"_s,  u"2024-03-01..2024-03-10"_s,
                                                       u"--layout"_s,  u"00"_s,
                                                       u"--dry-run"_s, u"--out"_s,
                                                       u"x"_s}
                                        << u"Filial não cadastrada."_s;
    }

    void codigosDeSaida()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, erro);
        const Execucao e = roda(args);
        QCOMPARE(e.saida, 2);
        QVERIFY2(e.erros.contains(erro), qPrintable(e.erros));
    }
};

QTEST_GUILESS_MAIN(TstKprCfr)
#include "tst_kprcfr.moc"
