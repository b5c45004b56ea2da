#pragma once
// TfrmLayoutEditor: the layout editor of the report screens. The layout's parts as a tree
// (trvLayout: the report, page set-up, parameters, datasets, groups with their header and
// footer, bands and their elements), the properties of the selected part in a table
// (grdPropriedades), a live preview (pvwLayout) painted by the report renderer with the
// data the report dialog would give the layout (its outline when that data is not at hand
// here), and Salvar / Cancelar. The layout is edited as the document the file format
// writes; Salvar validates it with the format's reader, the reference checks that need no
// data and, when its datasets can be opened, the renderer's field checks, and only then
// writes the file (atomically). An invalid layout stays open with its edits and the fault
// shown.

#include "framework/reportdesigner/layoutjson.h"

#include <QDialog>
#include <QJsonObject>
#include <QPointer>

#include <optional>

class QLabel;
class QPrinter;
class QPrintPreviewWidget;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;
class QTimer;
class QTreeWidget;
class QTreeWidgetItem;

namespace kpr {

class TParams;
class TReportDesignerDialog;
struct ReportLayout;

class TfrmLayoutEditor : public QDialog
{
    Q_OBJECT

public:
    // Reads the layout at path (EKprError when it cannot be read). rpdd, when given, supplies
    // the parameters (through its BeforeGetQueryParams, once) and the in-memory tables of
    // the preview and of the field checks.
    TfrmLayoutEditor(const QString &path, TReportDesignerDialog *rpdd, QWidget *parent = nullptr);
    ~TfrmLayoutEditor() override;

    QTreeWidget *trvLayout;
    QTableWidget *grdPropriedades;
    QPrintPreviewWidget *pvwLayout;
    QLabel *lblErro;
    QPushButton *btnNovoElemento;
    QPushButton *btnNovaFaixa;
    QPushButton *btnRemover;
    QPushButton *btnSalvar;
    QPushButton *btnCancelar;

    // The document being edited and whether it differs from the file.
    const QJsonObject &document() const { return m_doc; }
    bool modified() const { return m_modified; }
    // The text of the last fault found (empty when the edited layout is valid).
    QString lastError() const;

    // Sets a property of the selected part, as typing it into grdPropriedades does.
    bool setProperty(const QString &key, const QString &text);
    // Selects the tree item of the element or band named (elements by their "name").
    bool selectElement(const QString &name);

    // Validates and writes; false (the fault shown) when the layout is not valid.
    bool save();

    void done(int r) override;

private:
    void buildTree();
    void showProperties();
    void propertyEdited(QTableWidgetItem *item);
    void addElement();
    void addBand();
    void removeSelected();
    void changed();
    void paintPreview(QPrinter *printer);
    // The layout's parameters as the screen fills them (BeforeGetQueryParams, asked once).
    const TParams &screenParams(const ReportLayout &layout);
    // The edited layout parsed, its references checked and, withData, bound to its data;
    // the fault otherwise. Data that cannot be opened here is no fault of the layout.
    std::optional<ReportLayout> validLayout(QString &fault, bool withData);
    JsonPath selectedPath() const;
    QString selectedKind() const;
    void selectPath(const JsonPath &path);

    QString m_path;
    QPointer<TReportDesignerDialog> m_rpdd;
    QJsonObject m_doc;
    bool m_modified = false;
    bool m_filling = false;
    std::unique_ptr<TParams> m_params; // filled once, for the preview and the checks
    QTimer *m_previewTimer;
};

} // namespace kpr
