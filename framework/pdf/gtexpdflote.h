#pragma once
// A batch of PDF documents made as few: documents are painted one after another into a
// writer, and its pages are then split into one file per document, each with its own title
// and author. The fonts are subset and embedded once per part instead of once per file,
// which is most of the cost of many small documents (one statement per client).
//
// Painting runs on painter threads, one writer each, while the caller prepares the next
// documents: the caller hands over a paint function that owns what it paints and goes on.
// Each painter writes its documents in parts of a fixed number: a full part is split into
// its files on the painter's thread and its writer closed, so memory stays that of one part
// per painter however long the batch is.

#include "framework/pdf/gtexpdfengine.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

namespace kpr {

class TgtExPDFLote
{
public:
    static constexpr int DocumentosPorParte = 100;

    // The writers' files are temporary files in folder (beside the documents' files).
    // pintores: the painter threads; 0 takes one per processor, at most four.
    explicit TgtExPDFLote(const QString &folder, int documentosPorParte = DocumentosPorParte, int pintores = 0);
    // Without Conclui (an error ended the batch): the documents not yet painted are dropped,
    // and the threads are joined before anything a paint function owns can go.
    ~TgtExPDFLote();
    TgtExPDFLote(const TgtExPDFLote &) = delete;
    TgtExPDFLote &operator=(const TgtExPDFLote &) = delete;

    // Hands over one document; paint is kept until a painter thread calls it, so it must own
    // (or share) what it paints and read nothing the caller changes meanwhile. Waits while
    // every painter has documents waiting. What a painter met since the last call (a paint
    // function that threw, a part that could not be written) is thrown here, after the
    // document was taken: it and those before it are still painted and written by Conclui.
    void Acrescenta(const QString &fileName, const QString &title, const QString &author,
                    TgtExPDFEngine::PaintFunction paint);
    // Paints what is left and writes every part to its files (each through a temporary file
    // renamed when complete), then throws the first error of the batch, if any, an EKprError
    // naming a file that could not be written or what a paint function threw; the files
    // written stay. A batch is concluded once; later calls do nothing.
    void Conclui();

    // Called with the paths of each part's files once written, always on the thread that
    // hands over documents (at its next document or in Conclui).
    void setAoSeparar(std::function<void(const QStringList &arquivos)> aoSeparar)
    {
        m_aoSeparar = std::move(aoSeparar);
    }

    // The documents handed over so far.
    int Documentos() const { return m_documentos; }

private:
    struct Compartilhado;
    class Pintor;

    // Hands the files written since the last call to m_aoSeparar; throws the first error
    // not yet thrown.
    void repassa();

    std::unique_ptr<Compartilhado> m_s;
    std::vector<std::unique_ptr<Pintor>> m_pintores;
    std::function<void(const QStringList &)> m_aoSeparar;
    int m_documentos = 0;
    bool m_concluido = false;
};

} // namespace kpr
