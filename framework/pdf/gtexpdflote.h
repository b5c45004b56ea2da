#pragma once
// A batch of PDF documents made as one: each document is painted into one writer after the
// previous one, and when the batch is concluded its pages are split into one file per
// document, each with its own title and author. The fonts are then subset and embedded once
// for the whole batch instead of once per file, which is most of the cost of many small
// documents (one statement per client). A batch of many documents is written in parts of
// a fixed number of documents: each part is split as soon as it is full, on a thread of its
// own while the next part is painted, so the writer's memory stays that of one part however
// long the batch is and the split costs the painting no time.

#include "framework/pdf/gtexpdfengine.h"

#include <QString>
#include <QStringList>
#include <QTemporaryFile>

#include <functional>
#include <future>
#include <memory>
#include <vector>

class QPainter;
class QPdfWriter;

namespace kpr {

class TgtExPDFLote
{
public:
    static constexpr int DocumentosPorParte = 100;

    // The writer's file is a temporary file in folder (beside the documents' files).
    explicit TgtExPDFLote(const QString &folder, int documentosPorParte = DocumentosPorParte);
    ~TgtExPDFLote();
    TgtExPDFLote(const TgtExPDFLote &) = delete;
    TgtExPDFLote &operator=(const TgtExPDFLote &) = delete;

    // Paints one document now; its file is written when its part is full or by Conclui.
    // What paint throws passes on and the document is not recorded; a part that cannot be
    // written throws as Conclui does.
    void Acrescenta(const QString &fileName, const QString &title, const QString &author,
                    const TgtExPDFEngine::PaintFunction &paint);
    // Writes every recorded document to its file (each through a temporary file renamed when
    // complete). Throws EKprError naming a file that cannot be written; the files written
    // before it stay. A batch is concluded once; later calls do nothing.
    void Conclui();

    // Called after each part's files are written, with their paths, on the thread that
    // paints (at its next document, part or Conclui).
    void setAoSeparar(std::function<void(const QStringList &arquivos)> aoSeparar)
    {
        m_aoSeparar = std::move(aoSeparar);
    }

    // The documents painted so far, in every part.
    int Documentos() const { return m_documentos; }

private:
    struct Documento
    {
        QString arquivo;
        QString titulo;
        QString autor;
        int primeira = 0; // first page, from 0
        int paginas = 0;
    };

    void separaParte();
    // Waits for the part being split, throws its error, hands its files to m_aoSeparar.
    void aguardaSeparacao();
    static QStringList separa(const QString &arquivo, const std::vector<Documento> &docs);

    QString m_pasta;
    int m_porParte;
    std::unique_ptr<QTemporaryFile> m_arquivo;
    std::unique_ptr<QTemporaryFile> m_separando; // the part being split, removed once split
    std::future<QStringList> m_separacao;
    std::unique_ptr<QPdfWriter> m_writer;
    std::unique_ptr<QPainter> m_painter;
    std::vector<Documento> m_docs;
    int m_paginas = 0;
    int m_documentos = 0;
    std::function<void(const QStringList &)> m_aoSeparar;
    bool m_concluido = false;
};

} // namespace kpr
