#include "framework/pdf/gtexpdflote.h"

#include "framework/core/abort.h"

#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QScopeGuard>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <chrono>
#include <exception>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {
constexpr int pdfResolution = 300; // as TgtExPDFEngine writes
}

TgtExPDFLote::TgtExPDFLote(const QString &folder, int documentosPorParte)
    : m_pasta(folder),
      m_porParte(qMax(1, documentosPorParte))
{}

TgtExPDFLote::~TgtExPDFLote()
{
    if (m_painter && m_painter->isActive())
        m_painter->end();
    if (m_separacao.valid())
        m_separacao.wait(); // a batch left unconcluded by an error: its split's error goes with it
}

void TgtExPDFLote::Acrescenta(const QString &fileName, const QString &title, const QString &author,
                              const TgtExPDFEngine::PaintFunction &paint)
{
    if (m_concluido)
        throw EKprError(u"O lote de PDFs já foi concluído."_s);
    if (!m_writer) {
        m_arquivo = std::make_unique<QTemporaryFile>(QDir(m_pasta).filePath(u".lote-XXXXXX.pdf"_s));
        if (!m_arquivo->open())
            throw EKprError(u"Não foi possível gravar o arquivo temporário '%1' (%2)."_s.arg(m_arquivo->fileName(),
                                                                                             m_arquivo->errorString()));
        m_writer = std::make_unique<QPdfWriter>(m_arquivo.get());
        m_writer->setResolution(pdfResolution);
        m_writer->setCreator(u"kpr-shell"_s);
        m_painter = std::make_unique<QPainter>();
    }
    int paginas = 0;
    PdfRenderOptions options;
    options.painter = m_painter.get();
    options.pagesPainted = &paginas;
    paint(*m_writer, options);
    m_docs.push_back({fileName, title, author, m_paginas, paginas});
    m_paginas += paginas;
    ++m_documentos;
    if (int(m_docs.size()) >= m_porParte)
        separaParte();
    else if (m_separacao.valid() && m_separacao.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        aguardaSeparacao(); // the previous part's files go to their reader as soon as they are there
}

void TgtExPDFLote::Conclui()
{
    if (m_concluido)
        return;
    m_concluido = true;
    separaParte();
    aguardaSeparacao();
}

void TgtExPDFLote::separaParte()
{
    if (!m_writer)
        return;
    if (m_painter->isActive())
        m_painter->end();
    m_painter.reset();
    m_writer.reset();
    m_arquivo->flush();
    // One part is split at a time; the next part starts a writer of its own, whatever
    // happens to this one's files.
    aguardaSeparacao();
    std::vector<Documento> docs = std::exchange(m_docs, {});
    m_paginas = 0;
    m_separando = std::move(m_arquivo);
    m_separacao = std::async(std::launch::async, [arquivo = m_separando->fileName(), docs = std::move(docs)] {
        return separa(arquivo, docs);
    });
}

void TgtExPDFLote::aguardaSeparacao()
{
    if (!m_separacao.valid())
        return;
    const auto remove = qScopeGuard([this] { m_separando.reset(); });
    const QStringList escritos = m_separacao.get(); // what the split threw is thrown here
    if (m_aoSeparar)
        m_aoSeparar(escritos);
}

QStringList TgtExPDFLote::separa(const QString &caminho, const std::vector<Documento> &docs)
{
    QStringList escritos;
    try {
        QPDF lote;
        lote.processFile(QFile::encodeName(caminho).constData());
        const std::vector<QPDFPageObjectHelper> paginas = QPDFPageDocumentHelper(lote).getAllPages();
        for (const Documento &d : docs) {
            QPDF doc;
            doc.emptyPDF();
            QPDFPageDocumentHelper destino(doc);
            for (int p = d.primeira; p < d.primeira + d.paginas && p < int(paginas.size()); ++p)
                destino.addPage(paginas[size_t(p)], false);
            QPDFObjectHandle info = doc.makeIndirectObject(QPDFObjectHandle::newDictionary());
            info.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(d.titulo.toStdString()));
            if (!d.autor.isEmpty())
                info.replaceKey("/Author", QPDFObjectHandle::newUnicodeString(d.autor.toStdString()));
            info.replaceKey("/Creator", QPDFObjectHandle::newUnicodeString("kpr-shell"));
            doc.getTrailer().replaceKey("/Info", info);
            QPDFWriter w(doc);
            w.setOutputMemory();
            w.setStreamDataMode(qpdf_s_preserve);
            w.write();
            const std::shared_ptr<Buffer> buffer = w.getBufferSharedPointer();
            QSaveFile arquivo(d.arquivo);
            if (!arquivo.open(QIODevice::WriteOnly)
                || arquivo.write(reinterpret_cast<const char *>(buffer->getBuffer()), qint64(buffer->getSize()))
                       != qint64(buffer->getSize())
                || !arquivo.commit())
                throw EKprError(
                    u"Não foi possível gravar o arquivo PDF '%1' (%2)."_s.arg(d.arquivo, arquivo.errorString()));
            escritos << d.arquivo;
        }
    } catch (const EKprError &) {
        throw;
    } catch (const std::exception &e) {
        throw EKprError(u"Não foi possível separar os PDFs do lote (%1)."_s.arg(QString::fromLocal8Bit(e.what())));
    }
    return escritos;
}

} // namespace kpr
