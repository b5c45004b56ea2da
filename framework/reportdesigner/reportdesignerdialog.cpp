#include "framework/reportdesigner/reportdesignerdialog.h"

#include "framework/core/abort.h"
#include "framework/data/clientdataset.h"
#include "framework/pdf/gtexpdfengine.h"
#include "framework/report/layoutfile.h"

#include <QFileInfo>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QTimer>
#include <QPageRanges>
#include <QPrinter>
#include <QWidget>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

void printOn(const ReportRenderer &report, QPrinter &printer)
{
    if (printer.printRange() != QPrinter::PageRange)
        printer.setPageRanges(QPageRanges());
    report.print(printer);
}

TReportDesignerDialog::TReportDesignerDialog(QObject *parent) : QObject(parent)
{
    setObjectName(u"rpddPadrao"_s);
}

TReportDesignerDialog::~TReportDesignerDialog() = default;

bool TReportDesignerDialog::ExistParam(const TParams &Params, const QString &Name) const
{
    return Params.FindParam(Name) != nullptr;
}

void TReportDesignerDialog::registerTable(const QString &name, const TClientDataSet *table)
{
    m_tables.insert(name.toUpper(), QPointer<const TClientDataSet>(table));
}

void TReportDesignerDialog::unregisterTable(const QString &name)
{
    m_tables.remove(name.toUpper());
}

const TClientDataSet *TReportDesignerDialog::table(const QString &name) const
{
    return m_tables.value(name.toUpper()).data();
}

namespace {
QString &defaultPrintToFile()
{
    static QString path;
    return path;
}
} // namespace

void TReportDesignerDialog::setDefaultPrintToFile(const QString &path)
{
    defaultPrintToFile() = path;
}

QString TReportDesignerDialog::printToFile() const
{
    return m_printToFile.isEmpty() ? defaultPrintToFile() : m_printToFile;
}

TParams TReportDesignerDialog::declaredParams(const ReportLayout &layout)
{
    TParams params;
    for (const ParamDecl &p : layout.params) {
        TFieldType type = ftString;
        switch (p.kind) {
        case ParamKind::String: type = ftString; break;
        case ParamKind::Date: type = ftDateTime; break;
        case ParamKind::Float: type = ftFloat; break;
        case ParamKind::Integer: type = ftInteger; break;
        }
        params.CreateParam(type, p.name);
    }
    return params;
}

TReportDesignerDialog::Run::Run(TReportDesignerDialog &dialog) : m_dialog(dialog)
{
    if (m_dialog.m_runs++ == 0)
        m_dialog.m_cache = std::make_unique<DataSetCache>();
}

TReportDesignerDialog::Run::~Run()
{
    if (--m_dialog.m_runs == 0) {
        m_dialog.m_cache.reset();
        m_dialog.m_layouts.clear();
    }
}

std::unique_ptr<ReportRenderer> TReportDesignerDialog::OpenReport(const QString &layoutPath)
{
    ReportLayout layout;
    if (m_runs > 0) {
        const auto it = m_layouts.constFind(layoutPath);
        layout = it != m_layouts.cend() ? it.value() : m_layouts.insert(layoutPath, loadLayoutFile(layoutPath)).value();
    } else {
        layout = loadLayoutFile(layoutPath);
    }
    TParams params = declaredParams(layout);
    bool handled = false; // the engine has no prompt of its own to skip
    if (BeforeGetQueryParams)
        BeforeGetQueryParams(this, params, handled);
    std::vector<ReportRows> data = openDataSets(
        layout, QFileInfo(layoutPath).fileName(), params, [this](const QString &name) { return table(name); },
        m_cache.get());
    return std::make_unique<ReportRenderer>(std::move(layout), layoutPath, std::move(data), std::move(params));
}

void TReportDesignerDialog::Execute(ReportAction action, const QString &layoutPath)
{
    switch (action) {
    case ReportAction::Print: print(layoutPath); return;
    case ReportAction::Preview: preview(layoutPath); return;
    case ReportAction::SaveAs:
        if (!m_saveAs)
            throw EKprError(u"A gravação do relatório com outro nome não está disponível."_s);
        m_saveAs(layoutPath);
        return;
    case ReportAction::Edit:
        if (!m_edit)
            throw EKprError(u"O editor de relatórios não está disponível."_s);
        m_edit(layoutPath);
        return;
    }
}

QWidget *TReportDesignerDialog::parentWidget() const
{
    for (QObject *o = parent(); o; o = o->parent())
        if (auto *w = qobject_cast<QWidget *>(o))
            return w;
    return nullptr;
}

void TReportDesignerDialog::printToPdf(const ReportRenderer &report, const QString &file)
{
    TgtExPDFEngine engine;
    engine.setFileName(file);
    engine.Export(report.title(),
                  [&](QPagedPaintDevice &device, const PdfRenderOptions &options) { report.print(device, options); });
}

void TReportDesignerDialog::print(const QString &layoutPath)
{
    const std::unique_ptr<ReportRenderer> report = OpenReport(layoutPath);
    const QString file = printToFile();
    if (!file.isEmpty()) {
        printToPdf(*report, file);
    } else {
        QPrinter printer(QPrinter::HighResolution);
        printer.setDocName(report->title());
        printer.setPageLayout(report->pageLayout());
        QPrintDialog dialog(&printer, parentWidget());
        dialog.setObjectName(u"dlgImprimir"_s);
        dialog.setWindowTitle(u"Imprimir: %1"_s.arg(report->title()));
        dialog.setMinMax(1, report->pageCount());
        if (dialog.exec() != QDialog::Accepted)
            return; // nothing printed: nothing follows
        printOn(*report, printer);
    }
    if (QRPAfterPrint)
        QRPAfterPrint(this);
}

void TReportDesignerDialog::preview(const QString &layoutPath)
{
    const std::unique_ptr<ReportRenderer> report = OpenReport(layoutPath);
    const QString file = printToFile();
    if (!file.isEmpty()) {
        printToPdf(*report, file);
        if (QRPAfterPreview)
            QRPAfterPreview(this);
        return;
    }
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(report->title());
    printer.setPageLayout(report->pageLayout());
    QPrintPreviewDialog dialog(&printer, parentWidget());
    dialog.setObjectName(u"dlgVisualizar"_s);
    dialog.setWindowTitle(u"Visualizar: %1"_s.arg(report->title()));
    // Painting runs inside Qt's event handling: nothing may be thrown through it. What ends
    // it closes the window and ends the action after it, as the same end would have outside
    // (an abort silently, an error with its text); no after-event follows.
    CaughtEnd end;
    connect(&dialog, &QPrintPreviewDialog::paintRequested, &dialog, [&](QPrinter *target) {
        if (end.kind != CaughtEnd::Kind::Completed)
            return; // closing
        end = runCaught([&] { printOn(*report, *target); });
        if (end.kind != CaughtEnd::Kind::Completed)
            QTimer::singleShot(0, &dialog, &QDialog::reject);
    });
    // The preview window accepts itself only after printing from its print button; closing
    // it rejects.
    const bool printed = dialog.exec() == QDialog::Accepted;
    if (end.kind == CaughtEnd::Kind::Aborted)
        Abort();
    if (end.kind == CaughtEnd::Kind::Failed)
        throw EKprError(end.text);
    if (printed && QRPAfterPrint)
        QRPAfterPrint(this);
    if (QRPAfterPreview)
        QRPAfterPreview(this);
}

void TReportDesignerDialog::ExportReport(const QString &layoutPath, double layoutDate, TgtExPDFEngine &engine)
{
    Q_UNUSED(layoutDate);
    // Shared with the paint function, which a batch keeps until one of its threads paints.
    const std::shared_ptr<const ReportRenderer> report = OpenReport(layoutPath);
    engine.Export(report->title(), [report](QPagedPaintDevice &device, const PdfRenderOptions &options) {
        report->print(device, options);
    });
}

} // namespace kpr
