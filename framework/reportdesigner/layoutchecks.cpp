#include "framework/reportdesigner/layoutchecks.h"

#include "framework/report/layoutfile.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

// The dataset a field reference names, or "" for a plain field of the band's dataset.
QString dataSetOf(const QString &reference)
{
    const qsizetype dot = reference.indexOf(u'.');
    return dot >= 0 ? reference.left(dot) : QString();
}

// The references an element reads: its field, the factor of a sum, the [dataset.FIELD] of
// a text.
QStringList referencesOf(const ReportElement &e)
{
    QStringList refs;
    if (!e.field.isEmpty())
        refs << e.field;
    if (!e.times.isEmpty())
        refs << e.times;
    if (e.kind == ElementKind::Text) {
        static const QRegularExpression bracket(u"\\[([^\\]]+)\\]"_s);
        for (auto it = bracket.globalMatch(e.text); it.hasNext();)
            if (const QString ref = it.next().captured(1).trimmed(); ref.contains(u'.'))
                refs << ref;
    }
    return refs;
}

Status checkBand(const ReportLayout &layout, const ReportBand &band, const QString &bandWhere, const QString &fileName)
{
    for (qsizetype i = 0; i < band.elements.size(); ++i) {
        const ReportElement &element = band.elements[i];
        QString where = u"%1, elemento %2"_s.arg(bandWhere).arg(i + 1);
        if (!element.name.isEmpty())
            where += u" ('%1')"_s.arg(element.name);
        for (const ReportElement &copy : expandRepeat(element)) {
            for (const QString &ref : referencesOf(copy)) {
                const QString set = dataSetOf(ref);
                QString fault;
                if (!set.isEmpty() && !layout.findDataSet(set))
                    fault = u"o conjunto de dados '%1' não existe"_s.arg(set);
                else if (set.isEmpty() && band.forEach.isEmpty() && !layout.masterDataSet())
                    fault = u"o campo '%1' não tem conjunto de dados de onde vir"_s.arg(ref);
                if (!fault.isEmpty())
                    return makeError(u"%1: %2: %3."_s.arg(layoutErrorPrefix(fileName), where, fault));
            }
        }
    }
    return {};
}

} // namespace

Status checkLayoutReferences(const ReportLayout &layout, const QString &fileName)
{
    const std::pair<const std::optional<ReportBand> *, QString> bands[] = {{&layout.titleBand, u"title"_s},
                                                                           {&layout.pageHeader, u"pageHeader"_s},
                                                                           {&layout.detail, u"detail"_s},
                                                                           {&layout.summary, u"summary"_s},
                                                                           {&layout.pageFooter, u"pageFooter"_s}};
    for (const auto &[band, name] : bands)
        if (*band)
            if (Status s = checkBand(layout, **band, u"faixa '%1'"_s.arg(name), fileName); !s)
                return s;
    for (const ReportGroup &g : layout.groups) {
        if (g.header)
            if (Status s = checkBand(layout, *g.header, u"grupo '%1', cabeçalho"_s.arg(g.name), fileName); !s)
                return s;
        if (g.footer)
            if (Status s = checkBand(layout, *g.footer, u"grupo '%1', rodapé"_s.arg(g.name), fileName); !s)
                return s;
    }
    return {};
}

} // namespace kpr
