#pragma once
// What the PDF options ask of whoever paints a document: the resolution of its pictures,
// and for a batch of documents in one writer the painter to go on with. A plain struct,
// shared by the PDF engine and the report renderer without either linking the other.

class QPainter;

namespace kpr {

// What the options dialog may ask of the painter.
struct PdfRenderOptions
{
    // Pictures are scaled down to at most this resolution at their printed size; 0 keeps them.
    int maxImageDpi = 0;
    // Documents painted one after another into one writer (TgtExPDFLote): the painter to go
    // on with (not yet begun for the first document: the report begins it with its page
    // layout; begun: the report starts on a new page), and where the report says how many
    // pages it painted.
    QPainter *painter = nullptr;
    int *pagesPainted = nullptr;
};

} // namespace kpr
