-- The lists of the server tests: every kind of field with NULLs, a view, a table in a schema
-- of its own whose name needs quoting, and a table large enough to be cut off while loading.
CREATE TABLE members (
    id integer PRIMARY KEY,
    name text NOT NULL,
    email varchar(80),
    city varchar(40),
    fee numeric(8, 2),
    ratio double precision,
    big bigint,
    joined date,
    seen timestamp,
    active boolean
);
INSERT INTO members VALUES
    (1, 'Zoë Dupont', 'zoe@example.org', 'Genève', 12.50, 0.25, 5000000000, '1999-12-31',
     '2026-05-31 14:30:05', true),
    (2, 'Liam O''Brien', 'liam@example.com', NULL, NULL, NULL, NULL, NULL, NULL, NULL),
    (3, 'Ana Garcia', 'ana@example.org', 'Sevilla', -7.00, 1.5, 42, '2024-02-29',
     '2024-02-29 00:00:00', false);
CREATE VIEW adults AS SELECT id, name, email FROM members WHERE id <> 2;
CREATE SCHEMA crm;
CREATE TABLE crm."Contacts ""2026""" ("E-mail" text, "First name" text);
INSERT INTO crm."Contacts ""2026""" VALUES ('pat@example.org', 'Pat');
CREATE TABLE many AS
    SELECT n AS id, 'member' || n || '@example.org' AS email, repeat('x', 60) AS filler
    FROM generate_series(1, 300000) AS n;
-- The sample merge's fields, so that examples/sample.mgx can be sent from the server.
CREATE VIEW "Contacts" AS
    SELECT email AS "Email", split_part(name, ' ', 1) AS "FirstName",
           split_part(name, ' ', 2) AS "LastName", city AS "City", fee AS "Balance",
           joined AS "Joined"
    FROM members;
CREATE VIEW "ManyContacts" AS
    SELECT email AS "Email", 'Member' AS "FirstName", id::text AS "LastName", NULL::text AS "City",
           0::numeric AS "Balance", DATE '2020-01-01' AS "Joined"
    FROM many;
