#include "framework/reportdesigner/frmlayouteditor.h"

#include "framework/core/abort.h"
#include "framework/data/params.h"
#include "framework/report/layoutfile.h"
#include "framework/report/reportdata.h"
#include "framework/reportdesigner/reportdesignerdialog.h"
#include "framework/report/reportrenderer.h"
#include "framework/reportdesigner/layoutchecks.h"
#include "framework/reportdesigner/layoutoutline.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

constexpr int PathRole = Qt::UserRole;
constexpr int KindRole = Qt::UserRole + 1;

struct Property
{
    const char16_t *key;
    const char16_t *kind; // "text", "number", "bool", "list", "filters", "sort"
};

// The properties each part of a layout shows, with the kind of their values.
QList<Property> propertiesOf(const QString &kind)
{
    if (kind == u"root"_s)
        return {{u"title", u"text"}, {u"master", u"text"}};
    if (kind == u"page"_s)
        return {{u"size", u"text"},          {u"orientation", u"text"},     {u"margins.left", u"number"},
                {u"margins.top", u"number"}, {u"margins.right", u"number"}, {u"margins.bottom", u"number"}};
    if (kind == u"param"_s)
        return {{u"name", u"text"}, {u"type", u"text"}};
    if (kind == u"dataset"_s)
        return {{u"name", u"text"},
                {u"sql", u"text"},
                {u"dialects.sqlite", u"text"},
                {u"dialects.postgresql", u"text"},
                {u"table", u"text"},
                {u"filters", u"filters"},
                {u"sort", u"sort"},
                {u"link.field", u"text"},
                {u"link.masterField", u"text"}};
    if (kind == u"group"_s)
        return {{u"name", u"text"}, {u"key", u"list"}};
    if (kind == u"band"_s)
        return {
            {u"height", u"number"}, {u"newPageBefore", u"bool"}, {u"repeatOnNewPage", u"bool"}, {u"forEach", u"text"}};
    if (kind == u"element"_s)
        return {{u"type", u"text"},
                {u"name", u"text"},
                {u"x", u"number"},
                {u"y", u"number"},
                {u"width", u"number"},
                {u"height", u"number"},
                {u"text", u"text"},
                {u"field", u"text"},
                {u"param", u"text"},
                {u"format", u"text"},
                {u"blankZero", u"bool"},
                {u"mask", u"text"},
                {u"maskFrom", u"text"},
                {u"times", u"text"},
                {u"over", u"text"},
                {u"group", u"text"},
                {u"align", u"text"},
                {u"valign", u"text"},
                {u"wrap", u"bool"},
                {u"color", u"text"},
                {u"pen", u"number"},
                {u"fill", u"text"},
                {u"file", u"text"},
                {u"font.family", u"text"},
                {u"font.size", u"number"},
                {u"font.bold", u"bool"},
                {u"font.italic", u"bool"},
                {u"keepAspect", u"bool"},
                {u"repeat.count", u"number"},
                {u"repeat.step", u"number"},
                {u"repeat.direction", u"text"},
                {u"repeat.start", u"number"},
                {u"repeat.number", u"text"}};
    return {};
}

QString kindOfProperty(const QString &partKind, const QString &key)
{
    for (const Property &p : propertiesOf(partKind))
        if (QStringView(p.key) == key)
            return QString::fromUtf16(p.kind);
    return u"text"_s;
}

const QStringList bandNames{u"title"_s, u"pageHeader"_s, u"detail"_s, u"summary"_s, u"pageFooter"_s};

QString bandCaption(const QString &name)
{
    static const QHash<QString, QString> captions{
        {u"title"_s, u"Título"_s},   {u"pageHeader"_s, u"Cabeçalho da página"_s}, {u"detail"_s, u"Detalhe"_s},
        {u"summary"_s, u"Resumo"_s}, {u"pageFooter"_s, u"Rodapé da página"_s},    {u"header"_s, u"Cabeçalho"_s},
        {u"footer"_s, u"Rodapé"_s}};
    return captions.value(name, name);
}

QString elementCaption(const QJsonObject &e)
{
    QString what = e.value(u"name"_s).toString();
    if (what.isEmpty())
        what = e.value(u"field"_s).toString();
    if (what.isEmpty())
        what = e.value(u"text"_s).toString().left(30);
    return u"%1 %2"_s.arg(e.value(u"type"_s).toString(u"text"_s), what).trimmed();
}

} // namespace

TfrmLayoutEditor::TfrmLayoutEditor(const QString &path, TReportDesignerDialog *rpdd, QWidget *parent)
    : QDialog(parent),
      m_path(path),
      m_rpdd(rpdd)
{
    // Read through the format first: a file the engine cannot open is not edited.
    const ReportLayout layout = loadLayoutFile(path);
    m_doc = QJsonDocument::fromJson(writeLayout(layout)).object();

    setObjectName(u"frmLayoutEditor"_s);
    setWindowTitle(u"Editor de relatório - %1"_s.arg(QFileInfo(path).fileName()));
    setModal(true);
    resize(1200, 760);

    trvLayout = new QTreeWidget(this);
    trvLayout->setObjectName(u"trvLayout"_s);
    trvLayout->setHeaderLabel(u"Relatório"_s);
    grdPropriedades = new QTableWidget(0, 2, this);
    grdPropriedades->setObjectName(u"grdPropriedades"_s);
    grdPropriedades->setHorizontalHeaderLabels({u"Propriedade"_s, u"Valor"_s});
    grdPropriedades->horizontalHeader()->setStretchLastSection(true);
    grdPropriedades->verticalHeader()->setVisible(false);
    pvwLayout = new QPrintPreviewWidget(this);
    pvwLayout->setObjectName(u"pvwLayout"_s);
    lblErro = new QLabel(this);
    lblErro->setObjectName(u"lblErro"_s);
    lblErro->setWordWrap(true);
    lblErro->setStyleSheet(u"color: #b00000"_s);

    btnNovoElemento = new QPushButton(u"Novo elemento"_s, this);
    btnNovoElemento->setObjectName(u"btnNovoElemento"_s);
    btnNovaFaixa = new QPushButton(u"Nova faixa"_s, this);
    btnNovaFaixa->setObjectName(u"btnNovaFaixa"_s);
    btnRemover = new QPushButton(u"Remover"_s, this);
    btnRemover->setObjectName(u"btnRemover"_s);
    btnSalvar = new QPushButton(u"Salvar"_s, this);
    btnSalvar->setObjectName(u"btnSalvar"_s);
    btnCancelar = new QPushButton(u"Cancelar"_s, this);
    btnCancelar->setObjectName(u"btnCancelar"_s);

    auto *left = new QWidget(this);
    auto *leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    auto *parts = new QHBoxLayout;
    for (QPushButton *b : {btnNovoElemento, btnNovaFaixa, btnRemover})
        parts->addWidget(b);
    auto *split = new QSplitter(Qt::Vertical, left);
    split->addWidget(trvLayout);
    split->addWidget(grdPropriedades);
    leftLayout->addWidget(split, 1);
    leftLayout->addLayout(parts);
    auto *main = new QSplitter(Qt::Horizontal, this);
    main->addWidget(left);
    main->addWidget(pvwLayout);
    main->setStretchFactor(1, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(lblErro, 1);
    buttons->addWidget(btnSalvar);
    buttons->addWidget(btnCancelar);
    auto *all = new QVBoxLayout(this);
    all->addWidget(main, 1);
    all->addLayout(buttons);

    // The preview follows the edits after a short pause, not at every keystroke.
    m_previewTimer = new QTimer(this);
    m_previewTimer->setSingleShot(true);
    m_previewTimer->setInterval(400);
    connect(m_previewTimer, &QTimer::timeout, pvwLayout, &QPrintPreviewWidget::updatePreview);
    connect(pvwLayout, &QPrintPreviewWidget::paintRequested, this, &TfrmLayoutEditor::paintPreview);
    connect(trvLayout, &QTreeWidget::currentItemChanged, this, [this] { showProperties(); });
    connect(grdPropriedades, &QTableWidget::itemChanged, this, &TfrmLayoutEditor::propertyEdited);
    connect(btnNovoElemento, &QPushButton::clicked, this, guarded([this](bool) { addElement(); }));
    connect(btnNovaFaixa, &QPushButton::clicked, this, guarded([this](bool) { addBand(); }));
    connect(btnRemover, &QPushButton::clicked, this, guarded([this](bool) { removeSelected(); }));
    connect(btnSalvar, &QPushButton::clicked, this, guarded([this](bool) {
                if (save())
                    accept();
            }));
    connect(btnCancelar, &QPushButton::clicked, this, &QDialog::reject);

    buildTree();
    trvLayout->setCurrentItem(trvLayout->topLevelItem(0));
}

TfrmLayoutEditor::~TfrmLayoutEditor() = default;

QString TfrmLayoutEditor::lastError() const
{
    return lblErro->text();
}

void TfrmLayoutEditor::buildTree()
{
    const JsonPath keep = selectedPath();
    m_filling = true;
    trvLayout->clear();
    auto add = [](QTreeWidgetItem *parent, const QString &text, const JsonPath &path, const QString &kind) {
        auto *item = new QTreeWidgetItem(parent, {text});
        item->setData(0, PathRole, path);
        item->setData(0, KindRole, kind);
        return item;
    };
    auto addBandItem = [&](QTreeWidgetItem *parent, const QString &caption, const JsonPath &path) {
        QTreeWidgetItem *band = add(parent, caption, path, u"band"_s);
        const QJsonArray elements = jsonAt(m_doc, path + JsonPath{u"elements"_s}).toArray();
        for (int i = 0; i < elements.size(); ++i)
            add(band, elementCaption(elements[i].toObject()), path + JsonPath{u"elements"_s, QString::number(i)},
                u"element"_s);
    };

    auto *root = new QTreeWidgetItem(trvLayout, {u"Relatório: %1"_s.arg(m_doc.value(u"title"_s).toString())});
    root->setData(0, PathRole, JsonPath{});
    root->setData(0, KindRole, u"root"_s);
    add(root, u"Página"_s, {u"page"_s}, u"page"_s);
    QTreeWidgetItem *params = add(root, u"Parâmetros"_s, {}, QString());
    const QJsonArray ps = m_doc.value(u"parameters"_s).toArray();
    for (int i = 0; i < ps.size(); ++i)
        add(params, ps[i].toObject().value(u"name"_s).toString(), {u"parameters"_s, QString::number(i)}, u"param"_s);
    QTreeWidgetItem *sets = add(root, u"Conjuntos de dados"_s, {}, QString());
    const QJsonArray ds = m_doc.value(u"datasets"_s).toArray();
    for (int i = 0; i < ds.size(); ++i)
        add(sets, ds[i].toObject().value(u"name"_s).toString(), {u"datasets"_s, QString::number(i)}, u"dataset"_s);
    QTreeWidgetItem *groups = add(root, u"Grupos"_s, {}, QString());
    const QJsonArray gs = m_doc.value(u"groups"_s).toArray();
    for (int i = 0; i < gs.size(); ++i) {
        const JsonPath g{u"groups"_s, QString::number(i)};
        QTreeWidgetItem *group = add(groups, gs[i].toObject().value(u"name"_s).toString(), g, u"group"_s);
        for (const QString &part : {u"header"_s, u"footer"_s})
            if (gs[i].toObject().contains(part))
                addBandItem(group, bandCaption(part), g + JsonPath{part});
    }
    QTreeWidgetItem *bands = add(root, u"Faixas"_s, {u"bands"_s}, u"bands"_s);
    const QJsonObject bs = m_doc.value(u"bands"_s).toObject();
    for (const QString &name : bandNames)
        if (bs.contains(name))
            addBandItem(bands, bandCaption(name), {u"bands"_s, name});
    trvLayout->expandAll();
    m_filling = false;
    selectPath(keep);
}

JsonPath TfrmLayoutEditor::selectedPath() const
{
    const QTreeWidgetItem *item = trvLayout->currentItem();
    return item ? item->data(0, PathRole).toStringList() : JsonPath{};
}

QString TfrmLayoutEditor::selectedKind() const
{
    const QTreeWidgetItem *item = trvLayout->currentItem();
    return item ? item->data(0, KindRole).toString() : QString();
}

void TfrmLayoutEditor::selectPath(const JsonPath &path)
{
    for (QTreeWidgetItemIterator it(trvLayout); *it; ++it)
        if ((*it)->data(0, PathRole).toStringList() == path && !(*it)->data(0, KindRole).toString().isEmpty()) {
            trvLayout->setCurrentItem(*it);
            return;
        }
    if (trvLayout->topLevelItemCount() > 0)
        trvLayout->setCurrentItem(trvLayout->topLevelItem(0));
}

bool TfrmLayoutEditor::selectElement(const QString &name)
{
    for (QTreeWidgetItemIterator it(trvLayout); *it; ++it) {
        const JsonPath path = (*it)->data(0, PathRole).toStringList();
        if ((*it)->data(0, KindRole).toString() == u"element"_s
            && jsonAt(m_doc, path).toObject().value(u"name"_s).toString() == name) {
            trvLayout->setCurrentItem(*it);
            return true;
        }
    }
    return false;
}

void TfrmLayoutEditor::showProperties()
{
    m_filling = true;
    const QString kind = selectedKind();
    const JsonPath path = selectedPath();
    const QList<Property> props = propertiesOf(kind);
    grdPropriedades->setRowCount(int(props.size()));
    for (int row = 0; row < props.size(); ++row) {
        const QString key = QString::fromUtf16(props[row].key);
        auto *name = new QTableWidgetItem(key);
        name->setFlags(Qt::ItemIsEnabled);
        grdPropriedades->setItem(row, 0, name);
        auto *value = new QTableWidgetItem(
            jsonToText(jsonAt(m_doc, path + key.split(u'.')), QString::fromUtf16(props[row].kind)));
        // The kind of an element decides how the rest reads its keys: it is chosen when the
        // element is made, not edited.
        if (kind == u"element"_s && key == u"type"_s)
            value->setFlags(Qt::ItemIsEnabled);
        grdPropriedades->setItem(row, 1, value);
    }
    btnNovoElemento->setEnabled(kind == u"band"_s || kind == u"element"_s);
    btnRemover->setEnabled(kind == u"element"_s || kind == u"band"_s || kind == u"param"_s || kind == u"dataset"_s
                           || kind == u"group"_s);
    m_filling = false;
}

bool TfrmLayoutEditor::setProperty(const QString &key, const QString &text)
{
    for (int row = 0; row < grdPropriedades->rowCount(); ++row)
        if (grdPropriedades->item(row, 0)->text() == key) {
            grdPropriedades->item(row, 1)->setText(text);
            return true;
        }
    return false;
}

void TfrmLayoutEditor::propertyEdited(QTableWidgetItem *item)
{
    if (m_filling || item->column() != 1)
        return;
    const QString key = grdPropriedades->item(item->row(), 0)->text();
    const QString kind = selectedKind();
    const JsonPath path = selectedPath() + key.split(u'.');
    setJsonAt(m_doc, path, textToJson(item->text(), kindOfProperty(kind, key)));
    // A nested object emptied by the edit ("font" without keys) goes too.
    if (path.size() > 1 && jsonAt(m_doc, path.mid(0, path.size() - 1)).toObject().isEmpty() && key.contains(u'.'))
        setJsonAt(m_doc, path.mid(0, path.size() - 1), QJsonValue(QJsonValue::Undefined));
    changed();
    if (key == u"name"_s || key == u"text"_s || key == u"field"_s || key == u"title"_s)
        buildTree();
}

void TfrmLayoutEditor::addElement()
{
    JsonPath band = selectedPath();
    if (selectedKind() == u"element"_s)
        band = band.mid(0, band.size() - 2);
    const JsonPath elements = band + JsonPath{u"elements"_s};
    QJsonArray a = jsonAt(m_doc, elements).toArray();
    a.append(QJsonObject{{u"type"_s, u"text"_s},
                         {u"name"_s, u"novoTexto%1"_s.arg(a.size() + 1)},
                         {u"x"_s, 0},
                         {u"y"_s, 0},
                         {u"width"_s, 40},
                         {u"height"_s, 5},
                         {u"text"_s, u"Novo texto"_s}});
    setJsonAt(m_doc, elements, a);
    changed();
    buildTree();
    selectPath(elements + JsonPath{QString::number(a.size() - 1)});
}

void TfrmLayoutEditor::addBand()
{
    const QJsonObject empty{{u"height"_s, 10}, {u"elements"_s, QJsonArray()}};
    JsonPath target;
    if (selectedKind() == u"group"_s) {
        for (const QString &part : {u"header"_s, u"footer"_s})
            if (!jsonAt(m_doc, selectedPath() + JsonPath{part}).isObject()) {
                target = selectedPath() + JsonPath{part};
                break;
            }
    } else {
        for (const QString &name : bandNames)
            if (!jsonAt(m_doc, {u"bands"_s, name}).isObject()) {
                target = {u"bands"_s, name};
                break;
            }
    }
    if (target.isEmpty())
        MensErro(u"Todas as faixas já existem; escolha um grupo para dar-lhe cabeçalho ou rodapé."_s);
    setJsonAt(m_doc, target, empty);
    changed();
    buildTree();
    selectPath(target);
}

void TfrmLayoutEditor::removeSelected()
{
    const JsonPath path = selectedPath();
    if (path.isEmpty() || !btnRemover->isEnabled())
        return;
    setJsonAt(m_doc, path, QJsonValue(QJsonValue::Undefined));
    changed();
    buildTree();
}

void TfrmLayoutEditor::changed()
{
    m_modified = true;
    m_previewTimer->start();
}

const TParams &TfrmLayoutEditor::screenParams(const ReportLayout &layout)
{
    // The parameters as the screen fills them, asked once; a refusal there leaves them
    // empty for the preview.
    if (!m_params) {
        m_params = std::make_unique<TParams>(TReportDesignerDialog::declaredParams(layout));
        if (m_rpdd && m_rpdd->BeforeGetQueryParams) {
            bool handled = false;
            m_rpdd->setParaEdicao(true);
            try {
                m_rpdd->BeforeGetQueryParams(m_rpdd, *m_params, handled);
            } catch (const EAbort &) {}
            m_rpdd->setParaEdicao(false);
        }
    }
    return *m_params;
}

std::optional<ReportLayout> TfrmLayoutEditor::validLayout(QString &fault, bool withData)
{
    const QString fileName = QFileInfo(m_path).fileName();
    Result<ReportLayout> parsed = parseLayout(QJsonDocument(m_doc).toJson(), fileName);
    if (!parsed) {
        fault = parsed.error();
        return std::nullopt;
    }
    if (const Status refs = checkLayoutReferences(parsed.value(), fileName); !refs) {
        fault = refs.error();
        return std::nullopt;
    }
    if (!withData)
        return parsed.value();
    try {
        const TParams &known = screenParams(parsed.value());
        TParams params = TReportDesignerDialog::declaredParams(parsed.value());
        for (TParam &p : params)
            if (const TParam *k = known.FindParam(p.Name()))
                p.setValue(k->Value());
        QPointer<TReportDesignerDialog> rpdd = m_rpdd;
        std::vector<ReportRows> data;
        try {
            data = openDataSets(parsed.value(), fileName, params,
                                [rpdd](const QString &name) { return rpdd ? rpdd->table(name) : nullptr; });
        } catch (const EKprError &) {
            // Data this screen cannot give (another screen's table, no database) says
            // nothing of the layout: the checks without data stand.
            return parsed.value();
        }
        ReportRenderer check(parsed.value(), m_path, std::move(data), params);
    } catch (const EKprError &e) {
        fault = e.text();
        return std::nullopt;
    }
    return parsed.value();
}

void TfrmLayoutEditor::paintPreview(QPrinter *printer)
{
    QString fault;
    const std::optional<ReportLayout> layout = validLayout(fault, false);
    lblErro->setText(fault);
    if (!layout)
        return;
    // Inside Qt's event handling: whatever ends the drawing is shown beside the preview.
    const CaughtEnd end = runCaught([&] {
        const QString fileName = QFileInfo(m_path).fileName();
        const TParams &known = screenParams(*layout);
        TParams params = TReportDesignerDialog::declaredParams(*layout);
        for (TParam &p : params)
            if (const TParam *k = known.FindParam(p.Name()))
                p.setValue(k->Value());
        QPointer<TReportDesignerDialog> rpdd = m_rpdd;
        std::vector<ReportRows> data;
        try {
            data = openDataSets(*layout, fileName, params,
                                [rpdd](const QString &name) { return rpdd ? rpdd->table(name) : nullptr; });
        } catch (const EKprError &e) {
            // The data is not at hand here (another screen's table, no database): the
            // layout is shown as its outline, with the reason.
            lblErro->setText(u"Pré-visualização sem dados: %1"_s.arg(e.text()));
            paintLayoutOutline(*layout, *printer);
            return;
        }
        ReportRenderer report(*layout, m_path, std::move(data), params);
        printOn(report, *printer);
    });
    if (end.kind == CaughtEnd::Kind::Failed)
        lblErro->setText(end.text);
    else if (end.kind == CaughtEnd::Kind::Aborted)
        lblErro->setText(u"Pré-visualização interrompida."_s);
}

bool TfrmLayoutEditor::save()
{
    QString fault;
    // The data checks need the screen's data; a layout edited without a screen is checked
    // by the format alone.
    const std::optional<ReportLayout> layout = validLayout(fault, m_rpdd != nullptr);
    if (!layout) {
        lblErro->setText(fault);
        MensErro(fault, false);
        return false;
    }
    if (const Status saved = saveLayoutFile(m_path, *layout); !saved) {
        lblErro->setText(saved.error());
        MensErro(saved.error(), false);
        return false;
    }
    m_modified = false;
    lblErro->clear();
    return true;
}

void TfrmLayoutEditor::done(int r)
{
    if (r == QDialog::Rejected && m_modified) {
        QMessageBox ask(QMessageBox::Question, windowTitle(), u"Descartar as alterações?"_s, QMessageBox::NoButton,
                        this);
        ask.setObjectName(u"msgDescartar"_s);
        QPushButton *yes = ask.addButton(u"Sim"_s, QMessageBox::YesRole);
        ask.setDefaultButton(ask.addButton(u"Não"_s, QMessageBox::NoRole));
        ask.exec();
        if (ask.clickedButton() != yes)
            return;
    }
    QDialog::done(r);
}

} // namespace kpr
