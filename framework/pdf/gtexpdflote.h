#pragma once
// A batch of PDF documents made as one: each document is painted into one writer after the
// previous one, and when the batch is concluded its pages are split into one file per
// document, each with its own title and author. The fonts are then subset and embedded once
// for the whole batch instead of once per file, which is most of the cost of many small
// documents (one statement per client).

#include "framework/pdf/gtexpdfengine.h"

#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <vector>

class QPainter;
class QPdfWriter;

namespace kpr {

class TgtExPDFLote
{
public:
    // The writer's file is a temporary file in folder (beside the documents' files).
    explicit TgtExPDFLote(const QString &folder);
    ~TgtExPDFLote();
    TgtExPDFLote(const TgtExPDFLote &) = delete;
    TgtExPDFLote &operator=(const TgtExPDFLote &) = delete;

    // Paints one document now; its file is written by Conclui. What paint throws passes on
    // and the document is not recorded.
    void Acrescenta(const QString &fileName, const QString &title, const QString &author,
                    const TgtExPDFEngine::PaintFunction &paint);
    // Writes every recorded document to its file (each through a temporary file renamed when
    // complete). Throws EKprError naming a file that cannot be written; the files written
    // before it stay. A batch is concluded once; later calls do nothing.
    void Conclui();

    int Documentos() const { return int(m_docs.size()); }

private:
    struct Documento
    {
        QString arquivo;
        QString titulo;
        QString autor;
        int primeira = 0; // first page, from 0
        int paginas = 0;
    };

    QTemporaryFile m_arquivo;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    std::vector<Documento> m_docs;
    int m_paginas = 0;
    bool m_concluido = false;
};

} // namespace kpr
