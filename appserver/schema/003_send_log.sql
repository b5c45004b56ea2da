-- Schema version 3: the send log of the statements e-mailed to clients.
-- Same rules as version 1: runs unchanged on SQLite and PostgreSQL.

-- One row per statement: who holds it for sending, or how its last send ended. The key
-- includes DSIMPRESSAO, the client's fingerprint of the statement's content, so that a
-- statement whose quantities or values changed is a new statement with a row of its own.
-- IDSITUACAO: 'E' being sent (claimed with the token CDRESERVA), 'S' sent, 'F' failed.
-- The primary key is what makes a claim atomic: of two workstations inserting the same
-- statement at once, one insert finds the other's row.
CREATE TABLE ENVIOCFR (
    CDFILIAL      VARCHAR(4)    NOT NULL,
    DTINICIAL     DATE          NOT NULL,
    DTFINAL       DATE          NOT NULL,
    NRLAYOUT      VARCHAR(4)    NOT NULL,
    CDCLIENTE     VARCHAR(21)   NOT NULL,
    DSIMPRESSAO   VARCHAR(64)   NOT NULL,
    IDSITUACAO    CHAR(1)       NOT NULL,
    CDRESERVA     VARCHAR(40)   NOT NULL,
    NMESTACAO     VARCHAR(100)  NOT NULL,
    DSEMAIL       VARCHAR(4000),
    DSRESPOSTA    VARCHAR(1000),
    DTHRSITUACAO  TIMESTAMP     NOT NULL,
    PRIMARY KEY (CDFILIAL, DTINICIAL, DTFINAL, NRLAYOUT, CDCLIENTE, DSIMPRESSAO)
);
-- ConcluiEnvio finds the statement by the token of its claim.
CREATE INDEX ENVIOCFR_RESERVA ON ENVIOCFR (CDRESERVA);

-- One row per attempt, kept as history: opened 'E' by the claim, closed 'S' or 'F' by its
-- conclusion (or 'F' when another workstation forced the claim over). NRENVIO comes from
-- the counter 'ENVIOCFRLOG', which both databases issue the same way.
CREATE TABLE ENVIOCFRLOG (
    NRENVIO       INTEGER       NOT NULL PRIMARY KEY,
    CDFILIAL      VARCHAR(4)    NOT NULL,
    DTINICIAL     DATE          NOT NULL,
    DTFINAL       DATE          NOT NULL,
    NRLAYOUT      VARCHAR(4)    NOT NULL,
    CDCLIENTE     VARCHAR(21)   NOT NULL,
    DSIMPRESSAO   VARCHAR(64)   NOT NULL,
    CDRESERVA     VARCHAR(40)   NOT NULL,
    NMESTACAO     VARCHAR(100)  NOT NULL,
    DSEMAIL       VARCHAR(4000),
    IDSITUACAO    CHAR(1)       NOT NULL,
    DSRESPOSTA    VARCHAR(1000),
    DTHRINICIO    TIMESTAMP     NOT NULL,
    DTHRFIM       TIMESTAMP
);
CREATE UNIQUE INDEX ENVIOCFRLOG_RESERVA ON ENVIOCFRLOG (CDRESERVA);
CREATE INDEX ENVIOCFRLOG_EXTRATO ON ENVIOCFRLOG (CDFILIAL, DTINICIAL, DTFINAL, NRLAYOUT, CDCLIENTE, DSIMPRESSAO);

INSERT INTO CONTADOR (NMCONTADOR, NRULTIMO) VALUES ('ENVIOCFRLOG', 0);
