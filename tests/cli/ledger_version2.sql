-- A ledger of the second version, as quorvix-cli 8f94154 made it (SQLite's
-- dump, with {id} for the dialect's row number): four units, one replaced.
CREATE TABLE quorvix_ledger (version INTEGER NOT NULL);
INSERT INTO quorvix_ledger VALUES (2);
CREATE TABLE mac_ranges (id {id}, first BIGINT NOT NULL, last BIGINT NOT NULL, next BIGINT NOT NULL);
CREATE TABLE sn_ranges (id {id}, prefix TEXT NOT NULL, width INTEGER NOT NULL, first BIGINT NOT NULL, last BIGINT NOT NULL, next BIGINT NOT NULL);
CREATE TABLE units (id {id}, mac TEXT NOT NULL UNIQUE, sn TEXT NOT NULL UNIQUE, path TEXT NOT NULL, station TEXT NOT NULL, host TEXT NOT NULL, time TEXT NOT NULL, state TEXT NOT NULL CHECK (state IN ('reserved', 'written', 'failed', 'replaced')), mac_before TEXT NOT NULL, sn_before TEXT NOT NULL, restored INTEGER, replaced_by BIGINT);
CREATE INDEX units_mac_before ON units (mac_before);
CREATE INDEX units_sn_before ON units (sn_before);
CREATE INDEX units_time ON units (time);
CREATE INDEX units_station ON units (station, state);
INSERT INTO mac_ranges (first, last, next) VALUES (73853304832, 73853305087, 73853304836);
INSERT INTO sn_ranges (prefix, width, first, last, next) VALUES ('QVX', 10, 2612000001, 2612000999, 2612000005);
INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before, restored, replaced_by) VALUES ('001132000000', 'QVX2612000001', '/tmp/v2/a.bin', 's1', 'vm', '2026-12-10T12:30:49Z', 'replaced', '001132ABCDEF', 'ABCDEFGHIJKLM', NULL, 3);
INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before, restored, replaced_by) VALUES ('001132000001', 'QVX2612000002', '/tmp/v2/b.bin', 's2', 'vm', '2026-12-10T12:30:49Z', 'written', '001132ABCDEF', 'ABCDEFGHIJKLM', NULL, NULL);
INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before, restored, replaced_by) VALUES ('001132000002', 'QVX2612000003', '/tmp/v2/a.bin', 's1', 'vm', '2026-12-10T12:30:49Z', 'written', '001132000000', 'QVX2612000001', NULL, NULL);
INSERT INTO units (mac, sn, path, station, host, time, state, mac_before, sn_before, restored, replaced_by) VALUES ('001132000003', 'QVX2612000004', '/tmp/v2/c.bin', 's2', 'vm', '2026-12-10T12:30:49Z', 'written', '001132ABCDEF', 'ABCDEFGHIJKLM', NULL, NULL);
