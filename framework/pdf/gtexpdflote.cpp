#include "framework/pdf/gtexpdflote.h"

#include "framework/core/abort.h"

#include <QDir>
#include <QPainter>
#include <QPdfWriter>
#include <QSaveFile>
#include <QTemporaryFile>
#include <QThread>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>

#include <pthread.h>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

constexpr int pdfResolution = 300; // as TgtExPDFEngine writes

struct Documento
{
    QString arquivo;
    QString titulo;
    QString autor;
    int primeira = 0; // first page in the part, from 0
    int paginas = 0;
};

struct Trabalho
{
    QString arquivo;
    QString titulo;
    QString autor;
    TgtExPDFEngine::PaintFunction paint;
};

// Writes each document's pages of the part in arquivo to its own file; answers the files.
QStringList separa(const QString &caminho, const std::vector<Documento> &docs);

} // namespace

// What the caller and the painter threads share: the documents waiting, the files written
// and the first error. One mutex guards it all.
struct TgtExPDFLote::Compartilhado
{
    std::mutex mutex;
    std::condition_variable temTrabalho; // a document waits, or the batch ends
    std::condition_variable temEspaco;   // a painter took a document
    std::deque<Trabalho> fila;
    size_t capacidade = 1;
    bool encerrando = false; // no more documents: paint what waits, write, end
    bool cancelado = false;  // end now, dropping what waits and the parts not written
    QStringList escritos;    // not yet handed to the caller
    // The batch's first error. Later ones are dropped: the export has failed by then, and
    // what they leave unwritten shows as missing files.
    std::exception_ptr erro;
    bool erroLancado = false;

    void anota(std::exception_ptr e)
    {
        const std::lock_guard lock(mutex);
        if (!erro)
            erro = std::move(e);
    }
};

// One painter thread with its writer. Everything but the shared state is its own.
class TgtExPDFLote::Pintor
{
public:
    Pintor(Compartilhado &s, QString pasta, int porParte)
        : m_s(s),
          m_pasta(std::move(pasta)),
          m_porParte(porParte),
          m_thread([this] { executa(); })
    {}
    // A painter dropped while its thread runs (the batch ended without Conclui, or failing
    // to start the next painter) cancels the batch first: the join waits for no documents.
    ~Pintor()
    {
        if (!m_thread.joinable())
            return;
        {
            const std::lock_guard lock(m_s.mutex);
            m_s.cancelado = true;
        }
        m_s.temTrabalho.notify_all();
        m_thread.join();
    }
    Pintor(const Pintor &) = delete;
    Pintor &operator=(const Pintor &) = delete;

    void junta()
    {
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    void executa()
    {
        pthread_setname_np(pthread_self(), "kpr-pdf"); // as tools (top, gdb, perf) show the thread
        for (;;) {
            Trabalho t;
            {
                std::unique_lock lock(m_s.mutex);
                m_s.temTrabalho.wait(lock, [this] { return !m_s.fila.empty() || m_s.encerrando || m_s.cancelado; });
                if (m_s.cancelado || m_s.fila.empty())
                    break;
                t = std::move(m_s.fila.front());
                m_s.fila.pop_front();
            }
            m_s.temEspaco.notify_all();
            try {
                pinta(t);
                if (int(m_docs.size()) >= m_porParte)
                    fechaParte();
            } catch (...) {
                // The document is not recorded; the pages it began stay unread at the end of
                // the part, which is closed so that the next document starts a new one.
                m_s.anota(std::current_exception());
                fechaParte();
            }
        }
        bool cancelado = false;
        {
            const std::lock_guard lock(m_s.mutex);
            cancelado = m_s.cancelado;
        }
        if (cancelado)
            m_docs.clear();
        fechaParte();
    }

    void pinta(const Trabalho &t)
    {
        if (!m_writer) {
            m_arquivo = std::make_unique<QTemporaryFile>(QDir(m_pasta).filePath(u".lote-XXXXXX.pdf"_s));
            if (!m_arquivo->open())
                throw EKprError(u"Não foi possível gravar o arquivo temporário '%1' (%2)."_s.arg(
                    m_arquivo->fileName(), m_arquivo->errorString()));
            m_writer = std::make_unique<QPdfWriter>(m_arquivo.get());
            m_writer->setResolution(pdfResolution);
            m_writer->setCreator(u"kpr-shell"_s);
            m_painter = std::make_unique<QPainter>();
        }
        int paginas = 0;
        PdfRenderOptions options;
        options.painter = m_painter.get();
        options.pagesPainted = &paginas;
        t.paint(*m_writer, options);
        m_docs.push_back({t.arquivo, t.titulo, t.autor, m_paginas, paginas});
        m_paginas += paginas;
    }

    // Ends the writer and writes the part's documents to their files (none when there are
    // none, or when the part was dropped).
    void fechaParte()
    {
        if (!m_writer)
            return;
        if (m_painter->isActive())
            m_painter->end();
        m_painter.reset();
        m_writer.reset();
        m_arquivo->flush();
        const std::vector<Documento> docs = std::exchange(m_docs, {});
        m_paginas = 0;
        const std::unique_ptr<QTemporaryFile> arquivo = std::move(m_arquivo); // removed once split
        if (docs.empty())
            return;
        try {
            const QStringList escritos = separa(arquivo->fileName(), docs);
            const std::lock_guard lock(m_s.mutex);
            m_s.escritos += escritos;
        } catch (...) {
            m_s.anota(std::current_exception());
        }
    }

    Compartilhado &m_s;
    const QString m_pasta;
    const int m_porParte;
    std::unique_ptr<QTemporaryFile> m_arquivo;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    std::vector<Documento> m_docs;
    int m_paginas = 0;
    std::thread m_thread; // last: it starts once everything it uses is there
};

TgtExPDFLote::TgtExPDFLote(const QString &folder, int documentosPorParte, int pintores)
    : m_s(std::make_unique<Compartilhado>())
{
    const int n = pintores > 0 ? pintores : qBound(1, QThread::idealThreadCount(), 4);
    // A document waiting per painter keeps each busy while the caller prepares the next.
    m_s->capacidade = size_t(n);
    // A painter that cannot start throws; those started before it cancel and join as the
    // vector drops them.
    for (int i = 0; i < n; ++i)
        m_pintores.push_back(std::make_unique<Pintor>(*m_s, folder, qMax(1, documentosPorParte)));
}

// Each painter cancels the batch and joins its thread as it goes.
TgtExPDFLote::~TgtExPDFLote() = default;

void TgtExPDFLote::Acrescenta(const QString &fileName, const QString &title, const QString &author,
                              TgtExPDFEngine::PaintFunction paint)
{
    if (m_concluido)
        throw EKprError(u"O lote de PDFs já foi concluído."_s);
    {
        std::unique_lock lock(m_s->mutex);
        m_s->temEspaco.wait(lock, [this] { return m_s->fila.size() < m_s->capacidade; });
        m_s->fila.push_back({fileName, title, author, std::move(paint)});
    }
    m_s->temTrabalho.notify_one();
    ++m_documentos;
    // After the document is queued: what the caller prepared for it (a statement's number,
    // say) is not lost when an earlier document's error is thrown now; Conclui paints it.
    repassa();
}

void TgtExPDFLote::Conclui()
{
    if (m_concluido)
        return;
    m_concluido = true;
    {
        const std::lock_guard lock(m_s->mutex);
        m_s->encerrando = true;
    }
    m_s->temTrabalho.notify_all();
    for (const auto &p : m_pintores)
        p->junta();
    repassa();
}

void TgtExPDFLote::repassa()
{
    QStringList escritos;
    std::exception_ptr erro;
    {
        const std::lock_guard lock(m_s->mutex);
        escritos = std::exchange(m_s->escritos, {});
        if (m_s->erro && !m_s->erroLancado) {
            erro = m_s->erro;
            m_s->erroLancado = true;
        }
    }
    if (m_aoSeparar && !escritos.isEmpty())
        m_aoSeparar(escritos);
    if (erro)
        std::rethrow_exception(erro);
}

namespace {

QStringList separa(const QString &caminho, const std::vector<Documento> &docs)
{
    QStringList escritos;
    try {
        // Read whole and parsed from memory: each document's copy reads the part's shared
        // objects again, which from a file costs a seek and a read each time.
        QFile arquivoLote(caminho);
        if (!arquivoLote.open(QIODevice::ReadOnly))
            throw EKprError(
                u"Não foi possível ler o arquivo temporário '%1' (%2)."_s.arg(caminho, arquivoLote.errorString()));
        const QByteArray conteudo = arquivoLote.readAll();
        QPDF lote;
        lote.processMemoryFile(QFile::encodeName(caminho).constData(), conteudo.constData(), size_t(conteudo.size()));
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

} // namespace

} // namespace kpr
