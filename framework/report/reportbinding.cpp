#include "framework/report/reportbinding.h"

#include "framework/core/abort.h"
#include "framework/report/layoutfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace kpr::detail {

namespace {

const QChar keySeparator = QChar(0x1f);

QString linkKey(const QVariant &v)
{
    return plainText(v).trimmed();
}

} // namespace

void BoundReport::fail(const QString &where, const QString &what) const
{
    throw EKprError(u"%1: %2: %3."_s.arg(layoutErrorPrefix(fileName), where, what));
}

int BoundReport::rowOf(RowCursor &c, int set) const
{
    if (set == master)
        return c.masterRow;
    if (set == c.bandSet)
        return c.bandRow;
    if (links[size_t(set)].masterCol >= 0) {
        if (c.linkedFor != c.masterRow) {
            c.linkedFor = c.masterRow;
            c.linkRow.assign(data.size(), -1);
            for (size_t i = 0; i < data.size(); ++i) {
                if (links[i].masterCol < 0 || c.masterRow < 0)
                    continue;
                const auto it =
                    links[i].rowsByKey.constFind(linkKey(data[size_t(master)].value(c.masterRow, links[i].masterCol)));
                if (it != links[i].rowsByKey.constEnd())
                    c.linkRow[i] = it->front();
            }
        }
        return c.linkRow[size_t(set)];
    }
    return data[size_t(set)].rowCount() > 0 ? 0 : -1;
}

QVariant BoundReport::valueOf(RowCursor &c, const Ref &ref) const
{
    if (ref.param)
        return ref.param->Value();
    if (ref.col < 0)
        return QVariant();
    const int row = rowOf(c, ref.set);
    if (row < 0)
        return QVariant();
    return data[size_t(ref.set)].value(row, ref.col);
}

std::vector<int> BoundReport::bandRows(const PBand &band, int masterRow) const
{
    const ReportRows &rows = data[size_t(band.forEach)];
    std::vector<int> list;
    const Link &link = links[size_t(band.forEach)];
    if (link.masterCol >= 0) {
        if (masterRow >= 0) {
            const auto it = link.rowsByKey.constFind(linkKey(data[size_t(master)].value(masterRow, link.masterCol)));
            if (it != link.rowsByKey.constEnd())
                list = *it;
        }
    } else {
        for (int i = 0; i < rows.rowCount(); ++i)
            list.push_back(i);
    }
    return list;
}

Ref BoundReport::resolveField(const QString &name, int bandSet, const QString &where) const
{
    Ref r;
    QString field = name;
    const qsizetype dot = name.indexOf(u'.');
    if (dot >= 0) {
        const QString set = name.left(dot);
        field = name.mid(dot + 1);
        for (qsizetype i = 0; i < layout.datasets.size(); ++i)
            if (layout.datasets[i].name.compare(set, Qt::CaseInsensitive) == 0)
                r.set = int(i);
        if (r.set < 0)
            fail(where, u"o conjunto de dados '%1' não existe"_s.arg(set));
    } else {
        r.set = bandSet >= 0 ? bandSet : master;
        if (r.set < 0)
            fail(where, u"o campo '%1' não tem conjunto de dados de onde vir"_s.arg(name));
    }
    r.col = data[size_t(r.set)].column(field);
    if (r.col < 0)
        fail(where, u"o campo '%1' não existe no conjunto de dados '%2'"_s.arg(field, data[size_t(r.set)].name()));
    return r;
}

Ref BoundReport::resolveParam(const QString &name, const QString &where) const
{
    Ref r;
    if (!layout.findParam(name))
        fail(where, u"o parâmetro '%1' não está declarado em 'parameters'"_s.arg(name));
    r.param = params.FindParam(name);
    if (!r.param)
        fail(where, u"o parâmetro '%1' não foi preenchido"_s.arg(name));
    return r;
}

int BoundReport::fontIndex(const FontSpec &font)
{
    QFont f(font.family);
    f.setPointSizeF(font.size);
    f.setBold(font.bold);
    f.setItalic(font.italic);
    // Without shaping, "fi" stays two letters, so the PDF's text reads as it was drawn.
    f.setStyleStrategy(QFont::PreferNoShaping);
    f.setKerning(false);
    // Paper and PDF want the outlines' own metrics; grid-fitting them to device pixels
    // (FreeType's hinting interpreter) is wasted work there and was a tenth of an export.
    f.setHintingPreference(QFont::PreferNoHinting);
    for (size_t i = 0; i < fonts.size(); ++i)
        if (fonts[i] == f)
            return int(i);
    fonts.push_back(f);
    return int(fonts.size() - 1);
}

std::vector<TextPart> BoundReport::parseText(const QString &text, int bandSet, const QString &where) const
{
    static const QRegularExpression re(
        u"\\$\\{\\s*([A-Za-z_][A-Za-z0-9_]*)\\s*\\}|\\[([A-Za-z_][A-Za-z0-9_]*(?:\\.[A-Za-z_][A-Za-z0-9_]*)?)\\]"_s);
    std::vector<TextPart> parts;
    qsizetype at = 0;
    for (auto it = re.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (m.capturedStart() > at)
            parts.push_back({text.mid(at, m.capturedStart() - at), {}});
        TextPart p;
        p.ref =
            m.capturedLength(1) > 0 ? resolveParam(m.captured(1), where) : resolveField(m.captured(2), bandSet, where);
        parts.push_back(p);
        at = m.capturedEnd();
    }
    if (at < text.size())
        parts.push_back({text.mid(at), {}});
    return parts;
}

PBand BoundReport::bindBand(const ReportBand &band, const QString &where, int groupIndex)
{
    PBand b;
    b.height = band.height;
    b.newPageBefore = band.newPageBefore;
    b.repeatOnNewPage = band.repeatOnNewPage;
    if (!band.forEach.isEmpty()) {
        for (qsizetype i = 0; i < layout.datasets.size(); ++i)
            if (layout.datasets[i].name.compare(band.forEach, Qt::CaseInsensitive) == 0)
                b.forEach = int(i);
        if (b.forEach < 0)
            fail(where, u"'forEach': o conjunto de dados '%1' não existe"_s.arg(band.forEach));
    }
    for (qsizetype i = 0; i < band.elements.size(); ++i) {
        const QList<ReportElement> copies = expandRepeat(band.elements[i]);
        if (copies.isEmpty())
            fail(where + u", elemento %1"_s.arg(i + 1), u"repetição com numeração inválida"_s);
        for (const ReportElement &e : copies) {
            const QString ew =
                where + u", elemento %1"_s.arg(i + 1) + (e.name.isEmpty() ? QString() : u" ('%1')"_s.arg(e.name));
            b.elements.push_back(bindElement(e, ew, b.forEach, groupIndex));
            if (Prepared &added = b.elements.back(); added.agg >= 0) {
                added.aggSlot = int(b.aggregates.size());
                b.aggregates.push_back(added.agg);
            }
        }
    }
    return b;
}

Prepared BoundReport::bindElement(const ReportElement &e, const QString &where, int bandSet, int groupIndex)
{
    Prepared p;
    p.e = e;
    p.font = fontIndex(e.font);
    int h = Qt::AlignLeft;
    switch (e.align) {
    case HAlign::Left: h = Qt::AlignLeft; break;
    case HAlign::Center: h = Qt::AlignHCenter; break;
    case HAlign::Right: h = Qt::AlignRight; break;
    case HAlign::Justify: h = Qt::AlignJustify; break;
    }
    int v = Qt::AlignVCenter;
    switch (e.valign) {
    case VAlign::Top: v = Qt::AlignTop; break;
    case VAlign::Middle: v = Qt::AlignVCenter; break;
    case VAlign::Bottom: v = Qt::AlignBottom; break;
    }
    p.flags = h | v | (e.wordWrap ? int(Qt::TextWordWrap) : 0);
    if (!e.format.isEmpty() || e.kind == ElementKind::Field || e.kind == ElementKind::Sum
        || e.kind == ElementKind::Count) {
        Result<ValueFormat> f = ValueFormat::parse(e.format);
        if (!f)
            fail(where, f.error());
        p.format = f.value();
    }
    switch (e.kind) {
    case ElementKind::Field:
        p.ref = e.param.isEmpty() ? resolveField(e.field, bandSet, where) : resolveParam(e.param, where);
        if (!e.maskFrom.isEmpty())
            p.maskRef = resolveField(e.maskFrom, bandSet, where);
        break;
    case ElementKind::Text: p.parts = parseText(e.text, bandSet, where); break;
    case ElementKind::Sum:
    case ElementKind::Count: {
        AggDef a;
        a.isCount = e.kind == ElementKind::Count;
        a.scope = e.scope;
        if (e.scope == AggregateScope::Group) {
            a.group = e.group.isEmpty() ? groupIndex : layout.groupIndex(e.group);
            if (a.group < 0)
                fail(where, u"o grupo '%1' não existe"_s.arg(e.group));
        }
        // Sums and counts run over the master rows, whatever band shows them.
        if (!e.field.isEmpty())
            a.ref = resolveField(e.field, -1, where);
        if (!e.times.isEmpty())
            a.times = resolveField(e.times, -1, where);
        p.agg = int(aggs.size());
        aggs.push_back(a);
        break;
    }
    case ElementKind::Image: {
        const QString file = QFileInfo(path).dir().filePath(e.imageFile);
        p.image = QImage(file);
        if (p.image.isNull())
            fail(where, u"a imagem '%1' não pôde ser lida"_s.arg(e.imageFile));
        break;
    }
    case ElementKind::PageNumber:
    case ElementKind::Line:
    case ElementKind::Box: break;
    }
    return p;
}

void BoundReport::bind()
{
    if (data.size() != size_t(layout.datasets.size()))
        fail(u"conjuntos de dados"_s, u"os dados não correspondem aos conjuntos de dados do layout"_s);
    if (const DataSetDef *m = layout.masterDataSet())
        master = int(m - layout.datasets.constData());
    links.resize(data.size());
    for (size_t i = 0; i < data.size(); ++i) {
        const DataSetDef &d = layout.datasets[qsizetype(i)];
        if (!d.link || int(i) == master)
            continue;
        const QString where = u"conjunto de dados '%1', ligação"_s.arg(d.name);
        if (master < 0)
            fail(where, u"não há conjunto de dados principal"_s);
        Link &l = links[i];
        l.masterCol = data[size_t(master)].column(d.link->masterField);
        if (l.masterCol < 0)
            fail(where, u"o campo '%1' não existe no conjunto de dados '%2'"_s.arg(d.link->masterField,
                                                                                   data[size_t(master)].name()));
        const int col = data[i].column(d.link->field);
        if (col < 0)
            fail(where, u"o campo '%1' não existe no conjunto de dados '%2'"_s.arg(d.link->field, d.name));
        for (int r = 0; r < data[i].rowCount(); ++r)
            l.rowsByKey[linkKey(data[i].value(r, col))].push_back(r);
    }

    for (qsizetype g = 0; g < layout.groups.size(); ++g) {
        const ReportGroup &rg = layout.groups[g];
        PGroup pg;
        const QString where = u"grupo '%1'"_s.arg(rg.name);
        if (master < 0)
            fail(where, u"não há conjunto de dados principal"_s);
        const ReportRows &m = data[size_t(master)];
        for (const QString &k : rg.keyFields) {
            const int c = m.column(k);
            if (c < 0)
                fail(where, u"o campo de quebra '%1' não existe no conjunto de dados '%2'"_s.arg(k, m.name()));
            pg.keyCols.push_back(c);
        }
        pg.keys.reserve(size_t(m.rowCount()));
        for (int r = 0; r < m.rowCount(); ++r) {
            QString key;
            for (int c : pg.keyCols)
                key += plainText(m.value(r, c)) + keySeparator;
            pg.keys.push_back(key);
        }
        groups.push_back(std::move(pg));
    }
    for (qsizetype g = 0; g < layout.groups.size(); ++g) {
        const ReportGroup &rg = layout.groups[g];
        if (rg.header)
            groups[size_t(g)].header = bindBand(*rg.header, u"faixa 'header' do grupo '%1'"_s.arg(rg.name), int(g));
        if (rg.footer)
            groups[size_t(g)].footer = bindBand(*rg.footer, u"faixa 'footer' do grupo '%1'"_s.arg(rg.name), int(g));
    }
    const std::pair<const std::optional<ReportBand> *, std::optional<PBand> *> bandSlots[] = {
        {&layout.titleBand, &title},
        {&layout.pageHeader, &pageHeader},
        {&layout.detail, &detail},
        {&layout.summary, &summary},
        {&layout.pageFooter, &pageFooter}};
    const QString names[] = {u"title"_s, u"pageHeader"_s, u"detail"_s, u"summary"_s, u"pageFooter"_s};
    for (size_t i = 0; i < std::size(bandSlots); ++i)
        if (*bandSlots[i].first)
            *bandSlots[i].second = bindBand(**bandSlots[i].first, u"faixa '%1'"_s.arg(names[i]), -1);
}

} // namespace kpr::detail
