#include "cfr/report/arquivoscfr.h"

#include "framework/settings/hostresources.h"
#include "framework/settings/registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace kpr::cfr {

QString ExtensaoFormato(TFormato formato)
{
    switch (formato) {
    case fPDF: return u".PDF"_s;
    }
    return QString();
}

QString trataNome(const QString &texto)
{
    static const QString removidos = u"<>:\"/\\|.? *-"_s;
    QString nome = texto;
    for (const QChar c : removidos)
        nome.remove(c);
    return nome;
}

QString WorkDirPadrao()
{
    QString dir = QDir::tempPath();
    if (!dir.endsWith(u'/'))
        dir += u'/';
    return dir;
}

QString LeWorkDir(Registry &registro)
{
    const QString chave = QString::fromUtf16(sSiteWebCliKey) + u"/WorkDir"_s;
    QString dir = registro.readString(chave);
    if (dir.isEmpty()) {
        // A registry the user may not write (the usual case for /etc) keeps its empty value;
        // the default then serves this call, so the output never lands at the root.
        dir = WorkDirPadrao();
        if (registro.writeString(chave, dir))
            dir = registro.readString(chave, dir);
    }
    if (!dir.endsWith(u'/'))
        dir += u'/';
    if (!QFileInfo(dir).isDir())
        QDir().mkdir(dir);
    return dir;
}

QString DiretorioNativo(const QString &texto)
{
    QString dir = texto;
    dir.replace(u'\\', u'/');
    return dir;
}

QStringList ArquivosRegulares(const QString &dir)
{
    // QDir::Files leaves out directories; without QDir::Hidden, names beginning with "." too.
    return QDir(dir).entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name);
}

void ApagaArquivosRegulares(const QString &dir)
{
    const QDir d(dir);
    for (const QString &nome : ArquivosRegulares(dir))
        QFile::remove(d.filePath(nome));
}

void NomesArquivosCFR::limpa()
{
    m_usados.clear();
    m_porCliente.clear();
}

QString NomesArquivosCFR::reserva(const QString &codigo, const QString &sufixo, const QString &extensao)
{
    const QString base = trataNome(codigo);
    QString nome = base + u'_' + sufixo + extensao;
    for (int n = 2; m_usados.contains(nome); ++n)
        nome = base + u'_' + QString::number(n) + u'_' + sufixo + extensao;
    m_usados.insert(nome);
    m_porCliente.insert(codigo, nome);
    return nome;
}

} // namespace kpr::cfr
