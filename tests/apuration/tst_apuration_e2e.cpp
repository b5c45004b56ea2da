// The apuration run end to end: the real kpr-appserver on SQLite with data this test
// writes into its tables, called through RdmCFRConnection as the screen calls it. The
// statement tables are compared with rows worked out here from the test's own data: the
// meals per client, service and day, and the price in force each day.
#include "cfr/apuration/geratableapurfat.h"
#include "framework/core/strings.h"
#include "framework/db/databaseurl.h"
#include "framework/net/netconnection.h"
#include "host/rdmcfr.h"
#include "rdmgravador.h"
#include "telateste.h"
#include "tests/support/appserverprocess.h"
#include "tests/support/sqlexec.h"

#include <QJsonArray>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <map>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;
using namespace kpr::cfr::test;

namespace {

const QDate D0(2024, 1, 1);
const QDate Reajuste(2024, 1, 15); // new prices from this day on

struct Cliente
{
    QString codigo, tipo, inscricao, razao, endereco;
};
// C1: three services with a price change (001: 0 then 5.20, 002: 4 then 5, 003 never
// priced) and empty quantities; C2: thirteen services (groups 001 to 003); C3: two services
// on five days, whose records the test hands over as A, B, A; C4: a client without meals.
const QList<Cliente> Clientes{
    {u"0000000001"_s, u"J"_s, u"11222333000181"_s, u"Empresa Alfa Ltda"_s, u"Rua A, 1"_s},
    {u"0000000002"_s, u"F"_s, u"52998224725"_s, u"Beto Pereira"_s, u"Rua B, 2"_s},
    {u"0000000003"_s, u"J"_s, u"11444777000161"_s, u"Gama Comércio SA"_s, u"Rua C, 3"_s},
    {u"0000000004"_s, u"J"_s, u"04252011000110"_s, u"Delta Norte Ltda"_s, u"Rua D, 4"_s},
};
const QString NomeLongo = u"Almoço executivo com sobremesa e suco 40"_s; // 40 characters

QString codServ(int s)
{
    return u"%1"_s.arg(s, 3, 10, QLatin1Char('0'));
}

QString nomeServ(int s)
{
    return s == 1 ? NomeLongo : u"Serviço %1"_s.arg(s);
}

struct Efetivo
{
    QString cliente, servico;
    QDate dia;
    QVariant qt; // null: the day was recorded without a quantity
};

// The meals, as written into EFETIVO (ordered by client, service, day).
QList<Efetivo> efetivos()
{
    QList<Efetivo> e;
    for (int s = 1; s <= 3; ++s)
        for (int d = 1; d <= 62; ++d)
            if ((d + s) % 3 != 0)
                e.append({Clientes[0].codigo, codServ(s), D0.addDays(d - 1),
                          (d * s) % 7 == 0 ? QVariant() : QVariant(d + s)});
    for (int s = 1; s <= 13; ++s)
        for (int d = 1; d <= 60; ++d)
            if ((d * s) % 5 != 1)
                e.append({Clientes[1].codigo, codServ(s), D0.addDays(d - 1), s * 100 + d});
    for (int s = 1; s <= 2; ++s)
        for (int d = 1; d <= 5; ++d)
            e.append({Clientes[2].codigo, codServ(s), D0.addDays(d - 1), s * 10 + d});
    return e;
}

// The price in force on a day, as written into PRECSERV; null when there is none.
QVariant preco(const QString &cliente, const QString &servico, const QDate &dia)
{
    const int s = servico.toInt();
    if (cliente == Clientes[0].codigo) {
        if (s == 1)
            return dia < Reajuste ? 0.0 : 5.2;
        if (s == 2)
            return dia < Reajuste ? 4.0 : 5.0;
        return QVariant();
    }
    if (cliente == Clientes[1].codigo)
        return 1.0 + s * 0.25;
    return s == 1 ? 7.0 : 8.0;
}

QString num(double v)
{
    return QString::number(v);
}

QString textoOuVazio(const QVariant &v)
{
    return v.isNull() ? u"-"_s : num(v.toDouble());
}

// --- The by-date statement worked out from the data: per client (by code), window and
// service (by code), the records of the window by day, eleven to a row.
const QStringList CamposData = [] {
    QStringList c{u"IDGRUPO"_s,    u"CDCLIENTEAPGD"_s, u"CDSERVFILI"_s,   u"NMSERVICO"_s,
                  u"NRAPURACGD"_s, u"NRINSJURCLIE"_s,  u"NMRAZSOCCLIE"_s, u"DSENDECLIE"_s};
    for (int n = 1; n <= 11; ++n)
        c << u"DTSERV%1"_s.arg(n, 2, 10, QLatin1Char('0')) << u"QTSERV%1"_s.arg(n, 2, 10, QLatin1Char('0'));
    c << u"VRPRECO"_s << u"TOTALQUANT"_s << u"TOTALSERV"_s << u"DTINICIAL"_s << u"DTFINAL"_s;
    return c;
}();

QStringList esperadoPorData(const QDate &fim, const QString &apuracao)
{
    struct Linha
    {
        QString chave; // the Agrupamento order: kind, registration, window, service name
        QString texto;
    };
    QList<Linha> linhas;
    const QList<Efetivo> todos = efetivos();
    for (const Cliente &c : Clientes) {
        for (int w = 1; w <= 4; ++w) {
            for (int s = 1; s <= 13; ++s) {
                QList<Efetivo> janela;
                for (const Efetivo &e : todos) {
                    const qint64 i = D0.daysTo(e.dia);
                    if (e.cliente == c.codigo && e.servico == codServ(s) && e.dia <= fim
                        && qMin(i / 10 + 1, qint64(4)) == w)
                        janela.append(e);
                }
                for (qsizetype ini = 0; ini < janela.size(); ini += 11) {
                    const QList<Efetivo> r = janela.mid(ini, 11);
                    QStringList t{u"IDGRUPO="_s + QString::number(w), u"CDCLIENTEAPGD="_s + c.codigo,
                                  u"CDSERVFILI="_s + codServ(s),      u"NMSERVICO="_s + nomeServ(s).left(30),
                                  u"NRAPURACGD="_s + apuracao,        u"NRINSJURCLIE="_s + c.inscricao,
                                  u"NMRAZSOCCLIE="_s + c.razao,       u"DSENDECLIE="_s + c.endereco};
                    double total = 0;
                    QVariant vr;
                    for (int n = 0; n < 11; ++n) {
                        const QString nn = u"%1"_s.arg(n + 1, 2, 10, QLatin1Char('0'));
                        if (n < r.size()) {
                            t << u"DTSERV"_s + nn + u'=' + r[n].dia.toString(u"dd/MM"_s)
                              << u"QTSERV"_s + nn + u'=' + num(r[n].qt.toDouble()); // empty as 0
                            total += r[n].qt.toDouble();
                            if (vr.isNull() || vr.toDouble() == 0)
                                vr = preco(c.codigo, codServ(s), r[n].dia);
                        } else {
                            t << u"DTSERV"_s + nn + u"=-"_s << u"QTSERV"_s + nn + u"=-"_s;
                        }
                    }
                    t << u"VRPRECO="_s + textoOuVazio(vr) << u"TOTALQUANT="_s + num(total)
                      << u"TOTALSERV="_s + num(vr.toDouble() * total) << u"DTINICIAL=01/01"_s
                      << u"DTFINAL="_s + fim.toString(u"dd/MM"_s);
                    linhas.append(
                        {c.tipo + u'|' + c.inscricao + u'|' + QString::number(w) + u'|' + nomeServ(s).left(30),
                         t.join(u' ')});
                }
            }
        }
    }
    std::stable_sort(linhas.begin(), linhas.end(), [](const Linha &a, const Linha &b) { return a.chave < b.chave; });
    QStringList out;
    for (const Linha &l : linhas)
        out.append(l.texto);
    return out;
}

// --- The by-service statement worked out from the records in the order they arrive: each
// run of one code is the next service position k; group (k-1)/6+1, column (k-1)%6+1; one
// row per client, group and day, a later record of a column overwriting an earlier one.
const QStringList CamposServ = [] {
    QStringList c{u"IDGRUPO"_s, u"CDCLIENTE"_s, u"DTAPURACFAT"_s, u"NRINSJURCLIE"_s, u"NMFILIAL"_s};
    for (int j = 1; j <= 6; ++j)
        for (const QString &p : {u"CDSERVICO"_s, u"NMSERVICO"_s, u"QTSERVICO"_s, u"VRSERVICO"_s})
            c << p + u"%1"_s.arg(j, 2, 10, QLatin1Char('0'));
    c << u"DTINICIAL"_s << u"DTFINAL"_s;
    return c;
}();

QStringList esperadoPorServico(const QMap<QString, QList<Efetivo>> &chegada, const QDate &fim)
{
    std::map<QString, std::map<int, QStringList>> linhas; // order key -> column -> 4 values
    std::map<QString, QString> prefixo;
    for (const Cliente &c : Clientes) {
        const QList<Efetivo> regs = chegada.value(c.codigo);
        int k = 0;
        QString anterior;
        for (const Efetivo &e : regs) {
            if (k == 0 || e.servico != anterior)
                ++k;
            anterior = e.servico;
            const QString grupo = Ajusta(QString::number((k - 1) / 6 + 1), 3);
            const QString chave = c.tipo + u'|' + c.inscricao + u'|' + grupo + u'|' + e.dia.toString(Qt::ISODate);
            prefixo[chave] = u"IDGRUPO=%1 CDCLIENTE=%2 DTAPURACFAT=%3 NRINSJURCLIE=%4 NMFILIAL=Filial Centro"_s.arg(
                grupo, c.codigo, e.dia.toString(u"dd/MM"_s), c.inscricao);
            const QVariant vr = preco(c.codigo, e.servico, e.dia);
            linhas[chave][(k - 1) % 6 + 1] = {e.servico, nomeServ(e.servico.toInt()).left(30), num(e.qt.toDouble()),
                                              num(vr.toDouble())};
        }
    }
    QStringList out;
    for (const auto &[chave, colunas] : linhas) {
        QStringList t{prefixo[chave]};
        for (int j = 1; j <= 6; ++j) {
            const QString jj = u"%1"_s.arg(j, 2, 10, QLatin1Char('0'));
            const auto it = colunas.find(j);
            const QStringList v = it == colunas.end() ? QStringList{u"-"_s, u"-"_s, u"-"_s, u"-"_s} : it->second;
            t << u"CDSERVICO"_s + jj + u'=' + v[0] << u"NMSERVICO"_s + jj + u'=' + v[1]
              << u"QTSERVICO"_s + jj + u'=' + v[2] << u"VRSERVICO"_s + jj + u'=' + v[3];
        }
        t << u"DTINICIAL=01/01"_s << u"DTFINAL="_s + fim.toString(u"dd/MM"_s);
        out.append(t.join(u' '));
    }
    return out;
}

} // namespace

class TstApurationE2E : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<kpr::test::AppServerProcess> m_server;
    std::unique_ptr<TNetConnection> m_net;
    std::unique_ptr<RdmCFRConnection> m_conexao;
    QSqlDatabase m_db;

    bool exec(const QString &sql, const QVariantList &values) { return kpr::test::execSql(m_db, sql, values); }

    bool gravaDados()
    {
        bool ok = exec(u"INSERT INTO FILIAL (CDFILIAL, NMFILIAL, DTPROCFILI) VALUES (?, ?, ?)"_s,
                       {u"0001"_s, u"Filial Centro"_s, QDate(2024, 3, 31)});
        for (const Cliente &c : Clientes) {
            ok &= exec(
                u"INSERT INTO CLIENTE (CDCLIENTE, IDTPIJURCLIE, NRINSJURCLIE, NMRAZSOCCLIE, NMFANTCLIE, DSENDECLIE, "
                "NMBAIRCLIE, NMMUNICLIE, NRCEPCLIE, NRINSESTCLIE, NRTELECLIE, DSEMAIL) "
                "VALUES (?, ?, ?, ?, ?, ?, 'Centro', 'Curitiba', '80000-000', 'ISENTO', '(41) 3000-0000', ?)"_s,
                {c.codigo, c.tipo, c.inscricao, c.razao, c.razao.section(u' ', 0, 0), c.endereco,
                 u"x@cliente.example"_s});
            ok &= exec(u"INSERT INTO CLIEFILI (CDFILIAL, CDCLIENTE) VALUES ('0001', ?)"_s, {c.codigo});
        }
        ok &= exec(u"INSERT INTO GRUPSERV (CDGRUPSERV, NMGRUPSERV) VALUES ('01', ?)"_s, {u"Refeições"_s});
        for (int s = 1; s <= 13; ++s)
            ok &= exec(
                u"INSERT INTO SERVFILI (CDFILIAL, CDSERVFILI, NMSERVICO, CDGRUPSERV) VALUES ('0001', ?, ?, '01')"_s,
                {codServ(s), nomeServ(s)});
        // The same prices preco() answers: a row from December and, where it changes, one
        // from the 15th of January.
        for (const Cliente &c : Clientes.mid(0, 3))
            for (int s = 1; s <= 13; ++s)
                for (const QDate &from : {QDate(2023, 12, 1), Reajuste}) {
                    const QVariant p = preco(c.codigo, codServ(s), from);
                    if (!p.isNull() && (from != Reajuste || p != preco(c.codigo, codServ(s), from.addDays(-1))))
                        ok &= exec(u"INSERT INTO PRECSERV (CDFILIAL, CDCLIENTE, CDSERVFILI, DTVIGENCIA, VRPRECUNIT) "
                                   "VALUES ('0001', ?, ?, ?, ?)"_s,
                                   {c.codigo, codServ(s), from, p});
                }
        for (const Efetivo &e : efetivos())
            ok &= exec(
                u"INSERT INTO EFETIVO (CDFILIAL, CDCLIENTE, CDSERVFILI, DTEFETIVO, NREFETIVOS) VALUES ('0001', ?, ?, ?, ?)"_s,
                {e.cliente, e.servico, e.dia, e.qt.isNull() ? QVariant(QMetaType::fromType<int>()) : e.qt});
        return ok;
    }

    // The server answers a client's records by service; the test hands C3's over as A, B,
    // A: its service 001 on days 1..3, then 002, then 001 on days 4 and 5. The records are
    // the server's own, only their order changes.
    static void chegadaABA(const Chamada &c, ServerResult &r)
    {
        if (c.metodo != u"GetQtdeEfetServ" || c.args.at(2).toString() != Clientes[2].codigo || !r.ok)
            return;
        QJsonObject p = r.data.toObject();
        const QJsonArray rows = p.value(u"rows"_s).toArray();
        QJsonArray a1, b, a2;
        for (const QJsonValue &row : rows) {
            const QJsonArray v = row.toArray();
            if (v.at(2).toString() == u"002")
                b.append(v);
            else if (v.at(4).toDouble() < toDayNumberLocal(D0.addDays(3)))
                a1.append(v);
            else
                a2.append(v);
        }
        QJsonArray reordenado;
        for (const QJsonArray &parte : {a1, b, a2})
            for (const QJsonValue &v : parte)
                reordenado.append(v);
        p[u"rows"_s] = reordenado;
        r.data = p;
    }
    static double toDayNumberLocal(const QDate &d) { return double(QDate(1899, 12, 30).daysTo(d)); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString url = u"sqlite:"_s + m_dir.filePath(u"server.db"_s);
        m_server = std::make_unique<kpr::test::AppServerProcess>(QString::fromUtf8(KPR_APPSERVER_EXE));
        const Status up = m_server->start(url);
        QVERIFY2(up, qPrintable(up.error()));
        Result<QSqlDatabase> db = openDatabase(url, u"apuration-e2e"_s);
        QVERIFY2(db, qPrintable(db.error()));
        m_db = db.value();
        QVERIFY(gravaDados());

        m_net = std::make_unique<TNetConnection>();
        m_net->setServerName(QString::fromUtf16(ServerNameCFR));
        m_net->setHost(m_server->host());
        m_net->setPort(m_server->port());
        m_net->setConnected(true);
        QVERIFY2(m_net->connected(), qPrintable(m_net->lastError()));
        m_conexao = std::make_unique<RdmCFRConnection>(*m_net);
    }

    void cleanupTestCase()
    {
        m_conexao.reset();
        m_net.reset();
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(u"apuration-e2e"_s);
        if (m_server)
            QVERIFY(m_server->stop());
    }

    // Periods of 1, 10, 11, 31 and 32 days: one to four windows, the fourth of one or two
    // days (31 and 32 fall in window 4). One screen, so the number is issued once.
    void porData()
    {
        RdmGravador rdm(*m_conexao);
        TelaTeste tela(rdm);
        tela.posicao = 3;
        for (int dias : {1, 10, 11, 31, 32}) {
            rdm.chamadas.clear();
            const int marca = m_server->traceCount();
            tela.fim = D0.addDays(dias - 1);
            GeraTableApurFat(tela);
            const QString a = tela.apuracoes.value(0);
            QCOMPARE(linhas(tela.sintData, CamposData), esperadoPorData(tela.fim, a));

            // The server saw exactly these calls, and kept the statement under the number.
            QStringList servidor;
            for (const auto &t : m_server->trace(marca))
                servidor.append(t.method);
            QCOMPARE(servidor, rdm.metodos());
            QSqlQuery q(m_db);
            q.prepare(u"SELECT COUNT(*) FROM CFRSINTDATA WHERE NRAPURACGD = ?"_s);
            q.addBindValue(a);
            QVERIFY(q.exec() && q.next());
            QCOMPARE(q.value(0).toInt(), tela.sintData.RecordCount());
            if (dias == 32) {
                // Clients C1 (3 services), C2 (13), C3 (2): n × (1 + w × (1 + s)) with w = 4
                // = (1 + 4×4) + (1 + 4×14) + (1 + 4×3) = 87, plus the 5 calls around them.
                QCOMPARE(rdm.chamadas.size(), 87 + 4);
            }
        }
        QCOMPARE(tela.filiais, QStringList{u"0001"_s});
        QCOMPARE(tela.qryTotal().IndexName(), u"Index1"_s);
        QVERIFY(tela.qryTotal().RecordCount() > 0);
    }

    // 60 days by service: C2's thirteen services fill groups 001 to 003; C3's records come
    // as A, B, A and take columns 01, 02 and 03 of group 001.
    void porServico()
    {
        RdmGravador rdm(*m_conexao);
        rdm.ajuste = chegadaABA;
        TelaTeste tela(rdm);
        tela.posicao = 0;
        tela.fim = D0.addDays(59);
        GeraTableApurFat(tela);

        QMap<QString, QList<Efetivo>> chegada;
        for (const Efetivo &e : efetivos())
            if (e.dia <= tela.fim)
                chegada[e.cliente].append(e); // by service, then day: the server's order
        QList<Efetivo> &c3 = chegada[Clientes[2].codigo];
        c3 = c3.mid(0, 3) + c3.mid(5, 5) + c3.mid(3, 2); // A days 1..3, B, A days 4..5
        const QStringList esperado = esperadoPorServico(chegada, tela.fim);
        QCOMPARE(linhas(tela.sintServ, CamposServ), esperado);
        QVERIFY(esperado.filter(u"IDGRUPO=003"_s).size() > 0);
        QVERIFY(esperado.filter(u"CDSERVICO03=001"_s).size() == 2); // C3 days 4 and 5
        QCOMPARE(tela.sintServ.RecNo(), 1);
        QVERIFY(tela.clieSelect.Eof());
    }
};

QTEST_GUILESS_MAIN(TstApurationE2E)
#include "tst_apuration_e2e.moc"
