-- The MariaDB list of the server tests: every kind of field with NULLs, and a view.
CREATE TABLE members (
    id int PRIMARY KEY,
    name varchar(80) NOT NULL,
    email varchar(80),
    city varchar(40),
    fee decimal(8, 2),
    ratio double,
    joined date,
    seen datetime,
    active boolean
);
INSERT INTO members VALUES
    (1, 'Zoë Dupont', 'zoe@example.org', 'Genève', 12.50, 0.25, '1999-12-31',
     '2026-05-31 14:30:05', true),
    (2, 'Liam O''Brien', 'liam@example.com', NULL, NULL, NULL, NULL, NULL, NULL),
    (3, 'Ana Garcia', 'ana@example.org', 'Sevilla', -7.00, 1.5, '2024-02-29',
     '2024-02-29 00:00:00', false);
CREATE VIEW `adult members` AS SELECT id, name, email FROM members WHERE id <> 2;
