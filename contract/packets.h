#pragma once
// The field lists of the packets Kpr04700.rdmCFR serves, and of the two statement tables
// the screen fills and the server stores or answers empty.

#include "contract/packetfield.h"

namespace kpr::contract {

// qryCFRSintData, the by-date statement (GetCFRSintData, SetCRFSintDados).
const QList<PacketField> &cfrSintDataFields();
// qryCFRSintServ, the by-service statement (GetCFRSintServ).
const QList<PacketField> &cfrSintServFields();

// GetServSelect: the services of one client.
const QList<PacketField> &servSelectFields();
// GetQtdeEfetData: one client's quantities of one service, by day.
const QList<PacketField> &qtdeEfetDataFields();
// GetQtdeEfetServ: one client's quantities of every service.
const QList<PacketField> &qtdeEfetServFields();
// GetClieFili: the clients of a branch, for the client search.
const QList<PacketField> &clieFiliFields();
// GetClieSelect: the clients of the apuration with their addresses.
const QList<PacketField> &clieSelectFields();
// clientesComDados: the clients with data, with their e-mail addresses.
const QList<PacketField> &clientesComDadosFields();
// EmailFilial: the branch's sender settings.
const QList<PacketField> &emailFilialFields();
// GetTotalizacao: the totals per service.
const QList<PacketField> &totalizacaoFields();
// SituacaoEnvios: the send log of a period.
const QList<PacketField> &situacaoEnviosFields();
// ReservaEnvio: the outcome of the claim.
const QList<PacketField> &reservaEnvioFields();

} // namespace kpr::contract
