// Message tables, the silent abort and the result check.
#include "framework/core/abort.h"
#include "framework/core/messages.h"
#include "framework/core/serverresult.h"

#include <QTest>

#include <stdexcept>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

class TstMessages : public QObject
{
    Q_OBJECT

    QStringList shown;

private slots:
    void init()
    {
        shown.clear();
        setErrorPresenter([this](const QString &t) { shown << t; });
    }
    void cleanup() { setErrorPresenter({}); }

    void lookUpByKey()
    {
        TMessages msg({u"Filial_inf|Filial deve ser informada."_s,
                       u"Arq_Rel_Err|O arquivo '%s' não foi encontrado | nem lido."_s, u"DIR_REL_SALVOS|CFR\\"_s,
                       u"Filial_inf|a second line of a key does not replace the first"_s});
        QCOMPARE(msg.Msg(u"Filial_inf"_s), u"Filial deve ser informada."_s);
        // Only the first bar separates: the text may hold bars of its own.
        QCOMPARE(msg.Msg(u"Arq_Rel_Err"_s), u"O arquivo '%s' não foi encontrado | nem lido."_s);
        QCOMPARE(msg.Msg(u"DIR_REL_SALVOS"_s), u"CFR\\"_s);
    }

    void missingKeyIsLoud()
    {
        TMessages msg({u"a|b"_s});
        msg.setObjectName(u"msgPadrao"_s);
        try {
            msg.Msg(u"Filial_cad"_s);
            QFAIL("a missing key must not answer a text");
        } catch (const std::logic_error &e) {
            const QString what = QString::fromUtf8(e.what());
            QVERIFY2(what.contains(u"Filial_cad"_s) && what.contains(u"msgPadrao"_s), e.what());
        }
    }

    void silentAbortStopsHandlerWithoutMessage()
    {
        bool after = false;
        const bool completed = runGuarded([&] {
            Abort();
            after = true;
        });
        QVERIFY(!completed);
        QVERIFY(!after);
        QVERIFY(shown.isEmpty());
    }

    void mensErroShowsOnceThenAborts()
    {
        int steps = 0;
        runGuarded([&] {
            ++steps;
            MensErro(u"Filial não cadastrada."_s, true);
            ++steps;
        });
        QCOMPARE(steps, 1);
        QCOMPARE(shown, QStringList{u"Filial não cadastrada."_s});

        // Without the abort flag the box is shown and the action goes on.
        runGuarded([&] {
            MensErro(u"aviso"_s, false);
            ++steps;
        });
        QCOMPARE(steps, 2);
    }

    void otherExceptionsReachTheStandardBox()
    {
        runGuarded([] { throw std::runtime_error("disco cheio"); });
        runGuarded([] { throw EKprError(u"Falha ao gravar o relatório."_s); });
        runGuarded([] { throw 42; });
        QCOMPARE(shown, (QStringList{u"disco cheio"_s, u"Falha ao gravar o relatório."_s, u"Erro inesperado."_s}));
    }

    void checkResultServ()
    {
        const auto good = ServerResult::success(QJsonValue(u"0000000007"_s));
        QCOMPARE(CheckResultServ(good, true, 0).toString(), u"0000000007"_s);
        QVERIFY(shown.isEmpty());

        bool reached = false;
        runGuarded([&] {
            CheckResultServ(ServerResult::failure(u"Filial 0009 inexistente."_s), true, 0);
            reached = true;
        });
        QVERIFY(!reached);
        QCOMPARE(shown, QStringList{u"Filial 0009 inexistente."_s});

        // With the flag off the failure is still reported, but the caller goes on.
        QVERIFY(CheckResultServ(ServerResult::failure(u"x"_s), false, 0).isNull());
        QCOMPARE(shown.size(), 2);
    }

    void guardedSlotForwardsArguments()
    {
        int got = 0;
        auto slot = guarded([&](int v) {
            got = v;
            Abort();
        });
        slot(5); // must not throw out of the slot
        QCOMPARE(got, 5);
    }
};

QTEST_APPLESS_MAIN(TstMessages)
#include "tst_messages.moc"
