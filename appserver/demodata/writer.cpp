#include "appserver/demodata/writer.h"

#include "appserver/schema/migrate.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

#include <optional>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace kpr::demodata {

namespace {

// The tables the tool fills or that refer to their rows, children before parents.
const QStringList &dataTables()
{
    static const QStringList tables{
        u"EFETIVO"_s,  u"PRECSERV"_s, u"APURFATGD"_s, u"CFRSINTDATA"_s, u"SEQCFR"_s,
        u"CLIEFILI"_s, u"SERVFILI"_s, u"GRUPSERV"_s,  u"CLIENTE"_s,     u"FILIAL"_s,
    };
    return tables;
}

// Multi-row INSERT with bound values: one statement carries up to rowsPerStatement rows,
// which saves the per-statement cost of the driver (a round trip each on PostgreSQL).
class BatchInsert
{
public:
    BatchInsert(QSqlDatabase db, QString table, QStringList columns, int rowsPerStatement = 100)
        : m_db(std::move(db)),
          m_table(std::move(table)),
          m_columns(std::move(columns)),
          m_rowsPerStatement(rowsPerStatement),
          m_full(m_db)
    {
        m_pending.reserve(std::size_t(m_rowsPerStatement) * std::size_t(m_columns.size()));
    }

    bool add(std::initializer_list<QVariant> values)
    {
        Q_ASSERT(qsizetype(values.size()) == m_columns.size());
        m_pending.insert(m_pending.end(), values);
        if (m_pending.size() == std::size_t(m_rowsPerStatement) * std::size_t(m_columns.size()))
            return flush();
        return true;
    }

    bool finish() { return m_pending.empty() || flush(); }
    qint64 rows() const { return m_rows; }
    const QString &error() const { return m_error; }

private:
    QString sql(int rows) const
    {
        QString row = u"("_s;
        for (qsizetype i = 0; i < m_columns.size(); ++i)
            row += i ? u",?"_s : u"?"_s;
        row += u')';
        QString s = u"INSERT INTO "_s + m_table + u" ("_s + m_columns.join(u',') + u") VALUES "_s;
        for (int r = 0; r < rows; ++r)
            s += r ? u',' + row : row;
        return s;
    }

    bool flush()
    {
        const int rows = int(m_pending.size() / std::size_t(m_columns.size()));
        std::optional<QSqlQuery> last; // the shorter statement of the final rows
        QSqlQuery *q = &m_full;
        if (rows == m_rowsPerStatement) {
            if (!m_prepared && !(m_prepared = m_full.prepare(sql(rows))))
                return fail(m_full);
        } else {
            q = &last.emplace(m_db);
            if (!q->prepare(sql(rows)))
                return fail(*q);
        }
        for (std::size_t i = 0; i < m_pending.size(); ++i)
            q->bindValue(int(i), m_pending[i]);
        if (!q->exec())
            return fail(*q);
        m_rows += rows;
        m_pending.clear();
        return true;
    }

    bool fail(const QSqlQuery &q)
    {
        m_error = u"Falha ao gravar %1: %2"_s.arg(m_table, q.lastError().text());
        return false;
    }

    QSqlDatabase m_db;
    QString m_table;
    QStringList m_columns;
    int m_rowsPerStatement;
    QSqlQuery m_full;
    bool m_prepared = false;
    std::vector<QVariant> m_pending;
    qint64 m_rows = 0;
    QString m_error;
};

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

QVariant isoDate(const QDate &date)
{
    return date.toString(Qt::ISODate);
}

// Cents as the exact decimal text "18.90", which both databases store in NUMERIC(12,2)
// without a binary rounding step.
QVariant money(int cents)
{
    return u"%1.%2"_s.arg(cents / 100).arg(cents % 100, 2, 10, QLatin1Char('0'));
}

Status writeRows(QSqlDatabase &db, const DataSet &data, WriteCounts &counts)
{
    const auto failed = [](const BatchInsert &b) { return Status(makeError(b.error())); };

    BatchInsert filial(db, u"FILIAL"_s,
                       {u"CDFILIAL"_s, u"NMFILIAL"_s, u"NRINSJURFILI"_s, u"DSENDEFILI"_s, u"NMBAIRFILI"_s,
                        u"NMMUNIFILI"_s, u"SGESTADOFILI"_s, u"NRCEPFILI"_s, u"NRTELEFILI"_s, u"DTPROCFILI"_s,
                        u"DSLOGINSMTP"_s, u"DSEMAILFILI"_s, u"CDSENHEMAILF"_s, u"DSSMTPEMAILF"_s, u"IDUTTLSEMAIL"_s,
                        u"IDUTSSLEMAIL"_s, u"DSEMAILSMTP"_s},
                       10);
    for (const Branch &b : data.branches) {
        // No password: its cipher belongs to the framework, and the local demo SMTP server
        // does not ask for one.
        if (!filial.add({b.code, b.name, b.cnpj, b.address, b.district, b.city, b.state, b.cep, b.phone,
                         isoDate(b.processingDate), textOrNull(b.smtpLogin), b.email, textOrNull(QString()),
                         b.smtpServer, b.useTls, b.useSsl, textOrNull(b.smtpSender)}))
            return failed(filial);
    }
    if (!filial.finish())
        return failed(filial);
    counts.filial = filial.rows();

    BatchInsert cliente(db, u"CLIENTE"_s,
                        {u"CDCLIENTE"_s, u"IDTPIJURCLIE"_s, u"NRINSJURCLIE"_s, u"NMRAZSOCCLIE"_s, u"NMFANTCLIE"_s,
                         u"DSENDECLIE"_s, u"NMBAIRCLIE"_s, u"NMMUNICLIE"_s, u"SGESTADOCLIE"_s, u"NRCEPCLIE"_s,
                         u"NRINSESTCLIE"_s, u"NRTELECLIE"_s, u"DSEMAIL"_s},
                        50);
    for (const Client &c : data.clients) {
        const QVariant email =
            c.email.text.isNull() ? QVariant(QMetaType::fromType<QString>()) : QVariant(c.email.text);
        if (!cliente.add({c.code, c.kind, c.registration, c.razaoSocial, c.fantasia, c.address, c.district, c.city,
                          c.state, c.cep, c.stateRegistration, c.phone, email}))
            return failed(cliente);
    }
    if (!cliente.finish())
        return failed(cliente);
    counts.cliente = cliente.rows();

    BatchInsert cliefili(db, u"CLIEFILI"_s, {u"CDFILIAL"_s, u"CDCLIENTE"_s});
    for (const Link &l : data.links)
        if (!cliefili.add({data.branches.at(l.branch).code, data.clients.at(l.client).code}))
            return failed(cliefili);
    if (!cliefili.finish())
        return failed(cliefili);
    counts.cliefili = cliefili.rows();

    BatchInsert grupserv(db, u"GRUPSERV"_s, {u"CDGRUPSERV"_s, u"NMGRUPSERV"_s});
    for (const ServiceGroupDef &g : data.groups)
        if (!grupserv.add({g.code, g.name}))
            return failed(grupserv);
    if (!grupserv.finish())
        return failed(grupserv);
    counts.grupserv = grupserv.rows();

    QList<QVariant> serviceCodes;
    for (int s = 0; s < data.services.size(); ++s)
        serviceCodes << serviceCode(s);

    BatchInsert servfili(db, u"SERVFILI"_s, {u"CDFILIAL"_s, u"CDSERVFILI"_s, u"NMSERVICO"_s, u"CDGRUPSERV"_s});
    for (const Branch &b : data.branches)
        for (int s = 0; s < data.services.size(); ++s)
            if (!servfili.add({b.code, serviceCodes.at(s), data.services.at(s).name, data.services.at(s).group}))
                return failed(servfili);
    if (!servfili.finish())
        return failed(servfili);
    counts.servfili = servfili.rows();

    // The codes of each link, bound over and over below, built once.
    QList<QVariant> linkBranch, linkClient;
    for (const Link &l : data.links) {
        linkBranch << data.branches.at(l.branch).code;
        linkClient << data.clients.at(l.client).code;
    }

    BatchInsert precserv(db, u"PRECSERV"_s,
                         {u"CDFILIAL"_s, u"CDCLIENTE"_s, u"CDSERVFILI"_s, u"DTVIGENCIA"_s, u"VRPRECUNIT"_s});
    for (const Price &p : data.prices)
        if (!precserv.add({linkBranch.at(p.link), linkClient.at(p.link), serviceCodes.at(p.service),
                           isoDate(p.validFrom), money(p.cents)}))
            return failed(precserv);
    if (!precserv.finish())
        return failed(precserv);
    counts.precserv = precserv.rows();

    QList<QVariant> days;
    for (int d = 0; d < data.options.days; ++d)
        days << isoDate(data.options.start.addDays(d));
    const QVariant nullMeals(QMetaType::fromType<int>());

    BatchInsert efetivo(db, u"EFETIVO"_s,
                        {u"CDFILIAL"_s, u"CDCLIENTE"_s, u"CDSERVFILI"_s, u"DTEFETIVO"_s, u"NREFETIVOS"_s}, 200);
    bool ok = true;
    forEachEfetivo(data, [&](const Efetivo &e) {
        if (ok)
            ok = efetivo.add({linkBranch.at(e.link), linkClient.at(e.link), serviceCodes.at(e.service), days.at(e.day),
                              e.meals < 0 ? nullMeals : QVariant(e.meals)});
    });
    if (!ok || !efetivo.finish())
        return failed(efetivo);
    counts.efetivo = efetivo.rows();
    return {};
}

} // namespace

Result<QString> firstTableWithData(QSqlDatabase &db)
{
    QSqlQuery q(db);
    for (const QString &table : dataTables()) {
        // Table names come from the list above, never from input.
        if (!q.exec(u"SELECT 1 FROM "_s + table + u" LIMIT 1"_s))
            return makeError(u"Não foi possível ler a tabela %1: %2"_s.arg(table, q.lastError().text()));
        if (q.next())
            return table;
    }
    // The record of issued apuration numbers counts as data too, though --replace keeps it.
    if (!q.exec(u"SELECT 1 FROM APURACAO LIMIT 1"_s))
        return makeError(u"Não foi possível ler a tabela APURACAO: %1"_s.arg(q.lastError().text()));
    if (q.next())
        return u"APURACAO"_s;
    return QString();
}

Result<WriteCounts> writeDataSet(QSqlDatabase &db, const DataSet &data, bool replace)
{
    if (const Status migrated = kpr::appserver::migrate(db); !migrated)
        return makeError(migrated.error());

    const auto occupied = firstTableWithData(db);
    if (!occupied)
        return makeError(occupied.error());
    if (!occupied->isEmpty() && !replace)
        return makeError(u"O banco de dados já tem dados (tabela %1). Use --replace para "
                         "apagá-los e gravar os dados de demonstração."_s.arg(*occupied));

    if (!db.transaction())
        return makeError(u"Não foi possível iniciar a transação: %1"_s.arg(db.lastError().text()));
    const auto abandon = [&db](const QString &why) {
        db.rollback();
        return makeError(why);
    };
    if (replace) {
        QSqlQuery q(db);
        for (const QString &table : dataTables())
            if (!q.exec(u"DELETE FROM "_s + table))
                return abandon(u"Não foi possível apagar a tabela %1: %2"_s.arg(table, q.lastError().text()));
    }
    WriteCounts counts;
    if (const Status written = writeRows(db, data, counts); !written)
        return abandon(written.error());
    if (!db.commit())
        return abandon(u"Não foi possível gravar os dados: %1"_s.arg(db.lastError().text()));
    return counts;
}

QString describeCounts(const WriteCounts &c)
{
    return u"FILIAL %1, CLIENTE %2, CLIEFILI %3, GRUPSERV %4, SERVFILI %5, PRECSERV %6, EFETIVO %7"_s.arg(c.filial)
        .arg(c.cliente)
        .arg(c.cliefili)
        .arg(c.grupserv)
        .arg(c.servfili)
        .arg(c.precserv)
        .arg(c.efetivo);
}

} // namespace kpr::demodata
