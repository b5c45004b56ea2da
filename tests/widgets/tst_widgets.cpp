// The host's widgets under the offscreen platform: masked and date edits, the list picker,
// the search button, the progress overlay, and the application's exception boundary.
#include "modalhelper.h"

#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/data/datasource.h"
#include "framework/widgets/btnpesquisa.h"
#include "framework/widgets/datasourcemodel.h"
#include "framework/widgets/dateeditplus.h"
#include "framework/widgets/kprapplication.h"
#include "framework/widgets/maskedit.h"
#include "framework/widgets/pesquisalista.h"
#include "framework/widgets/showavi.h"

#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QVBoxLayout>

#include <stdexcept>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;

namespace {

// Three clients, keys in the table's order 0001, 0002, 0003.
void fillClients(TClientDataSet &t)
{
    t.AddField(u"CDCLIENTE"_s, ftString, 21);
    t.AddField(u"NMRAZSOCCLIE"_s, ftString, 50);
    t.CreateDataSet();
    for (const auto &[code, name] : {std::pair{u"0001"_s, u"Alfa"_s}, {u"0002"_s, u"Beta"_s}, {u"0003"_s, u"Gama"_s}}) {
        t.Append();
        t.FieldByName(u"CDCLIENTE"_s)->setAsString(code);
        t.FieldByName(u"NMRAZSOCCLIE"_s)->setAsString(name);
        t.Post();
    }
    t.First();
}

template<typename T>
T *child(QWidget *w, const QString &name)
{
    T *c = w->findChild<T *>(name);
    if (!c)
        qWarning("no child %s", qPrintable(name));
    return c;
}

} // namespace

class TstWidgets : public QObject
{
    Q_OBJECT

private slots:
    void maskEditUpperCasesAndLimits()
    {
        QCOMPARE(TMaskEdit::toQtInputMask(u">aaaa;0; "_s), u">nnnn; "_s);
        QCOMPARE(TMaskEdit::toQtInputMask(u"00/00/0000;1;_"_s), u"99/99/9999;_"_s);
        QCOMPARE(TMaskEdit::toQtInputMask(u"LL-\\A;0;_"_s), u"AA-\\A;_"_s);

        TMaskEdit e;
        e.setEditMask(u">aaaa;0; "_s);
        e.show();
        QTest::keyClicks(&e, u"ab1cd"_s);
        QCOMPARE(e.text(), u"AB1C"_s);
        QCOMPARE(e.Text(), u"AB1C"_s);
        e.setText(u"1"_s);
        QCOMPARE(e.text(), u"1"_s); // no blanks in the text
        e.clear();
        QCOMPARE(e.text(), QString());

        // With ";0;" the host's text drops the literals.
        TMaskEdit cpf;
        cpf.setEditMask(u"000.000;0;_"_s);
        cpf.show();
        QTest::keyClicks(&cpf, u"123456"_s);
        QCOMPARE(cpf.displayText(), u"123.456"_s);
        QCOMPARE(cpf.Text(), u"123456"_s);
    }

    void dateEditTyping()
    {
        TDateEditPlus d;
        d.show();
        QVERIFY(!d.GetDate().isValid());
        QVERIFY(d.GetPrimDia().isNull());
        QTest::keyClicks(&d, u"150"_s);
        QCOMPARE(d.text(), u"15/0"_s); // the slash comes with the next digit
        QVERIFY(!d.hasValidDate());
        d.clear();
        QTest::keyClicks(&d, u"1/2/2026"_s);
        QCOMPARE(d.text(), u"01/02/2026"_s);
        QCOMPARE(d.GetDate(), QDate(2026, 2, 1));
        QCOMPARE(d.palette().color(QPalette::Text), QColor(Qt::blue));
        QTest::keyClicks(&d, u"7"_s); // full: no more digits
        QCOMPARE(d.text(), u"01/02/2026"_s);

        d.SetDate(QDate(2026, 2, 15));
        QCOMPARE(d.text(), u"15/02/2026"_s);
        QCOMPARE(d.GetPrimDia(), QDate(2026, 2, 1));
        d.SetDate(QDate());
        QCOMPARE(d.text(), QString());
        QVERIFY(d.palette().color(QPalette::Text) != QColor(Qt::blue));

        QWidget *popup = d.calendarPopup();
        QStringList names;
        for (int i = 0; i < 7; ++i)
            names << child<QLabel>(popup, u"lblDiaSemana%1"_s.arg(i))->text();
        QCOMPARE(names, (QStringList{u"Domingo"_s, u"Segunda"_s, u"Terça"_s, u"Quarta"_s, u"Quinta"_s, u"Sexta"_s,
                                     u"Sábado"_s}));
    }

    void invalidDateIsReportedAndAborts()
    {
        QWidget w;
        auto *other = new QPushButton(&w);
        auto *d = new TDateEditPlus(&w);
        auto *layout = new QVBoxLayout(&w);
        layout->addWidget(other);
        layout->addWidget(d);
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));

        d->clear();
        d->CheckValidDate(); // an empty date is no invalid date

        d->setText(u"31/02/2026"_s);
        QVERIFY(!d->hasValidDate());
        other->setFocus();
        QString shown;
        whenModal([&](QWidget *m) {
            if (auto *box = qobject_cast<QMessageBox *>(m)) {
                shown = box->text();
                QCOMPARE(box->icon(), QMessageBox::Critical);
            }
            m->close();
        });
        QVERIFY_THROWS_EXCEPTION(EAbort, d->CheckValidDate());
        QCOMPARE(shown, u"Data inválida: 31/02/2026."_s);
        QCOMPARE(w.focusWidget(), d); // the window gives it the focus once it is active again

        d->setText(u"12/03/20"_s); // incomplete
        setErrorPresenter([&](const QString &t) { shown = t; });
        QVERIFY_THROWS_EXCEPTION(EAbort, d->CheckValidDate());
        QCOMPARE(shown, u"Data inválida: 12/03/20."_s);
        installMessageBoxPresenter();
    }

    void listPickerSelectionInAndOut()
    {
        TClientDataSet t(u"qryClieFili"_s);
        fillClients(t);
        TDataSource src(u"dtsCliente"_s, &t);

        // In: "_0003_" starts checked. Checked then: 0001. Out in the table's order.
        QString sel = u"_0003_"_s;
        QList<bool> startChecks;
        whenModal([&](QWidget *dlg) {
            auto *view = child<QTableView>(dlg, u"grdPesquisaLista"_s);
            QAbstractItemModel *m = view->model();
            for (int r = 0; r < m->rowCount(); ++r)
                startChecks << (m->data(m->index(r, 0), Qt::CheckStateRole).toInt() == Qt::Checked);
            m->setData(m->index(0, 0), Qt::Checked, Qt::CheckStateRole);
            child<QPushButton>(dlg, u"btnOk"_s)->click();
        });
        QVERIFY(PesquisaLista(&src, u"CDCLIENTE"_s, u"Cliente"_s, false, sel));
        QCOMPARE(startChecks, (QList<bool>{false, false, true}));
        QCOMPARE(sel, u"_0001__0003_"_s);
        QCOMPARE(t.RecNo(), 1); // the picker leaves the table's cursor where it was

        // Cancel keeps the selection, whatever was checked meanwhile.
        whenModal([&](QWidget *dlg) {
            child<QPushButton>(dlg, u"btnMarcarTodos"_s)->click();
            child<QPushButton>(dlg, u"btnCancelar"_s)->click();
        });
        QVERIFY(!PesquisaLista(&src, u"CDCLIENTE"_s, u"Cliente"_s, false, sel));
        QCOMPARE(sel, u"_0001__0003_"_s);

        // Nothing checked and OK: an empty selection.
        whenModal([&](QWidget *dlg) {
            child<QPushButton>(dlg, u"btnDesmarcarTodos"_s)->click();
            child<QPushButton>(dlg, u"btnOk"_s)->click();
        });
        QVERIFY(PesquisaLista(&src, u"CDCLIENTE"_s, u"Cliente"_s, false, sel));
        QCOMPARE(sel, QString());

        QVERIFY(selectionHas(u"_01__1_"_s, u"1"_s));
        QVERIFY(!selectionHas(u"_01__10_"_s, u"1"_s));
    }

    void searchButtonPicksARow()
    {
        TClientDataSet t(u"qryFilial"_s);
        fillClients(t);
        TDataSource src(u"dtsFilial"_s, &t);
        QWidget w;
        auto *edit = new QLineEdit(&w);
        auto *btn = new TBtnPesquisa(&w);
        btn->setDataSource(&src);
        btn->setAssociate(edit);
        btn->setEmptyError(u"Não há filial cadastrada."_s);
        int before = 0;
        QString pickedName;
        btn->OnBeforePesq = [&](QObject *, bool &) { ++before; };
        btn->OnAfterPesq = [&](QObject *) { pickedName = t.FieldByName(u"NMRAZSOCCLIE"_s)->AsString(); };

        whenModal([&](QWidget *dlg) {
            child<QTableView>(dlg, u"grdPesquisa"_s)->selectRow(1);
            child<QPushButton>(dlg, u"btnOk"_s)->click();
        });
        QVERIFY(btn->Pesquisar());
        QCOMPARE(before, 1);
        QCOMPARE(edit->text(), u"0002"_s);
        QCOMPARE(pickedName, u"Beta"_s);

        // The before-handler can call the search off.
        btn->OnBeforePesq = [](QObject *, bool &flag) { flag = false; };
        QVERIFY(!btn->Pesquisar());

        // An empty source shows the button's text; a click stops behind the boundary.
        btn->OnBeforePesq = nullptr;
        t.EmptyDataSet();
        QStringList shown;
        setErrorPresenter([&](const QString &s) { shown << s; });
        btn->click();
        QCOMPARE(shown, QStringList{u"Não há filial cadastrada."_s});
        installMessageBoxPresenter();
    }

    void showAviComesDownOnEveryExit()
    {
        QWidget form;
        form.resize(300, 200);
        form.show();
        try {
            ShowAviGuard outer(&form, 1, u"Excluindo registros temporários..."_s);
            QVERIFY(showAviOverlay(&form) && showAviOverlay(&form)->isVisible());
            {
                ShowAviGuard inner(&form, u"Gerando dados para o relatório..."_s);
                QCOMPARE(showAviText(&form), u"Gerando dados para o relatório..."_s);
                QCOMPARE(showAviOverlay(&form)->geometry(), form.rect());
            }
            QCOMPARE(showAviText(&form), u"Excluindo registros temporários..."_s);
            throw EKprError(u"falhou"_s);
        } catch (const EKprError &) {}
        QVERIFY(!showAviOverlay(&form));
        DeactiveShowAvi(&form); // nothing shown: nothing happens
    }

    void exceptionNeverReachesTheEventLoop()
    {
        QStringList shown;
        setErrorPresenter([&](const QString &s) { shown << s; });
        QPushButton b;
        // Connected without any guard of its own: the application object is the last one.
        QObject::connect(&b, &QPushButton::clicked, [] { throw std::runtime_error("falha no clique"); });
        QObject::connect(&b, &QPushButton::pressed, [] { Abort(); });
        b.show();
        QTest::mouseClick(&b, Qt::LeftButton);
        QCOMPARE(shown, QStringList{u"falha no clique"_s}); // the abort stayed silent
        installMessageBoxPresenter();
    }
};

int main(int argc, char **argv)
{
    KprApplication app(argc, argv);
    TstWidgets t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_widgets.moc"
