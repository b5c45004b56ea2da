#include "framework/mail/smtpstatus.h"

#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace kpr {

namespace {

struct Detail
{
    int subject;
    int detail;
    const char16_t *text;
};

// Subject and detail of the enhanced codes (RFC 3463, RFC 4954, RFC 7505, RFC 6531 and the
// IANA registry); the same detail reads the same whether the failure is temporary or not.
constexpr Detail details[] = {
    {0, 0, u"outro ou indefinido"},
    {1, 0, u"problema no endereço"},
    {1, 1, u"caixa postal de destino inexistente"},
    {1, 2, u"domínio de destino inexistente"},
    {1, 3, u"endereço de destino com sintaxe inválida"},
    {1, 4, u"endereço de destino ambíguo"},
    {1, 5, u"endereço de destino válido"},
    {1, 6, u"a caixa postal de destino mudou de endereço"},
    {1, 7, u"endereço do remetente com sintaxe inválida"},
    {1, 8, u"domínio do remetente inválido"},
    {1, 10, u"o domínio de destino não recebe e-mail"},
    {2, 0, u"problema na caixa postal"},
    {2, 1, u"caixa postal desativada, não aceita mensagens"},
    {2, 2, u"caixa postal cheia"},
    {2, 3, u"mensagem maior que o aceito pela caixa postal"},
    {2, 4, u"problema na expansão da lista de distribuição"},
    {3, 0, u"problema no servidor de e-mail"},
    {3, 1, u"servidor de e-mail sem espaço"},
    {3, 2, u"o servidor não está aceitando mensagens"},
    {3, 3, u"o servidor não oferece o recurso pedido"},
    {3, 4, u"mensagem grande demais para o servidor"},
    {3, 5, u"servidor configurado incorretamente"},
    {4, 0, u"problema de rede ou de roteamento"},
    {4, 1, u"o servidor de destino não respondeu"},
    {4, 2, u"conexão ruim"},
    {4, 3, u"falha na consulta ao DNS"},
    {4, 4, u"impossível encaminhar a mensagem"},
    {4, 5, u"servidor congestionado"},
    {4, 6, u"laço de encaminhamento detectado"},
    {4, 7, u"prazo de entrega esgotado"},
    {5, 0, u"problema no protocolo"},
    {5, 1, u"comando inválido"},
    {5, 2, u"erro de sintaxe"},
    {5, 3, u"destinatários demais"},
    {5, 4, u"argumentos de comando inválidos"},
    {5, 5, u"versão de protocolo errada"},
    {5, 6, u"linha longa demais"},
    {6, 0, u"problema no conteúdo da mensagem"},
    {6, 1, u"tipo de conteúdo não aceito"},
    {6, 2, u"conversão exigida mas proibida"},
    {6, 3, u"conversão exigida mas não disponível"},
    {6, 4, u"conversão feita com perda de conteúdo"},
    {6, 5, u"a conversão falhou"},
    {6, 7, u"endereço não ASCII não aceito"},
    {7, 0, u"recusado por segurança ou política"},
    {7, 1, u"entrega não autorizada, mensagem recusada"},
    {7, 2, u"expansão da lista proibida"},
    {7, 3, u"conversão de segurança exigida mas impossível"},
    {7, 4, u"recurso de segurança não disponível"},
    {7, 5, u"falha criptográfica"},
    {7, 6, u"algoritmo criptográfico não disponível"},
    {7, 7, u"falha na integridade da mensagem"},
    {7, 8, u"autenticação recusada (credenciais inválidas)"},
    {7, 9, u"mecanismo de autenticação fraco demais"},
    {7, 10, u"criptografia exigida para o mecanismo de autenticação"},
    {7, 11, u"criptografia exigida para a entrega"},
    {7, 12, u"é preciso trocar a senha"},
    {7, 13, u"conta de usuário desativada"},
    {7, 14, u"relação de confiança exigida"},
};

QString subjectText(int subject)
{
    switch (subject) {
    case 0: return u"outro ou indefinido"_s;
    case 1: return u"endereçamento"_s;
    case 2: return u"caixa postal"_s;
    case 3: return u"servidor de e-mail"_s;
    case 4: return u"rede e roteamento"_s;
    case 5: return u"protocolo"_s;
    case 6: return u"conteúdo da mensagem"_s;
    case 7: return u"segurança ou política"_s;
    }
    return u"assunto desconhecido"_s;
}

QString classText(int cls)
{
    switch (cls) {
    case 2: return u"sucesso"_s;
    case 4: return u"falha temporária"_s;
    case 5: return u"falha permanente"_s;
    }
    return QString();
}

// The meaning of the basic reply codes (RFC 5321, RFC 4954), for servers without
// enhanced codes.
QString basicText(int code)
{
    switch (code) {
    case 211: return u"estado do sistema"_s;
    case 214: return u"mensagem de ajuda"_s;
    case 220: return u"serviço pronto"_s;
    case 221: return u"conexão encerrada pelo servidor"_s;
    case 235: return u"autenticação aceita"_s;
    case 250: return u"comando aceito"_s;
    case 251: return u"destinatário não local, será encaminhado"_s;
    case 252: return u"destinatário não verificado, a mensagem será aceita"_s;
    case 334: return u"o servidor aguarda os dados da autenticação"_s;
    case 354: return u"o servidor aguarda a mensagem"_s;
    case 421: return u"serviço indisponível, conexão encerrada"_s;
    case 432: return u"é preciso trocar a senha"_s;
    case 450: return u"caixa postal indisponível no momento"_s;
    case 451: return u"erro local no processamento"_s;
    case 452: return u"espaço insuficiente no servidor"_s;
    case 454: return u"autenticação temporariamente indisponível"_s;
    case 455: return u"o servidor não pode aceitar os parâmetros"_s;
    case 500: return u"comando não reconhecido"_s;
    case 501: return u"erro de sintaxe nos parâmetros"_s;
    case 502: return u"comando não implementado"_s;
    case 503: return u"sequência de comandos inválida"_s;
    case 504: return u"parâmetro não implementado"_s;
    case 530: return u"autenticação exigida"_s;
    case 534: return u"mecanismo de autenticação fraco demais"_s;
    case 535: return u"autenticação recusada (credenciais inválidas)"_s;
    case 538: return u"criptografia exigida para o mecanismo de autenticação"_s;
    case 550: return u"caixa postal indisponível ou mensagem recusada"_s;
    case 551: return u"destinatário não local"_s;
    case 552: return u"espaço de armazenamento excedido"_s;
    case 553: return u"endereço não permitido"_s;
    case 554: return u"transação recusada"_s;
    case 555: return u"parâmetros de MAIL FROM ou RCPT TO não reconhecidos"_s;
    }
    const QString cls = classText(code / 100 == 2 || code / 100 == 3 ? 2 : code / 100);
    return cls.isEmpty() ? u"resposta desconhecida"_s : cls;
}

} // namespace

QString describeSmtpReply(int code, const QString &reply)
{
    static const QRegularExpression enhanced(u"^\\d{3}[ -]([245])\\.(\\d{1,3})\\.(\\d{1,3})(?:\\s|$)"_s);
    const QRegularExpressionMatch m = enhanced.match(reply);
    // An enhanced code counts only when its class agrees with the reply code.
    if (m.hasMatch() && m.captured(1).toInt() == code / 100) {
        const int cls = m.captured(1).toInt();
        const int subject = m.captured(2).toInt();
        const int detail = m.captured(3).toInt();
        const QString number = u"%1.%2.%3"_s.arg(cls).arg(subject).arg(detail);
        if (cls == 2 && detail == 0)
            return u"%1: %2"_s.arg(number, classText(cls));
        for (const Detail &d : details) {
            if (d.subject == subject && d.detail == detail)
                return u"%1: %2"_s.arg(number, QString::fromUtf16(d.text));
        }
        return u"%1: %2 (%3)"_s.arg(number, classText(cls), subjectText(subject));
    }
    return u"%1: %2"_s.arg(code).arg(basicText(code));
}

} // namespace kpr
