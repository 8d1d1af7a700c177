-- A ledger of the third version on PostgreSQL, as quorvix-cli 436a57a made it
-- (pg_dump --no-owner --no-privileges --inserts): two units written.
SET statement_timeout = 0;
SET lock_timeout = 0;
SET idle_in_transaction_session_timeout = 0;
SET client_encoding = 'UTF8';
SET standard_conforming_strings = on;
SELECT pg_catalog.set_config('search_path', '', false);
SET check_function_bodies = false;
SET xmloption = content;
SET client_min_messages = warning;
SET row_security = off;

CREATE FUNCTION public.quorvix_history_rule19() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF EXISTS (SELECT 1 FROM history kept WHERE kept.id = NEW.id) THEN RAISE EXCEPTION USING MESSAGE = 'the history of the ledger is never written over', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_history_rule20() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF TRUE THEN RAISE EXCEPTION USING MESSAGE = 'the history of the ledger is never changed', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_history_rule21() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF TRUE THEN RAISE EXCEPTION USING MESSAGE = 'the history of the ledger is never deleted', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_kept() RETURNS trigger
    LANGUAGE plpgsql
    AS $$BEGIN RAISE EXCEPTION 'the ledger keeps every row: % of % is refused', TG_OP, TG_TABLE_NAME; END$$;

CREATE FUNCTION public.quorvix_mac_ranges_rule4() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NEW.next <> NEW.first THEN RAISE EXCEPTION USING MESSAGE = 'a range begins at its first value', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_mac_ranges_rule5() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF EXISTS (SELECT 1 FROM mac_ranges kept WHERE kept.id = NEW.id) THEN RAISE EXCEPTION USING MESSAGE = 'a range of the ledger is never written over', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_mac_ranges_rule6() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NEW.id IS DISTINCT FROM OLD.id OR NEW.first IS DISTINCT FROM OLD.first OR NEW.last IS DISTINCT FROM OLD.last OR NEW.next < OLD.next OR NEW.next > NEW.last + 1 THEN RAISE EXCEPTION USING MESSAGE = 'a range changes in nothing but its next value, which only grows', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_mac_ranges_rule7() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF TRUE THEN RAISE EXCEPTION USING MESSAGE = 'a range of the ledger is never deleted', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_quorvix_ledger_rule1() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF EXISTS (SELECT 1 FROM quorvix_ledger) THEN RAISE EXCEPTION USING MESSAGE = 'a ledger has one version', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_quorvix_ledger_rule2() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NEW.version <= OLD.version THEN RAISE EXCEPTION USING MESSAGE = 'a ledger''s version only moves forward', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_quorvix_ledger_rule3() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF TRUE THEN RAISE EXCEPTION USING MESSAGE = 'a ledger''s version is never deleted', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_sn_ranges_rule10() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NEW.id IS DISTINCT FROM OLD.id OR NEW.prefix IS DISTINCT FROM OLD.prefix OR NEW.width IS DISTINCT FROM OLD.width OR NEW.first IS DISTINCT FROM OLD.first OR NEW.last IS DISTINCT FROM OLD.last OR NEW.next < OLD.next OR NEW.next > NEW.last + 1 THEN RAISE EXCEPTION USING MESSAGE = 'a range changes in nothing but its next value, which only grows', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_sn_ranges_rule11() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF TRUE THEN RAISE EXCEPTION USING MESSAGE = 'a range of the ledger is never deleted', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_sn_ranges_rule8() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NEW.next <> NEW.first THEN RAISE EXCEPTION USING MESSAGE = 'a range begins at its first value', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_sn_ranges_rule9() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF EXISTS (SELECT 1 FROM sn_ranges kept WHERE kept.id = NEW.id) THEN RAISE EXCEPTION USING MESSAGE = 'a range of the ledger is never written over', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_unit_history() RETURNS trigger
    LANGUAGE plpgsql SECURITY DEFINER
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF TG_OP = 'UPDATE' AND NEW.state = OLD.state AND NEW.path = OLD.path THEN RETURN NULL; END IF; INSERT INTO history (unit, state_before, state, path, station, role, time) VALUES (NEW.id, CASE WHEN TG_OP = 'UPDATE' THEN OLD.state END, NEW.state, NEW.path, NEW.station, session_user, to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"')); RETURN NULL; END$$;

CREATE FUNCTION public.quorvix_unit_stamped() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN NEW.time := to_char(now() AT TIME ZONE 'UTC', 'YYYY-MM-DD"T"HH24:MI:SS"Z"'); NEW.role := session_user; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_units_rule12() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NEW.state <> 'reserved' OR NEW.restored IS NOT NULL OR NEW.replaced_by IS NOT NULL THEN RAISE EXCEPTION USING MESSAGE = 'a unit is made reserved', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_units_rule13() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF EXISTS (SELECT 1 FROM units kept WHERE kept.id = NEW.id OR kept.mac = NEW.mac OR kept.sn = NEW.sn) THEN RAISE EXCEPTION USING MESSAGE = 'a unit of the ledger is never written over', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_units_rule14() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NOT EXISTS (SELECT 1 FROM mac_ranges WHERE next > first AND upper(lpad(to_hex(next - 1), 12, '0')) = NEW.mac) OR NOT EXISTS (SELECT 1 FROM sn_ranges WHERE next > first AND prefix || lpad((next - 1)::text, width, '0') = NEW.sn) THEN RAISE EXCEPTION USING MESSAGE = 'a unit is made only with the values the ranges'' counters just gave', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_units_rule15() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NEW.id IS DISTINCT FROM OLD.id OR NEW.mac IS DISTINCT FROM OLD.mac OR NEW.sn IS DISTINCT FROM OLD.sn OR NEW.mac_before IS DISTINCT FROM OLD.mac_before OR NEW.sn_before IS DISTINCT FROM OLD.sn_before OR NEW.station IS DISTINCT FROM OLD.station OR NEW.host IS DISTINCT FROM OLD.host OR NEW.time IS DISTINCT FROM OLD.time OR NEW.station_time IS DISTINCT FROM OLD.station_time OR NEW.role IS DISTINCT FROM OLD.role OR NEW.request IS DISTINCT FROM OLD.request THEN RAISE EXCEPTION USING MESSAGE = 'a unit''s values, values before, station, host, times, role and request never change', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_units_rule16() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF NOT ((NEW.state = OLD.state AND NEW.path = OLD.path AND NEW.restored IS NOT DISTINCT FROM OLD.restored AND NEW.replaced_by IS NOT DISTINCT FROM OLD.replaced_by) OR (OLD.state = 'reserved' AND NEW.state = 'failed' AND NEW.path = OLD.path AND NEW.replaced_by IS NULL) OR (OLD.state IN ('reserved', 'failed') AND NEW.state = 'written' AND NEW.replaced_by IS NULL) OR (OLD.state <> 'replaced' AND NEW.state = 'replaced' AND NEW.path = OLD.path AND NEW.restored IS NOT DISTINCT FROM OLD.restored AND EXISTS (SELECT 1 FROM units successor WHERE successor.id = NEW.replaced_by AND successor.id <> OLD.id AND successor.state = 'written' AND (successor.mac_before = OLD.mac OR successor.sn_before = OLD.sn)))) THEN RAISE EXCEPTION USING MESSAGE = 'a unit moves only from reserved to written or failed, from failed to written, and to replaced by the unit written into its device; nothing else of it changes', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_units_rule17() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF OLD.state = 'reserved' AND NEW.state = 'failed' AND OLD.role <> '' AND OLD.role <> session_user AND NOT COALESCE(pg_has_role(session_user, (SELECT relowner FROM pg_class WHERE oid = to_regclass('units')), 'MEMBER'), has_schema_privilege(current_schema(), 'CREATE')) THEN RAISE EXCEPTION USING MESSAGE = 'only the role that reserved a unit records that its write failed', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

CREATE FUNCTION public.quorvix_units_rule18() RETURNS trigger
    LANGUAGE plpgsql
    SET search_path TO 'public', 'pg_temp'
    AS $$BEGIN IF TRUE THEN RAISE EXCEPTION USING MESSAGE = 'a unit of the ledger is never deleted', ERRCODE = 'insufficient_privilege'; END IF; IF TG_OP = 'DELETE' THEN RETURN OLD; END IF; RETURN NEW; END$$;

SET default_tablespace = '';

SET default_table_access_method = heap;

CREATE TABLE public.history (
    id bigint NOT NULL,
    unit bigint NOT NULL,
    state_before text,
    state text NOT NULL,
    path text NOT NULL,
    station text NOT NULL,
    role text NOT NULL,
    "time" text NOT NULL,
    note text
);

ALTER TABLE public.history ALTER COLUMN id ADD GENERATED ALWAYS AS IDENTITY (
    SEQUENCE NAME public.history_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);

CREATE TABLE public.mac_ranges (
    id bigint NOT NULL,
    first bigint NOT NULL,
    last bigint NOT NULL,
    next bigint NOT NULL
);

ALTER TABLE public.mac_ranges ALTER COLUMN id ADD GENERATED ALWAYS AS IDENTITY (
    SEQUENCE NAME public.mac_ranges_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);

CREATE TABLE public.quorvix_ledger (
    version integer NOT NULL
);

CREATE TABLE public.sn_ranges (
    id bigint NOT NULL,
    prefix text NOT NULL,
    width integer NOT NULL,
    first bigint NOT NULL,
    last bigint NOT NULL,
    next bigint NOT NULL
);

ALTER TABLE public.sn_ranges ALTER COLUMN id ADD GENERATED ALWAYS AS IDENTITY (
    SEQUENCE NAME public.sn_ranges_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);

CREATE TABLE public.units (
    id bigint NOT NULL,
    mac text NOT NULL,
    sn text NOT NULL,
    path text NOT NULL,
    station text NOT NULL,
    host text NOT NULL,
    "time" text NOT NULL,
    state text NOT NULL,
    mac_before text NOT NULL,
    sn_before text NOT NULL,
    restored integer,
    replaced_by bigint,
    station_time text DEFAULT ''::text NOT NULL,
    role text DEFAULT ''::text NOT NULL,
    request text,
    CONSTRAINT units_state_check CHECK ((state = ANY (ARRAY['reserved'::text, 'written'::text, 'failed'::text, 'replaced'::text])))
);

ALTER TABLE public.units ALTER COLUMN id ADD GENERATED ALWAYS AS IDENTITY (
    SEQUENCE NAME public.units_id_seq
    START WITH 1
    INCREMENT BY 1
    NO MINVALUE
    NO MAXVALUE
    CACHE 1
);

INSERT INTO public.history OVERRIDING SYSTEM VALUE VALUES (1, 1, NULL, 'reserved', '/tmp/v3/v3pg0000.bin', 's1', 'line', '2026-12-10T16:30:15Z', NULL);
INSERT INTO public.history OVERRIDING SYSTEM VALUE VALUES (2, 1, 'reserved', 'written', '/tmp/v3/v3pg0000.bin', 's1', 'line', '2026-12-10T16:30:15Z', NULL);
INSERT INTO public.history OVERRIDING SYSTEM VALUE VALUES (3, 2, NULL, 'reserved', '/tmp/v3/v3pg0001.bin', 's1', 'line', '2026-12-10T16:30:15Z', NULL);
INSERT INTO public.history OVERRIDING SYSTEM VALUE VALUES (4, 2, 'reserved', 'written', '/tmp/v3/v3pg0001.bin', 's1', 'line', '2026-12-10T16:30:15Z', NULL);

INSERT INTO public.mac_ranges OVERRIDING SYSTEM VALUE VALUES (1, 73853304832, 73853305087, 73853304834);

INSERT INTO public.quorvix_ledger VALUES (3);

INSERT INTO public.sn_ranges OVERRIDING SYSTEM VALUE VALUES (1, 'QVX', 10, 2612000001, 2612000999, 2612000003);

INSERT INTO public.units OVERRIDING SYSTEM VALUE VALUES (1, '001132000000', 'QVX2612000001', '/tmp/v3/v3pg0000.bin', 's1', 'vm', '2026-12-10T16:30:15Z', 'written', '001132ABCDEF', 'ABCDEFGHIJKLM', NULL, NULL, '2026-12-10T16:30:15Z', 'line', '319f4b4d00daaf20d29e7859bc010263');
INSERT INTO public.units OVERRIDING SYSTEM VALUE VALUES (2, '001132000001', 'QVX2612000002', '/tmp/v3/v3pg0001.bin', 's1', 'vm', '2026-12-10T16:30:15Z', 'written', '001132ABCDEF', 'ABCDEFGHIJKLM', NULL, NULL, '2026-12-10T16:30:15Z', 'line', '81cc7b80b4f469118a8a14241182b2e9');

SELECT pg_catalog.setval('public.history_id_seq', 4, true);

SELECT pg_catalog.setval('public.mac_ranges_id_seq', 1, true);

SELECT pg_catalog.setval('public.sn_ranges_id_seq', 1, true);

SELECT pg_catalog.setval('public.units_id_seq', 2, true);

ALTER TABLE ONLY public.history
    ADD CONSTRAINT history_pkey PRIMARY KEY (id);

ALTER TABLE ONLY public.mac_ranges
    ADD CONSTRAINT mac_ranges_pkey PRIMARY KEY (id);

ALTER TABLE ONLY public.sn_ranges
    ADD CONSTRAINT sn_ranges_pkey PRIMARY KEY (id);

ALTER TABLE ONLY public.units
    ADD CONSTRAINT units_mac_key UNIQUE (mac);

ALTER TABLE ONLY public.units
    ADD CONSTRAINT units_pkey PRIMARY KEY (id);

ALTER TABLE ONLY public.units
    ADD CONSTRAINT units_sn_key UNIQUE (sn);

CREATE INDEX history_time ON public.history USING btree ("time");

CREATE INDEX history_unit ON public.history USING btree (unit);

CREATE INDEX units_mac_before ON public.units USING btree (mac_before);

CREATE UNIQUE INDEX units_request ON public.units USING btree (request);

CREATE INDEX units_sn_before ON public.units USING btree (sn_before);

CREATE INDEX units_station ON public.units USING btree (station, state);

CREATE INDEX units_time ON public.units USING btree ("time");

CREATE TRIGGER history_kept BEFORE TRUNCATE ON public.history FOR EACH STATEMENT EXECUTE FUNCTION public.quorvix_kept();

CREATE TRIGGER history_rule19 BEFORE INSERT ON public.history FOR EACH ROW EXECUTE FUNCTION public.quorvix_history_rule19();

CREATE TRIGGER history_rule20 BEFORE UPDATE ON public.history FOR EACH ROW EXECUTE FUNCTION public.quorvix_history_rule20();

CREATE TRIGGER history_rule21 BEFORE DELETE ON public.history FOR EACH ROW EXECUTE FUNCTION public.quorvix_history_rule21();

CREATE TRIGGER mac_ranges_kept BEFORE TRUNCATE ON public.mac_ranges FOR EACH STATEMENT EXECUTE FUNCTION public.quorvix_kept();

CREATE TRIGGER mac_ranges_rule4 BEFORE INSERT ON public.mac_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_mac_ranges_rule4();

CREATE TRIGGER mac_ranges_rule5 BEFORE INSERT ON public.mac_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_mac_ranges_rule5();

CREATE TRIGGER mac_ranges_rule6 BEFORE UPDATE ON public.mac_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_mac_ranges_rule6();

CREATE TRIGGER mac_ranges_rule7 BEFORE DELETE ON public.mac_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_mac_ranges_rule7();

CREATE TRIGGER quorvix_ledger_kept BEFORE TRUNCATE ON public.quorvix_ledger FOR EACH STATEMENT EXECUTE FUNCTION public.quorvix_kept();

CREATE TRIGGER quorvix_ledger_rule1 BEFORE INSERT ON public.quorvix_ledger FOR EACH ROW EXECUTE FUNCTION public.quorvix_quorvix_ledger_rule1();

CREATE TRIGGER quorvix_ledger_rule2 BEFORE UPDATE ON public.quorvix_ledger FOR EACH ROW EXECUTE FUNCTION public.quorvix_quorvix_ledger_rule2();

CREATE TRIGGER quorvix_ledger_rule3 BEFORE DELETE ON public.quorvix_ledger FOR EACH ROW EXECUTE FUNCTION public.quorvix_quorvix_ledger_rule3();

CREATE TRIGGER sn_ranges_kept BEFORE TRUNCATE ON public.sn_ranges FOR EACH STATEMENT EXECUTE FUNCTION public.quorvix_kept();

CREATE TRIGGER sn_ranges_rule10 BEFORE UPDATE ON public.sn_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_sn_ranges_rule10();

CREATE TRIGGER sn_ranges_rule11 BEFORE DELETE ON public.sn_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_sn_ranges_rule11();

CREATE TRIGGER sn_ranges_rule8 BEFORE INSERT ON public.sn_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_sn_ranges_rule8();

CREATE TRIGGER sn_ranges_rule9 BEFORE INSERT ON public.sn_ranges FOR EACH ROW EXECUTE FUNCTION public.quorvix_sn_ranges_rule9();

CREATE TRIGGER units_history AFTER INSERT OR UPDATE ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_unit_history();

CREATE TRIGGER units_kept BEFORE TRUNCATE ON public.units FOR EACH STATEMENT EXECUTE FUNCTION public.quorvix_kept();

CREATE TRIGGER units_rule12 BEFORE INSERT ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_units_rule12();

CREATE TRIGGER units_rule13 BEFORE INSERT ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_units_rule13();

CREATE TRIGGER units_rule14 BEFORE INSERT ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_units_rule14();

CREATE TRIGGER units_rule15 BEFORE UPDATE ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_units_rule15();

CREATE TRIGGER units_rule16 BEFORE UPDATE ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_units_rule16();

CREATE TRIGGER units_rule17 BEFORE UPDATE ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_units_rule17();

CREATE TRIGGER units_rule18 BEFORE DELETE ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_units_rule18();

CREATE TRIGGER units_stamped BEFORE INSERT ON public.units FOR EACH ROW EXECUTE FUNCTION public.quorvix_unit_stamped();
