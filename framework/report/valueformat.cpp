#include "framework/report/valueformat.h"

#include "framework/core/dates.h"

#include <QDateTime>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

Result<ValueFormat> ValueFormat::parse(const QString &text)
{
    ValueFormat f;
    const QString t = text.trimmed();
    if (t.isEmpty())
        return f;
    const QString lower = t.toLower();
    if (lower == u"date"_s || lower == u"datetime"_s || lower.startsWith(u"date:"_s)) {
        f.m_kind = Kind::Date;
        f.m_datePattern = lower == u"date"_s       ? u"dd/MM/yyyy"_s
                          : lower == u"datetime"_s ? u"dd/MM/yyyy HH:mm"_s
                                                   : t.mid(5);
        if (f.m_datePattern.trimmed().isEmpty())
            return makeError(u"formato de data vazio em '%1'"_s.arg(text));
        return f;
    }
    QString pattern = t;
    if (lower == u"integer"_s)
        pattern = u"0"_s;
    else if (lower == u"currency"_s)
        pattern = u"R$ #,##0.00;-R$ #,##0.00"_s;

    f.m_kind = Kind::Number;
    const QStringList parts = pattern.split(u';');
    if (parts.size() > 3)
        return makeError(u"formato numérico '%1' com mais de três seções"_s.arg(text));
    for (const QString &part : parts) {
        Section s;
        qsizetype i = 0;
        auto isNumberChar = [](QChar c) { return c == u'#' || c == u'0' || c == u',' || c == u'.'; };
        while (i < part.size() && part[i] != u'#' && part[i] != u'0')
            s.prefix += part[i++];
        bool afterPoint = false;
        while (i < part.size() && isNumberChar(part[i])) {
            s.hasNumber = true;
            const QChar c = part[i++];
            if (c == u'.') {
                if (afterPoint)
                    return makeError(u"formato numérico '%1' com duas vírgulas decimais"_s.arg(text));
                afterPoint = true;
            } else if (c == u',') {
                if (!afterPoint)
                    s.grouping = true;
            } else if (afterPoint) {
                ++s.maxDecimals;
                if (c == u'0')
                    s.minDecimals = s.maxDecimals;
            } else if (c == u'0') {
                ++s.minInteger;
            }
        }
        s.suffix = part.mid(i);
        if (s.suffix.contains(u'#') || s.suffix.contains(u'0'))
            return makeError(u"formato '%1' desconhecido"_s.arg(text));
        if (&part == &parts.first() && !s.hasNumber)
            return makeError(u"formato '%1' desconhecido"_s.arg(text));
        f.m_sections.push_back(s);
    }
    return f;
}

QString ValueFormat::writeSection(const Section &s, QString integerDigits, QString decimals) const
{
    if (!s.hasNumber)
        return s.prefix + s.suffix;
    while (decimals.size() > s.minDecimals && decimals.endsWith(u'0'))
        decimals.chop(1);
    while (integerDigits.startsWith(u'0'))
        integerDigits.remove(0, 1);
    if (integerDigits.size() < s.minInteger)
        integerDigits = integerDigits.rightJustified(s.minInteger, u'0');
    if (s.grouping) {
        for (qsizetype pos = integerDigits.size() - 3; pos > 0; pos -= 3)
            integerDigits.insert(pos, u'.');
    }
    QString out = s.prefix + integerDigits;
    if (!decimals.isEmpty())
        out += u',' + decimals;
    return out + s.suffix;
}

QString ValueFormat::formatDecimal(bool negative, bool zero, QString integerDigits, QString decimals) const
{
    const Section &first = m_sections.front();
    if (zero && m_sections.size() == 3
        && (m_sections[2].hasNumber || !m_sections[2].prefix.isEmpty() || !m_sections[2].suffix.isEmpty()))
        return writeSection(m_sections[2], integerDigits, decimals);
    if (negative && !zero) {
        if (m_sections.size() >= 2 && (m_sections[1].hasNumber || !m_sections[1].prefix.isEmpty()))
            return writeSection(m_sections[1], integerDigits, decimals);
        return u'-' + writeSection(first, integerDigits, decimals);
    }
    return writeSection(first, integerDigits, decimals);
}

namespace {

// "1234.56" split into its digits before and after the point.
std::pair<QString, QString> splitDigits(const QString &fixed)
{
    const qsizetype dot = fixed.indexOf(u'.');
    if (dot < 0)
        return {fixed, QString()};
    return {fixed.left(dot), fixed.mid(dot + 1)};
}

bool allZero(const QString &a, const QString &b)
{
    for (const QString *s : {&a, &b})
        for (QChar c : *s)
            if (c != u'0')
                return false;
    return true;
}

} // namespace

QString ValueFormat::formatAmount(FixedAmount amount, bool blankZero) const
{
    if (m_kind != Kind::Number)
        return format(QVariant(amount.toDouble()), blankZero);
    // Rounded half away from zero to the pattern's decimals, on the integer itself.
    const FixedAmount::Digits d = amount.digits(m_sections.front().maxDecimals);
    const bool zero = allZero(d.whole, d.fraction);
    if (zero && blankZero)
        return QString();
    return formatDecimal(d.negative, zero, d.whole, d.fraction);
}

QString ValueFormat::format(const QVariant &value, bool blankZero) const
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (m_kind) {
    case Kind::Plain: {
        if (blankZero) {
            const std::optional<double> n = numberOf(value);
            if (n && *n == 0.0 && value.typeId() != QMetaType::QString)
                return QString();
        }
        return plainText(value);
    }
    case Kind::Date: {
        const QDateTime dt = dateTimeOf(value);
        if (!dt.isValid())
            return plainText(value);
        return dt.toString(m_datePattern);
    }
    case Kind::Number: {
        const std::optional<double> n = numberOf(value);
        if (!n || !std::isfinite(*n))
            return plainText(value);
        const double v = *n;
        const auto [integerDigits, fraction] =
            splitDigits(QString::number(std::fabs(v), 'f', m_sections.front().maxDecimals));
        const bool zero = allZero(integerDigits, fraction);
        if (zero && blankZero)
            return QString();
        return formatDecimal(v < 0, zero, integerDigits, fraction);
    }
    }
    return QString();
}

QString plainText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QDate: return formatDateBR(value.toDate());
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        if (dt.time() == QTime(0, 0))
            return formatDateBR(dt.date());
        return dt.toString(u"dd/MM/yyyy HH:mm:ss"_s);
    }
    case QMetaType::Double:
    case QMetaType::Float: {
        QString t = QString::number(value.toDouble(), 'g', 15);
        return t.replace(u'.', u',');
    }
    case QMetaType::Bool: return value.toBool() ? u"Sim"_s : u"Não"_s;
    default: return value.toString();
    }
}

std::optional<double> numberOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort: return value.toDouble();
    case QMetaType::QString: {
        QString t = value.toString().trimmed();
        bool ok = false;
        double d = t.toDouble(&ok);
        if (ok)
            return d;
        // pt-BR: "1.234,56" or "1234,5"
        t.remove(u'.').replace(u',', u'.');
        d = t.toDouble(&ok);
        if (ok)
            return d;
        return std::nullopt;
    }
    default: return std::nullopt;
    }
}

QDateTime dateTimeOf(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QDateTime();
    switch (value.typeId()) {
    case QMetaType::QDate: return QDateTime(value.toDate(), QTime(0, 0));
    case QMetaType::QDateTime: return value.toDateTime();
    case QMetaType::QString: {
        const QString t = value.toString().trimmed();
        QDateTime dt = QDateTime::fromString(t, Qt::ISODate);
        if (!dt.isValid())
            dt = QDateTime::fromString(t, u"yyyy-MM-dd HH:mm:ss"_s);
        if (!dt.isValid()) {
            QDate d = QDate::fromString(t, Qt::ISODate);
            if (!d.isValid())
                d = parseDateBR(t);
            if (d.isValid())
                dt = QDateTime(d, QTime(0, 0));
        }
        return dt;
    }
    default: {
        const std::optional<double> n = numberOf(value);
        return n ? dayNumberToDateTime(*n) : QDateTime();
    }
    }
}

} // namespace kpr
