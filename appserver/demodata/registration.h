#pragma once
// Brazilian registration numbers: CNPJ (companies, 14 digits) and CPF (persons, 11 digits),
// each ending in two check digits computed modulo 11. Numbers are digits only, the way
// CLIENTE.NRINSJURCLIE and FILIAL.NRINSJURFILI store them.

#include <QString>

namespace kpr::demodata {

// The two check digits of the first 12 digits of a CNPJ (8 of the company, 4 of the
// establishment). Empty unless digits12 is exactly 12 digits.
QString cnpjCheckDigits(const QString &digits12);
// The two check digits of the first 9 digits of a CPF. Empty unless exactly 9 digits.
QString cpfCheckDigits(const QString &digits9);

// The whole number: company root (8 digits), establishment order (1 for the head office).
QString makeCnpj(const QString &root8, int establishment);
QString makeCpf(const QString &base9);

// Digits only, right length, right check digits, and not one digit repeated throughout
// ("00000000000" passes the arithmetic but no such number is ever issued).
bool isValidCnpj(const QString &number);
bool isValidCpf(const QString &number);

} // namespace kpr::demodata
