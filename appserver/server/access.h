#pragma once
// Who may call kpr-appserver: the shared secret of --secret-file (sent by clients as
// "Authorization: Bearer <secret>"), the loopback test that decides whether a server may run
// without one, and the content type the transport serves.

#include "framework/core/result.h"

#include <QByteArray>
#include <QString>

#include <string_view>

namespace kpr::appserver {

// 127.0.0.0/8, ::1, ::ffff:127.x.x.x and "localhost": addresses only this machine reaches.
bool isLoopbackHost(const QString &host);

// application/json, with or without parameters ("; charset=utf-8"), in any letter case.
bool isJsonContentType(std::string_view value);

// The secret a server compares the callers' credentials with.
class Credential
{
public:
    Credential() = default;
    explicit Credential(const QByteArray &secret);

    bool required() const { return m_required; }
    // Whether an Authorization header value carries the secret ("Bearer <secret>", the
    // scheme in any letter case). Compared in constant time over fixed-size digests, so the
    // time taken tells nothing of the secret or its length.
    bool accepts(std::string_view authorization) const;

private:
    bool m_required = false;
    QByteArray m_digest; // SHA-256 of the secret
};

// Reads the secret of a --secret-file: its first line, blanks at the ends removed. Refused
// when the file is missing, empty, or readable or writable by group or others (the text
// says why and how to fix it).
Result<QByteArray> readSecretFile(const QString &path);

// --init-db --secret-file: creates the file with a fresh secret (32 random bytes written
// as 64 hexadecimal digits) and mode 0600 when it does not exist. True when it was created.
Result<bool> createSecretFile(const QString &path);

} // namespace kpr::appserver
