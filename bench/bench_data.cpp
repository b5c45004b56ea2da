// Timings of the in-memory tables on the shapes the statement passes use:
//  1. insert + post of 1,000,000 rows of the by-service statement (index on its 5-field key);
//  2. the median time of one case-insensitive Locate on that key;
//  3. loading a 300,000-row packet of by-date quantity records, from its text, from a QJsonObject
//     and as the result of a server answer (reading the answer, then setData);
// and the peak memory of the process. Build in release; run `bench_data [rows]`.
#include "framework/core/dates.h"
#include "framework/data/clientdataset.h"
#include "framework/net/httptransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

const QString keyFields = u"CDFILIAL;CDCLIENTE;NRAPURACGD;DTAPURACFAT;IDGRUPO"_s;

void defineServTable(TClientDataSet &ds)
{
    ds.AddField(u"IDGRUPO"_s, ftString, 3);
    ds.AddField(u"CDFILIAL"_s, ftString, 4);
    ds.AddField(u"NMFILIAL"_s, ftString, 30);
    ds.AddField(u"IDTPIJURCLIE"_s, ftString, 1);
    ds.AddField(u"NRINSJURCLIE"_s, ftString, 20);
    ds.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
    ds.AddField(u"NRAPURACGD"_s, ftString, 10);
    ds.AddField(u"CDCLIENTE"_s, ftString, 21);
    for (int j = 1; j <= 6; ++j) {
        const QString nn = u"%1"_s.arg(j, 2, 10, QChar(u'0'));
        ds.AddField(u"CDSERVICO"_s + nn, ftString, 3);
        ds.AddField(u"NMSERVICO"_s + nn, ftString, 30);
        ds.AddField(u"QTSERVICO"_s + nn, ftFloat);
        ds.AddField(u"VRSERVICO"_s + nn, ftFloat);
    }
    ds.AddField(u"DTAPURACFAT"_s, ftDateTime);
    ds.AddField(u"DTINICIAL"_s, ftDateTime);
    ds.AddField(u"DTFINAL"_s, ftDateTime);
}

long peakKiB()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int clients = 1000, groups = 10;
    const int days = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt() / (clients * groups)) : 100;
    const int rows = clients * groups * days;
    QRandomGenerator rng(42);

    // Texts come from small pools, as in the passes, where one code is copied into many rows.
    std::vector<QString> clientCodes, groupCodes, names;
    for (int c = 0; c < clients; ++c)
        clientCodes.push_back(u"Cli%1"_s.arg(c * 7919 % 100000, 6, 10, QChar(u'0')));
    for (int g = 1; g <= groups; ++g)
        groupCodes.push_back(u"%1"_s.arg(g, 3, 10, QChar(u'0')));
    for (int c = 0; c < clients; ++c)
        names.push_back(u"Empresa de Refeições Coletivas %1 Ltda"_s.arg(c));
    const QString branch = u"0001"_s, branchName = u"Filial Centro"_s, apuration = u"0000000042"_s;
    const QString service = u"Almoço executivo"_s;
    const double d0 = toDayNumber(QDate(2026, 3, 1));
    std::vector<int> clientOrder(clients);
    for (int c = 0; c < clients; ++c)
        clientOrder[size_t(c)] = c;
    std::shuffle(clientOrder.begin(), clientOrder.end(), *QRandomGenerator::global());

    // 1. Insert + post: per client, group by group, day by day, so that most rows land inside
    // the client's range of the key (day before group), not at its end.
    TClientDataSet serv(u"qryCFRSintServ"_s);
    defineServTable(serv);
    serv.AddIndex(u"Chave"_s, keyFields, ixCaseInsensitive);
    serv.CreateDataSet();
    serv.setIndexName(u"Chave"_s);
    TField *fGrupo = serv.FieldByName(u"IDGRUPO"_s), *fFilial = serv.FieldByName(u"CDFILIAL"_s),
           *fNmFilial = serv.FieldByName(u"NMFILIAL"_s), *fTipo = serv.FieldByName(u"IDTPIJURCLIE"_s),
           *fInsc = serv.FieldByName(u"NRINSJURCLIE"_s), *fRazao = serv.FieldByName(u"NMRAZSOCCLIE"_s),
           *fApur = serv.FieldByName(u"NRAPURACGD"_s), *fCliente = serv.FieldByName(u"CDCLIENTE"_s),
           *fCdServ = serv.FieldByName(u"CDSERVICO01"_s), *fNmServ = serv.FieldByName(u"NMSERVICO01"_s),
           *fQt = serv.FieldByName(u"QTSERVICO01"_s), *fVr = serv.FieldByName(u"VRSERVICO01"_s),
           *fDia = serv.FieldByName(u"DTAPURACFAT"_s), *fIni = serv.FieldByName(u"DTINICIAL"_s),
           *fFim = serv.FieldByName(u"DTFINAL"_s);
    const QString tipo = u"J"_s, insc = u"12345678000190"_s, cdServ = u"001"_s;
    QElapsedTimer t;
    t.start();
    for (int c : clientOrder) {
        for (int g = 0; g < groups; ++g) {
            for (int d = 0; d < days; ++d) {
                serv.Append();
                fGrupo->setAsString(groupCodes[size_t(g)]);
                fFilial->setAsString(branch);
                fNmFilial->setAsString(branchName);
                fTipo->setAsString(tipo);
                fInsc->setAsString(insc);
                fRazao->setAsString(names[size_t(c)]);
                fApur->setAsString(apuration);
                fCliente->setAsString(clientCodes[size_t(c)]);
                fCdServ->setAsString(cdServ);
                fNmServ->setAsString(service);
                fQt->setAsFloat(d % 7);
                fVr->setAsFloat(12.5);
                fDia->setAsFloat(d0 + d);
                fIni->setAsFloat(d0);
                fFim->setAsFloat(d0 + days - 1);
                serv.Post();
            }
        }
    }
    const double insertS = double(t.nsecsElapsed()) / 1e9;
    std::printf("insert+post %d rows (35 fields, 5-field index active): %.3f s (%.2f us/row)\n", rows, insertS,
                insertS * 1e6 / rows);

    // 2. Locate: existing keys, the client code in another case than stored.
    std::vector<QVariantList> keys;
    for (int i = 0; i < 20000; ++i) {
        const int c = int(rng.bounded(clients)), g = int(rng.bounded(groups)), d = int(rng.bounded(days));
        keys.push_back({branch, clientCodes[size_t(c)].toUpper(), apuration, d0 + d, groupCodes[size_t(g)]});
    }
    const auto locateMedian = [&](const char *label) {
        std::vector<double> ns;
        ns.reserve(keys.size());
        int found = 0;
        for (const QVariantList &k : keys) {
            const auto a = std::chrono::steady_clock::now();
            found += serv.Locate(keyFields, k, loCaseInsensitive) ? 1 : 0;
            const auto b = std::chrono::steady_clock::now();
            ns.push_back(double(std::chrono::duration_cast<std::chrono::nanoseconds>(b - a).count()));
        }
        std::sort(ns.begin(), ns.end());
        std::printf("locate 5-field key, case-insensitive, %s: median %.2f us, p90 %.2f us (%d/%zu found)\n", label,
                    ns[ns.size() / 2] / 1000.0, ns[ns.size() * 9 / 10] / 1000.0, found, keys.size());
    };
    locateMedian("its index active");
    serv.AddIndex(u"Agrupamento"_s, u"IDTPIJURCLIE;NRINSJURCLIE;IDGRUPO;DTAPURACFAT"_s);
    serv.setIndexName(u"Agrupamento"_s);
    locateMedian("another index active");
    serv.setIndexName(QString());
    locateMedian("insertion order");
    serv.Close();

    // 3. A packet of by-date quantity records, 30 days per client and service.
    const int packetRows = 300000;
    TClientDataSet source(u"qryQtdeEfetData"_s);
    const auto defineQtde = [](TClientDataSet &ds) {
        ds.AddField(u"CDCLIENTEAPGD"_s, ftString, 21);
        ds.AddField(u"CDSERVFILIAPGD"_s, ftString, 3);
        ds.AddField(u"DTAPURACFATGD"_s, ftDateTime);
        ds.AddField(u"NREFETIVOSAPGD"_s, ftFloat);
        ds.AddField(u"IDTPIJURCLIE"_s, ftString, 1);
        ds.AddField(u"NRINSJURCLIE"_s, ftString, 20);
        ds.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
        ds.AddField(u"NMSERVICO"_s, ftString, 40);
        ds.AddField(u"VRPRECUNITAPGD"_s, ftFloat);
    };
    defineQtde(source);
    source.CreateDataSet();
    for (int i = 0; i < packetRows; ++i) {
        const int c = i / 300, s = (i / 30) % 10;
        source.Append();
        source.Fields()[0]->setAsString(u"%1"_s.arg(c, 8, 10, QChar(u'0')));
        source.Fields()[1]->setAsString(u"%1"_s.arg(s + 1, 3, 10, QChar(u'0')));
        source.Fields()[2]->setAsFloat(d0 + i % 30);
        if (i % 13)
            source.Fields()[3]->setAsFloat(40 + i % 17);
        source.Fields()[4]->setAsString(u"J"_s);
        source.Fields()[5]->setAsString(u"%1"_s.arg(c * 1000003LL % 100000000000000LL, 14, 10, QChar(u'0')));
        source.Fields()[6]->setAsString(u"Empresa Cliente %1 Refeições Ltda"_s.arg(c));
        source.Fields()[7]->setAsString(u"Serviço número %1 com sobremesa e bebida"_s.arg(s + 1));
        source.Fields()[8]->setAsFloat(10.25 + s);
        source.Post();
    }
    const QByteArray json = source.dataPacketJson();
    source.Close();

    TClientDataSet target(u"qryQtdeEfetData"_s);
    defineQtde(target);
    t.restart();
    const Status s1 = target.LoadFromPacket(json);
    const double bytesS = double(t.nsecsElapsed()) / 1e9;
    std::printf("load packet %d rows (%.1f MB of JSON) from bytes: %.3f s %s\n", target.RecordCount(),
                double(json.size()) / 1e6, bytesS, s1 ? "" : qPrintable(s1.error()));
    t.restart();
    const QJsonObject obj = QJsonDocument::fromJson(json).object();
    const double parseS = double(t.nsecsElapsed()) / 1e9;
    t.restart();
    const Status s2 = target.LoadFromPacket(obj);
    const double objS = double(t.nsecsElapsed()) / 1e9;
    std::printf("  for comparison: QJsonDocument::fromJson %.3f s + load from the QJsonObject %.3f s %s\n", parseS,
                objS, s2 ? "" : qPrintable(s2.error()));

    // The same packet as a server answer, the way the passes take it in.
    const QByteArray answer = R"({"ok":true,"result":)" + json + R"(,"refs":["0001","0000000042"]})";
    t.restart();
    const ServerResult result = parseRpcAnswer(answer, 2, u"bench"_s, u"GetQtdeEfetData"_s);
    const double answerS = double(t.nsecsElapsed()) / 1e9;
    t.restart();
    target.setData(CheckResultServ(result, true, 0));
    const double setDataS = double(t.nsecsElapsed()) / 1e9;
    std::printf("load an answer of %d rows: parseRpcAnswer %.3f s + setData(CheckResultServ) %.3f s = %.3f s\n",
                target.RecordCount(), answerS, setDataS, answerS + setDataS);

    std::printf("peak memory: %.1f MiB\n", double(peakKiB()) / 1024.0);
    return 0;
}
