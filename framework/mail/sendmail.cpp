#include "framework/mail/sendmail.h"

#include <QProcess>
#include <QStringList>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

QStringList splitAddresses(const QString &list, const QString &separator)
{
    QStringList out;
    const QStringList parts = separator.isEmpty() ? QStringList{list} : list.split(separator);
    for (const QString &part : parts) {
        const QString address = part.trimmed();
        if (!address.isEmpty())
            out.append(address);
    }
    return out;
}

int mapiCode(int xdgExitStatus)
{
    switch (xdgExitStatus) {
    case 0: return SUCCESS_SUCCESS;
    case 2: return MAPI_E_ATTACHMENT_NOT_FOUND;
    case 3: return MAPI_E_LOGIN_FAILURE;
    case 5: return MAPI_E_ATTACHMENT_OPEN_FAILURE;
    default: return MAPI_E_FAILURE;
    }
}

} // namespace

int SendMail(const QString &subject, const QString &body, const QString &recipients, const QString &cc,
             const QString &bcc, const QString &attachment, const QString &separator, TMAPIOptions options)
{
    Q_UNUSED(options);
    // --utf8: the texts are handed over as UTF-8 whatever the locale says.
    QStringList args{u"--utf8"_s};
    for (const QString &address : splitAddresses(cc, separator))
        args << u"--cc"_s << address;
    for (const QString &address : splitAddresses(bcc, separator))
        args << u"--bcc"_s << address;
    // xdg-email refuses an empty --subject or --body: an empty text is left out.
    if (!subject.isEmpty())
        args << u"--subject"_s << subject;
    if (!body.isEmpty())
        args << u"--body"_s << body;
    if (!attachment.trimmed().isEmpty())
        args << u"--attach"_s << attachment.trimmed();
    args << splitAddresses(recipients, separator);

    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(u"xdg-email"_s, args);
    if (!process.waitForStarted())
        return MAPI_E_LOGIN_FAILURE;
    if (!process.waitForFinished(sendMailTimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return MAPI_E_FAILURE;
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return MAPI_E_FAILURE;
    return mapiCode(process.exitCode());
}

} // namespace kpr
