// kpr-shell on a real X display: a private Xvfb, the shell started with --open on the CFR
// screen against the real kpr-appserver, the screen grabbed by a second run of this
// program as an X client (QScreen::grabWindow of the root window). The image is kept in
// the build tree (screenshots/cfr-screen.png) for people to look at.
#include "framework/db/databaseurl.h"
#include "tests/support/appserverprocess.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using kpr::test::AppServerProcess;

namespace {

const QString screenTitle = u"Conhecimento de Fornecimento de Refeições (CFR)"_s;

// A display number with neither a socket nor a lock file.
int freeDisplay()
{
    for (int n = 97; n < 200; ++n)
        if (!QFile::exists(u"/tmp/.X11-unix/X%1"_s.arg(n)) && !QFile::exists(u"/tmp/.X%1-lock"_s.arg(n)))
            return n;
    return -1;
}

// The names of the display's top-level windows, as xwininfo lists them.
QString windowTree(const QString &display)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"DISPLAY"_s, display);
    p.setProcessEnvironment(env);
    p.start(u"xwininfo"_s, {u"-root"_s, u"-tree"_s});
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace

class TstCfrScreenshot : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QProcess m_xvfb;
    QProcess m_shell;
    QString m_display;
    std::unique_ptr<AppServerProcess> m_server;

private slots:
    void initTestCase()
    {
        if (QStandardPaths::findExecutable(u"Xvfb"_s).isEmpty()
            || QStandardPaths::findExecutable(u"xwininfo"_s).isEmpty())
            QSKIP("Xvfb or xwininfo is not installed (scripts/setup installs them)");
        const int n = freeDisplay();
        QVERIFY(n > 0);
        m_display = u":%1"_s.arg(n);
        // -noreset: an X server resets when its last client leaves, and the shell connecting
        // just as xwininfo's check below leaves would find no server to connect to.
        m_xvfb.start(u"Xvfb"_s, {m_display, u"-screen"_s, u"0"_s, u"1024x700x24"_s, u"-nolisten"_s, u"tcp"_s,
                                u"-noreset"_s});
        QVERIFY(m_xvfb.waitForStarted());
        // The socket appears before the server takes connections: wait until it answers.
        QTRY_VERIFY_WITH_TIMEOUT(windowTree(m_display).contains(u"Root window"_s), 20000);

        const QString url = u"sqlite:"_s + m_dir.filePath(u"server.db"_s);
        m_server = std::make_unique<AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
        const Status up = m_server->start(url);
        QVERIFY2(up, qPrintable(up.error()));
        {
            Result<QSqlDatabase> db = openDatabase(url, u"shot-writer"_s);
            QVERIFY(db);
            QSqlQuery q(db.value());
            QVERIFY(q.exec(
                u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI) VALUES ('0001', 'Filial Centro', '2024-01-31')"_s));
            db.value().close();
        }
        QSqlDatabase::removeDatabase(u"shot-writer"_s);

        QDir().mkpath(m_dir.filePath(u"layouts"_s));
        const QList<std::pair<QString, QByteArray>> layouts{{u"00"_s, "CFR por serviço"},
                                                            {u"01"_s, "CFR por data"},
                                                            {u"02"_s, "CFR por serviço (resumo)"},
                                                            {u"03"_s, "CFR por data (quinzena)"},
                                                            {u"08"_s, "CFR por grupo de serviço"}};
        for (const auto &[number, title] : layouts) {
            QFile f(m_dir.filePath(u"layouts/KPR047"_s + number + u".QR2"_s));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("title: " + title + "\n");
        }

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, m_display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"XDG_CONFIG_HOME"_s, m_dir.filePath(u"config"_s));
        m_shell.setProcessEnvironment(env);
        m_shell.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_shell.start(QString::fromUtf8(KPR_SHELL_EXE),
                      {u"--set"_s, u"Database="_s + url, u"--set"_s, u"WebURL=127.0.0.1"_s, u"--set"_s,
                       u"WebPort=%1"_s.arg(m_server->port()), u"--set"_s, u"FiliProcFat=0001"_s, u"--set"_s,
                       u"NomeFiliProcFat=Filial Centro"_s, u"--set"_s, u"ReportDir="_s + m_dir.filePath(u"layouts"_s),
                       u"--open"_s, u"libkpr04700.so:IniProc"_s});
        QVERIFY(m_shell.waitForStarted());
    }

    void cleanupTestCase()
    {
        if (m_shell.state() != QProcess::NotRunning) {
            m_shell.terminate();
            if (!m_shell.waitForFinished(10000))
                m_shell.kill();
        }
        if (m_server)
            QVERIFY(m_server->stop());
        if (m_xvfb.state() != QProcess::NotRunning) {
            m_xvfb.terminate();
            m_xvfb.waitForFinished(10000);
        }
    }

    void statementScreenShows()
    {
        // The main window names the active MDI child in its title, as an MDI frame does.
        QTRY_VERIFY_WITH_TIMEOUT(windowTree(m_display).contains(u"KPR - [Conhecimento de Fornecimento"_s), 30000);
        QTest::qWait(1000); // the first paint

        const QString outDir = qEnvironmentVariable("KPR_BINARY_DIR", QDir::currentPath()) + u"/screenshots"_s;
        QDir().mkpath(outDir);
        const QString png = outDir + u"/cfr-screen.png"_s;
        QFile::remove(png);
        QProcess grab;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"DISPLAY"_s, m_display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        grab.setProcessEnvironment(env);
        grab.start(QCoreApplication::applicationFilePath(), {u"--grab"_s, png});
        QVERIFY(grab.waitForFinished(30000));
        QCOMPARE(grab.exitCode(), 0);

        QImage image(png);
        QVERIFY2(!image.isNull(), qPrintable(png));
        QCOMPARE(image.size(), QSize(1024, 700));
        QSet<QRgb> colours;
        for (int y = 0; y < image.height(); y += 3)
            for (int x = 0; x < image.width(); x += 3)
                colours.insert(image.pixel(x, y));
        // A blank or black screen has one or two colours; a shell with a screen, text and
        // the blue date texts has many.
        QVERIFY2(colours.size() > 30, qPrintable(QString::number(colours.size())));
        qInfo().noquote() << "screenshot:" << png;
    }
};

int main(int argc, char *argv[])
{
    // The grabbing run: an X client of the test display that saves the whole screen.
    if (argc == 3 && qstrcmp(argv[1], "--grab") == 0) {
        QGuiApplication app(argc, argv);
        const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
        return shot.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
    }
    QCoreApplication app(argc, argv);
    TstCfrScreenshot t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_cfr_screenshot.moc"
