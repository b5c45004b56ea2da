#pragma once
// The model of a report layout (a .QR2 file in the "kpr-layout" format, see
// docs/layout-format.md): page set-up, declared parameters, datasets, groups and bands with
// their elements. Plain values only: layoutfile.h reads and writes them, the renderer paints
// them, a layout editor edits them. Positions and sizes are in millimetres, font sizes in
// points.

#include <QColor>
#include <QList>
#include <QMap>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>

namespace kpr {

inline constexpr int layoutFormatVersion = 1;

enum class PageSizeId { A4, Letter };
enum class PageOrientation { Portrait, Landscape };

struct PageSetup
{
    PageSizeId size = PageSizeId::A4;
    PageOrientation orientation = PageOrientation::Portrait;
    double marginLeft = 10.0;
    double marginTop = 10.0;
    double marginRight = 10.0;
    double marginBottom = 10.0;
    friend bool operator==(const PageSetup &, const PageSetup &) = default;
};

// A parameter the layout declares: what ExistParam answers and what BeforeGetQueryParams
// receives, typed and empty.
enum class ParamKind { String, Date, Float, Integer };

struct ParamDecl
{
    QString name; // "P_CDFILIAL"
    ParamKind kind = ParamKind::String;
    friend bool operator==(const ParamDecl &, const ParamDecl &) = default;
};

// Narrows the rows of a dataset once it is loaded.
//   Equals: the field's value equals the parameter's (text trimmed, dates by day, numbers
//           by value); a parameter without value keeps no row.
//   InList: the parameter holds "T" (every row) or keys each between underscores
//           ("_0001_0002_"); the rows whose trimmed field value is one of the keys stay.
struct DataSetFilter
{
    enum class Op { Equals, InList };
    QString field;
    Op op = Op::Equals;
    QString param;
    friend bool operator==(const DataSetFilter &, const DataSetFilter &) = default;
};

struct SortKey
{
    QString field;
    bool descending = false;
    friend bool operator==(const SortKey &, const SortKey &) = default;
};

// The rows of a dataset whose `field` equals the master's `masterField` in the current
// master row. A dataset with a link is a look-up ("cliente.DSENDECLIE" reads its first
// matching row) or, named by a band's forEach, a sub-detail.
struct DataSetLink
{
    QString field;
    QString masterField;
    friend bool operator==(const DataSetLink &, const DataSetLink &) = default;
};

struct DataSetDef
{
    QString name; // referred to by elements as "name.FIELD"
    // Either SQL on the shared connection (dtmDBGeral) with :P_... parameters ...
    QString sql;                       // the default statement
    QMap<QString, QString> sqlDialect; // "sqlite" / "postgresql": a statement for that kind
    // ... or one of the in-memory tables registered on the report dialog by name.
    QString table;
    QList<DataSetFilter> filters;
    QList<SortKey> sort; // a stable sort after filtering; none keeps the source's order
    std::optional<DataSetLink> link;
    // Read again at every opening, also within a run of reports that keeps the other
    // datasets' rows: rows that change while the run goes on (sequence numbers issued per
    // client).
    bool reread = false;

    bool isSql() const { return table.isEmpty(); }
    friend bool operator==(const DataSetDef &, const DataSetDef &) = default;
};

struct FontSpec
{
    QString family = QStringLiteral("DejaVu Sans");
    double size = 9.0; // points
    bool bold = false;
    bool italic = false;
    friend bool operator==(const FontSpec &, const FontSpec &) = default;
};

enum class HAlign { Left, Center, Right, Justify };
enum class VAlign { Top, Middle, Bottom };

enum class ElementKind {
    Text,       // static text; "${P_NAME}" is a parameter's text, "[FIELD]" / "[ds.FIELD]" a field's
    Field,      // the formatted value of a field (or of a parameter)
    Sum,        // the sum of a field over the rows of a scope
    Count,      // the number of rows of a scope (those with a value when a field is named)
    PageNumber, // the text with "{page}" and "{pages}": "Página {page} de {pages}"
    Line,       // from (x, y) to (x + width, y + height)
    Box,        // a rectangle, optionally filled
    Image,      // a picture file, path relative to the layout's folder
};

enum class AggregateScope { Report, Group, Page };

// One element copied `count` times, each `step` mm further right (or down), with "{n}" in
// its name, text, field, times, param and maskFrom replaced by start + i written with `number`
// ("%02d": 01, 02, ...; "%d": 1, 2, ...; "%03d": 001, ...).
struct RepeatSpec
{
    int count = 1;
    double step = 0.0;
    bool vertical = false;
    int start = 1;
    QString number = QStringLiteral("%02d");
    friend bool operator==(const RepeatSpec &, const RepeatSpec &) = default;
};

struct ReportElement
{
    ElementKind kind = ElementKind::Text;
    QString name;                                       // for messages and for the editor; may be empty
    double x = 0.0, y = 0.0, width = 0.0, height = 0.0; // mm, from the band's top-left corner

    QString text;  // Text and PageNumber
    QString field; // Field, Sum, Count: "FIELD" (the band's dataset) or "dataset.FIELD"
    QString param; // Field: show a parameter's value instead of a field's

    // Field, Sum: a number pattern ("#,##0.00", "0.0", "R$ #,##0.00", up to three sections
    // positive;negative;zero) or a named format: "integer", "currency", "date", "datetime",
    // "date:<Qt date pattern>". Empty: the value as text (dates dd/MM/yyyy).
    QString format;
    bool blankZero = false; // a zero value shows as nothing
    QString mask;           // Field: an edit mask, "99.999.999/9999-99;0"
    // Field: the mask comes from this field's value: through `masks` when it lists the
    // value, else the registration mask of that kind of person (J company, F person).
    QString maskFrom;
    QMap<QString, QString> masks;

    QString times;                                 // Sum: each row adds field × times ("QTSERVICO01" × "VRSERVICO01")
    AggregateScope scope = AggregateScope::Report; // Sum, Count
    QString group; // Sum, Count with scope Group: the group's name; empty = the enclosing group

    FontSpec font;
    HAlign align = HAlign::Left;
    VAlign valign = VAlign::Middle;
    bool wordWrap = false;
    QColor color = QColor(Qt::black); // text and lines
    double penWidth = 0.2;            // Line, Box: mm
    std::optional<QColor> fill;       // Box
    QString imageFile;                // Image
    bool keepAspect = true;           // Image

    std::optional<RepeatSpec> repeat;
    friend bool operator==(const ReportElement &, const ReportElement &) = default;
};

struct ReportBand
{
    double height = 0.0; // mm; bands have a fixed height
    // Title, Summary, GroupHeader: start a new page first unless the page holds nothing
    // yet but its page header.
    bool newPageBefore = false;
    // GroupHeader: printed again under the page header when the group goes on to a new page.
    bool repeatOnNewPage = false;
    // Printed once per row of this linked dataset (rows of the current master row), its
    // fields readable by plain name; empty: printed once.
    QString forEach;
    QList<ReportElement> elements;
    friend bool operator==(const ReportBand &, const ReportBand &) = default;
};

struct ReportGroup
{
    QString name;
    QStringList keyFields; // of the master dataset; a change of any starts a new group
    std::optional<ReportBand> header;
    std::optional<ReportBand> footer;
    friend bool operator==(const ReportGroup &, const ReportGroup &) = default;
};

struct ReportLayout
{
    int version = layoutFormatVersion;
    QString title; // the caption of the report list
    PageSetup page;
    QList<ParamDecl> params;
    QList<DataSetDef> datasets;
    QString master;            // the dataset whose rows the detail band walks; empty: the first one
    QList<ReportGroup> groups; // outermost first
    std::optional<ReportBand> titleBand;
    std::optional<ReportBand> pageHeader;
    std::optional<ReportBand> detail;
    std::optional<ReportBand> summary;
    std::optional<ReportBand> pageFooter;

    const ParamDecl *findParam(const QString &name) const;    // case-insensitive
    const DataSetDef *findDataSet(const QString &name) const; // case-insensitive
    const DataSetDef *masterDataSet() const;
    int groupIndex(const QString &name) const; // -1 when absent
    friend bool operator==(const ReportLayout &, const ReportLayout &) = default;
};

// The paper's size in millimetres, turned for landscape.
QSizeF pageSizeMm(const PageSetup &page);

// The element as printed: one copy per repetition, "{n}" replaced; an element without
// repeat comes back alone. An unusable number pattern gives an empty list.
QList<ReportElement> expandRepeat(const ReportElement &element);
// The repetition number as the pattern writes it; empty for an unusable pattern (only
// "%d", "%Nd" and "%0Nd" are accepted).
QString formatRepeatNumber(const QString &pattern, int number);

// The names the file format uses for the enumerations ("A4", "landscape", "date", "sum",
// "pageHeader", ...); the reader accepts them in any letter case.
QString pageSizeName(PageSizeId size);
QString orientationName(PageOrientation orientation);
QString paramKindName(ParamKind kind);
QString elementKindName(ElementKind kind);
QString scopeName(AggregateScope scope);
QString hAlignName(HAlign align);
QString vAlignName(VAlign align);

} // namespace kpr
