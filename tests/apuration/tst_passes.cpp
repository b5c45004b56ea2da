// The two statement passes on packets the test builds: how records become rows and
// columns, the row's price and totals, the date windows, and the service positions.
#include "cfr/apuration/consultasapuracao.h"
#include "cfr/apuration/passepordata.h"
#include "cfr/apuration/passeporservico.h"
#include "cfr/apuration/statementtables.h"
#include "rdmgravador.h"
#include "telateste.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;
using namespace kpr::cfr::test;

namespace {

const QDate D0(2024, 1, 1);

QDate dia(int d)
{
    return D0.addDays(d - 1);
}

// A stand-in whose GetQtdeEfetData / GetQtdeEfetServ answer the records the test gives
// for (client, service) / client, whatever the window; GetServSelect answers the services
// those records name, in order of first appearance.
struct Respostas
{
    QList<QVariantList> clientes{clienteSelect(u"K1"_s)};
    QMap<QString, QList<QVariantList>> porData;    // "K1/001" -> qryQtdeEfetData rows
    QMap<QString, QList<QVariantList>> porServico; // "K1" -> qryQtdeEfetServ rows
    QJsonObject sintServ = pacote(defineCFRSintServ);
    QJsonObject sintData = pacote(defineCFRSintData);

    ServerResult operator()(const Chamada &c) const
    {
        const QString &m = c.metodo;
        if (m == u"GetCFRSintData")
            return ServerResult::success(sintData);
        if (m == u"GetCFRSintServ")
            return ServerResult::success(sintServ);
        if (m == u"GetClieSelect")
            return ServerResult::success(pacote(defineQryClieSelect, clientes));
        if (m == u"GetTotalizacao")
            return ServerResult::success(pacote(defineQryTotal));
        const QString k = c.args.value(2).toString();
        if (m == u"GetServSelect") {
            QList<QVariantList> s;
            for (auto it = porData.begin(); it != porData.end(); ++it)
                if (it.key().startsWith(k + u'/'))
                    s.append({it.key().section(u'/', 1)});
            return ServerResult::success(pacote(defineQryServSelect, s));
        }
        if (m == u"GetQtdeEfetData")
            return ServerResult::success(
                pacote(defineQryQtdeEfetData, porData.value(k + u'/' + c.args.at(3).toString())));
        if (m == u"GetQtdeEfetServ")
            return ServerResult::success(pacote(defineQryQtdeEfetServ, porServico.value(k)));
        return ServerResult::success(QJsonValue());
    }
};

ApuracaoEntrada entrada(int dias)
{
    ApuracaoEntrada e;
    e.cdFilial = u"0001"_s;
    e.nmFilial = u"Filial Centro"_s;
    e.apuracao = u"A1"_s;
    e.dtInicial = D0;
    e.dtFinal = dia(dias);
    return e;
}

void porData(TelaTeste &t, RdmGravador &rdm, int dias)
{
    PassePorData(rdm, {t.sintData, t.clieSelect, t.servSelect, t.qtdeEfetData, t.total}).Executa(entrada(dias));
}

void porServico(TelaTeste &t, RdmGravador &rdm, int dias)
{
    PassePorServico(rdm, {t.sintServ, t.clieSelect, t.qtdeEfetServ}).Executa(entrada(dias));
}

QStringList colunasData(int ate)
{
    QStringList c;
    for (int n = 1; n <= ate; ++n)
        c.append(u"QTSERV%1"_s.arg(n, 2, 10, QLatin1Char('0')));
    return c;
}

QStringList colunasServ(const QString &prefixo)
{
    QStringList c;
    for (int n = 1; n <= 6; ++n)
        c.append(prefixo + u"%1"_s.arg(n, 2, 10, QLatin1Char('0')));
    return c;
}

} // namespace

class TstPasses : public QObject
{
    Q_OBJECT

private slots:
    // The windows the quantities are asked for: ten days each from the start date, cut at
    // the end date, the fourth always running to the end date.
    void janelas_data()
    {
        QTest::addColumn<int>("dias");
        QTest::addColumn<QStringList>("janelas");
        QTest::newRow("1 day") << 1 << QStringList{u"01/01 01/01"_s};
        QTest::newRow("D0+9: one window") << 10 << QStringList{u"01/01 10/01"_s};
        QTest::newRow("D0+10: two, the second of one day") << 11 << QStringList{u"01/01 10/01"_s, u"11/01 11/01"_s};
        QTest::newRow("31 days: window 4 is the 31st")
            << 31 << QStringList{u"01/01 10/01"_s, u"11/01 20/01"_s, u"21/01 30/01"_s, u"31/01 31/01"_s};
        QTest::newRow("32 days: window 4 is 31 and 32")
            << 32 << QStringList{u"01/01 10/01"_s, u"11/01 20/01"_s, u"21/01 30/01"_s, u"31/01 01/02"_s};
        QTest::newRow("45 days: window 4 still runs to the end")
            << 45 << QStringList{u"01/01 10/01"_s, u"11/01 20/01"_s, u"21/01 30/01"_s, u"31/01 14/02"_s};
    }
    void janelas()
    {
        QFETCH(int, dias);
        QFETCH(QStringList, janelas);
        Respostas r;
        r.porData[u"K1/001"_s] = {};
        RdmGravador rdm(r);
        TelaTeste t(rdm);
        porData(t, rdm, dias);
        QStringList pedidas;
        for (const QString &s : rdm.textos(u"GetQtdeEfetData"_s))
            pedidas.append(s.section(u' ', 5));
        QCOMPARE(pedidas, janelas);
    }

    // The next window starts the day after the end the server left in the variable it got
    // by reference: a server that answers window 1 as 1..7 gives the next service 1..7 and
    // moves window 2 to 8..17. Sent together, the call after that answer went out with the
    // old window: it is made again with the new one.
    void janelaSeguinteDasVariaveis_data()
    {
        QTest::addColumn<bool>("juntas");
        QTest::addColumn<QStringList>("feitas"); // service and window of each GetQtdeEfetData
        const QStringList depois{u"001 08/01 17/01"_s, u"002 08/01 17/01"_s, u"001 18/01 25/01"_s,
                                 u"002 18/01 25/01"_s};
        QTest::newRow("one at a time") << false
                                       << QStringList{u"001 01/01 10/01"_s, u"002 01/01 07/01"_s} + depois;
        QTest::newRow("sent together")
            << true << QStringList{u"001 01/01 10/01"_s, u"002 01/01 10/01"_s, u"002 01/01 07/01"_s} + depois;
    }
    void janelaSeguinteDasVariaveis()
    {
        QFETCH(bool, juntas);
        QFETCH(QStringList, feitas);
        Respostas r;
        r.porData[u"K1/001"_s] = {};
        r.porData[u"K1/002"_s] = {};
        RdmGravador rdm([&](const Chamada &c) {
            ServerResult res = r(c);
            if (c.metodo == u"GetQtdeEfetData" && c.args.at(5).toDate() == dia(10))
                res.refs = {
                    u"0001"_s, u"A1"_s, u"K1"_s, u"001"_s, dia(1).toString(Qt::ISODate), dia(7).toString(Qt::ISODate)};
            return res;
        });
        rdm.juntas = juntas;
        TelaTeste t(rdm);
        porData(t, rdm, 25);
        QStringList pedidas;
        for (const QString &s : rdm.textos(u"GetQtdeEfetData"_s))
            pedidas.append(s.section(u' ', 4));
        QCOMPARE(pedidas, feitas);
    }

    // Records of a row: eleven columns, then a new row of the same window; quantities,
    // price and totals as the record step leaves them.
    void linhaPorData_data()
    {
        QTest::addColumn<QVariantList>("efetivos");
        QTest::addColumn<QVariantList>("precos");
        QTest::addColumn<QStringList>("esperado"); // QTSERV01..11, VRPRECO, TOTALQUANT, TOTALSERV per row
        const QVariant vazio;
        QTest::newRow("0 then 5.2: the first non-zero price")
            << QVariantList{2, 3} << QVariantList{0.0, 5.2} << QStringList{u"2 3 0 0 0 0 0 0 0 0 0 | 5.2 5 26"_s};
        QTest::newRow("4 then 5: the first price stays")
            << QVariantList{2, 3} << QVariantList{4.0, 5.0} << QStringList{u"2 3 0 0 0 0 0 0 0 0 0 | 4 5 20"_s};
        QTest::newRow("no price, then 3")
            << QVariantList{1, 1} << QVariantList{vazio, 3.0} << QStringList{u"1 1 0 0 0 0 0 0 0 0 0 | 3 2 6"_s};
        QTest::newRow("empty quantity writes 0")
            << QVariantList{vazio, 7} << QVariantList{2.0, 2.0} << QStringList{u"0 7 0 0 0 0 0 0 0 0 0 | 2 7 14"_s};
        // Twelve records: 1..11 in row one, the twelfth in column 01 of a second row.
        QVariantList doze, precos;
        for (int i = 1; i <= 12; ++i) {
            doze.append(i);
            precos.append(1.5);
        }
        QTest::newRow("twelve records, two rows")
            << doze << precos
            << QStringList{u"1 2 3 4 5 6 7 8 9 10 11 | 1.5 66 99"_s, u"12 0 0 0 0 0 0 0 0 0 0 | 1.5 12 18"_s};
    }
    void linhaPorData()
    {
        QFETCH(QVariantList, efetivos);
        QFETCH(QVariantList, precos);
        QFETCH(QStringList, esperado);
        Respostas r;
        for (int i = 0; i < efetivos.size(); ++i)
            r.porData[u"K1/001"_s].append(qtdeData(u"K1"_s, u"001"_s, dia(i + 1), efetivos.at(i), precos.at(i)));
        RdmGravador rdm(r);
        TelaTeste t(rdm);
        porData(t, rdm, 1); // one window: the stand-in answers every record in it
        QStringList obtido;
        for (const QString &l :
             linhas(t.sintData, colunasData(11) + QStringList{u"VRPRECO"_s, u"TOTALQUANT"_s, u"TOTALSERV"_s})) {
            QStringList v;
            for (const QString &p : l.split(u' '))
                v.append(p.section(u'=', 1).replace(u"-"_s, u"0"_s)); // an unused column counts as 0
            obtido.append(v.mid(0, 11).join(u' ') + u" | "_s + v.mid(11).join(u' '));
        }
        QCOMPARE(obtido, esperado);
        QCOMPARE(linhas(t.sintData, {u"IDGRUPO"_s, u"DTSERV01"_s}).first(), u"IDGRUPO=1 DTSERV01=01/01"_s);
        if (efetivos.size() == 12) {
            QCOMPARE(linhas(t.sintData, {u"DTSERV01"_s, u"DTSERV11"_s}),
                     (QStringList{u"DTSERV01=01/01 DTSERV11=11/01"_s, u"DTSERV01=12/01 DTSERV11=-"_s}));
            QCOMPARE(linhas(t.sintData, {u"IDGRUPO"_s}), (QStringList{u"IDGRUPO=1"_s, u"IDGRUPO=1"_s}));
        }
    }

    // The fixed fields of a row: branch, client and address, the first record's names
    // (the service name cut to 30), the apuration number and the period.
    void camposDaLinhaPorData()
    {
        Respostas r;
        const QString nome40 = u"Almoço executivo com sobremesa e suco 40"_s;
        QCOMPARE(nome40.size(), 40);
        r.porData[u"K1/001"_s] = {qtdeData(u"K1"_s, u"001"_s, dia(3), 5, 1.0, nome40)};
        RdmGravador rdm(r);
        TelaTeste t(rdm);
        porData(t, rdm, 11);
        QCOMPARE(
            linhas(t.sintData, {u"IDGRUPO"_s, u"CDFILIAL"_s, u"NMFILIAL"_s, u"CDCLIENTEAPGD"_s, u"CDSERVFILI"_s,
                                u"NRAPURACGD"_s, u"IDTPIJURCLIE"_s, u"NRINSJURCLIE"_s, u"DTINICIAL"_s, u"DTFINAL"_s})
                .first(),
            QString{u"IDGRUPO=1 CDFILIAL=0001 NMFILIAL=Filial Centro CDCLIENTEAPGD=K1 CDSERVFILI=001 "
                    "NRAPURACGD=A1 IDTPIJURCLIE=J NRINSJURCLIE=RJK1 DTINICIAL=01/01 DTFINAL=11/01"_s});
        // The stand-in answers the record in both windows: one row per window.
        QCOMPARE(t.sintData.RecordCount(), 2);
        t.sintData.First();
        QCOMPARE(t.sintData.FieldByName(u"NMSERVICO"_s)->AsString(), nome40.left(30));
        QCOMPARE(t.sintData.FieldByName(u"DSENDECLIE"_s)->AsString(), u"Rua A, 1"_s);
        QCOMPARE(t.sintData.FieldByName(u"NRTELECLIE"_s)->AsString(), u"(41) 3000-0000"_s);
        QCOMPARE(t.sintData.FieldByName(u"NMRAZSOCCLIE"_s)->AsString(), u"Razão K1"_s);
    }

    // A client without services gets no row; an empty client set still stores the
    // statement, as the server's packet held it (the run's rows are added to that packet).
    void semServicoESemClientes()
    {
        Respostas r;
        r.clientes = {clienteSelect(u"K1"_s), clienteSelect(u"K2"_s)};
        r.porData[u"K2/001"_s] = {qtdeData(u"K2"_s, u"001"_s, dia(1), 1, 1.0)};
        {
            RdmGravador rdm(r);
            TelaTeste t(rdm);
            porData(t, rdm, 1);
            QCOMPARE(linhas(t.sintData, {u"CDCLIENTEAPGD"_s}), QStringList{u"CDCLIENTEAPGD=K2"_s});
        }
        r.clientes.clear();
        r.sintData = pacote(defineCFRSintData, {{u"1"_s, u"0001"_s, u"Filial Centro"_s, u"J"_s, u"1"_s}});
        RdmGravador rdm(r);
        TelaTeste t(rdm);
        porData(t, rdm, 1);
        QCOMPARE(rdm.metodos(), (QStringList{u"GetCFRSintData"_s, u"GetClieSelect"_s, u"SetCRFSintDados"_s}));
        QCOMPARE(rdm.chamadas.last().args.at(0).toJsonObject(), r.sintData);
    }

    // Seven services on the same three days: group 001 holds services 1..6 in columns
    // 01..06 of one row per day, group 002 service 7 in column 01; 13 services reach 003.
    void gruposDeSeis()
    {
        Respostas r;
        for (int s = 1; s <= 13; ++s)
            for (int d = 1; d <= 3; ++d)
                r.porServico[u"K1"_s].append(
                    qtdeServ(u"K1"_s, u"%1"_s.arg(s, 3, 10, QLatin1Char('0')), dia(d), s * 10 + d, 1.0));
        RdmGravador rdm(r);
        TelaTeste t(rdm);
        porServico(t, rdm, 60);
        QCOMPARE(
            linhas(t.sintServ, QStringList{u"IDGRUPO"_s, u"DTAPURACFAT"_s} + colunasServ(u"QTSERVICO"_s)),
            (QStringList{
                u"IDGRUPO=001 DTAPURACFAT=01/01 QTSERVICO01=11 QTSERVICO02=21 QTSERVICO03=31 QTSERVICO04=41 QTSERVICO05=51 QTSERVICO06=61"_s,
                u"IDGRUPO=001 DTAPURACFAT=02/01 QTSERVICO01=12 QTSERVICO02=22 QTSERVICO03=32 QTSERVICO04=42 QTSERVICO05=52 QTSERVICO06=62"_s,
                u"IDGRUPO=001 DTAPURACFAT=03/01 QTSERVICO01=13 QTSERVICO02=23 QTSERVICO03=33 QTSERVICO04=43 QTSERVICO05=53 QTSERVICO06=63"_s,
                u"IDGRUPO=002 DTAPURACFAT=01/01 QTSERVICO01=71 QTSERVICO02=81 QTSERVICO03=91 QTSERVICO04=101 QTSERVICO05=111 QTSERVICO06=121"_s,
                u"IDGRUPO=002 DTAPURACFAT=02/01 QTSERVICO01=72 QTSERVICO02=82 QTSERVICO03=92 QTSERVICO04=102 QTSERVICO05=112 QTSERVICO06=122"_s,
                u"IDGRUPO=002 DTAPURACFAT=03/01 QTSERVICO01=73 QTSERVICO02=83 QTSERVICO03=93 QTSERVICO04=103 QTSERVICO05=113 QTSERVICO06=123"_s,
                u"IDGRUPO=003 DTAPURACFAT=01/01 QTSERVICO01=131 QTSERVICO02=- QTSERVICO03=- QTSERVICO04=- QTSERVICO05=- QTSERVICO06=-"_s,
                u"IDGRUPO=003 DTAPURACFAT=02/01 QTSERVICO01=132 QTSERVICO02=- QTSERVICO03=- QTSERVICO04=- QTSERVICO05=- QTSERVICO06=-"_s,
                u"IDGRUPO=003 DTAPURACFAT=03/01 QTSERVICO01=133 QTSERVICO02=- QTSERVICO03=- QTSERVICO04=- QTSERVICO05=- QTSERVICO06=-"_s,
            }));
        QCOMPARE(t.sintServ.IndexName(), u"Agrupamento"_s);
        QCOMPARE(t.sintServ.RecNo(), 1);
        QVERIFY(t.clieSelect.Eof());
    }

    // Arrival order decides the columns: a second service on a day the first lacks opens a
    // row with column 02 only; the same service and day twice overwrites; A, B, A are
    // three positions; empty quantities and prices are written as 0.
    void colunasPorChegada_data()
    {
        QTest::addColumn<QList<QVariantList>>("registros");
        QTest::addColumn<QStringList>("esperado"); // per row: day, then CDSERVICO:QTSERVICO:VRSERVICO 01..03
        const QVariant vazio;
        QTest::newRow("second service on a new day")
            << QList<QVariantList>{qtdeServ(u"K1"_s, u"001"_s, dia(1), 5, 2.0),
                                   qtdeServ(u"K1"_s, u"002"_s, dia(1), 6, 3.0),
                                   qtdeServ(u"K1"_s, u"002"_s, dia(2), 7, 3.0)}
            << QStringList{u"01/01 001:5:2 002:6:3 -:-:-"_s, u"02/01 -:-:- 002:7:3 -:-:-"_s};
        QTest::newRow("same service and day: overwrite")
            << QList<QVariantList>{qtdeServ(u"K1"_s, u"001"_s, dia(1), 5, 2.0),
                                   qtdeServ(u"K1"_s, u"001"_s, dia(1), 9, 4.0)}
            << QStringList{u"01/01 001:9:4 -:-:- -:-:-"_s};
        QTest::newRow("A, B, A: three positions") << QList<QVariantList>{qtdeServ(u"K1"_s, u"00A"_s, dia(1), 1, 1.0),
                                                                         qtdeServ(u"K1"_s, u"00B"_s, dia(1), 2, 1.0),
                                                                         qtdeServ(u"K1"_s, u"00A"_s, dia(1), 3, 1.0)}
                                                  << QStringList{u"01/01 00A:1:1 00B:2:1 00A:3:1"_s};
        QTest::newRow("empty quantity and price as 0")
            << QList<QVariantList>{qtdeServ(u"K1"_s, u"001"_s, dia(1), vazio, vazio)}
            << QStringList{u"01/01 001:0:0 -:-:- -:-:-"_s};
        QTest::newRow("no records, no row") << QList<QVariantList>{} << QStringList{};
    }
    void colunasPorChegada()
    {
        QFETCH(QList<QVariantList>, registros);
        QFETCH(QStringList, esperado);
        Respostas r;
        r.porServico[u"K1"_s] = registros;
        RdmGravador rdm(r);
        TelaTeste t(rdm);
        porServico(t, rdm, 60);
        QStringList obtido;
        for (const QString &l :
             linhas(t.sintServ,
                    {u"DTAPURACFAT"_s, u"CDSERVICO01"_s, u"QTSERVICO01"_s, u"VRSERVICO01"_s, u"CDSERVICO02"_s,
                     u"QTSERVICO02"_s, u"VRSERVICO02"_s, u"CDSERVICO03"_s, u"QTSERVICO03"_s, u"VRSERVICO03"_s})) {
            QStringList v;
            for (const QString &p : l.split(u' '))
                v.append(p.section(u'=', 1));
            obtido.append(v.at(0) + u' ' + v.mid(1, 3).join(u':') + u' ' + v.mid(4, 3).join(u':') + u' '
                          + v.mid(7, 3).join(u':'));
        }
        QCOMPARE(obtido, esperado);
    }

    // The row search ignores letter case: a row the server's packet holds for client "k1"
    // is the row of client "K1" on that day and group, so the record edits it.
    void buscaSemCaixa()
    {
        Respostas r;
        QVariantList linha{u"001"_s, u"0001"_s, u"Filial Centro"_s, u"J"_s, u"RJK1"_s, u"Razão K1"_s, u"a1"_s, u"k1"_s};
        while (linha.size() < 32)
            linha.append(QVariant());
        linha.append(dia(1)); // DTAPURACFAT
        r.sintServ = pacote(defineCFRSintServ, {linha});
        r.porServico[u"K1"_s] = {qtdeServ(u"K1"_s, u"001"_s, dia(1), 5, 2.0)};
        RdmGravador rdm(r);
        TelaTeste t(rdm);
        PassePorServico(rdm, {t.sintServ, t.clieSelect, t.qtdeEfetServ}).Executa([] {
            ApuracaoEntrada e = entrada(60);
            e.apuracao = u"A1"_s; // the packet's row carries "a1"
            return e;
        }());
        QCOMPARE(linhas(t.sintServ, {u"CDCLIENTE"_s, u"NRAPURACGD"_s, u"CDSERVICO01"_s, u"QTSERVICO01"_s}),
                 QStringList{u"CDCLIENTE=k1 NRAPURACGD=a1 CDSERVICO01=001 QTSERVICO01=5"_s});
    }
};

QTEST_GUILESS_MAIN(TstPasses)
#include "tst_passes.moc"
