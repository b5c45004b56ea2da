#include "framework/report/reportrenderer.h"

#include "framework/core/abort.h"
#include "framework/core/mask.h"
#include "framework/report/layoutfile.h"
#include "framework/report/valueformat.h"

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPagedPaintDevice>
#include <QPageLayout>
#include <QPainter>
#include <QPrinter>
#include <QRegularExpression>

#include <optional>
#include <unordered_map>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

constexpr double eps = 1e-6;
const QChar keySeparator = QChar(0x1f);

// Where a value comes from: a column of a dataset, or a parameter.
struct Ref
{
    int set = -1;
    int col = -1;
    const TParam *param = nullptr;
    bool valid() const { return param || col >= 0; }
};

struct TextPart
{
    QString literal;
    Ref ref; // a field or a parameter when valid()
};

struct Prepared
{
    ReportElement e;
    int font = -1;
    int flags = 0;
    Ref ref;
    std::optional<ValueFormat> format;
    Ref maskRef;
    std::vector<TextPart> parts;
    int agg = -1;
    QImage image;
};

struct PBand
{
    double height = 0.0;
    bool newPageBefore = false;
    bool repeatOnNewPage = false;
    int forEach = -1;
    std::vector<Prepared> elements;
};

struct Agg
{
    AggregateScope scope = AggregateScope::Report;
    int group = -1;
    Ref ref;
    Ref times;
    bool isCount = false;
    FixedAmount sum;
    qint64 count = 0;
};

struct Link
{
    int masterCol = -1;
    QHash<QString, std::vector<int>> rowsByKey;
};

QString linkKey(const QVariant &v)
{
    return plainText(v).trimmed();
}

} // namespace

struct ReportRenderer::Private
{
    ReportLayout layout;
    QString path;
    QString fileName;
    std::vector<ReportRows> data;
    TParams params;
    int master = -1;
    std::vector<Link> links; // per dataset; masterCol -1 when the dataset has no link
    std::vector<QFont> fonts;

    std::optional<PBand> title, pageHeader, detail, summary, pageFooter;
    struct PGroup
    {
        std::vector<int> keyCols;
        std::vector<QString> keys; // per master row
        std::optional<PBand> header, footer;
    };
    std::vector<PGroup> groups;
    mutable std::vector<Agg> aggs;
    mutable std::optional<int> pages;

    [[noreturn]] void fail(const QString &where, const QString &what) const
    {
        throw EKprError(u"%1: %2: %3."_s.arg(layoutErrorPrefix(fileName), where, what));
    }

    int masterRows() const { return master >= 0 ? data[size_t(master)].rowCount() : 0; }

    // --- Binding -------------------------------------------------------------------------

    Ref resolveField(const QString &name, int bandSet, const QString &where) const
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

    Ref resolveParam(const QString &name, const QString &where) const
    {
        Ref r;
        if (!layout.findParam(name))
            fail(where, u"o parâmetro '%1' não está declarado em 'parameters'"_s.arg(name));
        r.param = params.FindParam(name);
        if (!r.param)
            fail(where, u"o parâmetro '%1' não foi preenchido"_s.arg(name));
        return r;
    }

    int fontIndex(const FontSpec &font)
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

    std::vector<TextPart> parseText(const QString &text, int bandSet, const QString &where) const
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
            p.ref = m.capturedLength(1) > 0 ? resolveParam(m.captured(1), where)
                                            : resolveField(m.captured(2), bandSet, where);
            parts.push_back(p);
            at = m.capturedEnd();
        }
        if (at < text.size())
            parts.push_back({text.mid(at), {}});
        return parts;
    }

    PBand bindBand(const ReportBand &band, const QString &where, int groupIndex)
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
            }
        }
        return b;
    }

    Prepared bindElement(const ReportElement &e, const QString &where, int bandSet, int groupIndex)
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
            Agg a;
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

    void bind()
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

    // --- Running ------------------------------------------------------------------------

    struct Run
    {
        QPainter *painter = nullptr; // nullptr: the counting pass
        QPagedPaintDevice *device = nullptr;
        int totalPages = 0;
        double pxX = 1.0, pxY = 1.0; // device pixels per millimetre
        double usable = 0.0;         // mm from the top margin to the bottom margin
        double bottom = 0.0;         // where the page footer begins
        int page = 1;
        double y = 0.0;
        double contentTop = 0.0; // below the page's headers
        bool body = false;
        int openGroups = 0;
        int masterRow = -1;
        int bandSet = -1;
        int bandRow = -1;
        int linkedFor = -2;
        std::vector<int> linkRow; // first matching row of each linked dataset
        int currentFont = -1;
        int maxImageDpi = 0;
        // The pages painted: all, or fromPage to toPage (a printer's page range); the others
        // are laid out, so that numbers and totals stay those of the whole report.
        int fromPage = 0;
        int toPage = 0;
        bool inRange() const { return (fromPage <= 0 || page >= fromPage) && (toPage <= 0 || page <= toPage); }
        std::unordered_map<const Prepared *, QImage> images;
    };

    void updateLinks(Run &r) const
    {
        if (r.linkedFor == r.masterRow)
            return;
        r.linkedFor = r.masterRow;
        r.linkRow.assign(data.size(), -1);
        for (size_t i = 0; i < data.size(); ++i) {
            if (links[i].masterCol < 0 || r.masterRow < 0)
                continue;
            const auto it =
                links[i].rowsByKey.constFind(linkKey(data[size_t(master)].value(r.masterRow, links[i].masterCol)));
            if (it != links[i].rowsByKey.constEnd())
                r.linkRow[i] = it->front();
        }
    }

    int rowOf(Run &r, int set) const
    {
        if (set == master)
            return r.masterRow;
        if (set == r.bandSet)
            return r.bandRow;
        if (links[size_t(set)].masterCol >= 0) {
            updateLinks(r);
            return r.linkRow[size_t(set)];
        }
        return data[size_t(set)].rowCount() > 0 ? 0 : -1;
    }

    QVariant valueOf(Run &r, const Ref &ref) const
    {
        if (ref.param)
            return ref.param->Value();
        if (ref.col < 0)
            return QVariant();
        const int row = rowOf(r, ref.set);
        if (row < 0)
            return QVariant();
        return data[size_t(ref.set)].value(row, ref.col);
    }

    void resetAggs(AggregateScope scope, int group) const
    {
        for (Agg &a : aggs)
            if (a.scope == scope && (scope != AggregateScope::Group || a.group == group)) {
                a.sum = FixedAmount();
                a.count = 0;
            }
    }

    void accumulate(Run &r) const
    {
        for (Agg &a : aggs) {
            if (a.isCount && !a.ref.valid()) {
                ++a.count;
                continue;
            }
            const QVariant v = valueOf(r, a.ref);
            if (!v.isValid() || v.isNull())
                continue;
            ++a.count;
            if (a.isCount)
                continue;
            std::optional<double> n = numberOf(v);
            if (n && a.times.valid())
                n = *n * numberOf(valueOf(r, a.times)).value_or(0.0);
            if (n)
                a.sum += FixedAmount::fromDouble(*n);
        }
    }

    QString textOf(Run &r, const Prepared &p) const
    {
        const ReportElement &e = p.e;
        switch (e.kind) {
        case ElementKind::Text: {
            QString out;
            for (const TextPart &part : p.parts)
                out += part.ref.valid() ? plainText(valueOf(r, part.ref)) : part.literal;
            return out;
        }
        case ElementKind::Field: {
            const QVariant v = valueOf(r, p.ref);
            QString mask = e.mask;
            if (p.maskRef.valid()) {
                const QString kind = plainText(valueOf(r, p.maskRef)).trimmed();
                mask = e.masks.contains(kind) ? e.masks.value(kind) : PictPess(kind);
            }
            if (!mask.isEmpty()) {
                const QString text = plainText(v).trimmed();
                return text.isEmpty() ? QString() : FormatMaskText(mask, text);
            }
            return p.format->format(v, e.blankZero);
        }
        case ElementKind::Sum: return p.format->formatAmount(aggs[size_t(p.agg)].sum, e.blankZero);
        case ElementKind::Count: return p.format->format(QVariant(aggs[size_t(p.agg)].count), e.blankZero);
        case ElementKind::PageNumber: {
            QString t = e.text;
            return t.replace(u"{page}"_s, QString::number(r.page)).replace(u"{pages}"_s, QString::number(r.totalPages));
        }
        default: return QString();
        }
    }

    const QImage &imageFor(Run &r, const Prepared &p, const QSizeF &targetMm) const
    {
        if (r.maxImageDpi <= 0)
            return p.image;
        auto it = r.images.find(&p);
        if (it == r.images.end()) {
            const QSize most(int(targetMm.width() / 25.4 * r.maxImageDpi),
                             int(targetMm.height() / 25.4 * r.maxImageDpi));
            QImage img = p.image;
            if (most.width() > 0 && most.height() > 0 && (img.width() > most.width() || img.height() > most.height()))
                img = img.scaled(most, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            it = r.images.emplace(&p, img).first;
        }
        return it->second;
    }

    void drawBand(Run &r, const PBand &band, double top) const
    {
        if (!r.inRange())
            return;
        QPainter &painter = *r.painter;
        for (const Prepared &p : band.elements) {
            const ReportElement &e = p.e;
            const QRectF rect(e.x * r.pxX, (top + e.y) * r.pxY, e.width * r.pxX, e.height * r.pxY);
            switch (e.kind) {
            case ElementKind::Line: {
                QPen pen(e.color, std::max(e.penWidth, 0.05) * r.pxX);
                pen.setCapStyle(Qt::FlatCap);
                painter.setPen(pen);
                painter.drawLine(rect.topLeft(), rect.bottomRight());
                break;
            }
            case ElementKind::Box: {
                if (e.penWidth > 0)
                    painter.setPen(QPen(e.color, e.penWidth * r.pxX));
                else
                    painter.setPen(Qt::NoPen);
                painter.setBrush(e.fill ? QBrush(*e.fill) : QBrush(Qt::NoBrush));
                painter.drawRect(rect);
                painter.setBrush(Qt::NoBrush);
                break;
            }
            case ElementKind::Image: {
                const QImage &img = imageFor(r, p, QSizeF(e.width, e.height));
                QRectF target = rect;
                if (e.keepAspect && !img.isNull()) {
                    QSizeF s = QSizeF(img.size()).scaled(rect.size(), Qt::KeepAspectRatio);
                    target = QRectF(
                        rect.topLeft() + QPointF((rect.width() - s.width()) / 2, (rect.height() - s.height()) / 2), s);
                }
                painter.drawImage(target, img);
                break;
            }
            default: {
                const QString text = textOf(r, p);
                if (text.isEmpty())
                    break;
                if (r.currentFont != p.font) {
                    painter.setFont(fonts[size_t(p.font)]);
                    r.currentFont = p.font;
                }
                painter.setPen(e.color);
                painter.drawText(rect, p.flags, text);
                break;
            }
            }
        }
    }

    void beginPage(Run &r) const
    {
        r.y = 0.0;
        r.body = false;
        resetAggs(AggregateScope::Page, -1);
        if (pageHeader) {
            if (r.painter)
                drawBand(r, *pageHeader, r.y);
            r.y += pageHeader->height;
        }
        if (r.page > 1) {
            for (int g = 0; g < r.openGroups; ++g) {
                const std::optional<PBand> &h = groups[size_t(g)].header;
                if (h && h->repeatOnNewPage && r.y + h->height <= r.bottom + eps) {
                    if (r.painter)
                        drawBand(r, *h, r.y);
                    r.y += h->height;
                }
            }
        }
        r.contentTop = r.y;
    }

    void endPage(Run &r) const
    {
        if (pageFooter && r.painter)
            drawBand(r, *pageFooter, r.usable - pageFooter->height);
    }

    void newPage(Run &r) const
    {
        endPage(r);
        const bool painted = r.inRange();
        ++r.page;
        if (r.painter && painted && r.inRange() && !r.device->newPage())
            throw EKprError(
                u"%1: não foi possível começar a página %2."_s.arg(layoutErrorPrefix(fileName)).arg(r.page));
        beginPage(r);
    }

    void placeOnce(Run &r, const PBand &band, bool body, bool accumulateRow) const
    {
        if (r.y + band.height > r.bottom + eps && r.y > r.contentTop + eps)
            newPage(r);
        if (accumulateRow && r.painter)
            accumulate(r);
        if (r.painter)
            drawBand(r, band, r.y);
        r.y += band.height;
        r.body = r.body || body;
    }

    void place(Run &r, const PBand &band, bool body, bool accumulateRow = false) const
    {
        if (band.forEach < 0) {
            placeOnce(r, band, body, accumulateRow);
            return;
        }
        const ReportRows &rows = data[size_t(band.forEach)];
        std::vector<int> list;
        const Link &link = links[size_t(band.forEach)];
        if (link.masterCol >= 0) {
            if (r.masterRow >= 0) {
                const auto it =
                    link.rowsByKey.constFind(linkKey(data[size_t(master)].value(r.masterRow, link.masterCol)));
                if (it != link.rowsByKey.constEnd())
                    list = *it;
            }
        } else {
            for (int i = 0; i < rows.rowCount(); ++i)
                list.push_back(i);
        }
        for (int row : list) {
            r.bandSet = band.forEach;
            r.bandRow = row;
            placeOnce(r, band, body, false);
        }
        r.bandSet = -1;
        r.bandRow = -1;
    }

    void newPageIfAsked(Run &r, const PBand &band) const
    {
        if (band.newPageBefore && r.body)
            newPage(r);
    }

    int run(Run &r) const
    {
        r.usable = pageSizeMm(layout.page).height() - layout.page.marginTop - layout.page.marginBottom;
        r.bottom = r.usable - (pageFooter ? pageFooter->height : 0.0);
        resetAggs(AggregateScope::Report, -1);
        const int n = masterRows();
        r.masterRow = n > 0 ? 0 : -1;
        beginPage(r);
        if (title) {
            newPageIfAsked(r, *title);
            place(r, *title, false);
        }
        const int groupCount = int(groups.size());
        for (int i = 0; i < n; ++i) {
            int level = groupCount;
            if (i == 0) {
                level = 0;
            } else {
                for (int g = 0; g < groupCount; ++g)
                    if (groups[size_t(g)].keys[size_t(i)] != groups[size_t(g)].keys[size_t(i - 1)]) {
                        level = g;
                        break;
                    }
                if (level < groupCount) {
                    r.masterRow = i - 1;
                    for (int g = groupCount - 1; g >= level; --g) {
                        r.openGroups = g + 1;
                        if (groups[size_t(g)].footer)
                            place(r, *groups[size_t(g)].footer, true);
                    }
                }
            }
            r.masterRow = i;
            r.openGroups = level;
            for (int g = level; g < groupCount; ++g) {
                resetAggs(AggregateScope::Group, g);
                if (const std::optional<PBand> &h = groups[size_t(g)].header) {
                    newPageIfAsked(r, *h);
                    place(r, *h, true);
                }
                r.openGroups = g + 1;
            }
            if (detail)
                place(r, *detail, true, true);
            else if (r.painter)
                accumulate(r);
        }
        if (n > 0) {
            r.masterRow = n - 1;
            for (int g = groupCount - 1; g >= 0; --g) {
                r.openGroups = g + 1;
                if (groups[size_t(g)].footer)
                    place(r, *groups[size_t(g)].footer, true);
            }
        }
        r.openGroups = 0;
        if (summary) {
            newPageIfAsked(r, *summary);
            place(r, *summary, true);
        }
        endPage(r);
        return r.page;
    }
};

ReportRenderer::ReportRenderer(ReportLayout layout, QString layoutPath, std::vector<ReportRows> data, TParams params)
    : d(std::make_unique<Private>())
{
    d->layout = std::move(layout);
    d->path = std::move(layoutPath);
    d->fileName = QFileInfo(d->path).fileName();
    d->data = std::move(data);
    d->params = std::move(params);
    d->bind();
}

ReportRenderer::~ReportRenderer() = default;

const ReportLayout &ReportRenderer::layout() const
{
    return d->layout;
}

QString ReportRenderer::title() const
{
    return d->layout.title.isEmpty() ? d->fileName : d->layout.title;
}

QPageLayout ReportRenderer::pageLayout() const
{
    const PageSetup &p = d->layout.page;
    return QPageLayout(QPageSize(p.size == PageSizeId::Letter ? QPageSize::Letter : QPageSize::A4),
                       p.orientation == PageOrientation::Landscape ? QPageLayout::Landscape : QPageLayout::Portrait,
                       QMarginsF(p.marginLeft, p.marginTop, p.marginRight, p.marginBottom), QPageLayout::Millimeter);
}

int ReportRenderer::pageCount() const
{
    if (!d->pages) {
        Private::Run r;
        d->pages = d->run(r);
    }
    return *d->pages;
}

void ReportRenderer::print(QPagedPaintDevice &device, const PdfRenderOptions &options) const
{
    // Going on with a batch's painter: the first report begins it, each later one starts on
    // a new page of the same document.
    if (options.painter && options.painter->isActive()) {
        Private::Run r;
        r.totalPages = pageCount();
        if (!device.newPage())
            throw EKprError(u"%1: não foi possível começar uma página."_s.arg(layoutErrorPrefix(d->fileName)));
        r.painter = options.painter;
        r.device = &device;
        r.pxX = device.logicalDpiX() / 25.4;
        r.pxY = device.logicalDpiY() / 25.4;
        r.maxImageDpi = options.maxImageDpi;
        d->run(r);
        if (options.pagesPainted)
            *options.pagesPainted = r.totalPages;
        return;
    }
    const QPageLayout pl = pageLayout();
    if (!device.setPageLayout(pl)) {
        // A printer whose least margins are wider keeps them; the page and its turn are ours.
        device.setPageSize(pl.pageSize());
        device.setPageOrientation(pl.orientation());
    }
    Private::Run r;
    r.totalPages = pageCount();
    // A printer asked for some pages prints those only.
    if (const auto *printer = dynamic_cast<const QPrinter *>(&device);
        printer && printer->printRange() == QPrinter::PageRange) {
        r.fromPage = printer->fromPage();
        r.toPage = printer->toPage();
    }
    QPainter own;
    QPainter &painter = options.painter ? *options.painter : own;
    if (!painter.begin(&device))
        throw EKprError(u"%1: não foi possível começar a impressão."_s.arg(layoutErrorPrefix(d->fileName)));
    painter.setRenderHint(QPainter::Antialiasing);
    r.painter = &painter;
    r.device = &device;
    r.pxX = device.logicalDpiX() / 25.4;
    r.pxY = device.logicalDpiY() / 25.4;
    r.maxImageDpi = options.maxImageDpi;
    if (options.pagesPainted)
        *options.pagesPainted = r.totalPages;
    try {
        d->run(r);
    } catch (...) {
        painter.end();
        throw;
    }
    // A batch's painter stays open for the next report.
    if (!options.painter)
        painter.end();
}

} // namespace kpr
