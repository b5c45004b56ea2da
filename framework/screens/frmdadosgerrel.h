#pragma once
// The host's report screen, base of every report of a package: the routine screen plus the
// report-code label lblCodRel, the layout list cbbReportNames, the report dialog rpddPadrao
// and the output buttons sbtPrint, sbtPreview, sbtSalvarComo, sbtReportEdit.
//
// FormCreate fills cbbReportNames with the layouts of the report found in ReportDir(): the
// files <code><number>.QR2, where <code> is the first six characters of lblCodRel's caption
// ("KPR047") and <number> is what stands between the code and ".QR2" ("08"), in the order of
// their names. Each entry shows the layout's title (readLayoutTitle) or else its file name;
// layoutNumbers() and layoutDates() run parallel to the entries.
//
// The output handlers open the selected layout ReportDir()/<code><number>.QR2 in the report
// dialog (rpddPadrao unless another was set with setReportDialog); a missing file is
// reported with msgPadrao's Arq_Rel_Err (code and directory in its two %s).

#include "framework/reportdesigner/reportdesignerdialog.h"
#include "framework/screens/frmrotigeral.h"
#include "framework/report/reportdialog.h"

#include <QStringList>

#include <memory>

class QComboBox;

namespace kpr {

class TfrmDadosGerRel : public TfrmRotiGeral
{
    Q_OBJECT

public:
    explicit TfrmDadosGerRel(QWidget *parent = nullptr);
    ~TfrmDadosGerRel() override;

    QLabel *lblCodRel;
    QComboBox *cbbReportNames;
    QToolButton *sbtPrint;
    QToolButton *sbtPreview;
    QToolButton *sbtSalvarComo;
    QToolButton *sbtReportEdit;

    // The screen's report dialog (a child object named "rpddPadrao"): its events and tables
    // are the screen's to set.
    TReportDesignerDialog *rpddPadrao() const { return m_rpddPadrao; }
    // The dialog the output handlers use: rpddPadrao, or the one set here in its place.
    IReportDialog *reportDialog() const;
    void setReportDialog(std::unique_ptr<IReportDialog> dialog);

    // Parallel to the entries of cbbReportNames.
    const QStringList &layoutNumbers() const { return m_numbers; }
    const QStringList &layoutDates() const { return m_dates; }

    // Characters 1 to 6 of lblCodRel's caption.
    QString reportCode() const;
    // <code><number>.QR2 of the entry at index; empty when there is no such entry.
    QString layoutFileName(int index) const;
    QString selectedLayoutFileName() const;
    // ReportDir(), a "/" unless it already ends with one, and the file name.
    static QString layoutPath(const QString &fileName);
    // Reads ReportDir() again and fills cbbReportNames; keeps the selected layout number.
    void loadReportNames();

    void FormCreate(QObject *Sender) override;
    void FormActivate(QObject *Sender) override;
    void FormClose(QObject *Sender, TCloseAction &Action) override;
    virtual void sbtPrintClick(QObject *Sender);
    virtual void sbtPreviewClick(QObject *Sender);
    virtual void sbtSalvarComoClick(QObject *Sender);
    virtual void sbtReportEditClick(QObject *Sender);

    // The title a layout file declares, or "" (readLayoutTitle).
    static QString layoutTitle(const QString &path);

protected:
    // The shared path of the four output handlers: checks the layout and hands it on.
    void runReport(ReportAction action);

private:
    // Asks the new title and saves a copy of the layout at path under the next free number.
    void saveLayoutAs(const QString &path);
    // Opens the layout editor on the layout at path.
    void editLayout(const QString &path);

    TReportDesignerDialog *m_rpddPadrao;
    std::unique_ptr<IReportDialog> m_rpdd;
    QStringList m_numbers;
    QStringList m_dates;
};

// The text with each "%s" replaced by the next argument, in order (the host's Format for
// message texts).
QString formatMessage(const QString &text, const QStringList &args);

} // namespace kpr
