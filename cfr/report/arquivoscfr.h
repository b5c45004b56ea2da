#pragma once
// The files of the per-client export, without a window: the work directory the registry
// names, the output directory below it, the cleaned file names and the files a run leaves.

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

namespace kpr {
class Registry;
}

namespace kpr::cfr {

enum TFormato { fPDF };
enum TModo { mUnico, mPorCliente };

// ".PDF" for fPDF.
QString ExtensaoFormato(TFormato formato);

// The text without the twelve characters a file name cannot hold well: < > : " / \ | . ? blank
// * and -. Nothing takes their place ("AB-12.3" → "AB123"); "_" and every other character stay.
QString trataNome(const QString &texto);

// The work directory: the registry's "WorkDir" under sSiteWebCliKey, ending with a separator.
// An empty or missing value is replaced by the default (the system's temporary directory) and
// stored; when the registry cannot store it, the default is used for this call only, so the
// answer is never empty. A missing directory is created (one level; a failure is ignored).
QString LeWorkDir(Registry &registro);
// The default work directory: QDir::tempPath() with a trailing separator.
QString WorkDirPadrao();

// A directory text of the host ("CFR\") in this platform's notation ("CFR/").
QString DiretorioNativo(const QString &texto);

// The regular files directly inside dir, by name; hidden files (a name beginning with ".")
// and directories are left out. Empty when dir does not exist or cannot be entered.
QStringList ArquivosRegulares(const QString &dir);
// Deletes those files; a file that cannot be deleted is skipped without a word.
void ApagaArquivosRegulares(const QString &dir);

// The file names of one export run. A client's file is its cleaned code, "_", the suffix and
// the extension ("AB123_CFR.PDF"). Two codes that clean to the same text ("12.3" and "123")
// must not share a file, or one client's statement would be mailed to the other: a name
// already taken in the run gets a counter after the cleaned code ("123_2_CFR.PDF", then
// "_3_"…), so it still begins with the cleaned code and "_". The run also records which file
// belongs to which client code.
class NomesArquivosCFR
{
public:
    void limpa();
    // Reserves the name of the client's file and records it for the code.
    QString reserva(const QString &codigo, const QString &sufixo, const QString &extensao);
    // The name recorded for the code, or "".
    QString doCliente(const QString &codigo) const { return m_porCliente.value(codigo); }

private:
    QSet<QString> m_usados;
    QHash<QString, QString> m_porCliente;
};

} // namespace kpr::cfr
