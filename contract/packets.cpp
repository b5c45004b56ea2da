#include "contract/packets.h"

using namespace Qt::Literals::StringLiterals;

namespace kpr::contract {

const QList<PacketField> &servSelectFields()
{
    static const QList<PacketField> fields{textField(u"CDSERVFILIAPGD"_s, 3)};
    return fields;
}

const QList<PacketField> &qtdeEfetDataFields()
{
    static const QList<PacketField> fields{
        textField(u"CDCLIENTEAPGD"_s, 21), textField(u"CDSERVFILIAPGD"_s, 3), dateTimeField(u"DTAPURACFATGD"_s),
        floatField(u"NREFETIVOSAPGD"_s),   textField(u"IDTPIJURCLIE"_s, 1),   textField(u"NRINSJURCLIE"_s, 20),
        textField(u"NMRAZSOCCLIE"_s, 50),  textField(u"NMSERVICO"_s, 40),     floatField(u"VRPRECUNITAPGD"_s),
    };
    return fields;
}

const QList<PacketField> &qtdeEfetServFields()
{
    static const QList<PacketField> fields{
        textField(u"CDFILIALAPGD"_s, 4), textField(u"CDCLIENTEAPGD"_s, 21), textField(u"CDSERVFILIAPGD"_s, 3),
        textField(u"NRAPURACGD"_s, 10),  dateTimeField(u"DTAPURACFAT"_s),   floatField(u"NREFETIVOSAPGD"_s),
        floatField(u"VRPRECUNITAPGD"_s), textField(u"NMSERVICO"_s, 40),     textField(u"NMFILIAL"_s, 30),
        textField(u"IDTPIJURCLIE"_s, 1), textField(u"NRINSJURCLIE"_s, 20),  textField(u"NMRAZSOCCLIE"_s, 50),
    };
    return fields;
}

const QList<PacketField> &clieFiliFields()
{
    static const QList<PacketField> fields{
        PacketField{u"IDMARCADO"_s, ftFixedChar, 1, {}},
        textField(u"CDCLIENTE"_s, 21),
        textField(u"IDTPIJURCLIE"_s, 1),
        textField(u"NRINSJURCLIE"_s, 20),
        textField(u"NMRAZSOCCLIE"_s, 50),
        textField(u"NMFANTCLIE"_s, 50),
    };
    return fields;
}

const QList<PacketField> &clieSelectFields()
{
    static const QList<PacketField> fields{
        textField(u"CDCLIENTEAPGD"_s, 21), textField(u"DSENDECLIE"_s, 50),  textField(u"NMBAIRCLIE"_s, 30),
        textField(u"NMMUNICLIE"_s, 30),    textField(u"NRCEPCLIE"_s, 15),   textField(u"NRINSESTCLIE"_s, 20),
        textField(u"NRTELECLIE"_s, 25),    textField(u"IDTPIJURCLIE"_s, 1), textField(u"NRINSJURCLIE"_s, 20),
        textField(u"NMRAZSOCCLIE"_s, 50),
    };
    return fields;
}

const QList<PacketField> &clientesComDadosFields()
{
    static const QList<PacketField> fields{
        textField(u"CDCLIENTE"_s, 21),    textField(u"IDTPIJURCLIE"_s, 1), textField(u"NRINSJURCLIE"_s, 20),
        textField(u"NMRAZSOCCLIE"_s, 50), textField(u"NMFANTCLIE"_s, 50),  textField(u"DSEMAIL"_s, 4000),
    };
    return fields;
}

const QList<PacketField> &emailFilialFields()
{
    static const QList<PacketField> fields{
        textField(u"DSLOGINSMTP"_s, 40),  textField(u"DSEMAILFILI"_s, 40), textField(u"CDSENHEMAILF"_s, 20),
        textField(u"DSSMTPEMAILF"_s, 40), textField(u"IDUTTLSEMAIL"_s, 1), textField(u"IDUTSSLEMAIL"_s, 1),
        textField(u"DSEMAILSMTP"_s, 120),
    };
    return fields;
}

const QList<PacketField> &totalizacaoFields()
{
    static const QList<PacketField> fields{
        textField(u"CDSERVFILIAPGD"_s, 5), textField(u"NMSERVICO"_s, 40), textField(u"TOTEFETIVOS"_s, 15),
        textField(u"VRTOTEFETIVOS"_s, 14), textField(u"VRPRECO"_s, 14),   floatField(u"TOTEFET"_s),
        floatField(u"VRTOTEFET"_s),        textField(u"VRTOTA"_s, 14),
    };
    return fields;
}

const QList<PacketField> &situacaoEnviosFields()
{
    static const QList<PacketField> fields{
        textField(u"CDCLIENTE"_s, 21),  textField(u"DSIMPRESSAO"_s, 64),  textField(u"IDSITUACAO"_s, 1),
        textField(u"NMESTACAO"_s, 100), dateTimeField(u"DTHRSITUACAO"_s), textField(u"DSRESPOSTA"_s, 1000),
        textField(u"DSEMAIL"_s, 4000),
    };
    return fields;
}

const QList<PacketField> &reservaEnvioFields()
{
    static const QList<PacketField> fields{
        textField(u"IDRESULTADO"_s, 1),   textField(u"CDRESERVA"_s, 40),    textField(u"NMESTACAO"_s, 100),
        dateTimeField(u"DTHRSITUACAO"_s), textField(u"DSRESPOSTA"_s, 1000),
    };
    return fields;
}

namespace {
QString col(const QString &prefix, int n)
{
    return prefix + QString::number(n).rightJustified(2, u'0');
}
} // namespace

const QList<PacketField> &cfrSintDataFields()
{
    static const QList<PacketField> fields = [] {
        QList<PacketField> f{
            textField(u"IDGRUPO"_s, 1),
            textField(u"CDFILIAL"_s, 4),
            textField(u"NMFILIAL"_s, 30),
            textField(u"IDTPIJURCLIE"_s, 1),
            textField(u"NRINSJURCLIE"_s, 20),
            textField(u"NMRAZSOCCLIE"_s, 50),
            textField(u"CDSERVFILI"_s, 5),
            // The address travels with the statement but is not stored (the layouts read
            // it from CLIENTE): empty provider flags.
            textField(u"DSENDECLIE"_s, 50, false),
            textField(u"NMBAIRCLIE"_s, 50, false),
            textField(u"NMMUNICLIE"_s, 50, false),
            textField(u"NRCEPCLIE"_s, 50, false),
            textField(u"NRTELECLIE"_s, 50, false),
            textField(u"NRINSESTCLIE"_s, 50, false),
            textField(u"NMSERVICO"_s, 30),
            textField(u"NRAPURACGD"_s, 10),
            textField(u"CDCLIENTEAPGD"_s, 21),
        };
        for (int n = 1; n <= 11; ++n)
            f << floatField(col(u"QTSERV"_s, n));
        for (int n = 1; n <= 11; ++n)
            f << dateTimeField(col(u"DTSERV"_s, n));
        f << dateTimeField(u"DTINICIAL"_s) << dateTimeField(u"DTFINAL"_s) << floatField(u"TOTALSERV"_s)
          << floatField(u"VRPRECO"_s) << floatField(u"TOTALQUANT"_s);
        return f;
    }();
    return fields;
}

const QList<PacketField> &cfrSintServFields()
{
    static const QList<PacketField> fields = [] {
        QList<PacketField> f{
            textField(u"IDGRUPO"_s, 3),      textField(u"CDFILIAL"_s, 4),      textField(u"NMFILIAL"_s, 30),
            textField(u"IDTPIJURCLIE"_s, 1), textField(u"NRINSJURCLIE"_s, 20), textField(u"NMRAZSOCCLIE"_s, 50),
            textField(u"NRAPURACGD"_s, 10),  textField(u"CDCLIENTE"_s, 21),
        };
        for (int n = 1; n <= 6; ++n)
            f << textField(col(u"CDSERVICO"_s, n), 3);
        for (int n = 1; n <= 6; ++n)
            f << textField(col(u"NMSERVICO"_s, n), 30);
        for (int n = 1; n <= 6; ++n)
            f << floatField(col(u"QTSERVICO"_s, n));
        for (int n = 1; n <= 6; ++n)
            f << floatField(col(u"VRSERVICO"_s, n));
        f << dateTimeField(u"DTAPURACFAT"_s) << dateTimeField(u"DTINICIAL"_s) << dateTimeField(u"DTFINAL"_s);
        return f;
    }();
    return fields;
}

} // namespace kpr::contract
