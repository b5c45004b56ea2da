#include "framework/report/reportpagination.h"

namespace kpr::detail {

namespace {

constexpr double eps = 1e-6;

class Paginator
{
public:
    explicit Paginator(const BoundReport &report) : m(report), m_values(report.aggs.size()) {}

    PagePlan run()
    {
        const PageSetup &page = m.layout.page;
        m_usable = pageSizeMm(page).height() - page.marginTop - page.marginBottom;
        m_bottom = m_usable - (m.pageFooter ? m.pageFooter->height : 0.0);
        resetTotals(AggregateScope::Report, -1);
        const int n = m.masterRows();
        m_cursor.masterRow = n > 0 ? 0 : -1;
        m_plan.pages.emplace_back();
        beginPage();
        if (m.title) {
            newPageIfAsked(*m.title);
            place(*m.title, false);
        }
        const int groupCount = int(m.groups.size());
        for (int i = 0; i < n; ++i) {
            int level = groupCount;
            if (i == 0) {
                level = 0;
            } else {
                for (int g = 0; g < groupCount; ++g)
                    if (m.groups[size_t(g)].keys[size_t(i)] != m.groups[size_t(g)].keys[size_t(i - 1)]) {
                        level = g;
                        break;
                    }
                if (level < groupCount) {
                    m_cursor.masterRow = i - 1;
                    for (int g = groupCount - 1; g >= level; --g) {
                        m_openGroups = g + 1;
                        if (m.groups[size_t(g)].footer)
                            place(*m.groups[size_t(g)].footer, true);
                    }
                }
            }
            m_cursor.masterRow = i;
            m_openGroups = level;
            for (int g = level; g < groupCount; ++g) {
                resetTotals(AggregateScope::Group, g);
                if (const std::optional<PBand> &h = m.groups[size_t(g)].header) {
                    newPageIfAsked(*h);
                    place(*h, true);
                }
                m_openGroups = g + 1;
            }
            if (m.detail)
                place(*m.detail, true, true);
            else
                accumulate();
        }
        if (n > 0) {
            m_cursor.masterRow = n - 1;
            for (int g = groupCount - 1; g >= 0; --g) {
                m_openGroups = g + 1;
                if (m.groups[size_t(g)].footer)
                    place(*m.groups[size_t(g)].footer, true);
            }
        }
        m_openGroups = 0;
        if (m.summary) {
            newPageIfAsked(*m.summary);
            place(*m.summary, true);
        }
        endPage();
        return std::move(m_plan);
    }

private:
    void record(const PBand &band, double top)
    {
        int totals = -1;
        if (!band.aggregates.empty()) {
            totals = int(m_plan.totals.size());
            for (int a : band.aggregates)
                m_plan.totals.push_back(m_values[size_t(a)]);
        }
        m_plan.pages.back().push_back(
            Placement{&band, top, m_cursor.masterRow, m_cursor.bandSet, m_cursor.bandRow, totals});
    }

    void resetTotals(AggregateScope scope, int group)
    {
        for (size_t i = 0; i < m.aggs.size(); ++i) {
            const AggDef &a = m.aggs[i];
            if (a.scope == scope && (scope != AggregateScope::Group || a.group == group))
                m_values[i] = AggValue();
        }
    }

    void accumulate()
    {
        for (size_t i = 0; i < m.aggs.size(); ++i) {
            const AggDef &a = m.aggs[i];
            AggValue &v = m_values[i];
            if (a.isCount && !a.ref.valid()) {
                ++v.count;
                continue;
            }
            const QVariant value = m.valueOf(m_cursor, a.ref);
            if (!value.isValid() || value.isNull())
                continue;
            ++v.count;
            if (a.isCount)
                continue;
            std::optional<double> number = numberOf(value);
            if (number && a.times.valid())
                number = *number * numberOf(m.valueOf(m_cursor, a.times)).value_or(0.0);
            if (number)
                v.sum += FixedAmount::fromDouble(*number);
        }
    }

    void beginPage()
    {
        m_y = 0.0;
        m_body = false;
        resetTotals(AggregateScope::Page, -1);
        if (m.pageHeader) {
            record(*m.pageHeader, m_y);
            m_y += m.pageHeader->height;
        }
        if (m_plan.pages.size() > 1) {
            for (int g = 0; g < m_openGroups; ++g) {
                const std::optional<PBand> &h = m.groups[size_t(g)].header;
                if (h && h->repeatOnNewPage && m_y + h->height <= m_bottom + eps) {
                    record(*h, m_y);
                    m_y += h->height;
                }
            }
        }
        m_contentTop = m_y;
    }

    void endPage()
    {
        if (m.pageFooter)
            record(*m.pageFooter, m_usable - m.pageFooter->height);
    }

    void newPage()
    {
        endPage();
        m_plan.pages.emplace_back();
        beginPage();
    }

    void placeOnce(const PBand &band, bool body, bool accumulateRow)
    {
        if (m_y + band.height > m_bottom + eps && m_y > m_contentTop + eps)
            newPage();
        if (accumulateRow)
            accumulate();
        record(band, m_y);
        m_y += band.height;
        m_body = m_body || body;
    }

    void place(const PBand &band, bool body, bool accumulateRow = false)
    {
        if (band.forEach < 0) {
            placeOnce(band, body, accumulateRow);
            return;
        }
        for (int row : m.bandRows(band, m_cursor.masterRow)) {
            m_cursor.bandSet = band.forEach;
            m_cursor.bandRow = row;
            placeOnce(band, body, false);
        }
        m_cursor.bandSet = -1;
        m_cursor.bandRow = -1;
    }

    void newPageIfAsked(const PBand &band)
    {
        if (band.newPageBefore && m_body)
            newPage();
    }

    const BoundReport &m;
    PagePlan m_plan;
    std::vector<AggValue> m_values;
    RowCursor m_cursor;
    double m_usable = 0.0; // mm from the top margin to the bottom margin
    double m_bottom = 0.0; // where the page footer begins
    double m_y = 0.0;
    double m_contentTop = 0.0; // below the page's headers
    bool m_body = false;
    int m_openGroups = 0;
};

} // namespace

PagePlan paginate(const BoundReport &report)
{
    return Paginator(report).run();
}

} // namespace kpr::detail
