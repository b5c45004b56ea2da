// kpr-demodata: fills the application server's database with a realistic, deterministic
// demo data set of a chosen size.

#include "appserver/demodata/generator.h"
#include "appserver/demodata/writer.h"
#include "framework/db/databaseurl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace kpr;
using namespace kpr::demodata;

namespace {

// The 1st of the month two months before today's, but not before 1 January of this year:
// with the default 62 days the demo covers the recent weeks.
QDate defaultStart()
{
    const QDate today = QDate::currentDate();
    const QDate start = QDate(today.year(), today.month(), 1).addMonths(-2);
    return start.year() < today.year() ? QDate(today.year(), 1, 1) : start;
}

int fail(const QString &text, int code = 1)
{
    QTextStream(stderr) << u"kpr-demodata: "_s << text << Qt::endl;
    return code;
}

bool readInt(const QCommandLineParser &p, const QString &name, int &out)
{
    if (!p.isSet(name))
        return true;
    bool ok = false;
    out = p.value(name).toInt(&ok);
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"kpr-demodata"_s);

    const Options defaults;
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Grava dados de demonstração (filiais, clientes, serviços, preços e efetivos diários) "
        "no banco do servidor de aplicação, criando ou migrando o esquema. Os mesmos "
        "argumentos e a mesma semente dão sempre os mesmos dados.\n\n"
        "Um banco que já tem dados é recusado, a menos que --replace seja informado: então as "
        "tabelas de dados são esvaziadas antes (os contadores e o registro das apurações "
        "emitidas são mantidos). Tudo é gravado numa transação: uma falha deixa o banco como "
        "estava."_s);
    // Qt's own help option and headings are English; this program speaks Portuguese.
    const QCommandLineOption help({u"h"_s, u"help"_s}, u"Mostra esta ajuda."_s);
    parser.addOption(help);
    parser.addOptions({
        {u"db"_s, u"Banco: sqlite:CAMINHO ou postgresql://USUARIO@HOST:PORTA/BANCO."_s, u"url"_s},
        {u"branches"_s, u"Número de filiais (padrão %1)."_s.arg(defaults.branches), u"N"_s},
        {u"clients"_s, u"Número de clientes (padrão %1)."_s.arg(defaults.clients), u"N"_s},
        {u"services"_s, u"Serviços por filial (padrão %1)."_s.arg(defaults.services), u"N"_s},
        {u"days"_s, u"Dias de efetivos a partir de --start (padrão %1)."_s.arg(defaults.days), u"N"_s},
        {u"start"_s,
         u"Primeiro dia, AAAA-MM-DD (padrão: dia 1 do mês de dois meses atrás, "
         "não antes de 1º de janeiro do ano corrente)."_s,
         u"data"_s},
        {u"seed"_s, u"Semente dos números aleatórios (padrão %1)."_s.arg(defaults.seed), u"N"_s},
        {u"replace"_s, u"Apaga os dados existentes antes de gravar."_s},
    });
    parser.process(app);
    if (parser.isSet(help)) {
        QString text = parser.helpText();
        text.replace(u"Usage:"_s, u"uso:"_s).replace(u"Options:"_s, u"Opções:"_s);
        QTextStream(stdout) << text;
        return 0;
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(u"argumento inesperado \"%1\" (veja --help)."_s.arg(parser.positionalArguments().first()), 2);
    if (!parser.isSet(u"db"_s))
        return fail(u"informe o banco com --db (veja --help)."_s, 2);

    Options o;
    for (const auto &[name, field] : {std::pair{u"branches"_s, &o.branches}, std::pair{u"clients"_s, &o.clients},
                                      std::pair{u"services"_s, &o.services}, std::pair{u"days"_s, &o.days}}) {
        if (!readInt(parser, name, *field))
            return fail(u"--%1 deve ser um número inteiro."_s.arg(name), 2);
    }
    if (parser.isSet(u"seed"_s)) {
        bool ok = false;
        o.seed = parser.value(u"seed"_s).toULongLong(&ok);
        if (!ok)
            return fail(u"--seed deve ser um número inteiro não negativo."_s, 2);
    }
    o.start = parser.isSet(u"start"_s) ? QDate::fromString(parser.value(u"start"_s), Qt::ISODate) : defaultStart();
    if (const QString why = checkOptions(o); !why.isEmpty())
        return fail(why, 2);

    const auto url = DatabaseUrl::parse(parser.value(u"db"_s));
    if (!url)
        return fail(url.error(), 2);

    QElapsedTimer timer;
    timer.start();
    int rc = 0;
    {
        const auto opened = openDatabase(*url, u"kpr-demodata"_s);
        if (!opened)
            return fail(opened.error());
        QSqlDatabase db = *opened;
        const DataSet data = generate(o);
        const auto written = writeDataSet(db, data, parser.isSet(u"replace"_s));
        if (!written) {
            rc = fail(written.error());
        } else {
            QTextStream(stdout) << u"kpr-demodata: %1: %2 linhas gravadas em %3 s"_s.arg(
                url->display(), describeCounts(*written), QString::number(double(timer.elapsed()) / 1000.0, 'f', 2))
                                << Qt::endl;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"kpr-demodata"_s);
    return rc;
}
