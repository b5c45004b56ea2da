#include "framework/pdf/gtexpdfengine.h"

#include "framework/core/abort.h"
#include "framework/pdf/gtexpdflote.h"
#include "framework/pdf/pdfsetupdialog.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QFileInfo>
#include <QPdfWriter>
#include <QSaveFile>
#include <QUrl>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

constexpr int pdfResolution = 300;
constexpr int smallImageDpi = 150;

// Qt's writer has no author entry of its own; the XMP packet carries it with the title.
QByteArray xmpMetadata(const QString &title, const QString &author)
{
    const QString creator =
        author.isEmpty()
            ? QString()
            : u"<dc:creator><rdf:Seq><rdf:li>%1</rdf:li></rdf:Seq></dc:creator>"_s.arg(author.toHtmlEscaped());
    const QString xmp = u"<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n"
                        u"<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
                        u"<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
                        u"<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" "
                        u"xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n"
                        u"<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:title>\n"
                        u"%2\n"
                        u"<xmp:CreatorTool>kpr-shell</xmp:CreatorTool>\n"
                        u"<xmp:CreateDate>%3</xmp:CreateDate>\n"
                        u"<pdf:Producer>kpr-shell</pdf:Producer>\n"
                        u"</rdf:Description>\n</rdf:RDF>\n</x:xmpmeta>\n<?xpacket end='w'?>"_s.arg(
                            title.toHtmlEscaped(), creator, QDateTime::currentDateTime().toString(Qt::ISODate));
    return xmp.toUtf8();
}

// Qt's writer puts no /Author into the document information dictionary, which is what most
// viewers and pdfinfo show; qpdf adds it and writes the document again, its streams as
// they are.
QByteArray withAuthor(const QByteArray &pdf, const QString &author, const QString &fileName)
{
    try {
        QPDF doc;
        doc.processMemoryFile("export.pdf", pdf.constData(), size_t(pdf.size()));
        QPDFObjectHandle trailer = doc.getTrailer();
        QPDFObjectHandle info = trailer.getKey("/Info");
        if (!info.isDictionary()) {
            info = doc.makeIndirectObject(QPDFObjectHandle::newDictionary());
            trailer.replaceKey("/Info", info);
        }
        info.replaceKey("/Author", QPDFObjectHandle::newUnicodeString(author.toStdString()));
        QPDFWriter writer(doc);
        writer.setOutputMemory();
        writer.setStreamDataMode(qpdf_s_preserve);
        writer.write();
        const std::shared_ptr<Buffer> out = writer.getBufferSharedPointer();
        return QByteArray(reinterpret_cast<const char *>(out->getBuffer()), qsizetype(out->getSize()));
    } catch (const std::exception &e) {
        throw EKprError(u"Não foi possível gravar o autor no arquivo PDF '%1' (%2)."_s.arg(
            fileName, QString::fromLocal8Bit(e.what())));
    }
}

} // namespace

TgtExPDFEngine::TgtExPDFEngine() = default;
TgtExPDFEngine::~TgtExPDFEngine() = default;

void TgtExPDFEngine::Export(const QString &documentTitle, const PaintFunction &paint)
{
    if (m_lote && !m_prefs.ShowSetupDialog && !m_prefs.OutputToUserStream) {
        if (m_fileName.trimmed().isEmpty())
            throw EKprError(u"O nome do arquivo PDF não foi informado."_s);
        m_lote->Acrescenta(m_fileName, m_title.isEmpty() ? documentTitle : m_title, m_author, paint);
        ++m_exports;
        return;
    }
    if (m_prefs.ShowSetupDialog) {
        TfrmPDFSetup dialog(QApplication::activeWindow());
        dialog.setValues(m_title.isEmpty() ? documentTitle : m_title, m_author, m_compression);
        if (dialog.exec() != QDialog::Accepted)
            Abort();
        m_title = dialog.title();
        m_author = dialog.author();
        m_compression = dialog.compression();
    }
    const QString title = m_title.isEmpty() ? documentTitle : m_title;

    QSaveFile file;
    QIODevice *out = nullptr;
    if (m_prefs.OutputToUserStream) {
        if (!m_stream || !m_stream->isWritable())
            throw EKprError(u"A exportação para PDF deve gravar num fluxo de saída aberto para escrita, "
                            u"e nenhum foi informado."_s);
        out = m_stream;
    } else {
        if (m_fileName.trimmed().isEmpty())
            throw EKprError(u"O nome do arquivo PDF não foi informado."_s);
        file.setFileName(m_fileName);
        if (!file.open(QIODevice::WriteOnly))
            throw EKprError(u"Não foi possível gravar o arquivo PDF '%1' (%2)."_s.arg(m_fileName, file.errorString()));
        out = &file;
    }

    // With an author the document is made in memory first, to add it before it is written.
    QBuffer memory;
    QIODevice *target = out;
    if (!m_author.isEmpty()) {
        memory.open(QIODevice::WriteOnly);
        target = &memory;
    }

    {
        QPdfWriter writer(target);
        writer.setResolution(pdfResolution);
        writer.setTitle(title);
        writer.setCreator(u"kpr-shell"_s);
        writer.setDocumentXmpMetadata(xmpMetadata(title, m_author));
        PdfRenderOptions options;
        options.maxImageDpi = m_compression == PdfCompression::SmallImages ? smallImageDpi : 0;
        try {
            paint(writer, options);
        } catch (...) {
            if (!m_prefs.OutputToUserStream)
                file.cancelWriting();
            throw;
        }
    }
    if (target == &memory) {
        const QByteArray pdf = withAuthor(memory.data(), m_author, m_fileName);
        if (out->write(pdf) != pdf.size()) {
            if (!m_prefs.OutputToUserStream)
                file.cancelWriting();
            throw EKprError(u"Não foi possível gravar o arquivo PDF '%1' (%2)."_s.arg(m_fileName, out->errorString()));
        }
    }
    if (!m_prefs.OutputToUserStream && !file.commit())
        throw EKprError(u"Não foi possível gravar o arquivo PDF '%1' (%2)."_s.arg(m_fileName, file.errorString()));
    ++m_exports;

    if (m_prefs.OpenAfterCreate && !m_prefs.OutputToUserStream) {
        const QUrl url = QUrl::fromLocalFile(QFileInfo(m_fileName).absoluteFilePath());
        if (!QDesktopServices::openUrl(url))
            qWarning().noquote() << "kpr-pdf: o visualizador de PDF não abriu" << url.toLocalFile();
    }
}

} // namespace kpr
