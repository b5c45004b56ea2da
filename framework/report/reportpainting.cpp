#include "framework/report/reportpainting.h"

#include "framework/core/mask.h"

#include <QPaintDevice>
#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace kpr::detail {

const QImage &ImageCache::scaled(const Prepared &p, const QSizeF &targetMm, int maxDpi)
{
    if (maxDpi <= 0)
        return p.image;
    const std::lock_guard lock(m_mutex);
    auto it = m_images.find({&p, maxDpi});
    if (it == m_images.end()) {
        const QSize most(int(targetMm.width() / 25.4 * maxDpi), int(targetMm.height() / 25.4 * maxDpi));
        QImage img = p.image;
        if (most.width() > 0 && most.height() > 0 && (img.width() > most.width() || img.height() > most.height()))
            img = img.scaled(most, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        it = m_images.emplace(std::make_pair(&p, maxDpi), img).first;
    }
    return it->second;
}

namespace {

class PagePainter
{
public:
    PagePainter(const BoundReport &report, const PagePlan &plan, int page, QPainter &painter, int maxImageDpi,
                ImageCache &images)
        : m(report),
          m_plan(plan),
          m_page(page),
          m_painter(painter),
          m_maxImageDpi(maxImageDpi),
          m_images(images)
    {
        const QPaintDevice *device = painter.device();
        m_pxX = device->logicalDpiX() / 25.4;
        m_pxY = device->logicalDpiY() / 25.4;
    }

    void paint()
    {
        for (const Placement &placed : m_plan.pages[size_t(m_page - 1)]) {
            m_cursor.masterRow = placed.masterRow;
            m_cursor.bandSet = placed.bandSet;
            m_cursor.bandRow = placed.bandRow;
            m_totals = placed.totals >= 0 ? &m_plan.totals[size_t(placed.totals)] : nullptr;
            drawBand(*placed.band, placed.top);
        }
    }

private:
    QString textOf(const Prepared &p)
    {
        const ReportElement &e = p.e;
        switch (e.kind) {
        case ElementKind::Text: {
            QString out;
            for (const TextPart &part : p.parts)
                out += part.ref.valid() ? plainText(m.valueOf(m_cursor, part.ref)) : part.literal;
            return out;
        }
        case ElementKind::Field: {
            const QVariant v = m.valueOf(m_cursor, p.ref);
            QString mask = e.mask;
            if (p.maskRef.valid()) {
                const QString kind = plainText(m.valueOf(m_cursor, p.maskRef)).trimmed();
                mask = e.masks.contains(kind) ? e.masks.value(kind) : PictPess(kind);
            }
            if (!mask.isEmpty()) {
                const QString text = plainText(v).trimmed();
                return text.isEmpty() ? QString() : FormatMaskText(mask, text);
            }
            return p.format->format(v, e.blankZero);
        }
        case ElementKind::Sum: return p.format->formatAmount(m_totals[p.aggSlot].sum, e.blankZero);
        case ElementKind::Count: return p.format->format(QVariant(m_totals[p.aggSlot].count), e.blankZero);
        case ElementKind::PageNumber: {
            QString t = e.text;
            return t.replace(u"{page}"_s, QString::number(m_page))
                .replace(u"{pages}"_s, QString::number(m_plan.pageCount()));
        }
        default: return QString();
        }
    }

    void drawBand(const PBand &band, double top)
    {
        for (const Prepared &p : band.elements) {
            const ReportElement &e = p.e;
            const QRectF rect(e.x * m_pxX, (top + e.y) * m_pxY, e.width * m_pxX, e.height * m_pxY);
            switch (e.kind) {
            case ElementKind::Line: {
                QPen pen(e.color, std::max(e.penWidth, 0.05) * m_pxX);
                pen.setCapStyle(Qt::FlatCap);
                m_painter.setPen(pen);
                m_painter.drawLine(rect.topLeft(), rect.bottomRight());
                break;
            }
            case ElementKind::Box: {
                if (e.penWidth > 0)
                    m_painter.setPen(QPen(e.color, e.penWidth * m_pxX));
                else
                    m_painter.setPen(Qt::NoPen);
                m_painter.setBrush(e.fill ? QBrush(*e.fill) : QBrush(Qt::NoBrush));
                m_painter.drawRect(rect);
                m_painter.setBrush(Qt::NoBrush);
                break;
            }
            case ElementKind::Image: {
                const QImage &img = m_images.scaled(p, QSizeF(e.width, e.height), m_maxImageDpi);
                QRectF target = rect;
                if (e.keepAspect && !img.isNull()) {
                    QSizeF s = QSizeF(img.size()).scaled(rect.size(), Qt::KeepAspectRatio);
                    target = QRectF(
                        rect.topLeft() + QPointF((rect.width() - s.width()) / 2, (rect.height() - s.height()) / 2), s);
                }
                m_painter.drawImage(target, img);
                break;
            }
            default: {
                const QString text = textOf(p);
                if (text.isEmpty())
                    break;
                if (m_currentFont != p.font) {
                    m_painter.setFont(m.fonts[size_t(p.font)]);
                    m_currentFont = p.font;
                }
                m_painter.setPen(e.color);
                m_painter.drawText(rect, p.flags, text);
                break;
            }
            }
        }
    }

    const BoundReport &m;
    const PagePlan &m_plan;
    const int m_page;
    QPainter &m_painter;
    const int m_maxImageDpi;
    ImageCache &m_images;
    double m_pxX = 1.0, m_pxY = 1.0; // device pixels per millimetre
    RowCursor m_cursor;
    const AggValue *m_totals = nullptr; // the sums and counts of the band being drawn
    int m_currentFont = -1;
};

} // namespace

void paintPage(const BoundReport &report, const PagePlan &plan, int page, QPainter &painter, int maxImageDpi,
               ImageCache &images)
{
    PagePainter(report, plan, page, painter, maxImageDpi, images).paint();
}

} // namespace kpr::detail
