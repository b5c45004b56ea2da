#pragma once
// The PDF export engine: one object per file, created by the caller without an owner and
// released by it. Export() sets up a QPdfWriter (300 dpi, title, creator "kpr-shell", author
// in the XMP metadata and the document information) on the output file and hands it to a
// paint function. A document with an author is made in memory and written once complete.
//
// The file is written through a temporary file and renamed when the document is complete,
// so that a failed export leaves no half-written PDF behind (and keeps an earlier file of
// the same name).

#include "framework/pdf/pdfrenderoptions.h"
#include "framework/pdf/gtpreferences.h"

#include <QString>

#include <functional>

class QIODevice;
class QPagedPaintDevice;
class QPainter;

namespace kpr {

class TgtExPDFLote;

enum class PdfCompression {
    Normal,      // pictures as they are
    SmallImages, // pictures at most 150 dpi: a smaller file
};

class TgtExPDFEngine
{
public:
    TgtExPDFEngine();
    ~TgtExPDFEngine();
    TgtExPDFEngine(const TgtExPDFEngine &) = delete;
    TgtExPDFEngine &operator=(const TgtExPDFEngine &) = delete;

    const QString &FileName() const { return m_fileName; }
    void setFileName(const QString &fileName) { m_fileName = fileName; }
    TgtPreferences &Preferences() { return m_prefs; }
    const TgtPreferences &Preferences() const { return m_prefs; }

    // Document information; the options dialog shows and may change them. An empty title
    // takes the title handed to Export.
    const QString &Title() const { return m_title; }
    void setTitle(const QString &title) { m_title = title; }
    const QString &Author() const { return m_author; }
    void setAuthor(const QString &author) { m_author = author; }
    PdfCompression Compression() const { return m_compression; }
    void setCompression(PdfCompression compression) { m_compression = compression; }

    // The stream written when OutputToUserStream is set; the caller owns it and opens it.
    QIODevice *UserStream() const { return m_stream; }
    void setUserStream(QIODevice *stream) { m_stream = stream; }

    using PaintFunction = std::function<void(QPagedPaintDevice &device, const PdfRenderOptions &options)>;
    // Writes one document. The paint function sets the device's page layout and paints
    // every page. Throws EKprError (pt-BR text naming the file) when the file cannot be
    // written, EAbort when the user cancels the options dialog; what the paint function
    // throws passes through, and nothing is left in the file's place.
    void Export(const QString &documentTitle, const PaintFunction &paint);

    // The number of documents written by this engine.
    int ExportCount() const { return m_exports; }

    // With a batch, Export hands the document to the batch, which paints it later on a
    // thread of its own and writes the file with its part (not with the setup dialog or a
    // user stream, which export on their own): the paint function must then own what it
    // paints.
    void setLote(TgtExPDFLote *lote) { m_lote = lote; }

private:
    QString m_fileName;
    TgtPreferences m_prefs;
    QString m_title;
    QString m_author;
    PdfCompression m_compression = PdfCompression::Normal;
    QIODevice *m_stream = nullptr;
    int m_exports = 0;
    TgtExPDFLote *m_lote = nullptr;
};

} // namespace kpr
