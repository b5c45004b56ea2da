#include "framework/report/layout.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

template<typename T>
const T *findByName(const QList<T> &list, const QString &name)
{
    for (const T &item : list)
        if (item.name.compare(name, Qt::CaseInsensitive) == 0)
            return &item;
    return nullptr;
}

} // namespace

const ParamDecl *ReportLayout::findParam(const QString &name) const
{
    return findByName(params, name);
}

const DataSetDef *ReportLayout::findDataSet(const QString &name) const
{
    return findByName(datasets, name);
}

const DataSetDef *ReportLayout::masterDataSet() const
{
    if (!master.isEmpty())
        return findDataSet(master);
    return datasets.isEmpty() ? nullptr : &datasets.first();
}

int ReportLayout::groupIndex(const QString &name) const
{
    for (int i = 0; i < groups.size(); ++i)
        if (groups[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

QSizeF pageSizeMm(const PageSetup &p)
{
    QSizeF s = p.size == PageSizeId::Letter ? QSizeF(215.9, 279.4) : QSizeF(210.0, 297.0);
    if (p.orientation == PageOrientation::Landscape)
        s.transpose();
    return s;
}

QString formatRepeatNumber(const QString &pattern, int number)
{
    // Only a plain decimal conversion: the pattern comes from a file, and handing it to a
    // printf-style routine would let "%s" read memory.
    static const QRegularExpression re(u"^%(0?)([0-9]{0,2})d$"_s);
    const QRegularExpressionMatch m = re.match(pattern);
    if (!m.hasMatch())
        return QString();
    const int width = m.captured(2).isEmpty() ? 0 : m.captured(2).toInt();
    const QChar fill = m.captured(1).isEmpty() ? u' ' : u'0';
    QString digits = QString::number(qAbs(qint64(number)));
    if (number < 0)
        digits.prepend(u'-');
    return digits.rightJustified(width, fill);
}

QList<ReportElement> expandRepeat(const ReportElement &element)
{
    if (!element.repeat)
        return {element};
    const RepeatSpec &r = *element.repeat;
    QList<ReportElement> out;
    out.reserve(r.count);
    for (int i = 0; i < r.count; ++i) {
        const QString n = formatRepeatNumber(r.number, r.start + i);
        if (n.isEmpty())
            return {};
        ReportElement e = element;
        e.repeat.reset();
        for (QString *s : {&e.name, &e.text, &e.field, &e.times, &e.param, &e.maskFrom})
            s->replace(u"{n}"_s, n);
        if (r.vertical)
            e.y += r.step * i;
        else
            e.x += r.step * i;
        out << e;
    }
    return out;
}

QString pageSizeName(PageSizeId size)
{
    return size == PageSizeId::Letter ? u"Letter"_s : u"A4"_s;
}

QString orientationName(PageOrientation orientation)
{
    return orientation == PageOrientation::Landscape ? u"landscape"_s : u"portrait"_s;
}

QString paramKindName(ParamKind kind)
{
    switch (kind) {
    case ParamKind::String: return u"string"_s;
    case ParamKind::Date: return u"date"_s;
    case ParamKind::Float: return u"float"_s;
    case ParamKind::Integer: return u"integer"_s;
    }
    return QString();
}

QString elementKindName(ElementKind kind)
{
    switch (kind) {
    case ElementKind::Text: return u"text"_s;
    case ElementKind::Field: return u"field"_s;
    case ElementKind::Sum: return u"sum"_s;
    case ElementKind::Count: return u"count"_s;
    case ElementKind::PageNumber: return u"pageNumber"_s;
    case ElementKind::Line: return u"line"_s;
    case ElementKind::Box: return u"box"_s;
    case ElementKind::Image: return u"image"_s;
    }
    return QString();
}

QString scopeName(AggregateScope scope)
{
    switch (scope) {
    case AggregateScope::Report: return u"report"_s;
    case AggregateScope::Group: return u"group"_s;
    case AggregateScope::Page: return u"page"_s;
    }
    return QString();
}

QString hAlignName(HAlign align)
{
    switch (align) {
    case HAlign::Left: return u"left"_s;
    case HAlign::Center: return u"center"_s;
    case HAlign::Right: return u"right"_s;
    case HAlign::Justify: return u"justify"_s;
    }
    return QString();
}

QString vAlignName(VAlign align)
{
    switch (align) {
    case VAlign::Top: return u"top"_s;
    case VAlign::Middle: return u"middle"_s;
    case VAlign::Bottom: return u"bottom"_s;
    }
    return QString();
}

} // namespace kpr
