// The apuration run against a recording stand-in of the server: the apuration number per
// branch and its cache, the arguments the run and its passes send, the order of the calls
// of each family, and what a server failure halfway leaves behind.
#include "cfr/apuration/consultasapuracao.h"
#include "cfr/apuration/statementtables.h"
#include "framework/core/abort.h"
#include "rdmgravador.h"
#include "telateste.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;
using namespace kpr::cfr::test;

namespace {

// The stand-in's data: branch 0001 has clients K1 (services 001, 002), K2 (001) and K3
// (001); every service has one record per day of any window asked for, quantity = day of
// the month, price 10. Numbers are issued as N1, N2, ...
class Servidor
{
public:
    int emitidos = 0;
    QString falhaServSelect; // client whose GetServSelect fails
    std::function<ServerResult()> respostaNumero;

    ServerResult operator()(const Chamada &c)
    {
        const QString &m = c.metodo;
        if (m == u"ProPrxRelApurFat")
            return respostaNumero ? respostaNumero() : ServerResult::success(u"N%1"_s.arg(++emitidos));
        if (m == u"GetCFRSintData")
            return ServerResult::success(pacote(defineCFRSintData));
        if (m == u"GetCFRSintServ")
            return ServerResult::success(pacote(defineCFRSintServ));
        if (m == u"GetClieSelect")
            return ServerResult::success(
                pacote(defineQryClieSelect, {clienteSelect(u"K1"_s), clienteSelect(u"K2"_s), clienteSelect(u"K3"_s)}));
        if (m == u"GetTotalizacao")
            return ServerResult::success(pacote(defineQryTotal));
        const QString cliente = c.args.value(2).toString();
        if (m == u"GetServSelect") {
            if (cliente == falhaServSelect)
                return ServerResult::failure(u"Erro no banco de dados em GetServSelect: disco cheio"_s);
            QList<QVariantList> s{{u"001"_s}};
            if (cliente == u"K1")
                s.append({u"002"_s});
            return ServerResult::success(pacote(defineQryServSelect, s));
        }
        if (m == u"GetQtdeEfetData") {
            QList<QVariantList> r;
            for (QDate d = c.args.at(4).toDate(); d <= c.args.at(5).toDate(); d = d.addDays(1))
                r.append(qtdeData(cliente, c.args.at(3).toString(), d, d.day(), 10.0));
            return ServerResult::success(pacote(defineQryQtdeEfetData, r));
        }
        if (m == u"GetQtdeEfetServ")
            return ServerResult::success(
                pacote(defineQryQtdeEfetServ, {qtdeServ(cliente, u"001"_s, c.args.at(3).toDate(), 1, 2.0)}));
        return ServerResult::success(QJsonValue());
    }
};

} // namespace

class TstGeraTableApurFat : public QObject
{
    Q_OBJECT

    QStringList m_erros;

private slots:
    void init()
    {
        m_erros.clear();
        setErrorPresenter([this](const QString &t) { m_erros.append(t); });
    }

    // One number per branch for the life of the cache: 0001, 0001, 0002, 0001 ask twice,
    // and every run, cached or not, has the server compute under the branch's number.
    void numeroUmaVezPorFilial()
    {
        Servidor servidor;
        RdmGravador rdm(std::ref(servidor));
        TelaTeste tela(rdm);
        tela.posicao = 0;
        for (const QString &f : {u"0001"_s, u"0001"_s, u"0002"_s, u"0001"_s}) {
            tela.filial = f;
            GeraTableApurFat(tela);
        }
        QCOMPARE(rdm.textos(u"ProPrxRelApurFat"_s),
                 (QStringList{u"ProPrxRelApurFat 0001"_s, u"ProPrxRelApurFat 0002"_s}));
        QCOMPARE(rdm.textos(u"ProRelGesDireta"_s), (QStringList{u"ProRelGesDireta 0001 01/01 11/01 N1 \"\""_s,
                                                                u"ProRelGesDireta 0001 01/01 11/01 N1 \"\""_s,
                                                                u"ProRelGesDireta 0002 01/01 11/01 N2 \"\""_s,
                                                                u"ProRelGesDireta 0001 01/01 11/01 N1 \"\""_s}));
        for (const Chamada &c : rdm.chamadas)
            if (c.metodo == u"ProRelGesDireta")
                QCOMPARE(c.args.at(4).toString(), QString()); // the fifth argument is always empty
        QCOMPARE(tela.filiais, (QStringList{u"0001"_s, u"0002"_s}));
        QCOMPARE(tela.apuracoes, (QStringList{u"N1"_s, u"N2"_s}));
        // One progress text per run, taken down at its end.
        const QString on = u"on:Gerando dados para o relatório..."_s;
        QCOMPARE(tela.progresso, (QStringList{on, u"off"_s, on, u"off"_s, on, u"off"_s, on, u"off"_s}));
    }

    void familiaPelaPosicao_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::addColumn<QString>("primeira"); // the pass's first call
        QTest::newRow("0 by service") << 0 << u"GetCFRSintServ"_s;
        QTest::newRow("1 by date") << 1 << u"GetCFRSintData"_s;
        QTest::newRow("2 by service") << 2 << u"GetCFRSintServ"_s;
        QTest::newRow("3 by date") << 3 << u"GetCFRSintData"_s;
        QTest::newRow("4 by service") << 4 << u"GetCFRSintServ"_s;
    }
    void familiaPelaPosicao()
    {
        QFETCH(int, posicao);
        QFETCH(QString, primeira);
        Servidor servidor;
        RdmGravador rdm(std::ref(servidor));
        TelaTeste tela(rdm);
        tela.posicao = posicao;
        GeraTableApurFat(tela);
        QCOMPARE(rdm.metodos().mid(0, 3), (QStringList{u"ProPrxRelApurFat"_s, u"ProRelGesDireta"_s, primeira}));
    }

    // All clients: GetClieSelect gets the empty text and every totals call "T"; a list: the
    // list text unchanged and each totals call the client's own code.
    void argumentoDeClientes_data()
    {
        QTest::addColumn<int>("posicao");
        QTest::addColumn<bool>("todos");
        QTest::addColumn<QString>("clieSelect");
        QTest::addColumn<QStringList>("totais");
        const QString lista = u"_K1__K2__K3_"_s;
        QTest::newRow("by date, all") << 1 << true << u"GetClieSelect 0001 N1 \"\""_s
                                      << QStringList{u"T"_s, u"T"_s, u"T"_s};
        QTest::newRow("by date, list") << 1 << false << u"GetClieSelect 0001 N1 "_s + lista
                                       << QStringList{u"K1"_s, u"K2"_s, u"K3"_s};
        QTest::newRow("by service, all") << 0 << true << u"GetClieSelect 0001 N1 \"\""_s << QStringList{};
        QTest::newRow("by service, list") << 0 << false << u"GetClieSelect 0001 N1 "_s + lista << QStringList{};
    }
    void argumentoDeClientes()
    {
        QFETCH(int, posicao);
        QFETCH(bool, todos);
        QFETCH(QString, clieSelect);
        QFETCH(QStringList, totais);
        Servidor servidor;
        RdmGravador rdm(std::ref(servidor));
        TelaTeste tela(rdm);
        tela.posicao = posicao;
        tela.todos = todos;
        tela.lista = u"_K1__K2__K3_"_s; // kept by the screen also while "all" is selected
        GeraTableApurFat(tela);
        QCOMPARE(rdm.textos(u"GetClieSelect"_s), QStringList{clieSelect});
        QStringList enviados;
        for (const Chamada &c : rdm.chamadas)
            if (c.metodo == u"GetTotalizacao")
                enviados.append(c.args.at(4).toString());
        QCOMPARE(enviados, totais);
    }

    // The whole by-date conversation for 1..11 January (windows 1..10 and 11), clients K1
    // (two services) and K2 and K3 (one each): the same whether the calls that need no
    // answer go out together or one at a time.
    void ordemPorData_data()
    {
        QTest::addColumn<bool>("juntas");
        QTest::newRow("one at a time") << false;
        QTest::newRow("sent together") << true;
    }
    void ordemPorData()
    {
        QFETCH(bool, juntas);
        Servidor servidor;
        RdmGravador rdm(std::ref(servidor));
        rdm.juntas = juntas;
        TelaTeste tela(rdm);
        GeraTableApurFat(tela);
        QStringList esperado{u"ProPrxRelApurFat 0001"_s, u"ProRelGesDireta 0001 01/01 11/01 N1 \"\""_s,
                             u"GetCFRSintData"_s, u"GetClieSelect 0001 N1 \"\""_s};
        for (const QString &k : {u"K1"_s, u"K2"_s, u"K3"_s}) {
            esperado.append(u"GetTotalizacao 0001 N1 01/01 11/01 T"_s);
            for (const QString &janela : {u"01/01 10/01"_s, u"11/01 11/01"_s}) {
                esperado.append(u"GetServSelect 0001 N1 "_s + k);
                esperado.append(u"GetQtdeEfetData 0001 N1 %1 001 %2"_s.arg(k, janela));
                if (k == u"K1")
                    esperado.append(u"GetQtdeEfetData 0001 N1 K1 002 "_s + janela);
            }
        }
        esperado.append(u"SetCRFSintDados <pacote>"_s);
        QCOMPARE(rdm.textos(), esperado);
        // n × (1 + w × (1 + s)) calls for the clients: 3 + 2×(1+2) + 2×(1+1) × 2 = 17.
        QCOMPARE(rdm.chamadas.size(), 4 + 17 + 1);

        // Cursors as the report expects them; the packet sent is the table, in its order.
        QCOMPARE(tela.sintData.RecNo(), 1);
        QVERIFY(tela.clieSelect.Eof());
        QCOMPARE(rdm.chamadas.last().args.at(0).toJsonObject(), tela.sintData.dataPacket());
        QCOMPARE(tela.sintData.RecordCount(), 8); // (K1: 2 services + K2 + K3) × 2 windows
    }

    void ordemPorServico()
    {
        Servidor servidor;
        RdmGravador rdm(std::ref(servidor));
        TelaTeste tela(rdm);
        tela.posicao = 2;
        tela.fim = QDate(2024, 3, 1); // no period limit in this family
        GeraTableApurFat(tela);
        QCOMPARE(
            rdm.textos(),
            (QStringList{u"ProPrxRelApurFat 0001"_s, u"ProRelGesDireta 0001 01/01 01/03 N1 \"\""_s, u"GetCFRSintServ"_s,
                         u"GetClieSelect 0001 N1 \"\""_s, u"GetQtdeEfetServ 0001 N1 K1 01/01 01/03"_s,
                         u"GetQtdeEfetServ 0001 N1 K2 01/01 01/03"_s, u"GetQtdeEfetServ 0001 N1 K3 01/01 01/03"_s}));
        QCOMPARE(tela.sintServ.RecordCount(), 3);
        QCOMPARE(tela.sintServ.RecNo(), 1);
        QVERIFY(tela.clieSelect.Eof());
    }

    // GetServSelect of K2 fails: K1's rows stay, nothing more is asked and nothing stored,
    // the failure is shown once and the run ends by a silent abort with the progress down.
    void falhaNoMeioDosClientes_data()
    {
        ordemPorData_data();
    }
    void falhaNoMeioDosClientes()
    {
        QFETCH(bool, juntas);
        Servidor servidor;
        servidor.falhaServSelect = u"K2"_s;
        RdmGravador rdm(std::ref(servidor));
        rdm.juntas = juntas;
        TelaTeste tela(rdm);
        QVERIFY_THROWS_EXCEPTION(EAbort, GeraTableApurFat(tela));
        QCOMPARE(m_erros, QStringList{u"Erro no banco de dados em GetServSelect: disco cheio"_s});
        QCOMPARE(rdm.metodos().last(), u"GetServSelect"_s);
        QVERIFY(!rdm.metodos().contains(u"SetCRFSintDados"_s));
        QCOMPARE(linhas(tela.sintData, {u"CDCLIENTEAPGD"_s, u"IDGRUPO"_s, u"CDSERVFILI"_s}),
                 (QStringList{
                     u"CDCLIENTEAPGD=K1 IDGRUPO=1 CDSERVFILI=001"_s, u"CDCLIENTEAPGD=K1 IDGRUPO=1 CDSERVFILI=002"_s,
                     u"CDCLIENTEAPGD=K1 IDGRUPO=2 CDSERVFILI=001"_s, u"CDCLIENTEAPGD=K1 IDGRUPO=2 CDSERVFILI=002"_s}));
        QCOMPARE(tela.progresso.last(), u"off"_s);
        QCOMPARE(tela.filiais, QStringList{u"0001"_s}); // nothing undone: the number stays cached
        QVERIFY(runGuarded([&] { GeraTableApurFat(tela); }) == false);
        QCOMPARE(rdm.textos(u"ProPrxRelApurFat"_s).size(), 1);
    }

    // A number the server does not give (refused, empty, no text) is shown and ends the run;
    // the cache stays empty, so the next run asks again instead of working under "".
    void numeroNaoObtido_data()
    {
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QJsonValue>("resposta");
        QTest::addColumn<QString>("erro");
        const QString semNumero = u"O servidor de aplicação não informou o número da apuração da filial 0001."_s;
        QTest::newRow("refused") << false << QJsonValue(u"Filial 0001 não cadastrada."_s)
                                 << u"Filial 0001 não cadastrada."_s;
        QTest::newRow("empty text") << true << QJsonValue(u""_s) << semNumero;
        QTest::newRow("blank text") << true << QJsonValue(u"   "_s) << semNumero;
        QTest::newRow("null") << true << QJsonValue() << semNumero;
    }
    void numeroNaoObtido()
    {
        QFETCH(bool, ok);
        QFETCH(QJsonValue, resposta);
        QFETCH(QString, erro);
        Servidor servidor;
        servidor.respostaNumero = [&] {
            return ok ? ServerResult::success(resposta) : ServerResult::failure(resposta.toString());
        };
        RdmGravador rdm(std::ref(servidor));
        TelaTeste tela(rdm);
        QVERIFY_THROWS_EXCEPTION(EAbort, GeraTableApurFat(tela));
        QCOMPARE(m_erros, QStringList{erro});
        QCOMPARE(rdm.metodos(), QStringList{u"ProPrxRelApurFat"_s});
        QVERIFY(tela.filiais.isEmpty() && tela.apuracoes.isEmpty());
        QCOMPARE(tela.progresso.last(), u"off"_s);

        servidor.respostaNumero = {};
        GeraTableApurFat(tela);
        QCOMPARE(rdm.textos(u"ProPrxRelApurFat"_s).size(), 2);
        QCOMPARE(tela.apuracoes, QStringList{u"N1"_s});
    }
};

QTEST_GUILESS_MAIN(TstGeraTableApurFat)
#include "tst_geratableapurfat.moc"
