// The schema and the PCs: the numbered migrations (the SQL of every concern, each step once, in
// order), what the PCs' group role must hold, and the administrator's calls on the PCs' roles.
#include "teamdb.h"

#include <libpq-fe.h>

#include <random>

#include "internal.h"

using namespace zteam;

namespace {
// The schema, one step a version, each applied once, in order, inside Setup's transaction.
const std::vector<std::string>& Migrations()
{
    static const std::vector<std::string> m = {
        // 1: the book of factory numbers. A number with no row is free; 'taken' is in a live
        // station's hands (owner: its session's token, held as an advisory lock while it
        // lives); 'writing' has begun; 'done' is written and verified; 'spoiled' began and was
        // not verified, or is known used from a PC's own records.
        R"SQL(
CREATE TABLE zenda.numbers (
    serial integer PRIMARY KEY CHECK (serial BETWEEN 1 AND 65535),
    state text NOT NULL CHECK (state IN ('taken', 'writing', 'done', 'spoiled')),
    pc name NOT NULL DEFAULT session_user,
    owner bigint,
    changed timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX numbers_in_hand ON zenda.numbers (owner) WHERE state IN ('taken', 'writing');
CREATE SEQUENCE zenda.tokens AS bigint START 6500000000000000000;

-- The caller's own token: the session holds its advisory lock.
CREATE FUNCTION zenda.mine(me bigint) RETURNS boolean LANGUAGE sql STABLE AS $$
    SELECT EXISTS (SELECT 1 FROM pg_catalog.pg_locks
                   WHERE locktype = 'advisory' AND pid = pg_catalog.pg_backend_pid() AND granted AND objsubid = 1
                     AND ((classid::bigint << 32) | objid::bigint) = me)
$$;
CREATE FUNCTION zenda.check_mine(me bigint) RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    IF NOT zenda.mine(me) THEN
        RAISE EXCEPTION 'not this session''s token' USING ERRCODE = 'insufficient_privilege';
    END IF;
END $$;

CREATE FUNCTION zenda.hello() RETURNS bigint LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
DECLARE t bigint := nextval('zenda.tokens');
BEGIN
    PERFORM pg_advisory_lock(t);  -- held until the session ends: a station that lives
    RETURN t;
END $$;

-- Numbers whose owner's session is gone: taken ones are free again, begun ones spoiled.
CREATE FUNCTION zenda.reap(me bigint) RETURNS void LANGUAGE plpgsql AS $$
DECLARE r record;
BEGIN
    FOR r IN SELECT serial, state, owner FROM zenda.numbers
             WHERE state IN ('taken', 'writing') AND owner <> me FOR UPDATE SKIP LOCKED LOOP
        IF pg_try_advisory_xact_lock(r.owner) THEN
            IF r.state = 'taken' THEN
                DELETE FROM zenda.numbers WHERE serial = r.serial;
            ELSE
                UPDATE zenda.numbers SET state = 'spoiled', owner = NULL, changed = now() WHERE serial = r.serial;
            END IF;
        END IF;
    END LOOP;
END $$;

CREATE FUNCTION zenda.take_number(me bigint, plan integer[]) RETURNS integer LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
DECLARE n integer;
BEGIN
    PERFORM zenda.check_mine(me);
    PERFORM zenda.reap(me);
    FOR n IN SELECT p FROM unnest(plan) AS p
             WHERE p BETWEEN 1 AND 65535 AND NOT EXISTS (SELECT 1 FROM zenda.numbers x WHERE x.serial = p)
             ORDER BY p LOOP
        INSERT INTO zenda.numbers (serial, state, owner) VALUES (n, 'taken', me) ON CONFLICT (serial) DO NOTHING;
        IF FOUND THEN
            RETURN n;
        END IF;
    END LOOP;
    RETURN NULL;
END $$;

CREATE FUNCTION zenda.begin_write(me bigint, n integer) RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM zenda.check_mine(me);
    UPDATE zenda.numbers SET state = 'writing', changed = now() WHERE serial = n AND owner = me AND state = 'taken';
    IF NOT FOUND THEN
        RAISE EXCEPTION 'the number % is not this station''s to write', n USING ERRCODE = 'check_violation';
    END IF;
END $$;

-- Used numbers a PC knows of from its own records: never free again. A number another
-- station has only taken is spoiled for it (its write cannot begin); a spoiled one this PC
-- wrote and verified after all becomes done.
CREATE FUNCTION zenda.mark_used(serials integer[], verified boolean[]) RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    INSERT INTO zenda.numbers AS x (serial, state)
    SELECT s, CASE WHEN v THEN 'done' ELSE 'spoiled' END FROM unnest(serials, verified) AS u(s, v)
    WHERE s BETWEEN 1 AND 65535
    ON CONFLICT (serial) DO UPDATE
        SET state = CASE WHEN x.state = 'taken' THEN 'spoiled'
                         WHEN x.state = 'spoiled' AND excluded.state = 'done' AND x.pc = session_user THEN 'done'
                         ELSE x.state END,
            owner = CASE WHEN x.state = 'taken' THEN NULL ELSE x.owner END,
            changed = now();
END $$;

CREATE FUNCTION zenda.finish_write(me bigint, n integer, verified boolean) RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM zenda.check_mine(me);
    -- Begun by this PC (and spoiled meanwhile, when its session was lost): its end.
    UPDATE zenda.numbers SET state = CASE WHEN verified THEN 'done' ELSE 'spoiled' END, owner = NULL, changed = now()
    WHERE serial = n AND pc = session_user AND state IN ('taken', 'writing', 'spoiled');
    IF NOT FOUND THEN
        PERFORM zenda.mark_used(ARRAY[n], ARRAY[verified]);
    END IF;
END $$;

CREATE FUNCTION zenda.release_number(me bigint, n integer) RETURNS void LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM zenda.check_mine(me);
    DELETE FROM zenda.numbers WHERE serial = n AND owner = me AND state = 'taken';
END $$;

CREATE FUNCTION zenda.used_numbers(serials integer[]) RETURNS SETOF integer LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
    SELECT serial FROM zenda.numbers WHERE serial = ANY (serials) AND state <> 'taken'
$$;

-- A PC's role reaches the book only through these, with the owner's rights.
REVOKE ALL ON ALL FUNCTIONS IN SCHEMA zenda FROM PUBLIC;
GRANT USAGE ON SCHEMA zenda TO zenda_station;
GRANT SELECT ON zenda.numbers, zenda.migrations TO zenda_station;
GRANT EXECUTE ON FUNCTION zenda.hello(), zenda.take_number(bigint, integer[]), zenda.begin_write(bigint, integer),
    zenda.finish_write(bigint, integer, boolean), zenda.release_number(bigint, integer),
    zenda.mark_used(integer[], boolean[]), zenda.used_numbers(integer[]) TO zenda_station;
)SQL",
        // 2: every PC's journal. Append-only for the PCs: a line is inserted once under its PC's
        // own identity (the login role; a policy, not the client's manners) and never changed.
        R"SQL(
CREATE TABLE zenda.journal (
    pc name NOT NULL DEFAULT session_user,
    line_id text NOT NULL CHECK (length(line_id) BETWEEN 1 AND 64),
    at timestamptz,
    time text NOT NULL,
    action text NOT NULL,
    port text NOT NULL DEFAULT '',
    model text NOT NULL DEFAULT '',
    serial text NOT NULL DEFAULT '',
    address text NOT NULL DEFAULT '',
    outcome text NOT NULL DEFAULT '',
    changes text NOT NULL DEFAULT '',
    backup text NOT NULL DEFAULT '',
    traffic text NOT NULL DEFAULT '',
    written text NOT NULL DEFAULT '',
    action_id text NOT NULL DEFAULT '',
    backup_sha256 text NOT NULL DEFAULT '',
    written_serial integer,
    engineer text NOT NULL DEFAULT '',
    received timestamptz NOT NULL DEFAULT now(),
    seq bigint GENERATED ALWAYS AS IDENTITY,  -- the order lines arrived in: a PC's journal order
    PRIMARY KEY (pc, line_id)
);
CREATE INDEX journal_serial ON zenda.journal (serial, at DESC);
CREATE INDEX journal_written_serial ON zenda.journal (written_serial, at DESC) WHERE written_serial IS NOT NULL;
CREATE INDEX journal_action ON zenda.journal (pc, action_id);
ALTER TABLE zenda.journal ENABLE ROW LEVEL SECURITY;
CREATE POLICY journal_read ON zenda.journal FOR SELECT TO zenda_station USING (true);
CREATE POLICY journal_own_lines ON zenda.journal FOR INSERT TO zenda_station WITH CHECK (pc = session_user);
GRANT SELECT, INSERT ON zenda.journal TO zenda_station;

-- The backups the lines name, each kept once by its content's SHA-256 (the file as the PC wrote
-- it: its comment lines and the 72 bytes), so a device's backup can be restored on another PC.
CREATE TABLE zenda.backups (
    sha256 text PRIMARY KEY CHECK (sha256 ~ '^[0-9a-f]{64}$'),
    pc name NOT NULL DEFAULT session_user,
    name text NOT NULL,
    content text NOT NULL CHECK (octet_length(content) <= 65536),
    received timestamptz NOT NULL DEFAULT now()
);
ALTER TABLE zenda.backups ENABLE ROW LEVEL SECURITY;
CREATE POLICY backups_read ON zenda.backups FOR SELECT TO zenda_station USING (true);
CREATE POLICY backups_own ON zenda.backups FOR INSERT TO zenda_station WITH CHECK (pc = session_user);
GRANT SELECT, INSERT ON zenda.backups TO zenda_station;

-- The protocols each PC made (the PDF as handed over), by the PC's own name for the file; the
-- journal line a protocol is of by its action's identity, when the PC kept it.
CREATE TABLE zenda.protocols (
    pc name NOT NULL DEFAULT session_user,
    name text NOT NULL CHECK (length(name) BETWEEN 1 AND 200),
    number integer,
    serial integer,
    action text NOT NULL DEFAULT '',
    made timestamptz,
    action_id text NOT NULL DEFAULT '',
    sha256 text NOT NULL CHECK (sha256 ~ '^[0-9a-f]{64}$'),
    pdf bytea NOT NULL CHECK (octet_length(pdf) <= 8388608),
    received timestamptz NOT NULL DEFAULT now(),
    PRIMARY KEY (pc, name)
);
CREATE INDEX protocols_line ON zenda.protocols (pc, action_id);
ALTER TABLE zenda.protocols ENABLE ROW LEVEL SECURITY;
CREATE POLICY protocols_read ON zenda.protocols FOR SELECT TO zenda_station USING (true);
CREATE POLICY protocols_own ON zenda.protocols FOR INSERT TO zenda_station WITH CHECK (pc = session_user);
GRANT SELECT, INSERT ON zenda.protocols TO zenda_station;
)SQL",
        // 3: what the department wrote, read by when it arrived (each PC keeps the newest write of
        // every device that another PC made, to tell its engineer before a write even offline).
        // When a row arrived is the server's word: a PC may not set it, nor its order.
        R"SQL(
CREATE INDEX journal_writes_arrived ON zenda.journal (received, seq)
    WHERE outcome = 'выполнено' AND action IN ('init', 'rtc', 'counters', 'restore');
REVOKE INSERT ON zenda.journal, zenda.backups, zenda.protocols FROM zenda_station;
GRANT INSERT (pc, line_id, at, time, action, port, model, serial, address, outcome, changes, backup, traffic, written,
    action_id, backup_sha256, written_serial, engineer) ON zenda.journal TO zenda_station;
GRANT INSERT (sha256, pc, name, content) ON zenda.backups TO zenda_station;
GRANT INSERT (pc, name, number, serial, action, made, action_id, sha256, pdf) ON zenda.protocols TO zenda_station;
-- Before when every row has been committed or never will be: a row arrives at its transaction's
-- start, so the start of the oldest transaction still open. Only an owner that sees every session
-- (pg_read_all_stats) can tell; else ten minutes back, which a push's time limits exceed never.
CREATE FUNCTION zenda.settled() RETURNS timestamptz LANGUAGE sql STABLE SECURITY DEFINER
    SET search_path = pg_catalog AS $$
    SELECT CASE WHEN bool_and(backend_type IS NOT NULL)  -- null: a session this owner may not see
                THEN least(min(xact_start) FILTER (WHERE backend_type = 'client backend'), statement_timestamp())
                ELSE statement_timestamp() - interval '10 minutes' END
    FROM pg_stat_activity
    WHERE datname = current_database()
$$;
REVOKE ALL ON FUNCTION zenda.settled() FROM PUBLIC;
GRANT EXECUTE ON FUNCTION zenda.settled() TO zenda_station;
)SQL",
        // 4: departments, if a server serves several: a PC reads the lines, backups and protocols
        // of its own department's PCs only. A PC the administrator gave none, and everything from
        // before, is in the department '' (so with no departments every PC reads everything).
        R"SQL(
CREATE TABLE zenda.pcs (
    pc name PRIMARY KEY,
    department text NOT NULL DEFAULT '' CHECK (length(department) <= 64)
);
CREATE FUNCTION zenda.my_department() RETURNS text LANGUAGE sql STABLE SECURITY DEFINER
    SET search_path = pg_catalog AS $$
    SELECT coalesce((SELECT department FROM zenda.pcs WHERE pc = session_user), '')
$$;
REVOKE ALL ON FUNCTION zenda.my_department() FROM PUBLIC;
GRANT EXECUTE ON FUNCTION zenda.my_department() TO zenda_station;
-- A PC may not set it (its INSERT grant names the columns it may): the server gives its own.
ALTER TABLE zenda.journal ADD COLUMN department text NOT NULL DEFAULT zenda.my_department();
ALTER TABLE zenda.backups ADD COLUMN department text NOT NULL DEFAULT zenda.my_department();
ALTER TABLE zenda.protocols ADD COLUMN department text NOT NULL DEFAULT zenda.my_department();
DROP POLICY journal_read ON zenda.journal;
CREATE POLICY journal_read ON zenda.journal FOR SELECT TO zenda_station USING (department = (SELECT zenda.my_department()));
DROP POLICY backups_read ON zenda.backups;
CREATE POLICY backups_read ON zenda.backups FOR SELECT TO zenda_station USING (department = (SELECT zenda.my_department()));
DROP POLICY protocols_read ON zenda.protocols;
CREATE POLICY protocols_read ON zenda.protocols FOR SELECT TO zenda_station USING (department = (SELECT zenda.my_department()));
)SQL",
        // 5: a number any PC's journal shows written (begun, done or failed: the device may hold
        // it, a device numbered by hand too) is used in the book, whatever plan asks. Every
        // department's lines count: factory numbers are the factory's.
        R"SQL(
CREATE OR REPLACE FUNCTION zenda.take_number(me bigint, plan integer[]) RETURNS integer LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
DECLARE n integer;
BEGIN
    PERFORM zenda.check_mine(me);
    PERFORM zenda.reap(me);
    FOR n IN SELECT p FROM unnest(plan) AS p
             WHERE p BETWEEN 1 AND 65535 AND NOT EXISTS (SELECT 1 FROM zenda.numbers x WHERE x.serial = p)
               AND NOT EXISTS (SELECT 1 FROM zenda.journal j WHERE j.written_serial = p)
             ORDER BY p LOOP
        INSERT INTO zenda.numbers (serial, state, owner) VALUES (n, 'taken', me) ON CONFLICT (serial) DO NOTHING;
        IF FOUND THEN
            RETURN n;
        END IF;
    END LOOP;
    RETURN NULL;
END $$;

CREATE OR REPLACE FUNCTION zenda.used_numbers(serials integer[]) RETURNS SETOF integer LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
    SELECT serial FROM zenda.numbers WHERE serial = ANY (serials) AND state <> 'taken'
    UNION
    SELECT DISTINCT written_serial FROM zenda.journal WHERE written_serial = ANY (serials)
$$;
)SQL",
        // 6: a server that went back in time (restored from a dump or a base backup, or the PCs
        // moved to another) has forgotten numbers the PCs wrote since: the book gives none until
        // the PCs it knew have told theirs again. It knows it went back by its own row: the
        // table's oid (a dump restored anywhere makes the table anew), the WAL's timeline (a base
        // backup restored, a standby promoted), and each PC's count of its own connections (a PC
        // that made more than the server remembers was served by a state since lost).
        R"SQL(
CREATE FUNCTION zenda.timeline() RETURNS text LANGUAGE sql VOLATILE AS $$
    SELECT substr(pg_catalog.pg_walfile_name(pg_catalog.pg_current_wal_lsn()), 1, 8)
$$;
CREATE TABLE zenda.server (
    one boolean PRIMARY KEY DEFAULT true CHECK (one),
    id text NOT NULL DEFAULT gen_random_uuid()::text,
    generation integer NOT NULL DEFAULT 1,
    home oid NOT NULL,
    timeline text NOT NULL,
    went_back timestamptz,
    why text NOT NULL DEFAULT ''
);
INSERT INTO zenda.server (home, timeline) VALUES ('zenda.server'::regclass::oid, zenda.timeline());
-- The PCs the book waits for since the server went back: each leaves by telling its numbers.
CREATE TABLE zenda.untold (pc name PRIMARY KEY);
ALTER TABLE zenda.pcs ADD COLUMN greets bigint NOT NULL DEFAULT 0;
ALTER TABLE zenda.pcs ADD COLUMN seen timestamptz;
-- Every PC this database has records of is known from now on (add-pc and each greeting add more).
INSERT INTO zenda.pcs (pc) SELECT DISTINCT pc FROM zenda.journal ON CONFLICT DO NOTHING;
INSERT INTO zenda.pcs (pc) SELECT DISTINCT pc FROM zenda.numbers ON CONFLICT DO NOTHING;

CREATE FUNCTION zenda.went_back(why text) RETURNS void LANGUAGE plpgsql AS $$
BEGIN
    UPDATE zenda.server SET generation = generation + 1, home = 'zenda.server'::regclass::oid,
        timeline = zenda.timeline(), went_back = now(), why = went_back.why;
    -- The PCs this database knew (the group role is the cluster's, and may serve others).
    INSERT INTO zenda.untold (pc)
    SELECT p.pc FROM zenda.pcs p JOIN pg_catalog.pg_roles r ON r.rolname = p.pc
    WHERE r.rolcanlogin AND pg_catalog.pg_has_role(r.oid, 'zenda_station', 'member')
    ON CONFLICT DO NOTHING;
END $$;

-- Whether the server was made anew from a dump or a base backup since it last looked (a PC's
-- greeting, the administrator's set-up); its row as it stands.
CREATE FUNCTION zenda.look_back() RETURNS zenda.server LANGUAGE plpgsql AS $$
DECLARE s zenda.server;
BEGIN
    SELECT * INTO s FROM zenda.server FOR UPDATE;  -- one at a time finds a restore
    IF s.home <> 'zenda.server'::regclass::oid THEN
        PERFORM zenda.went_back('restored from a dump, or moved');
    ELSIF s.timeline <> zenda.timeline() THEN
        PERFORM zenda.went_back('restored from a base backup, or a standby promoted');
    END IF;
    SELECT * INTO s FROM zenda.server;
    RETURN s;
END $$;

-- The PCs still awaited (a role dropped since is not).
CREATE FUNCTION zenda.awaited() RETURNS text LANGUAGE sql STABLE SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
    SELECT string_agg(u.pc::text, ', ' ORDER BY u.pc) FROM zenda.untold u
    WHERE EXISTS (SELECT 1 FROM pg_catalog.pg_roles r WHERE r.rolname = u.pc)
$$;

-- A PC's first call on each connection: what server this is, whether it went back, and what
-- the PC is to remember (the server's identity and generation, its own connections' count).
CREATE FUNCTION zenda.greet(known_id text, known_generation integer, known_greets bigint)
RETURNS TABLE (id text, generation integer, greets bigint, awaited text, went_back timestamptz, why text)
LANGUAGE plpgsql SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
#variable_conflict use_column
DECLARE s zenda.server := zenda.look_back(); n bigint;
BEGIN
    INSERT INTO zenda.pcs AS p (pc, greets, seen) VALUES (session_user, 1, now())
        ON CONFLICT (pc) DO UPDATE SET greets = p.greets + 1, seen = now()
        RETURNING p.greets INTO n;
    -- Once: a PC that knew the server before it was found gone back tells its numbers anyway.
    IF known_id = s.id AND known_generation = s.generation AND known_greets >= n THEN
        PERFORM zenda.went_back(format('%s had connected %s times, the server remembers %s',
                                       session_user, known_greets, n - 1));
    END IF;
    RETURN QUERY SELECT x.id, x.generation, n, zenda.awaited(), x.went_back, x.why FROM zenda.server x;
END $$;

-- The numbers a PC's own records show used, told after the server went back (or to a server
-- new to it): the book keeps them, and waits for this PC no more.
CREATE FUNCTION zenda.tell(serials integer[], verified boolean[]) RETURNS void LANGUAGE plpgsql
SECURITY DEFINER SET search_path = pg_catalog, pg_temp AS $$
BEGIN
    PERFORM zenda.mark_used(serials, verified);
    DELETE FROM zenda.untold WHERE pc = session_user;
END $$;

-- Whether the server holds a line of this PC's (whatever department the PC reads now).
CREATE FUNCTION zenda.holds(line text) RETURNS boolean LANGUAGE sql STABLE SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
    SELECT EXISTS (SELECT 1 FROM zenda.journal WHERE pc = session_user AND line_id = line)
$$;

-- The plan comes sorted: the first free number ends the walk, a slice of it at a time (a plan
-- of 65,535 numbers is not looked up whole for one number).
CREATE OR REPLACE FUNCTION zenda.take_number(me bigint, plan integer[]) RETURNS integer LANGUAGE plpgsql SECURITY DEFINER
SET search_path = pg_catalog, pg_temp AS $$
DECLARE n integer; i integer; waits text := zenda.awaited();
BEGIN
    IF waits IS NOT NULL THEN
        RAISE EXCEPTION 'the number book gives no number: the server went back in time (%, %); it waits for these PCs to tell the numbers they wrote: % (zenda sync on each, or the administrator''s zenda team resume)',
            (SELECT why FROM zenda.server), (SELECT to_char(went_back, 'YYYY-MM-DD HH24:MI') FROM zenda.server), waits
            USING ERRCODE = 'object_not_in_prerequisite_state';
    END IF;
    PERFORM zenda.check_mine(me);
    PERFORM zenda.reap(me);
    FOR i IN 1 .. coalesce(array_length(plan, 1), 0) BY 256 LOOP
        FOR n IN SELECT p FROM unnest(plan[i:i + 255]) WITH ORDINALITY AS u(p, o)
                 WHERE p BETWEEN 1 AND 65535 AND NOT EXISTS (SELECT 1 FROM zenda.numbers x WHERE x.serial = p)
                   AND NOT EXISTS (SELECT 1 FROM zenda.journal j WHERE j.written_serial = p)
                 ORDER BY o LOOP
            INSERT INTO zenda.numbers (serial, state, owner) VALUES (n, 'taken', me) ON CONFLICT (serial) DO NOTHING;
            IF FOUND THEN
                RETURN n;
            END IF;
        END LOOP;
    END LOOP;
    RETURN NULL;
END $$;

-- The department's journal newest first, read a row at a time: no sort of every line first.
CREATE INDEX journal_newest ON zenda.journal (at DESC NULLS LAST, seq DESC);

-- A backup is kept once, in the department that sent it first; a department reads it too when its
-- own lines name it (the same file pushed from two departments is each one's). The key stays, so
-- PCs of the version before go on pushing.
CREATE INDEX journal_backup ON zenda.journal (backup_sha256);
DROP POLICY backups_read ON zenda.backups;
CREATE POLICY backups_read ON zenda.backups FOR SELECT TO zenda_station USING (department = (SELECT zenda.my_department())
    OR EXISTS (SELECT 1 FROM zenda.journal j WHERE j.backup_sha256 = backups.sha256));

REVOKE ALL ON FUNCTION zenda.timeline(), zenda.went_back(text), zenda.look_back(), zenda.awaited(),
    zenda.greet(text, integer, bigint), zenda.tell(integer[], boolean[]), zenda.holds(text) FROM PUBLIC;
GRANT EXECUTE ON FUNCTION zenda.greet(text, integer, bigint), zenda.tell(integer[], boolean[]), zenda.holds(text),
    zenda.awaited() TO zenda_station;
GRANT SELECT ON zenda.server TO zenda_station;
)SQL",
    };
    return m;
}

// What the PCs' group role must hold for the schema of the last migration: each a name and a
// check. A restore with pg_dump into a cluster without the roles loses them all (the grants and
// the policies name zenda_station) while the migrations table says the schema is complete.
const char* const kAccessChecks = R"SQL(
SELECT what FROM (VALUES
    ('USAGE ON SCHEMA zenda', has_schema_privilege('zenda_station', 'zenda', 'USAGE')),
    ('SELECT ON zenda.numbers', has_table_privilege('zenda_station', 'zenda.numbers', 'SELECT')),
    ('SELECT ON zenda.migrations', has_table_privilege('zenda_station', 'zenda.migrations', 'SELECT')),
    ('SELECT ON zenda.journal', has_table_privilege('zenda_station', 'zenda.journal', 'SELECT')),
    ('SELECT ON zenda.backups', has_table_privilege('zenda_station', 'zenda.backups', 'SELECT')),
    ('SELECT ON zenda.protocols', has_table_privilege('zenda_station', 'zenda.protocols', 'SELECT')),
    ('INSERT ON zenda.journal', has_column_privilege('zenda_station', 'zenda.journal', 'line_id', 'INSERT')),
    ('INSERT ON zenda.backups', has_column_privilege('zenda_station', 'zenda.backups', 'sha256', 'INSERT')),
    ('INSERT ON zenda.protocols', has_column_privilege('zenda_station', 'zenda.protocols', 'pdf', 'INSERT')),
    ('EXECUTE ON zenda.take_number', has_function_privilege('zenda_station', 'zenda.take_number(bigint, integer[])', 'EXECUTE')),
    ('EXECUTE ON zenda.settled', has_function_privilege('zenda_station', 'zenda.settled()', 'EXECUTE')),
    ('EXECUTE ON zenda.my_department', has_function_privilege('zenda_station', 'zenda.my_department()', 'EXECUTE')),
    ('EXECUTE ON zenda.greet', has_function_privilege('zenda_station', 'zenda.greet(text, integer, bigint)', 'EXECUTE')),
    ('EXECUTE ON zenda.tell', has_function_privilege('zenda_station', 'zenda.tell(integer[], boolean[])', 'EXECUTE')),
    ('EXECUTE ON zenda.holds', has_function_privilege('zenda_station', 'zenda.holds(text)', 'EXECUTE')),
    ('EXECUTE ON zenda.awaited', has_function_privilege('zenda_station', 'zenda.awaited()', 'EXECUTE')),
    ('SELECT ON zenda.server', has_table_privilege('zenda_station', 'zenda.server', 'SELECT'))
) AS t(what, ok) WHERE NOT ok
UNION ALL
SELECT 'POLICY ' || p FROM unnest(ARRAY['journal_read', 'journal_own_lines', 'backups_read', 'backups_own',
                                        'protocols_read', 'protocols_own']) AS p
    WHERE NOT EXISTS (SELECT 1 FROM pg_catalog.pg_policies WHERE schemaname = 'zenda' AND policyname = p)
UNION ALL
SELECT 'ROW LEVEL SECURITY ON zenda.' || t FROM unnest(ARRAY['journal', 'backups', 'protocols']) AS t
    WHERE NOT (SELECT relrowsecurity FROM pg_catalog.pg_class WHERE oid = ('zenda.' || t)::regclass)
)SQL";

// The same, put back as the migrations left it (every statement may run again).
const char* const kAccess = R"SQL(
GRANT USAGE ON SCHEMA zenda TO zenda_station;
GRANT SELECT ON zenda.numbers, zenda.migrations, zenda.journal, zenda.backups, zenda.protocols, zenda.server
    TO zenda_station;
GRANT EXECUTE ON FUNCTION zenda.hello(), zenda.take_number(bigint, integer[]), zenda.begin_write(bigint, integer),
    zenda.finish_write(bigint, integer, boolean), zenda.release_number(bigint, integer),
    zenda.mark_used(integer[], boolean[]), zenda.used_numbers(integer[]), zenda.settled(), zenda.my_department(),
    zenda.greet(text, integer, bigint), zenda.tell(integer[], boolean[]), zenda.holds(text), zenda.awaited()
    TO zenda_station;
GRANT INSERT (pc, line_id, at, time, action, port, model, serial, address, outcome, changes, backup, traffic, written,
    action_id, backup_sha256, written_serial, engineer) ON zenda.journal TO zenda_station;
GRANT INSERT (sha256, pc, name, content) ON zenda.backups TO zenda_station;
GRANT INSERT (pc, name, number, serial, action, made, action_id, sha256, pdf) ON zenda.protocols TO zenda_station;
ALTER TABLE zenda.journal ENABLE ROW LEVEL SECURITY;
ALTER TABLE zenda.backups ENABLE ROW LEVEL SECURITY;
ALTER TABLE zenda.protocols ENABLE ROW LEVEL SECURITY;
DROP POLICY IF EXISTS journal_read ON zenda.journal;
CREATE POLICY journal_read ON zenda.journal FOR SELECT TO zenda_station USING (department = (SELECT zenda.my_department()));
DROP POLICY IF EXISTS journal_own_lines ON zenda.journal;
CREATE POLICY journal_own_lines ON zenda.journal FOR INSERT TO zenda_station WITH CHECK (pc = session_user);
DROP POLICY IF EXISTS backups_read ON zenda.backups;
CREATE POLICY backups_read ON zenda.backups FOR SELECT TO zenda_station USING (department = (SELECT zenda.my_department())
    OR EXISTS (SELECT 1 FROM zenda.journal j WHERE j.backup_sha256 = backups.sha256));
DROP POLICY IF EXISTS backups_own ON zenda.backups;
CREATE POLICY backups_own ON zenda.backups FOR INSERT TO zenda_station WITH CHECK (pc = session_user);
DROP POLICY IF EXISTS protocols_read ON zenda.protocols;
CREATE POLICY protocols_read ON zenda.protocols FOR SELECT TO zenda_station USING (department = (SELECT zenda.my_department()));
DROP POLICY IF EXISTS protocols_own ON zenda.protocols;
CREATE POLICY protocols_own ON zenda.protocols FOR INSERT TO zenda_station WITH CHECK (pc = session_user);
)SQL";

// A role that is one of the team's PCs (made by add-pc, with no powers beyond a PC's): the SQL
// that says so, its name as $1.
const char* const kIsPc =
    "SELECT NOT (r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR r.rolreplication OR r.rolbypassrls) "
    "AND EXISTS (SELECT 1 FROM pg_auth_members m JOIN pg_roles s ON s.oid = m.roleid "
    "WHERE s.rolname = 'zenda_station' AND m.member = r.oid) "
    "AND NOT EXISTS (SELECT 1 FROM pg_auth_members m WHERE m.roleid = r.oid) "
    "FROM pg_roles r WHERE r.rolname = $1";
}  // namespace

int TTeamDb::SchemaVersion() { return static_cast<int>(Migrations().size()); }

std::vector<int> TTeamDb::Setup(std::vector<std::string>* restored)
{
    std::vector<int> applied;
    InOneTransaction([&] {
        // Two administrators at once: one after the other.
        Exec("SELECT pg_advisory_xact_lock(hashtext('zenda team setup'))");
        // The role is the cluster's, the lock above the database's: a set-up of another database at
        // the same moment may make it first.
        Exec("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = 'zenda_station') THEN "
             "CREATE ROLE zenda_station NOLOGIN; END IF; "
             "EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL; END $$");
        Exec("CREATE SCHEMA IF NOT EXISTS zenda");
        Exec("CREATE TABLE IF NOT EXISTS zenda.migrations (version integer PRIMARY KEY, applied timestamptz NOT NULL "
             "DEFAULT now())");
        const auto rows = Exec("SELECT coalesce(max(version), 0) FROM zenda.migrations");
        const int current = std::stoi(rows.at(0).at(0).value_or("0"));
        if (current > SchemaVersion())
            throw ETeamError("the team's server has schema version " + Number(current) +
                             ", newer than this program's " + Number(SchemaVersion()) + ": update zenda");
        for (int v = current + 1; v <= SchemaVersion(); ++v) {
            Exec(Migrations()[static_cast<size_t>(v - 1)]);
            Exec("INSERT INTO zenda.migrations (version) VALUES ($1)", {Number(v)});
            applied.push_back(v);
        }
        // Never "up to date" over a schema the PCs cannot use: what a restore lost is put back,
        // and what cannot be is said.
        std::vector<std::string> missing;
        for (const TRow& row : Exec(kAccessChecks))
            missing.push_back(row.at(0).value_or(""));
        if (!missing.empty()) {
            Exec(kAccess);
            if (const auto still = Exec(kAccessChecks); !still.empty())
                throw ETeamError("the schema lacks what the PCs need and could not be put back: " +
                                 still.at(0).at(0).value_or(""));
            if (restored)
                *restored = missing;
        }
        return applied.size();
    });
    return applied;
}

void TTeamDb::CheckDepartment(const std::string& department)
{
    // No control characters (C0, DEL, and C1 as UTF-8): the name is shown in terminals.
    bool control = false;
    for (size_t i = 0; i < department.size(); ++i) {
        const auto b = static_cast<unsigned char>(department[i]);
        control = control || b < 0x20 || b == 0x7F ||
                  (b == 0xC2 && i + 1 < department.size() && static_cast<unsigned char>(department[i + 1]) < 0xA0);
    }
    if (department.size() > 64 || control)
        throw ETeamRefusal("a department is a name of at most 64 bytes on one line, not '" + department + "'");
}

void TTeamDb::SetDepartment(const std::string& pc, const std::string& department)
{
    CheckDepartment(department);
    if (Exec("SELECT 1 FROM pg_roles WHERE rolname = $1 AND pg_has_role(rolname, 'zenda_station', 'member')", {pc}).empty())
        throw ETeamRefusal("no PC " + pc + " on the team's server (zenda team add-pc " + pc + ")");
    Exec("INSERT INTO zenda.pcs (pc, department) VALUES ($1, $2) "
         "ON CONFLICT (pc) DO UPDATE SET department = excluded.department",
         {pc, department});
}

void TTeamDb::CheckPcName(const std::string& name)
{
    if (name.empty() || name.size() > 63 || name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_-") != std::string::npos ||
        name[0] == '-' || name.rfind("pg_", 0) == 0)
        throw ETeamRefusal("a PC's name is 1..63 small Latin letters, digits, '_' and '-', not '" + name + "'");
}

std::string TTeamDb::AddPc(const std::string& name, bool& renewed)
{
    CheckPcName(name);
    static const char alphabet[] = "abcdefghijkmnpqrstuvwxyzABCDEFGHJKLMNPQRSTUVWXYZ23456789";
    std::random_device random;
    std::string password;
    for (int i = 0; i < 24; ++i)
        password += alphabet[random() % (sizeof alphabet - 1)];
    // Only the verifier goes to the server: the password is in no statement and no server log.
    char* verifier = PQencryptPasswordConn(conn_, password.c_str(), name.c_str(), "scram-sha-256");
    if (!verifier)
        throw ETeamError(Joined("the team's server: ", Trimmed(PQerrorMessage(conn_))));
    const std::string scram = verifier;
    PQfreemem(verifier);
    char* id = PQescapeIdentifier(conn_, name.c_str(), name.size());
    char* literal = PQescapeLiteral(conn_, scram.c_str(), scram.size());
    const std::string role = id ? id : "", secret = literal ? literal : "";
    PQfreemem(id);
    PQfreemem(literal);
    // A role of the server's own (a person's, the owner's, a superuser) is never taken over:
    // only a PC made here, with no powers beyond a PC's, is given a new password.
    const auto held = Exec("SELECT r.rolsuper OR r.rolcreaterole OR r.rolcreatedb OR r.rolreplication OR r.rolbypassrls "
                           "OR NOT EXISTS (SELECT 1 FROM pg_auth_members m JOIN pg_roles s ON s.oid = m.roleid "
                           "WHERE s.rolname = 'zenda_station' AND m.member = r.oid) "
                           "OR EXISTS (SELECT 1 FROM pg_auth_members m WHERE m.roleid = r.oid) "
                           "FROM pg_roles r WHERE r.rolname = $1",
                           {name});
    renewed = !held.empty();
    if (renewed && held[0].at(0).value_or("t") != "f")
        throw ETeamRefusal("the server has a role " + name + " that is not one of the team's PCs; give the PC another name");
    if (renewed)
        Exec("ALTER ROLE " + role + " LOGIN PASSWORD " + secret);  // the PC set up again: its old password is void
    else
        Exec("CREATE ROLE " + role + " LOGIN PASSWORD " + secret + " IN ROLE zenda_station");
    // Known to this database from now on (the book waits for it after a restore). A new role
    // under the name of a PC dropped by hand inherits nothing of it: no department.
    if (Exec("SELECT to_regclass('zenda.pcs') IS NOT NULL").at(0).at(0) == "t")
        Exec(renewed ? "INSERT INTO zenda.pcs (pc) VALUES ($1) ON CONFLICT DO NOTHING"
                     : "INSERT INTO zenda.pcs (pc) VALUES ($1) ON CONFLICT (pc) DO UPDATE SET department = '', greets = 0",
             {name});
    return password;
}

std::vector<TTeamDb::TRow> TTeamDb::Pcs()
{
    return Exec(
        "SELECT p.pc, p.department, to_char(p.seen, 'YYYY-MM-DD\"T\"HH24:MI:SSOF'), "
        "to_char((SELECT max(j.received) FROM zenda.journal j WHERE j.pc = p.pc), 'YYYY-MM-DD\"T\"HH24:MI:SSOF'), "
        "(SELECT count(*) FROM zenda.journal j WHERE j.pc = p.pc), "
        "(SELECT count(*) FROM zenda.numbers n WHERE n.pc = p.pc AND n.state IN ('taken', 'writing')), "
        "EXISTS (SELECT 1 FROM pg_stat_activity a WHERE a.usename = p.pc AND a.datname = current_database()), "
        "EXISTS (SELECT 1 FROM pg_roles r WHERE r.rolname = p.pc AND r.rolcanlogin) "
        "FROM zenda.pcs p ORDER BY p.pc");
}

void TTeamDb::CheckIsPc(const std::string& name)
{
    CheckPcName(name);
    const auto is = Exec(kIsPc, {name});
    if (is.empty())
        throw ETeamRefusal("no PC " + name + " on the team's server");
    if (is[0].at(0).value_or("f") != "t")
        throw ETeamRefusal("the server's role " + name + " is not one of the team's PCs: not touched");
}

int TTeamDb::RemovePc(const std::string& name)
{
    CheckPcName(name);
    // A PC whose role was dropped by hand: what the database keeps of it is cleared all the same.
    const bool roleGone = Exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {name}).empty() &&
                          !Exec("SELECT 1 FROM zenda.pcs WHERE pc = $1", {name}).empty();
    if (!roleGone)
        CheckIsPc(name);
    char* id = PQescapeIdentifier(conn_, name.c_str(), name.size());
    const std::string role = id ? id : "";
    PQfreemem(id);
    int ended = 0;
    if (!roleGone) {
        // Its login ends first, then its sessions (a station that would connect again cannot).
        Exec("ALTER ROLE " + role + " NOLOGIN");
        try {
            ended = static_cast<int>(
                Exec("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = $1", {name}).size());
        } catch (const ETeamError&) {
            ended = -1;  // the administrator may not end other roles' sessions: they end by themselves
        }
    }
    InOneTransaction([&] {
        // What it held: begun numbers spoiled (its device may hold them), taken ones free again.
        Exec("UPDATE zenda.numbers SET state = 'spoiled', owner = NULL, changed = now() WHERE pc = $1 AND state = 'writing'",
             {name});
        Exec("DELETE FROM zenda.numbers WHERE pc = $1 AND state = 'taken'", {name});
        // A PC added again under this name starts afresh (no department); its records stay.
        Exec("DELETE FROM zenda.pcs WHERE pc = $1", {name});
        Exec("DELETE FROM zenda.untold WHERE pc = $1", {name});
        if (!roleGone)
            Exec("DROP ROLE " + role);
        return size_t{0};
    });
    return ended;
}

void TTeamDb::RenamePc(const std::string& from, const std::string& to)
{
    CheckIsPc(from);
    CheckPcName(to);
    if (!Exec("SELECT 1 FROM pg_roles WHERE rolname = $1", {to}).empty())
        throw ETeamRefusal("the server has a role " + to + " already: give the PC another name");
    char* a = PQescapeIdentifier(conn_, from.c_str(), from.size());
    char* b = PQescapeIdentifier(conn_, to.c_str(), to.size());
    const std::string oldRole = a ? a : "", newRole = b ? b : "";
    PQfreemem(a);
    PQfreemem(b);
    InOneTransaction([&] {
        // Its password (a SCRAM verifier) survives the rename; its records, its department and
        // its numbers follow it, so that its own lines are still its own (they are keyed by PC).
        Exec("ALTER ROLE " + oldRole + " RENAME TO " + newRole);
        for (const char* table : {"zenda.pcs", "zenda.journal", "zenda.backups", "zenda.protocols", "zenda.numbers",
                                  "zenda.untold"})
            Exec(std::string("UPDATE ") + table + " SET pc = $2 WHERE pc = $1", {from, to});
        return size_t{0};
    });
}

TTeamDb::TServer TTeamDb::Server(bool lookBack)
{
    if (Exec("SELECT to_regclass('zenda.server') IS NOT NULL").at(0).at(0) != "t")
        return {};  // a schema from before the server knew when it went back
    if (lookBack)  // a statement of its own: the next one sees the PCs it found awaited
        Exec("SELECT zenda.look_back()");
    const auto rows = Exec("SELECT id, generation, 0, zenda.awaited(), went_back, why FROM zenda.server");
    if (rows.empty())
        return {};
    const TRow& r = rows.at(0);
    return {r.at(0).value_or(""), std::stoi(r.at(1).value_or("0")), 0, r.at(3).value_or(""), r.at(4).value_or(""),
            r.at(5).value_or("")};
}

std::vector<std::string> TTeamDb::Resume(const std::vector<std::string>& pcs)
{
    std::vector<std::string> unknown;
    for (const std::string& pc : pcs)
        if (Exec("DELETE FROM zenda.untold WHERE pc = $1 RETURNING 1", {pc}).empty())
            unknown.push_back(pc);
    return unknown;
}
