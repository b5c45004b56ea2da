// The layouts' query parameters from a selection, without a window: the client and
// service-group choices, the fortnight and the end of the period as the layouts compare
// them, and the statement refused when its CFR number is.
#include "cfr/report/parametrosrelatorio.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::cfr;

class TstParametrosRelatorio : public QObject
{
    Q_OBJECT

    static SelecaoRelatorio selecao(const QDate &inicio, const QDate &fim)
    {
        SelecaoRelatorio s;
        s.filial = u"0001"_s;
        s.apuracao = u"0000000042"_s;
        s.textoInicial = inicio.toString(u"dd/MM/yyyy"_s);
        s.textoFinal = fim.toString(u"dd/MM/yyyy"_s);
        s.inicio = inicio;
        s.fim = fim;
        return s;
    }

    static QVariantMap mapa(const ValoresParametros &v)
    {
        QVariantMap m;
        for (const auto &[nome, valor] : v)
            m.insert(nome, valor);
        return m;
    }

private slots:
    void valores_data()
    {
        QTest::addColumn<bool>("todos");
        QTest::addColumn<int>("grupos"); // 0 neither option, 1 Todos, 2 Lista
        QTest::addColumn<QDate>("inicio");
        QTest::addColumn<QDate>("fim");
        QTest::addColumn<QString>("cliente");
        QTest::addColumn<QString>("tcliente");
        QTest::addColumn<QVariant>("grupo");
        QTest::addColumn<QString>("quinzena");
        QTest::addColumn<double>("fimComparado");

        // 31/01/2027 is day 46418 counted from 30/12/1899: the layouts compare against the
        // start of the next day.
        QTest::newRow("todos, segunda quinzena") << true << 1 << QDate(2027, 1, 16) << QDate(2027, 1, 31) << u"T"_s
                                                 << u"T"_s << QVariant(u"T"_s) << u"16/01/2027"_s << 46419.0;
        QTest::newRow("lista, dia 15 é primeira quinzena")
            << false << 2 << QDate(2027, 2, 15) << QDate(2027, 2, 28) << u"_12.3_123_"_s << QString()
            << QVariant(u"_01_02_"_s) << u"01/02/2027"_s << 46447.0;
        QTest::newRow("sem opção de grupo") << true << 0 << QDate(2027, 2, 1) << QDate(2027, 2, 28) << u"T"_s << u"T"_s
                                            << QVariant() << u"01/02/2027"_s << 46447.0;
    }

    void valores()
    {
        QFETCH(bool, todos);
        QFETCH(int, grupos);
        QFETCH(QDate, inicio);
        QFETCH(QDate, fim);
        SelecaoRelatorio s = selecao(inicio, fim);
        s.todosClientes = todos;
        s.clientesLista = u"_12.3_123_"_s;
        s.grupServTodos = grupos == 1;
        s.grupServLista = grupos == 2;
        s.gruposLista = u"_01_02_"_s;

        const auto r = ParametrosEmissao(s, std::nullopt);
        QVERIFY2(r.ok(), qPrintable(r.error()));
        const QVariantMap m = mapa(ParametrosSelecao(s) + *r);
        QCOMPARE(m.value(u"P_CDFILIAL"_s).toString(), u"0001"_s);
        QCOMPARE(m.value(u"P_NRAPURACGD"_s).toString(), u"0000000042"_s);
        QTEST(m.value(u"P_CDCLIENTE"_s).toString(), "cliente");
        QTEST(m.value(u"P_TCDCLIENTE"_s).toString(), "tcliente");
        QCOMPARE(m.value(u"P_DATAINI"_s).toString(), s.textoInicial);
        QCOMPARE(m.value(u"P_DATAFIN"_s).toString(), s.textoFinal);
        QCOMPARE(m.value(u"P_DTINICIAL"_s).toDate(), inicio);
        QCOMPARE(m.value(u"P_DTFINAL"_s).toDate(), fim);
        QTEST(m.value(u"P_DTFINALCOMP"_s).toDouble(), "fimComparado");
        QTEST(m.value(u"P_DTCDRS"_s).toString(), "quinzena");
        QFETCH(QVariant, grupo);
        QCOMPARE(m.contains(u"P_CDGRUPSERV"_s), grupo.isValid());
        QCOMPARE(m.value(u"P_CDGRUPSERV"_s), grupo);
    }

    // The CFR number's answer decides: an empty text grants it, any other text is the
    // refusal shown to the user, and a call that failed stops the statement too.
    void sequencia()
    {
        const SelecaoRelatorio s = selecao(QDate(2027, 1, 1), QDate(2027, 1, 15));
        QVERIFY(ParametrosEmissao(s, ServerResult::success(QJsonValue(u""_s))).ok());
        const auto recusa = ParametrosEmissao(s, ServerResult::success(QJsonValue(u"CFR já emitido."_s)));
        QVERIFY(!recusa.ok());
        QCOMPARE(recusa.error(), u"CFR já emitido."_s);
        const auto falha = ParametrosEmissao(s, ServerResult::failure(u"Servidor inacessível."_s));
        QVERIFY(!falha.ok());
        QCOMPARE(falha.error(), u"Servidor inacessível."_s);
    }
};

QTEST_GUILESS_MAIN(TstParametrosRelatorio)
#include "tst_parametrosrelatorio.moc"
