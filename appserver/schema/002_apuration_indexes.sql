-- Schema version 2: what the application server's methods need to be fast and cheap.
-- Same rules as version 1: runs unchanged on SQLite and PostgreSQL.

-- ProRelGesDireta reads one branch's meals of a period: a covering index on branch and day
-- (the primary key starts with the client, so it would scan every day of the branch).
CREATE INDEX EFETIVO_FILI_DATA ON EFETIVO (CDFILIAL, DTEFETIVO, CDCLIENTE, CDSERVFILI, NREFETIVOS);

-- The price in force: the latest validity on or before a day, read from the index alone.
CREATE INDEX PRECSERV_VIGENCIA ON PRECSERV (CDFILIAL, CDCLIENTE, CDSERVFILI, DTVIGENCIA, VRPRECUNIT);

-- The primary key of APURFATGD starts with the same three columns: this index only slowed
-- down the 300 000-row inserts of ProRelGesDireta.
DROP INDEX APURFATGD_CLIE;

-- The generation of an apuration's rows: raised by every call that rewrites or removes the
-- APURFATGD rows of the number, so that a server may keep answers computed from those rows
-- for as long as the generation it read them under is the current one.
ALTER TABLE APURACAO ADD COLUMN NRGERACAO INTEGER NOT NULL DEFAULT 0;
