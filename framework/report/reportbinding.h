#pragma once
// A layout bound to its data: every field, parameter, group key, link, picture and number
// pattern the layout names resolved once, and the value of a reference at a row position.
// What the renderer's pagination and painting read; nothing here paints.

#include "framework/core/amount.h"
#include "framework/data/params.h"
#include "framework/report/layout.h"
#include "framework/report/reportdata.h"
#include "framework/report/valueformat.h"

#include <QFont>
#include <QHash>
#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace kpr::detail {

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

// One element ready to paint: its font, alignment flags, value source and format.
struct Prepared
{
    ReportElement e;
    int font = -1;
    int flags = 0;
    Ref ref;
    std::optional<ValueFormat> format;
    Ref maskRef;
    std::vector<TextPart> parts;
    int agg = -1;     // the sum or count shown, in BoundReport::aggs
    int aggSlot = -1; // its place among the band's aggregates
    QImage image;
};

struct PBand
{
    double height = 0.0;
    bool newPageBefore = false;
    bool repeatOnNewPage = false;
    int forEach = -1;
    std::vector<int> aggregates; // the sums and counts it shows, by their index in BoundReport::aggs
    std::vector<Prepared> elements;
};

struct PGroup
{
    std::vector<int> keyCols;
    std::vector<QString> keys; // per master row
    std::optional<PBand> header, footer;
};

// A sum or a count: what it runs over and when it starts again.
struct AggDef
{
    AggregateScope scope = AggregateScope::Report;
    int group = -1;
    Ref ref;
    Ref times;
    bool isCount = false;
};

struct AggValue
{
    FixedAmount sum;
    qint64 count = 0;
};

struct Link
{
    int masterCol = -1;
    QHash<QString, std::vector<int>> rowsByKey;
};

// The rows a band reads at one moment: the master row, the row of a band's own dataset
// (forEach), and the first matching row of each linked dataset, found when asked.
struct RowCursor
{
    int masterRow = -1;
    int bandSet = -1;
    int bandRow = -1;
    int linkedFor = -2;
    std::vector<int> linkRow;
};

struct BoundReport
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
    std::vector<PGroup> groups;
    std::vector<AggDef> aggs;

    // Resolves everything the layout names; a fault throws EKprError naming the file, the
    // band and the element.
    void bind();

    int masterRows() const { return master >= 0 ? data[size_t(master)].rowCount() : 0; }
    QVariant valueOf(RowCursor &c, const Ref &ref) const;
    // The rows of a forEach band's dataset for the cursor's master row.
    std::vector<int> bandRows(const PBand &band, int masterRow) const;

    [[noreturn]] void fail(const QString &where, const QString &what) const;

private:
    int rowOf(RowCursor &c, int set) const;
    Ref resolveField(const QString &name, int bandSet, const QString &where) const;
    Ref resolveParam(const QString &name, const QString &where) const;
    int fontIndex(const FontSpec &font);
    std::vector<TextPart> parseText(const QString &text, int bandSet, const QString &where) const;
    PBand bindBand(const ReportBand &band, const QString &where, int groupIndex);
    Prepared bindElement(const ReportElement &e, const QString &where, int bandSet, int groupIndex);
};

} // namespace kpr::detail
