#pragma once
// A MIME message built part by part (multiparts, UTF-8 text, files as attachments) and
// encoded into the lines that TSMTPSend::MailData sends. Built on GMime 3: headers are
// RFC 2047 UTF-8 words, file names RFC 2231 UTF-8 parameters, lines end with CRLF.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace kpr {

// A part of a TMimeMess; it belongs to the message and lives until Clear().
class TMimePart;

// The message's own headers. Control characters (CR and LF among them) become blanks, so
// no text here can add a header of its own.
struct TMessHeader
{
    QString From; // "Nome <endereco@dominio>" or a bare address
    QString Subject;
    QStringList ToList; // no To header when empty
    QStringList CCList; // no Cc header when empty

    void Clear();
};

class TMimeMess
{
public:
    TMimeMess();
    ~TMimeMess();
    TMimeMess(const TMimeMess &) = delete;
    TMimeMess &operator=(const TMimeMess &) = delete;

    TMessHeader Header;

    // Drops every part, the headers and the encoded lines.
    void Clear();

    // A part added without a parent is the message's body (replacing an earlier one);
    // with a parent it is added to it, which must be a multipart.
    // multipart/<subtype>: "mixed", "alternative", "related".
    TMimePart *AddPartMultipart(const QString &subtype, TMimePart *parent);
    // text/plain; charset=utf-8, quoted-printable; one line each.
    TMimePart *AddPartText(const QStringList &lines, TMimePart *parent);
    // The file as a base64 attachment named by its base name: application/pdf for ".pdf",
    // application/octet-stream otherwise. Throws EKprError when the file cannot be read.
    TMimePart *AddPartBinaryFromFile(const QString &fileName, TMimePart *parent);

    // Builds the message (headers, Date, Message-ID, MIME-Version, the parts).
    void EncodeMessage();
    // The encoded message, one line each, without line endings.
    QList<QByteArray> Lines() const;

private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace kpr
