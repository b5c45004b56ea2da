// The SQLite sessions' direct statements against what QtSql gives for the same rows: packets
// written from sqlite3 rows must be byte for byte those written from QSqlQuery values, and
// failures must come back as SQLite's own texts with the statement usable again.

#include "appserver/database/session.h"
#include "appserver/database/sqlitestatements.h"
#include "appserver/packet.h"
#include "framework/db/databaseurl.h"

#include <QSqlDriver>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::appserver;

class TestAppServerSqlite : public QObject
{
    Q_OBJECT

private slots:
    void packetsMatchQtSql();
    void statementErrorsAreSqliteTexts();
    void valuesAreBoundAsQtSqlBindsThem();
    void committedDataIsSyncedToDisk();
};

void TestAppServerSqlite::packetsMatchQtSql()
{
    QTemporaryDir dir;
    auto opened = openDatabase(u"sqlite:"_s + dir.filePath(u"p.db"_s), u"packets"_s);
    QVERIFY2(opened, qPrintable(opened.error()));
    {
        QSqlDatabase db = *opened;
        QSqlQuery q(db);
        QVERIFY(q.exec(u"CREATE TABLE T (N INTEGER, S TEXT, F, D)"_s));
        // Odd values on purpose: texts to escape, non-ASCII and bytes that are no UTF-8,
        // numbers in a text column, number texts and junk in a number column, dates as ISO
        // text, as timestamps, as junk and as numbers.
        const QStringList rows{
            u"1, 'Almoço \"da\" casa\\ fim', 5.2, '2024-03-05'"_s,
            u"2, 'tab\there' || char(10) || 'line', '5.20', '2024-03-05 10:30:00'"_s,
            u"3, 42, ' 7 ', '2024-02-30'"_s,
            u"4, 4.25, 'abc', 45292"_s,
            u"5, CAST(x'41ff42' AS TEXT), 12, NULL"_s,
            u"6, NULL, NULL, 'ontem'"_s,
            u"7, '', -0.5, ' 2024-12-31'"_s,
            u"8, 1e20, 1e300, 45292.5"_s,
            // A text repeated from the row before, one a byte shorter, the first again; an
            // escape before bytes that are no UTF-8; days on the edges of the calendar.
            u"9, 'Plásticos Três', 1, '1899-12-30'"_s,
            u"10, 'Plásticos Três', 2, '1900-02-29'"_s,
            u"11, 'Plásticos Trê', 3, '2000-02-29'"_s,
            u"12, 'Plásticos Três', 4, '0000-01-01'"_s,
            u"13, '\"' || CAST(x'ff41' AS TEXT), 5, '0001-01-01'"_s,
            u"14, '\"' || CAST(x'ff41' AS TEXT), 6, '9999-12-31'"_s,
            u"15, 'Plásticos Três', 7, '1600-02-29 23:59'"_s,
        };
        for (const QString &r : rows)
            QVERIFY2(q.exec(u"INSERT INTO T VALUES (%1)"_s.arg(r)), qPrintable(r));

        const QList<PacketField> fields{textField(u"S"_s, 40), floatField(u"F"_s), dateTimeField(u"D"_s),
                                        textField(u"N"_s, 5),  floatField(u"N"_s), dateTimeField(u"S"_s)};
        const QString sql = u"SELECT S, F, D, N, N, S FROM T ORDER BY N"_s;
        PacketBuilder viaQt(fields);
        QVERIFY(q.exec(sql));
        while (q.next())
            viaQt.addRow(q);
        q.finish();

        const QVariant handle = db.driver()->handle();
        SqliteStatements direct(*static_cast<sqlite3 *const *>(handle.constData()));
        PacketBuilder viaC(fields);
        const auto done = direct.run(sql, {}, [&](const SqliteRow &row) { viaC.addRow(row); });
        QVERIFY2(done, qPrintable(done.error()));
        direct.clear();
        QCOMPARE(viaC.toJsonText(), viaQt.toJsonText()); // byte for byte: no stray non-UTF-8 byte
        QCOMPARE(viaC.rowCount(), rows.size());
        db.close();
    }
    QSqlDatabase::removeDatabase(u"packets"_s);
}

void TestAppServerSqlite::statementErrorsAreSqliteTexts()
{
    QTemporaryDir dir;
    auto opened = openDatabase(u"sqlite:"_s + dir.filePath(u"e.db"_s), u"errors"_s);
    QVERIFY(opened);
    {
        QSqlDatabase db = *opened;
        QSqlQuery q(db);
        QVERIFY(q.exec(u"CREATE TABLE K (A TEXT PRIMARY KEY)"_s));
        SqliteStatements direct(*static_cast<sqlite3 *const *>(db.driver()->handle().constData()));
        QVERIFY(direct.run(u"INSERT INTO K VALUES (?)"_s, {u"x"_s}));
        const auto twice = direct.run(u"INSERT INTO K VALUES (?)"_s, {u"x"_s});
        QVERIFY(!twice);
        QCOMPARE(twice.error(), u"UNIQUE constraint failed: K.A"_s);
        const auto bad = direct.run(u"SELECT x FROM nowhere"_s, {});
        QVERIFY(!bad);
        QCOMPARE(bad.error(), u"no such table: nowhere"_s);
        // A failed statement leaves the next one working, with its own values.
        QCOMPARE(*direct.run(u"INSERT INTO K VALUES (?)"_s, {u"y"_s}), 1);
        int n = 0;
        QVERIFY(direct.run(u"SELECT A FROM K WHERE A > ?"_s, {u"a"_s}, [&](const SqliteRow &) { ++n; }));
        QCOMPARE(n, 2);
        direct.clear();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"errors"_s);
}

void TestAppServerSqlite::committedDataIsSyncedToDisk()
{
    // WAL with synchronous=NORMAL may lose the last commits on a power cut; the server's
    // answers promise they are stored, so every connection runs with FULL (2).
    QTemporaryDir dir;
    auto opened = openDatabase(u"sqlite:"_s + dir.filePath(u"s.db"_s), u"sync"_s);
    QVERIFY(opened);
    {
        QSqlQuery q(*opened);
        QVERIFY(q.exec(u"PRAGMA synchronous"_s) && q.next());
        QCOMPARE(q.value(0).toInt(), 2);
        QVERIFY(q.exec(u"PRAGMA journal_mode"_s) && q.next());
        QCOMPARE(q.value(0).toString(), u"wal"_s);
    }
    opened.value().close();
    opened = makeError(QString());
    QSqlDatabase::removeDatabase(u"sync"_s);
}

void TestAppServerSqlite::valuesAreBoundAsQtSqlBindsThem()
{
    QTemporaryDir dir;
    auto opened = openDatabase(u"sqlite:"_s + dir.filePath(u"b.db"_s), u"binds"_s);
    QVERIFY(opened);
    {
        QSqlDatabase db = *opened;
        SqliteStatements direct(*static_cast<sqlite3 *const *>(db.driver()->handle().constData()));
        // A null text is NULL (an argument the caller left out must not match ''), an empty
        // one is text; numbers keep their kind.
        const QVariantList values{QString(), u""_s, QVariant(), 7, 2.5, QDate(), QDate(2024, 3, 5), true};
        QStringList seen;
        const auto done =
            direct.run(u"SELECT typeof(?1), typeof(?2), typeof(?3), typeof(?4), typeof(?5), typeof(?6), ?7, ?8"_s,
                       values, [&](const SqliteRow &row) {
                           for (int i = 0; i < 8; ++i)
                               seen << QString::fromUtf8(row.text(i));
                       });
        QVERIFY2(done, qPrintable(done.error()));
        QCOMPARE(seen, (QStringList{u"null"_s, u"text"_s, u"null"_s, u"integer"_s, u"real"_s, u"null"_s,
                                    u"2024-03-05"_s, u"1"_s}));
        direct.clear();
        db.close();
    }
    QSqlDatabase::removeDatabase(u"binds"_s);
}

QTEST_GUILESS_MAIN(TestAppServerSqlite)
#include "tst_appserver_sqlite.moc"
