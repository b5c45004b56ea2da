#include "appserver/branchemail.h"

#include "framework/core/cripto.h"

#include <QSqlError>
#include <QSqlQuery>

#include <algorithm>
#include <string>

#include <termios.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace kpr::appserver {

namespace {

// Widths of FILIAL's mail columns.
constexpr int kSmtpWidth = 40;     // DSSMTPEMAILF
constexpr int kLoginWidth = 40;    // DSLOGINSMTP
constexpr int kFromWidth = 120;    // DSEMAILSMTP
constexpr int kPasswordWidth = 20; // CDSENHEMAILF

bool hasBlank(const QString &text)
{
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control)
            return true;
    }
    return false;
}

Status tooLong(const QString &option, const QString &text, int width)
{
    if (text.size() <= width)
        return {};
    return makeError(u"%1 tem %2 caracteres; cabem no máximo %3."_s.arg(option).arg(text.size()).arg(width));
}

// HOST, HOST:PORT, [IPV6] or [IPV6]:PORT.
Status checkServer(const QString &text)
{
    const auto wrong = [&] {
        return Status(makeError(u"--smtp espera SERVIDOR ou SERVIDOR:PORTA, não \"%1\"."_s.arg(text)));
    };
    QString host = text;
    QString port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return wrong();
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return wrong();
        port = rest.mid(1);
        if (rest.startsWith(u':') && port.isEmpty())
            return wrong();
    } else if (const qsizetype colon = text.indexOf(u':'); colon >= 0) {
        host = text.left(colon);
        port = text.mid(colon + 1);
        if (port.isEmpty() || port.contains(u':'))
            return wrong();
    }
    if (host.isEmpty() || hasBlank(host))
        return wrong();
    if (!port.isEmpty()) {
        bool ok = false;
        const int n = port.toInt(&ok);
        const bool digitsOnly = std::all_of(port.begin(), port.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
        if (!ok || !digitsOnly || n < 1 || n > 65535)
            return makeError(u"--smtp: a porta deve ser um número de 1 a 65535, não \"%1\"."_s.arg(port));
    }
    return tooLong(u"--smtp"_s, text, kSmtpWidth);
}

// Plausible, not exhaustive: one "@" with something on each side and no blanks.
bool plausibleAddress(const QString &text)
{
    const qsizetype at = text.indexOf(u'@');
    return at > 0 && at < text.size() - 1 && text.count(u'@') == 1 && !hasBlank(text);
}

QVariant textOrNull(const QString &text)
{
    return text.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(text);
}

} // namespace

QString securityName(SmtpSecurity security)
{
    switch (security) {
    case SmtpSecurity::Ssl: return u"ssl"_s;
    case SmtpSecurity::StartTls: return u"starttls"_s;
    case SmtpSecurity::None: break;
    }
    return u"none"_s;
}

Result<BranchEmail> checkBranchEmail(const QString &branch, const BranchEmailArgs &args)
{
    const std::pair<const char *, const std::optional<QString> *> required[] = {
        {"--smtp", &args.smtp}, {"--login", &args.login}, {"--from", &args.from}, {"--security", &args.security}};
    for (const auto &[name, value] : required) {
        if (!*value)
            return makeError(u"--branch-email exige %1."_s.arg(QLatin1StringView(name)));
    }
    if (branch.isEmpty())
        return makeError(u"--branch-email espera o código da filial."_s);

    BranchEmail mail;
    mail.branch = branch;
    mail.smtp = *args.smtp;
    mail.login = *args.login;
    mail.from = *args.from;

    const QString security = args.security->toLower();
    if (security == u"ssl"_s)
        mail.security = SmtpSecurity::Ssl;
    else if (security == u"starttls"_s)
        mail.security = SmtpSecurity::StartTls;
    else if (security == u"none"_s)
        mail.security = SmtpSecurity::None;
    else
        return makeError(u"--security espera ssl, starttls ou none, não \"%1\"."_s.arg(*args.security));

    if (const auto s = checkServer(mail.smtp); !s)
        return makeError(s.error());
    if (const auto s = tooLong(u"--login"_s, mail.login, kLoginWidth); !s)
        return makeError(s.error());
    if (const auto s = tooLong(u"--from"_s, mail.from, kFromWidth); !s)
        return makeError(s.error());
    if (!mail.from.isEmpty() && !plausibleAddress(mail.from))
        return makeError(u"--from espera um endereço de e-mail como cfr@empresa.com.br, não \"%1\"."_s.arg(mail.from));
    return mail;
}

Status checkSmtpPassword(const QString &password)
{
    // The text never appears in a message: only its length.
    if (password.size() > kPasswordWidth)
        return makeError(
            u"a senha SMTP tem %1 caracteres; cabem no máximo %2."_s.arg(password.size()).arg(kPasswordWidth));
    for (const QChar c : password) {
        if (c.unicode() < 32 || c.unicode() > 126)
            return makeError(u"a senha SMTP só pode ter letras sem acento, dígitos, espaços e os "
                             "símbolos do teclado americano (ASCII imprimível)."_s);
    }
    return {};
}

QString readPasswordLine(std::FILE *in)
{
    const int fd = fileno(in);
    termios saved{};
    const bool terminal = fd >= 0 && isatty(fd) && tcgetattr(fd, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::string line;
    for (int c = std::fgetc(in); c != EOF && c != '\n'; c = std::fgetc(in))
        line += char(c);
    if (terminal) {
        tcsetattr(fd, TCSAFLUSH, &saved);
        std::fputc('\n', stderr); // the Enter that was not echoed
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromUtf8(line.data(), qsizetype(line.size()));
}

Result<bool> storeBranchEmail(QSqlDatabase &db, const BranchEmail &mail, const QString &password)
{
    const bool ssl = mail.security == SmtpSecurity::Ssl;
    const bool tls = mail.security == SmtpSecurity::StartTls;
    QSqlQuery q(db);
    q.prepare(u"UPDATE FILIAL SET DSSMTPEMAILF = ?, DSLOGINSMTP = ?, DSEMAILSMTP = ?, IDUTSSLEMAIL = ?, "
              "IDUTTLSEMAIL = ?, CDSENHEMAILF = ? WHERE CDFILIAL = ?"_s);
    q.addBindValue(mail.smtp);
    q.addBindValue(textOrNull(mail.login));
    q.addBindValue(textOrNull(mail.from));
    q.addBindValue(ssl ? u"S"_s : u"N"_s);
    q.addBindValue(tls ? u"S"_s : u"N"_s);
    q.addBindValue(textOrNull(password.isEmpty() ? QString() : Cripto(password, ChaveCripto)));
    q.addBindValue(mail.branch);
    if (!q.exec())
        return makeError(u"não foi possível gravar as configurações de e-mail da filial %1: %2"_s.arg(
            mail.branch, q.lastError().text()));
    return q.numRowsAffected() > 0;
}

} // namespace kpr::appserver
