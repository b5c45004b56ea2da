#pragma once
// Edit masks in the host's notation: "<mask>;<save literals 0|1>;<blank char>".
// Mask characters: 0 digit, 9 optional digit, # digit or sign, L letter, l optional letter,
// A letter or digit, a optional letter or digit, C any character, c optional character;
// > upper case from here, < lower case, <> no case change; \ makes the next one literal;
// every other character is a literal. "99.999.999/9999-99;0;_" shows "12345678000190"
// as "12.345.678/0001-90".

#include <QString>

namespace kpr {

struct EditMask
{
    QString mask;             // the mask part, before the first ';'
    bool saveLiterals = true; // ";0;" means the stored text holds no literals
    QChar blank = QLatin1Char('_');

    static EditMask parse(const QString &text);
    bool isEmpty() const { return mask.isEmpty(); }
    // Count of positions that take a character of the text.
    int inputLength() const;
};

// The text as the mask shows it: literals inserted, case applied, positions the text does
// not fill shown as the blank character; characters beyond the mask are dropped. An empty
// mask gives the text unchanged.
QString FormatMaskText(const QString &mask, const QString &text);

// The mask for the registration number of a kind of legal person: "J" a company (CNPJ),
// "F" a person (CPF); no mask (empty text) for any other kind.
QString PictPess(const QString &kind);

} // namespace kpr
