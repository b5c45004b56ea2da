#pragma once
// Hands a message to the workstation's mail program, where Simple MAPI's MAPISendMail stood:
// xdg-email opens the desktop's mail composer (or the program named by MAILER) filled in.
//
// The answer is a Simple MAPI code, from xdg-email's exit status:
//   0 success                               ->  0 SUCCESS_SUCCESS
//   1 bad arguments                         ->  2 MAPI_E_FAILURE
//   2 a file does not exist                 -> 11 MAPI_E_ATTACHMENT_NOT_FOUND
//   3 no mail program or no display         ->  3 MAPI_E_LOGIN_FAILURE
//   4 the mail program failed               ->  2 MAPI_E_FAILURE
//   5 no permission to read a file          -> 12 MAPI_E_ATTACHMENT_OPEN_FAILURE
//   xdg-email could not be started          ->  3 MAPI_E_LOGIN_FAILURE
//   no answer within sendMailTimeoutMs      ->  2 MAPI_E_FAILURE

#include <QString>

#include <cstdint>
#include <initializer_list>

namespace kpr {

enum TMAPIOption { mapiLogonUI = 0, mapiNewSession = 1, mapiDialog = 2 };

// A set of TMAPIOption, one bit per option.
class TMAPIOptions
{
public:
    TMAPIOptions() = default;
    TMAPIOptions(std::initializer_list<TMAPIOption> options)
    {
        for (const TMAPIOption o : options)
            m_bits |= bit(o);
    }
    bool contains(TMAPIOption option) const { return m_bits & bit(option); }
    TMAPIOptions &operator<<(TMAPIOption option)
    {
        m_bits |= bit(option);
        return *this;
    }
    bool operator==(const TMAPIOptions &) const = default;

private:
    static std::uint8_t bit(TMAPIOption option) { return std::uint8_t(1u << unsigned(option)); }
    std::uint8_t m_bits = 0;
};

inline constexpr int SUCCESS_SUCCESS = 0;
inline constexpr int MAPI_E_FAILURE = 2;
inline constexpr int MAPI_E_LOGIN_FAILURE = 3;
inline constexpr int MAPI_E_ATTACHMENT_NOT_FOUND = 11;
inline constexpr int MAPI_E_ATTACHMENT_OPEN_FAILURE = 12;

// How long a mail program may keep xdg-email waiting before the hand-off counts as failed.
inline constexpr int sendMailTimeoutMs = 120000;

// recipients, cc and bcc are lists split at separator (blanks trimmed, empty ones
// skipped); an empty attachment adds none. The composer is always shown for the user to
// send: options are accepted as Simple MAPI's, and a desktop composer has no silent mode.
int SendMail(const QString &subject, const QString &body, const QString &recipients, const QString &cc,
             const QString &bcc, const QString &attachment, const QString &separator, TMAPIOptions options);

} // namespace kpr
