#include "framework/report/layoutfile.h"

#include "framework/core/abort.h"
#include "framework/report/valueformat.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

QString layoutErrorPrefix(const QString &fileName)
{
    return u"Layout '%1'"_s.arg(fileName);
}

namespace {

constexpr int legacyTitleLines = 20;

// Thrown inside the reader with the text after "Layout 'F': ", caught at parseLayout.
struct ReadError
{
    QString text;
};

QString quoted(const QString &s)
{
    return u"'"_s + s + u"'"_s;
}

class Reader
{
public:
    explicit Reader(const ReportLayout &layout) : m_layout(layout) {}

    [[noreturn]] static void fail(const QString &where, const QString &what)
    {
        throw ReadError{where.isEmpty() ? what : where + u": "_s + what};
    }

    static void allowOnly(const QJsonObject &o, const QStringList &keys, const QString &where)
    {
        for (auto it = o.begin(); it != o.end(); ++it)
            if (!keys.contains(it.key()))
                fail(where, u"chave desconhecida %1"_s.arg(quoted(it.key())));
    }

    static QJsonObject object(const QJsonValue &v, const QString &where, const QString &key)
    {
        if (!v.isObject())
            fail(where, u"%1 deve ser um objeto"_s.arg(quoted(key)));
        return v.toObject();
    }

    static QJsonArray array(const QJsonValue &v, const QString &where, const QString &key)
    {
        if (!v.isArray())
            fail(where, u"%1 deve ser uma lista"_s.arg(quoted(key)));
        return v.toArray();
    }

    static QString string(const QJsonObject &o, const QString &key, const QString &where, bool required = false,
                          const QString &def = QString())
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined()) {
            if (required)
                fail(where, u"falta %1"_s.arg(quoted(key)));
            return def;
        }
        if (!v.isString())
            fail(where, u"%1 deve ser um texto"_s.arg(quoted(key)));
        if (required && v.toString().trimmed().isEmpty())
            fail(where, u"%1 está vazio"_s.arg(quoted(key)));
        return v.toString();
    }

    // A text, or a list of lines joined with line breaks (long SQL statements).
    static QString lines(const QJsonObject &o, const QString &key, const QString &where)
    {
        const QJsonValue v = o.value(key);
        if (v.isArray()) {
            QStringList out;
            for (const QJsonValue &line : v.toArray()) {
                if (!line.isString())
                    fail(where, u"%1 deve ser um texto ou uma lista de textos"_s.arg(quoted(key)));
                out << line.toString();
            }
            return out.join(u'\n');
        }
        return string(o, key, where);
    }

    static double number(const QJsonObject &o, const QString &key, const QString &where, double def,
                         bool nonNegative = true)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return def;
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            fail(where, u"%1 deve ser um número"_s.arg(quoted(key)));
        if (nonNegative && v.toDouble() < 0)
            fail(where, u"%1 não pode ser negativo"_s.arg(quoted(key)));
        return v.toDouble();
    }

    static int integer(const QJsonObject &o, const QString &key, const QString &where, int def, int min, int max)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return def;
        const double d = v.toDouble();
        if (!v.isDouble() || d != std::floor(d) || d < min || d > max)
            fail(where, u"%1 deve ser um número inteiro de %2 a %3"_s.arg(quoted(key)).arg(min).arg(max));
        return int(d);
    }

    static bool boolean(const QJsonObject &o, const QString &key, const QString &where, bool def)
    {
        const QJsonValue v = o.value(key);
        if (v.isUndefined())
            return def;
        if (!v.isBool())
            fail(where, u"%1 deve ser true ou false"_s.arg(quoted(key)));
        return v.toBool();
    }

    template<typename E>
    static E choice(const QJsonObject &o, const QString &key, const QString &where, E def,
                    const QList<std::pair<QString, E>> &names)
    {
        const QString text = string(o, key, where);
        if (text.isEmpty() && o.value(key).isUndefined())
            return def;
        QStringList accepted;
        for (const auto &[name, value] : names) {
            if (text.compare(name, Qt::CaseInsensitive) == 0)
                return value;
            accepted << name;
        }
        fail(where, u"%1 inválido: %2 (aceitos: %3)"_s.arg(quoted(key), quoted(text), accepted.join(u", "_s)));
    }

    static QColor color(const QJsonObject &o, const QString &key, const QString &where, const QColor &def)
    {
        const QString text = string(o, key, where);
        if (o.value(key).isUndefined())
            return def;
        const QColor c = QColor::fromString(text);
        if (!c.isValid())
            fail(where, u"cor inválida em %1: %2"_s.arg(quoted(key), quoted(text)));
        return c;
    }

    void checkParam(const QString &name, const QString &where) const
    {
        if (!m_layout.findParam(name))
            fail(where, u"o parâmetro %1 não está declarado em 'parameters'"_s.arg(quoted(name)));
    }

    void checkFormat(const QString &format, const QString &where) const
    {
        const Result<ValueFormat> f = ValueFormat::parse(format);
        if (!f)
            fail(where, f.error());
    }

    // The parameters a text names as ${P_NAME}.
    void checkTextParams(const QString &text, const QString &where) const
    {
        static const QRegularExpression re(u"\\$\\{([^}]*)\\}"_s);
        for (auto it = re.globalMatch(text); it.hasNext();)
            checkParam(it.next().captured(1).trimmed(), where);
    }

    static std::pair<HAlign, VAlign> alignment(const QJsonObject &o, const QString &where)
    {
        const HAlign h = choice<HAlign>(o, u"align"_s, where, HAlign::Left,
                                        {{u"left"_s, HAlign::Left},
                                         {u"center"_s, HAlign::Center},
                                         {u"right"_s, HAlign::Right},
                                         {u"justify"_s, HAlign::Justify}});
        const VAlign v =
            choice<VAlign>(o, u"valign"_s, where, VAlign::Middle,
                           {{u"top"_s, VAlign::Top}, {u"middle"_s, VAlign::Middle}, {u"bottom"_s, VAlign::Bottom}});
        return {h, v};
    }

    ReportElement element(const QJsonValue &value, const QString &where, int groupIndex) const
    {
        if (!value.isObject())
            fail(where, u"deve ser um objeto"_s);
        const QJsonObject o = value.toObject();
        allowOnly(o, {u"type"_s,  u"name"_s,  u"x"_s,     u"y"_s,      u"width"_s,      u"height"_s, u"text"_s,
                      u"field"_s, u"param"_s, u"times"_s, u"format"_s, u"blankZero"_s,  u"mask"_s,   u"maskFrom"_s,
                      u"masks"_s, u"over"_s,  u"group"_s, u"font"_s,   u"align"_s,      u"valign"_s, u"wrap"_s,
                      u"color"_s, u"pen"_s,   u"fill"_s,  u"file"_s,   u"keepAspect"_s, u"repeat"_s},
                  where);
        ReportElement e;
        e.kind = choice<ElementKind>(o, u"type"_s, where, ElementKind::Text,
                                     {{u"text"_s, ElementKind::Text},
                                      {u"field"_s, ElementKind::Field},
                                      {u"sum"_s, ElementKind::Sum},
                                      {u"count"_s, ElementKind::Count},
                                      {u"pageNumber"_s, ElementKind::PageNumber},
                                      {u"line"_s, ElementKind::Line},
                                      {u"box"_s, ElementKind::Box},
                                      {u"image"_s, ElementKind::Image}});
        if (!o.contains(u"type"_s))
            fail(where, u"falta 'type'"_s);
        e.name = string(o, u"name"_s, where);
        e.x = number(o, u"x"_s, where, 0.0);
        e.y = number(o, u"y"_s, where, 0.0);
        e.width = number(o, u"width"_s, where, 0.0);
        e.height = number(o, u"height"_s, where, 0.0);
        e.text = string(o, u"text"_s, where);
        e.field = string(o, u"field"_s, where).trimmed();
        e.param = string(o, u"param"_s, where).trimmed();
        e.times = string(o, u"times"_s, where).trimmed();
        if (!e.times.isEmpty() && e.kind != ElementKind::Sum)
            fail(where, u"'times' só vale num elemento 'sum'"_s);
        e.format = string(o, u"format"_s, where);
        e.blankZero = boolean(o, u"blankZero"_s, where, false);
        e.mask = string(o, u"mask"_s, where);
        e.maskFrom = string(o, u"maskFrom"_s, where).trimmed();
        if (o.contains(u"masks"_s)) {
            const QJsonObject m = object(o.value(u"masks"_s), where, u"masks"_s);
            for (auto it = m.begin(); it != m.end(); ++it) {
                if (!it.value().isString())
                    fail(where, u"'masks' deve associar textos a textos"_s);
                e.masks.insert(it.key(), it.value().toString());
            }
        }
        e.scope = choice<AggregateScope>(o, u"over"_s, where, AggregateScope::Report,
                                         {{u"report"_s, AggregateScope::Report},
                                          {u"group"_s, AggregateScope::Group},
                                          {u"page"_s, AggregateScope::Page}});
        e.group = string(o, u"group"_s, where).trimmed();
        if (o.contains(u"font"_s)) {
            const QJsonObject f = object(o.value(u"font"_s), where, u"font"_s);
            allowOnly(f, {u"family"_s, u"size"_s, u"bold"_s, u"italic"_s}, where + u", fonte"_s);
            e.font.family = string(f, u"family"_s, where, false, e.font.family);
            e.font.size = number(f, u"size"_s, where, e.font.size);
            if (e.font.size < 1.0 || e.font.size > 200.0)
                fail(where, u"tamanho de fonte fora de 1 a 200 pontos"_s);
            e.font.bold = boolean(f, u"bold"_s, where, false);
            e.font.italic = boolean(f, u"italic"_s, where, false);
        }
        std::tie(e.align, e.valign) = alignment(o, where);
        e.wordWrap = boolean(o, u"wrap"_s, where, false);
        e.color = color(o, u"color"_s, where, e.color);
        e.penWidth = number(o, u"pen"_s, where, e.penWidth);
        if (o.contains(u"fill"_s))
            e.fill = color(o, u"fill"_s, where, QColor());
        e.imageFile = string(o, u"file"_s, where);
        e.keepAspect = boolean(o, u"keepAspect"_s, where, true);

        if (o.contains(u"repeat"_s)) {
            const QJsonObject r = object(o.value(u"repeat"_s), where, u"repeat"_s);
            const QString rw = where + u", repetição"_s;
            allowOnly(r, {u"count"_s, u"step"_s, u"direction"_s, u"start"_s, u"number"_s}, rw);
            RepeatSpec repeat;
            repeat.count = integer(r, u"count"_s, rw, 0, 1, 1000);
            if (!r.contains(u"count"_s))
                fail(rw, u"falta 'count'"_s);
            repeat.step = number(r, u"step"_s, rw, 0.0, false);
            repeat.vertical =
                choice<bool>(r, u"direction"_s, rw, false, {{u"horizontal"_s, false}, {u"vertical"_s, true}});
            repeat.start = integer(r, u"start"_s, rw, 1, -1000000, 1000000);
            repeat.number = string(r, u"number"_s, rw, false, repeat.number);
            if (formatRepeatNumber(repeat.number, repeat.start).isEmpty())
                fail(rw, u"'number' deve ser da forma %d, %2d ou %02d, não %1"_s.arg(quoted(repeat.number)));
            e.repeat = repeat;
        }

        // What each kind needs, checked on the element as written ("{n}" still in place).
        switch (e.kind) {
        case ElementKind::Field:
            if (e.field.isEmpty() == e.param.isEmpty())
                fail(where, u"um elemento 'field' deve ter 'field' ou 'param' (um dos dois)"_s);
            if (!e.param.isEmpty() && !e.param.contains(u"{n}"_s))
                checkParam(e.param, where);
            if (!e.mask.isEmpty() && !e.maskFrom.isEmpty())
                fail(where, u"'mask' e 'maskFrom' não podem estar juntos"_s);
            checkFormat(e.format, where);
            break;
        case ElementKind::Sum:
            if (e.field.isEmpty())
                fail(where, u"um elemento 'sum' precisa de 'field'"_s);
            [[fallthrough]];
        case ElementKind::Count:
            checkFormat(e.format, where);
            if (e.scope == AggregateScope::Group) {
                if (e.group.isEmpty() && groupIndex < 0)
                    fail(where, u"'over': 'group' fora de um grupo precisa de 'group' com o nome do grupo"_s);
                if (!e.group.isEmpty() && m_layout.groupIndex(e.group) < 0)
                    fail(where, u"o grupo %1 não existe"_s.arg(quoted(e.group)));
            }
            break;
        case ElementKind::Text: checkTextParams(e.text, where); break;
        case ElementKind::PageNumber:
            if (!o.contains(u"text"_s))
                e.text = u"Página {page} de {pages}"_s;
            break;
        case ElementKind::Image:
            if (e.imageFile.trimmed().isEmpty())
                fail(where, u"um elemento 'image' precisa de 'file'"_s);
            break;
        case ElementKind::Line:
        case ElementKind::Box: break;
        }
        return e;
    }

    ReportBand band(const QJsonValue &value, const QString &where, int groupIndex, bool isGroupHeader) const
    {
        if (!value.isObject())
            fail(where, u"deve ser um objeto"_s);
        const QJsonObject o = value.toObject();
        allowOnly(o, {u"height"_s, u"newPageBefore"_s, u"repeatOnNewPage"_s, u"forEach"_s, u"elements"_s}, where);
        ReportBand b;
        if (!o.contains(u"height"_s))
            fail(where, u"falta 'height'"_s);
        b.height = number(o, u"height"_s, where, 0.0);
        if (b.height <= 0.0)
            fail(where, u"'height' deve ser maior que zero"_s);
        const QSizeF page = pageSizeMm(m_layout.page);
        const double usable = page.height() - m_layout.page.marginTop - m_layout.page.marginBottom;
        if (b.height > usable)
            fail(where, u"altura de %1 mm maior que a área útil da página (%2 mm)"_s.arg(b.height).arg(usable));
        b.newPageBefore = boolean(o, u"newPageBefore"_s, where, false);
        b.repeatOnNewPage = boolean(o, u"repeatOnNewPage"_s, where, false);
        if (b.repeatOnNewPage && !isGroupHeader)
            fail(where, u"'repeatOnNewPage' só vale no cabeçalho de um grupo"_s);
        b.forEach = string(o, u"forEach"_s, where).trimmed();
        if (!b.forEach.isEmpty()) {
            const DataSetDef *ds = m_layout.findDataSet(b.forEach);
            if (!ds)
                fail(where, u"'forEach': o conjunto de dados %1 não existe"_s.arg(quoted(b.forEach)));
            if (ds == m_layout.masterDataSet())
                fail(where, u"'forEach' não pode ser o conjunto de dados principal"_s);
        }
        const QJsonArray elements = array(o.value(u"elements"_s), where, u"elements"_s);
        for (int i = 0; i < elements.size(); ++i) {
            const QJsonObject eo = elements[i].toObject();
            const QString name = eo.value(u"name"_s).toString();
            const QString ew =
                where + u", elemento %1"_s.arg(i + 1) + (name.isEmpty() ? QString() : u" (%1)"_s.arg(quoted(name)));
            b.elements << element(elements[i], ew, groupIndex);
        }
        return b;
    }

    static ParamDecl param(const QJsonValue &value, const QString &where)
    {
        if (!value.isObject())
            fail(where, u"deve ser um objeto"_s);
        const QJsonObject o = value.toObject();
        allowOnly(o, {u"name"_s, u"type"_s}, where);
        ParamDecl p;
        p.name = string(o, u"name"_s, where, true).trimmed();
        p.kind = choice<ParamKind>(o, u"type"_s, where, ParamKind::String,
                                   {{u"string"_s, ParamKind::String},
                                    {u"date"_s, ParamKind::Date},
                                    {u"float"_s, ParamKind::Float},
                                    {u"integer"_s, ParamKind::Integer}});
        return p;
    }

    DataSetDef dataset(const QJsonValue &value, const QString &indexWhere) const
    {
        if (!value.isObject())
            fail(indexWhere, u"deve ser um objeto"_s);
        const QJsonObject o = value.toObject();
        DataSetDef d;
        d.name = string(o, u"name"_s, indexWhere, true).trimmed();
        const QString where = u"conjunto de dados %1"_s.arg(quoted(d.name));
        allowOnly(o, {u"name"_s, u"sql"_s, u"dialects"_s, u"table"_s, u"filters"_s, u"sort"_s, u"link"_s, u"reread"_s},
                  where);
        d.sql = lines(o, u"sql"_s, where);
        d.reread = boolean(o, u"reread"_s, where, false);
        d.table = string(o, u"table"_s, where).trimmed();
        if (o.contains(u"dialects"_s)) {
            const QJsonObject dia = object(o.value(u"dialects"_s), where, u"dialects"_s);
            for (auto it = dia.begin(); it != dia.end(); ++it) {
                const QString k = it.key().toLower();
                if (k != u"sqlite"_s && k != u"postgresql"_s)
                    fail(where, u"dialeto %1 desconhecido (aceitos: sqlite, postgresql)"_s.arg(quoted(it.key())));
                d.sqlDialect.insert(k, lines(dia, it.key(), where));
            }
        }
        const bool hasSql = !d.sql.trimmed().isEmpty() || !d.sqlDialect.isEmpty();
        if (hasSql == !d.table.isEmpty())
            fail(where, u"deve ter 'sql' ou 'table' (um dos dois)"_s);
        if (!d.table.isEmpty() && o.contains(u"dialects"_s))
            fail(where, u"'dialects' só vale com 'sql'"_s);
        if (o.contains(u"filters"_s)) {
            const QJsonArray filters = array(o.value(u"filters"_s), where, u"filters"_s);
            for (int i = 0; i < filters.size(); ++i) {
                const QString fw = where + u", filtro %1"_s.arg(i + 1);
                const QJsonObject f = object(filters[i], fw, u"filters"_s);
                allowOnly(f, {u"field"_s, u"op"_s, u"param"_s}, fw);
                DataSetFilter filter;
                filter.field = string(f, u"field"_s, fw, true).trimmed();
                filter.op = choice<DataSetFilter::Op>(
                    f, u"op"_s, fw, DataSetFilter::Op::Equals,
                    {{u"equals"_s, DataSetFilter::Op::Equals}, {u"inList"_s, DataSetFilter::Op::InList}});
                filter.param = string(f, u"param"_s, fw, true).trimmed();
                checkParam(filter.param, fw);
                d.filters << filter;
            }
        }
        if (o.contains(u"sort"_s)) {
            const QJsonArray sort = array(o.value(u"sort"_s), where, u"sort"_s);
            for (const QJsonValue &s : sort) {
                SortKey k;
                if (s.isString()) {
                    k.field = s.toString().trimmed();
                } else if (s.isObject()) {
                    const QJsonObject so = s.toObject();
                    allowOnly(so, {u"field"_s, u"descending"_s}, where + u", ordem"_s);
                    k.field = string(so, u"field"_s, where + u", ordem"_s, true).trimmed();
                    k.descending = boolean(so, u"descending"_s, where, false);
                } else {
                    fail(where, u"'sort' lista nomes de campos ou objetos {field, descending}"_s);
                }
                if (k.field.isEmpty())
                    fail(where, u"'sort' com um nome de campo vazio"_s);
                d.sort << k;
            }
        }
        if (o.contains(u"link"_s)) {
            const QJsonObject l = object(o.value(u"link"_s), where, u"link"_s);
            allowOnly(l, {u"field"_s, u"masterField"_s}, where + u", ligação"_s);
            DataSetLink link;
            link.field = string(l, u"field"_s, where + u", ligação"_s, true).trimmed();
            link.masterField = string(l, u"masterField"_s, where + u", ligação"_s, true).trimmed();
            d.link = link;
        }
        return d;
    }

    static QStringList keyFields(const QJsonValue &v, const QString &where)
    {
        QStringList out;
        if (v.isString()) {
            out = v.toString().split(u';', Qt::SkipEmptyParts);
        } else if (v.isArray()) {
            for (const QJsonValue &f : v.toArray())
                out << f.toString();
        } else {
            fail(where, u"'key' deve ser um nome de campo, \"F1;F2\" ou uma lista de nomes"_s);
        }
        for (QString &f : out)
            f = f.trimmed();
        out.removeAll(QString());
        if (out.isEmpty())
            fail(where, u"'key' vazio"_s);
        return out;
    }

private:
    const ReportLayout &m_layout;
};

ReportLayout readDocument(const QJsonObject &root)
{
    ReportLayout l;
    Reader::allowOnly(root,
                      {u"format"_s, u"version"_s, u"title"_s, u"page"_s, u"parameters"_s, u"datasets"_s, u"master"_s,
                       u"groups"_s, u"bands"_s},
                      QString());
    if (root.value(u"format"_s).toString() != u"kpr-layout"_s)
        Reader::fail(QString(), u"não é um documento no formato kpr-layout (falta \"format\": \"kpr-layout\")"_s);
    const QJsonValue version = root.value(u"version"_s);
    if (!version.isDouble() || version.toDouble() != std::floor(version.toDouble()) || version.toDouble() < 1)
        Reader::fail(QString(), u"'version' deve ser um número inteiro a partir de 1"_s);
    // Compared as read: a version past the int range must not wrap to a small number.
    if (version.toDouble() > layoutFormatVersion)
        Reader::fail(QString(), u"está na versão %1 do formato; este sistema lê até a versão %2"_s
                                    .arg(QString::number(version.toDouble(), 'f', 0))
                                    .arg(layoutFormatVersion));
    l.version = version.toInt();
    l.title = Reader::string(root, u"title"_s, QString());

    if (root.contains(u"page"_s)) {
        const QString where = u"página"_s;
        const QJsonObject p = Reader::object(root.value(u"page"_s), where, u"page"_s);
        Reader::allowOnly(p, {u"size"_s, u"orientation"_s, u"margins"_s}, where);
        l.page.size = Reader::choice<PageSizeId>(p, u"size"_s, where, PageSizeId::A4,
                                                 {{u"A4"_s, PageSizeId::A4}, {u"Letter"_s, PageSizeId::Letter}});
        l.page.orientation = Reader::choice<PageOrientation>(
            p, u"orientation"_s, where, PageOrientation::Portrait,
            {{u"portrait"_s, PageOrientation::Portrait}, {u"landscape"_s, PageOrientation::Landscape}});
        if (p.contains(u"margins"_s)) {
            const QJsonObject m = Reader::object(p.value(u"margins"_s), where, u"margins"_s);
            Reader::allowOnly(m, {u"left"_s, u"top"_s, u"right"_s, u"bottom"_s}, where + u", margens"_s);
            l.page.marginLeft = Reader::number(m, u"left"_s, where, l.page.marginLeft);
            l.page.marginTop = Reader::number(m, u"top"_s, where, l.page.marginTop);
            l.page.marginRight = Reader::number(m, u"right"_s, where, l.page.marginRight);
            l.page.marginBottom = Reader::number(m, u"bottom"_s, where, l.page.marginBottom);
        }
        const QSizeF s = pageSizeMm(l.page);
        if (l.page.marginLeft + l.page.marginRight >= s.width() - 10
            || l.page.marginTop + l.page.marginBottom >= s.height() - 10)
            Reader::fail(where, u"as margens não deixam área para imprimir"_s);
    }

    Reader reader(l);
    if (root.contains(u"parameters"_s)) {
        const QJsonArray params = Reader::array(root.value(u"parameters"_s), QString(), u"parameters"_s);
        for (int i = 0; i < params.size(); ++i) {
            const QString where = u"parâmetro %1"_s.arg(i + 1);
            ParamDecl p = Reader::param(params[i], where);
            if (l.findParam(p.name))
                Reader::fail(where, u"o parâmetro %1 está declarado duas vezes"_s.arg(quoted(p.name)));
            l.params << p;
        }
    }
    if (root.contains(u"datasets"_s)) {
        const QJsonArray sets = Reader::array(root.value(u"datasets"_s), QString(), u"datasets"_s);
        for (int i = 0; i < sets.size(); ++i) {
            DataSetDef d = reader.dataset(sets[i], u"conjunto de dados %1"_s.arg(i + 1));
            if (l.findDataSet(d.name))
                Reader::fail(QString(), u"o conjunto de dados %1 está declarado duas vezes"_s.arg(quoted(d.name)));
            l.datasets << d;
        }
    }
    l.master = Reader::string(root, u"master"_s, QString()).trimmed();
    if (!l.master.isEmpty() && !l.findDataSet(l.master))
        Reader::fail(QString(), u"'master': o conjunto de dados %1 não existe"_s.arg(quoted(l.master)));
    if (const DataSetDef *m = l.masterDataSet(); m && m->link)
        Reader::fail(u"conjunto de dados %1"_s.arg(quoted(m->name)),
                     u"o conjunto de dados principal não pode ter 'link'"_s);

    // Groups first by name, so that elements can name any group.
    QJsonArray groups;
    if (root.contains(u"groups"_s)) {
        groups = Reader::array(root.value(u"groups"_s), QString(), u"groups"_s);
        for (int i = 0; i < groups.size(); ++i) {
            const QString where = u"grupo %1"_s.arg(i + 1);
            const QJsonObject g = Reader::object(groups[i], where, u"groups"_s);
            ReportGroup group;
            group.name = Reader::string(g, u"name"_s, where, true).trimmed();
            if (l.groupIndex(group.name) >= 0)
                Reader::fail(where, u"o grupo %1 está declarado duas vezes"_s.arg(quoted(group.name)));
            l.groups << group;
        }
    }
    if (!groups.isEmpty() && !l.masterDataSet())
        Reader::fail(QString(), u"há grupos mas nenhum conjunto de dados"_s);
    for (int i = 0; i < groups.size(); ++i) {
        const QJsonObject g = groups[i].toObject();
        ReportGroup &group = l.groups[i];
        const QString where = u"grupo %1"_s.arg(quoted(group.name));
        Reader::allowOnly(g, {u"name"_s, u"key"_s, u"header"_s, u"footer"_s}, where);
        if (!g.contains(u"key"_s))
            Reader::fail(where, u"falta 'key'"_s);
        group.keyFields = Reader::keyFields(g.value(u"key"_s), where);
        if (g.contains(u"header"_s))
            group.header =
                reader.band(g.value(u"header"_s), u"faixa 'header' do grupo %1"_s.arg(quoted(group.name)), i, true);
        if (g.contains(u"footer"_s))
            group.footer =
                reader.band(g.value(u"footer"_s), u"faixa 'footer' do grupo %1"_s.arg(quoted(group.name)), i, false);
    }

    if (root.contains(u"bands"_s)) {
        const QJsonObject bands = Reader::object(root.value(u"bands"_s), QString(), u"bands"_s);
        Reader::allowOnly(bands, {u"title"_s, u"pageHeader"_s, u"detail"_s, u"summary"_s, u"pageFooter"_s},
                          u"faixas"_s);
        const std::pair<QString, std::optional<ReportBand> *> bandSlots[] = {{u"title"_s, &l.titleBand},
                                                                             {u"pageHeader"_s, &l.pageHeader},
                                                                             {u"detail"_s, &l.detail},
                                                                             {u"summary"_s, &l.summary},
                                                                             {u"pageFooter"_s, &l.pageFooter}};
        for (const auto &[key, slot] : bandSlots)
            if (bands.contains(key))
                *slot = reader.band(bands.value(key), u"faixa %1"_s.arg(quoted(key)), -1, false);
        if (l.detail && !l.masterDataSet())
            Reader::fail(u"faixa 'detail'"_s, u"não há conjunto de dados para a faixa de detalhe"_s);
    }
    return l;
}

// --- Writing ---

QJsonValue linesValue(const QString &text)
{
    if (!text.contains(u'\n'))
        return text;
    QJsonArray a;
    for (const QString &line : text.split(u'\n'))
        a << line;
    return a;
}

QString colorText(const QColor &c)
{
    return c.alpha() == 255 ? c.name(QColor::HexRgb) : c.name(QColor::HexArgb);
}

QJsonObject writeElement(const ReportElement &e)
{
    const ReportElement def;
    QJsonObject o;
    o[u"type"_s] = elementKindName(e.kind);
    if (!e.name.isEmpty())
        o[u"name"_s] = e.name;
    o[u"x"_s] = e.x;
    o[u"y"_s] = e.y;
    o[u"width"_s] = e.width;
    o[u"height"_s] = e.height;
    if (!e.text.isEmpty() || (e.kind == ElementKind::PageNumber))
        o[u"text"_s] = e.text;
    if (!e.field.isEmpty())
        o[u"field"_s] = e.field;
    if (!e.param.isEmpty())
        o[u"param"_s] = e.param;
    if (!e.times.isEmpty())
        o[u"times"_s] = e.times;
    if (!e.format.isEmpty())
        o[u"format"_s] = e.format;
    if (e.blankZero)
        o[u"blankZero"_s] = true;
    if (!e.mask.isEmpty())
        o[u"mask"_s] = e.mask;
    if (!e.maskFrom.isEmpty())
        o[u"maskFrom"_s] = e.maskFrom;
    if (!e.masks.isEmpty()) {
        QJsonObject m;
        for (auto it = e.masks.begin(); it != e.masks.end(); ++it)
            m[it.key()] = it.value();
        o[u"masks"_s] = m;
    }
    if (e.scope != def.scope)
        o[u"over"_s] = scopeName(e.scope);
    if (!e.group.isEmpty())
        o[u"group"_s] = e.group;
    if (!(e.font == def.font)) {
        QJsonObject f;
        f[u"family"_s] = e.font.family;
        f[u"size"_s] = e.font.size;
        if (e.font.bold)
            f[u"bold"_s] = true;
        if (e.font.italic)
            f[u"italic"_s] = true;
        o[u"font"_s] = f;
    }
    if (e.align != def.align)
        o[u"align"_s] = hAlignName(e.align);
    if (e.valign != def.valign)
        o[u"valign"_s] = vAlignName(e.valign);
    if (e.wordWrap)
        o[u"wrap"_s] = true;
    if (e.color != def.color)
        o[u"color"_s] = colorText(e.color);
    if (e.penWidth != def.penWidth)
        o[u"pen"_s] = e.penWidth;
    if (e.fill)
        o[u"fill"_s] = colorText(*e.fill);
    if (!e.imageFile.isEmpty())
        o[u"file"_s] = e.imageFile;
    if (!e.keepAspect)
        o[u"keepAspect"_s] = false;
    if (e.repeat) {
        QJsonObject r;
        r[u"count"_s] = e.repeat->count;
        r[u"step"_s] = e.repeat->step;
        r[u"direction"_s] = e.repeat->vertical ? u"vertical"_s : u"horizontal"_s;
        r[u"start"_s] = e.repeat->start;
        r[u"number"_s] = e.repeat->number;
        o[u"repeat"_s] = r;
    }
    return o;
}

QJsonObject writeBand(const ReportBand &b)
{
    QJsonObject o;
    o[u"height"_s] = b.height;
    if (b.newPageBefore)
        o[u"newPageBefore"_s] = true;
    if (b.repeatOnNewPage)
        o[u"repeatOnNewPage"_s] = true;
    if (!b.forEach.isEmpty())
        o[u"forEach"_s] = b.forEach;
    QJsonArray elements;
    for (const ReportElement &e : b.elements)
        elements << writeElement(e);
    o[u"elements"_s] = elements;
    return o;
}

} // namespace

Result<ReportLayout> parseLayout(const QByteArray &json, const QString &fileName)
{
    const QString prefix = layoutErrorPrefix(fileName);
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &err);
    if (err.error != QJsonParseError::NoError) {
        // The line of the offset, for people who open the file in an editor.
        const int line = int(json.left(err.offset).count('\n')) + 1;
        return makeError(
            u"%1: não é um documento JSON válido (linha %2: %3)."_s.arg(prefix).arg(line).arg(err.errorString()));
    }
    if (!doc.isObject())
        return makeError(u"%1: não é um documento no formato kpr-layout."_s.arg(prefix));
    try {
        return readDocument(doc.object());
    } catch (const ReadError &e) {
        return makeError(prefix + u": "_s + e.text + u"."_s);
    }
}

Result<ReportLayout> readLayoutFile(const QString &path)
{
    QFile f(path);
    const QString name = QFileInfo(path).fileName();
    if (!f.open(QIODevice::ReadOnly))
        return makeError(
            u"%1: não foi possível ler o arquivo '%2' (%3)."_s.arg(layoutErrorPrefix(name), path, f.errorString()));
    return parseLayout(f.readAll(), name);
}

ReportLayout loadLayoutFile(const QString &path)
{
    Result<ReportLayout> r = readLayoutFile(path);
    if (!r)
        throw EKprError(r.error());
    return std::move(r).value();
}

QByteArray writeLayout(const ReportLayout &l)
{
    QJsonObject root;
    root[u"format"_s] = u"kpr-layout"_s;
    root[u"version"_s] = layoutFormatVersion;
    root[u"title"_s] = l.title;
    QJsonObject page;
    page[u"size"_s] = pageSizeName(l.page.size);
    page[u"orientation"_s] = orientationName(l.page.orientation);
    page[u"margins"_s] = QJsonObject{{u"left"_s, l.page.marginLeft},
                                     {u"top"_s, l.page.marginTop},
                                     {u"right"_s, l.page.marginRight},
                                     {u"bottom"_s, l.page.marginBottom}};
    root[u"page"_s] = page;
    QJsonArray params;
    for (const ParamDecl &p : l.params)
        params << QJsonObject{{u"name"_s, p.name}, {u"type"_s, paramKindName(p.kind)}};
    root[u"parameters"_s] = params;

    QJsonArray sets;
    for (const DataSetDef &d : l.datasets) {
        QJsonObject o;
        o[u"name"_s] = d.name;
        if (!d.table.isEmpty())
            o[u"table"_s] = d.table;
        if (!d.sql.isEmpty())
            o[u"sql"_s] = linesValue(d.sql);
        if (!d.sqlDialect.isEmpty()) {
            QJsonObject dia;
            for (auto it = d.sqlDialect.begin(); it != d.sqlDialect.end(); ++it)
                dia[it.key()] = linesValue(it.value());
            o[u"dialects"_s] = dia;
        }
        if (d.reread)
            o[u"reread"_s] = true;
        if (!d.filters.isEmpty()) {
            QJsonArray filters;
            for (const DataSetFilter &f : d.filters)
                filters << QJsonObject{{u"field"_s, f.field},
                                       {u"op"_s, f.op == DataSetFilter::Op::InList ? u"inList"_s : u"equals"_s},
                                       {u"param"_s, f.param}};
            o[u"filters"_s] = filters;
        }
        if (!d.sort.isEmpty()) {
            QJsonArray sort;
            for (const SortKey &k : d.sort) {
                if (k.descending)
                    sort << QJsonObject{{u"field"_s, k.field}, {u"descending"_s, true}};
                else
                    sort << k.field;
            }
            o[u"sort"_s] = sort;
        }
        if (d.link)
            o[u"link"_s] = QJsonObject{{u"field"_s, d.link->field}, {u"masterField"_s, d.link->masterField}};
        sets << o;
    }
    root[u"datasets"_s] = sets;
    if (!l.master.isEmpty())
        root[u"master"_s] = l.master;

    QJsonArray groups;
    for (const ReportGroup &g : l.groups) {
        QJsonObject o;
        o[u"name"_s] = g.name;
        o[u"key"_s] = g.keyFields.size() == 1 ? QJsonValue(g.keyFields.first())
                                              : QJsonValue(QJsonArray::fromStringList(g.keyFields));
        if (g.header)
            o[u"header"_s] = writeBand(*g.header);
        if (g.footer)
            o[u"footer"_s] = writeBand(*g.footer);
        groups << o;
    }
    if (!groups.isEmpty())
        root[u"groups"_s] = groups;

    QJsonObject bands;
    const std::pair<QString, const std::optional<ReportBand> *> bandSlots[] = {{u"title"_s, &l.titleBand},
                                                                               {u"pageHeader"_s, &l.pageHeader},
                                                                               {u"detail"_s, &l.detail},
                                                                               {u"summary"_s, &l.summary},
                                                                               {u"pageFooter"_s, &l.pageFooter}};
    for (const auto &[key, slot] : bandSlots)
        if (*slot)
            bands[key] = writeBand(**slot);
    root[u"bands"_s] = bands;
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

Status saveLayoutFile(const QString &path, const ReportLayout &layout)
{
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return makeError(u"Não foi possível gravar o layout '%1' (%2)."_s.arg(path, f.errorString()));
    f.write(writeLayout(layout));
    if (!f.commit())
        return makeError(u"Não foi possível gravar o layout '%1' (%2)."_s.arg(path, f.errorString()));
    return {};
}

QString readLayoutTitle(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    const QByteArray data = f.readAll();
    if (data.trimmed().startsWith('{')) {
        const QJsonDocument doc = QJsonDocument::fromJson(data);
        return doc.isObject() ? doc.object().value(u"title"_s).toString().trimmed() : QString();
    }
    // The earlier plain files: a "title:" line among the first lines.
    const QList<QByteArray> lines = data.split('\n');
    for (int i = 0; i < legacyTitleLines && i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).trimmed();
        if (line.startsWith(u"title:"_s, Qt::CaseInsensitive))
            return line.mid(6).trimmed();
    }
    return QString();
}

} // namespace kpr
