// Client and server read one contract of Kpr04700.rdmCFR. The client's typed calls are
// made through a recording transport that answers every argument changed: each call must
// name a method of the contract with arguments of its kinds, every method must be called,
// and each by-reference variable must take the value answered at its own position.
#include "appserver/rdmcfr/methodtable.h"
#include "contract/methods.h"
#include "framework/net/netconnection.h"
#include "framework/net/rpcargs.h"
#include "host/rdmcfr.h"
#include "host/registroenvios.h"
#include "tests/support/recordingtransport.h"

#include <QJsonObject>
#include <QSet>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

class TstContract : public QObject
{
    Q_OBJECT

private slots:
    void clientCallsFollowTheContract()
    {
        TNetConnection net;
        net.setServerName(u"Kpr04700.rdmCFR"_s);
        // Texts come back as "R<position>", dates moved by position + 1 days.
        auto *recorder = new test::RecordingTransport([](const QString &, const QJsonArray &args) {
            QJsonArray refs;
            for (int i = 0; i < args.size(); ++i) {
                const QJsonValue v = args.at(i);
                refs.append(v.isString()   ? QJsonValue(u"R%1"_s.arg(i))
                            : v.isDouble() ? QJsonValue(v.toDouble() + i + 1)
                                           : v);
            }
            return ServerResult::success(QJsonValue(), refs);
        });
        net.setTransport(std::unique_ptr<RpcTransport>(recorder));
        RdmCFRConnection rdm(net);
        RegistroEnvios registro(net);

        const QDate ini(2027, 1, 1), fim(2027, 1, 15);
        const QString f = u"0001"_s, a = u"0000000001"_s;
        QString clieSelect = u"T"_s, totalCliente = u"T"_s, seqClientes = u"T"_s, quinzena = u"1"_s;
        QString comDadosApuracao = a, comDadosClientes = u"T"_s, emailFilial = f;
        QDate janelaIni = ini, janelaFim = fim;

        rdm.GetClieFili(f);
        rdm.ProPrxRelApurFat(f);
        rdm.ProRelGesDireta(f, ini, fim, a, QString());
        rdm.GetCFRSintData();
        rdm.GetClieSelect(f, a, clieSelect);
        rdm.GetTotalizacao(f, a, ini, fim, totalCliente);
        rdm.GetServSelect(f, a, u"C1"_s);
        rdm.GetQtdeEfetData(f, a, u"C1"_s, u"001"_s, janelaIni, janelaFim);
        rdm.SetCRFSintDados(QJsonObject{{u"fields"_s, QJsonArray()}, {u"rows"_s, QJsonArray()}});
        rdm.GetCFRSintServ();
        rdm.GetQtdeEfetServ(f, a, u"C1"_s, ini, fim);
        rdm.GetSequencial(ini, f, seqClientes, a, u"C1"_s, quinzena);
        rdm.DelCRFSintDados(f, a);
        rdm.ProDelTableRelApur(f, a);
        rdm.clientesComDados(f, comDadosApuracao, ini, fim, comDadosClientes);
        rdm.EmailFilial(emailFilial);
        (void)registro.ReservaEnvio(f, ini, fim, u"00"_s, u"C1"_s, u"abc"_s, u"a@b.c"_s, u"pc"_s, Reenvio::Nao);
        (void)registro.ConcluiEnvio(u"token"_s, true, u"250 ok"_s);
        registro.SituacaoEnvios(f, ini, fim, u"00"_s);

        QSet<QString> called;
        for (const test::RecordedCall &call : recorder->calls()) {
            const contract::MethodContract *m = contract::findMethod(call.method);
            QVERIFY2(m, qPrintable(call.method));
            called.insert(m->name);
            QCOMPARE(call.args.size(), m->args.size());
            for (int i = 0; i < m->args.size(); ++i) {
                const QJsonValue v = call.args.at(i);
                const bool fits = m->args.at(i) == contract::ArgKind::Text   ? v.isString()
                                  : m->args.at(i) == contract::ArgKind::Date ? v.isDouble()
                                                                             : v.isObject();
                QVERIFY2(fits, qPrintable(u"%1, argumento %2"_s.arg(m->name).arg(i + 1)));
            }
        }
        QCOMPARE(called.size(), contract::rdmCfrMethods().size());

        QCOMPARE(clieSelect, u"R2"_s);
        QCOMPARE(totalCliente, u"R4"_s);
        QCOMPARE(janelaIni, ini.addDays(5));
        QCOMPARE(janelaFim, fim.addDays(6));
        QCOMPARE(seqClientes, u"R2"_s);
        QCOMPARE(quinzena, u"R5"_s);
        QCOMPARE(comDadosApuracao, u"R1"_s);
        QCOMPARE(comDadosClientes, u"R4"_s);
        QCOMPARE(emailFilial, u"R0"_s);
    }

    // A sequence goes out under the contract's names, each answer handed over with its
    // position, and ends where the answer says so.
    void sequencesCallByTheContract()
    {
        TNetConnection net;
        auto *recorder = new test::RecordingTransport(
            [](const QString &method, const QJsonArray &args) { return ServerResult::success(method, args); });
        recorder->setSendsTogether(true);
        net.setTransport(std::unique_ptr<RpcTransport>(recorder));
        RdmCFRConnection rdm(net);
        using M = contract::Method;
        const QList<ChamadaCFR> chamadas{{M::GetServSelect, {u"0001"_s, u"A1"_s, u"K1"_s}},
                                         {M::GetTotalizacao, {u"0001"_s, u"A1"_s, 45292, 45306, u"T"_s}},
                                         {M::GetServSelect, {u"0001"_s, u"A1"_s, u"K2"_s}}};
        QStringList answered;
        rdm.EmSequencia(chamadas, [&](qsizetype i, const ServerResult &r) {
            answered << u"%1 %2"_s.arg(i).arg(r.data.toString());
            return i < 1;
        });
        QCOMPARE(answered, (QStringList{u"0 GetServSelect"_s, u"1 GetTotalizacao"_s}));
        QCOMPARE(recorder->methods(), (QStringList{u"GetServSelect"_s, u"GetTotalizacao"_s, u"GetServSelect"_s}));
        QCOMPARE(recorder->calls().at(1).args, chamadas.at(1).args);
    }

    // The server runs every method of the contract, and refuses a call that does not fit.
    void serverRunsEveryMethod()
    {
        for (const contract::MethodContract &m : contract::rdmCfrMethods()) {
            const appserver::rdmcfr::MethodSpec *entry = appserver::rdmcfr::findMethod(m.name);
            QVERIFY2(entry && entry->run, qPrintable(m.name));
            QJsonArray fits;
            for (contract::ArgKind k : m.args)
                fits.append(k == contract::ArgKind::Text   ? QJsonValue(u"x"_s)
                            : k == contract::ArgKind::Date ? QJsonValue(46388)
                                                           : QJsonValue(QJsonObject()));
            QCOMPARE(appserver::rdmcfr::checkArgs(*entry, fits), QString());
            fits.append(u"a mais"_s);
            QVERIFY(!appserver::rdmcfr::checkArgs(*entry, fits).isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TstContract)
#include "tst_contract.moc"
