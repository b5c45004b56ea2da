#pragma once
// The framework's fixed-key ciphering of stored passwords (the branch's SMTP password among
// them). The stored column holds at most 20 characters, so the cipher keeps the length and
// keeps printable ASCII printable; it hides a password from a casual look, nothing more.

#include <QString>

namespace kpr {

// The framework's fixed key: every stored password is ciphered with it.
inline constexpr int ChaveCripto = 47311;

// Each printable ASCII character (32..126) is rotated within that range by a step drawn from
// a key stream seeded by key, one step per position; other characters pass unchanged.
QString Cripto(const QString &text, int key);
// The inverse of Cripto with the same key.
QString Uncripto(const QString &text, int key);

} // namespace kpr
