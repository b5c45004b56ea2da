#pragma once
// The report dialog a report screen owns as rpddPadrao: opens a layout file, builds the
// layout's parameters (typed, empty), lets the screen fill them in BeforeGetQueryParams,
// opens the datasets with them and prints, previews or exports the report.
//
// Print shows the print dialog and prints; Preview shows the preview window. With an output
// file set (setPrintToFile, or for every dialog setDefaultPrintToFile) both write a PDF to
// that file without any window, for tests and unattended runs. QRPAfterPrint follows a
// print (also one started from the preview window), QRPAfterPreview the closing of the
// preview; ExportReport raises neither. An EAbort in BeforeGetQueryParams ends the action:
// nothing is printed and no after-event follows. Save as and layout editing belong to the
// handlers set with setSaveAsHandler and setEditHandler.
//
// The events run synchronously on the user-interface thread; what they throw passes on to
// the caller of Execute / ExportReport.

#include "framework/data/params.h"
#include "framework/report/reportdata.h"
#include "framework/report/reportrenderer.h"
#include "framework/report/reportdialog.h"

#include <QHash>
#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>

class QPrinter;

namespace kpr {

// Prints the report on a printer: the pages of the range the user chose, or every page. The
// renderer paints a device's page ranges; a printer keeps its last ranges when the user then
// chooses all pages, so they are cleared unless a range is chosen.
void printOn(const ReportRenderer &report, QPrinter &printer);

class TClientDataSet;
class TgtExPDFEngine;

class TReportDesignerDialog : public QObject, public IReportDialog
{
    Q_OBJECT

public:
    explicit TReportDesignerDialog(QObject *parent = nullptr);
    ~TReportDesignerDialog() override;

    // --- Events, named as the screens' handlers know them.
    std::function<void(QObject *Sender, TParams &Params, bool &Handled)> BeforeGetQueryParams;
    std::function<void(QObject *Sender)> QRPAfterPrint;
    std::function<void(QObject *Sender)> QRPAfterPreview;

    void Execute(ReportAction action, const QString &layoutPath) override;

    // True when the parameter set holds a parameter of that name (letter case ignored).
    bool ExistParam(const TParams &Params, const QString &Name) const;

    // Renders the layout into the engine's output (file or stream) with the engine's
    // preferences. layoutDate is the date the layout list shows for the file; the file is
    // read as it is now whatever the date.
    void ExportReport(const QString &layoutPath, double layoutDate, TgtExPDFEngine &engine);

    // The screen's in-memory tables that layouts read by name ("table": "qryCFRSintServ").
    // The dialog reads them through cursors of its own; a destroyed table is forgotten.
    void registerTable(const QString &name, const TClientDataSet *table);
    void unregisterTable(const QString &name);
    const TClientDataSet *table(const QString &name) const;

    // Print and preview write the PDF to this file without any window; empty: the default
    // below, else the dialogs.
    void setPrintToFile(const QString &path) { m_printToFile = path; }
    QString printToFile() const;
    // The file of every dialog that has none of its own: what a test sets for the dialogs of
    // screens it does not build itself. Empty (the default): print and preview show their
    // windows. Nothing outside the program (no environment variable) turns a print into a file.
    static void setDefaultPrintToFile(const QString &path);

    // The save-as and edit actions: the handler gets the layout file's path. Without one,
    // the action ends with an error box saying it is not available.
    using LayoutHandler = std::function<void(const QString &layoutPath)>;
    void setSaveAsHandler(LayoutHandler handler) { m_saveAs = std::move(handler); }
    void setEditHandler(LayoutHandler handler) { m_edit = std::move(handler); }

    // A run of reports over data that does not change meanwhile, such as one export per
    // client of the same statement: while one is open, OpenReport parses each layout file
    // once and reads each dataset's rows once (see DataSetCache). Runs nest; the rows are
    // dropped when the outermost ends.
    class Run
    {
    public:
        explicit Run(TReportDesignerDialog &dialog);
        ~Run();
        Run(const Run &) = delete;
        Run &operator=(const Run &) = delete;

    private:
        TReportDesignerDialog &m_dialog;
    };

    // True while the parameters are asked for a layout editor's preview: nothing will be
    // printed or emitted, so a screen skips what only an emitted report needs (numbers the
    // server issues for it).
    bool ParaEdicao() const { return m_paraEdicao; }
    void setParaEdicao(bool on) { m_paraEdicao = on; }

    // The parameters a layout declares, typed and without value.
    static TParams declaredParams(const ReportLayout &layout);
    // Reads the layout, fills its parameters through BeforeGetQueryParams, opens its
    // datasets and binds them: the report ready to print. Used by every action, and by a
    // layout editor's preview.
    std::unique_ptr<ReportRenderer> OpenReport(const QString &layoutPath);

private:
    void print(const QString &layoutPath);
    void preview(const QString &layoutPath);
    void printToPdf(const ReportRenderer &report, const QString &file);
    QWidget *parentWidget() const;

    QHash<QString, QPointer<const TClientDataSet>> m_tables; // by upper-cased name
    int m_runs = 0;
    bool m_paraEdicao = false;
    std::unique_ptr<DataSetCache> m_cache;
    QHash<QString, ReportLayout> m_layouts; // parsed during a run, by path
    QString m_printToFile;
    LayoutHandler m_saveAs;
    LayoutHandler m_edit;
};

} // namespace kpr
