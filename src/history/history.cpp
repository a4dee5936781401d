#include "history/history.h"

#include <sqlite3.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "app/messages.h"
#include "count/counters.h"
#include "report/report_json.h"
#include "scan/files.h"
#include "version.h"

namespace {

// The steps that bring a file from each schema version to the next: step v takes version v to
// v + 1, so an empty file runs them all and an older one the rest, in one transaction.
// docs/history.md describes the result; change the two together.
constexpr auto schema_steps = std::to_array<std::string_view>({
    R"sql(
CREATE TABLE sessions (
    id INTEGER PRIMARY KEY,
    log TEXT NOT NULL,
    started TEXT,
    recorded TEXT NOT NULL,
    program_version TEXT NOT NULL,
    rules TEXT NOT NULL,
    lines INTEGER NOT NULL,
    round_ends INTEGER NOT NULL,
    stopped_at_round_limit INTEGER NOT NULL,
    uncounted_obituaries INTEGER NOT NULL,
    log_bytes INTEGER NOT NULL,
    log_hash TEXT NOT NULL
);
CREATE TABLE players (
    id INTEGER PRIMARY KEY,
    name BLOB NOT NULL UNIQUE,
    name_text TEXT NOT NULL,
    plain_name TEXT NOT NULL
);
CREATE TABLE session_players (
    session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    slot INTEGER NOT NULL,
    player INTEGER NOT NULL REFERENCES players(id),
    PRIMARY KEY (session, slot)
) WITHOUT ROWID;
CREATE TABLE session_counters (
    session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    player INTEGER NOT NULL REFERENCES players(id),
    counter TEXT NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY (session, player, counter)
) WITHOUT ROWID;
CREATE TABLE head_to_head (
    session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    killer INTEGER NOT NULL REFERENCES players(id),
    victim INTEGER NOT NULL REFERENCES players(id),
    count INTEGER NOT NULL,
    PRIMARY KEY (session, killer, victim)
) WITHOUT ROWID;
CREATE TABLE rounds (
    session INTEGER NOT NULL REFERENCES sessions(id) ON DELETE CASCADE,
    round INTEGER NOT NULL,
    first_line INTEGER NOT NULL,
    last_line INTEGER NOT NULL,
    ended INTEGER NOT NULL,
    PRIMARY KEY (session, round)
) WITHOUT ROWID;
CREATE TABLE round_counters (
    session INTEGER NOT NULL,
    round INTEGER NOT NULL,
    player INTEGER NOT NULL REFERENCES players(id),
    counter TEXT NOT NULL,
    count INTEGER NOT NULL,
    PRIMARY KEY (session, round, player, counter),
    FOREIGN KEY (session, round) REFERENCES rounds(session, round) ON DELETE CASCADE
) WITHOUT ROWID;
)sql",
    // A session's counts as JSON objects in the rows of its players and rounds: a long session
    // has tens of thousands of counters and cells, and a row for each made recording cost as
    // much as the pass. Views give the rows of version 1 for queries.
    R"sql(
ALTER TABLE session_players ADD COLUMN counters TEXT NOT NULL DEFAULT '{}';
ALTER TABLE session_players ADD COLUMN kills TEXT NOT NULL DEFAULT '{}';
ALTER TABLE rounds ADD COLUMN counters TEXT NOT NULL DEFAULT '{}';
UPDATE session_players SET
    counters = coalesce((SELECT json_group_object(c.counter, c.count) FROM session_counters c
                         WHERE c.session = session_players.session
                           AND c.player = session_players.player), '{}'),
    kills = coalesce((SELECT json_group_object(CAST(h.victim AS TEXT), h.count) FROM head_to_head h
                      WHERE h.session = session_players.session
                        AND h.killer = session_players.player), '{}');
UPDATE rounds SET counters = coalesce(
    (SELECT json_group_object(CAST(player AS TEXT), json(counts))
     FROM (SELECT rc.player, json_group_object(rc.counter, rc.count) AS counts
           FROM round_counters rc
           WHERE rc.session = rounds.session AND rc.round = rounds.round
           GROUP BY rc.player)), '{}');
DROP TABLE session_counters;
DROP TABLE head_to_head;
DROP TABLE round_counters;
CREATE VIEW session_counters (session, player, counter, count) AS
    SELECT sp.session, sp.player, c.key, c.value
    FROM session_players sp, json_each(sp.counters) c;
CREATE VIEW head_to_head (session, killer, victim, count) AS
    SELECT sp.session, sp.player, CAST(k.key AS INTEGER), k.value
    FROM session_players sp, json_each(sp.kills) k;
CREATE VIEW round_counters (session, round, player, counter, count) AS
    SELECT r.session, r.round, CAST(p.key AS INTEGER), c.key, c.value
    FROM rounds r, json_each(r.counters) p, json_each(p.value) c;
)sql",
});
static_assert(schema_steps.size() == history_schema_version, "one step per schema version");

// The tables of a session's rows, which replacing a session empties, children first.
constexpr auto session_tables =
    std::to_array<std::string_view>({"rounds", "session_players", "sessions"});

// The rule set whose name the history stores for a run; the one place that reads it.
rule_set rules_of(const run_results& results) {
    return results.rules;
}

struct close_database {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using database = std::unique_ptr<sqlite3, close_database>;

struct finalize_statement {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

// A history operation's failure: SQLite's message, or one of the program's own.
struct history_error {
    std::string text;
};

[[noreturn]] void fail(sqlite3* db) {
    throw history_error{sqlite3_errmsg(db)};
}

void check(sqlite3* db, int result) {
    if (result != SQLITE_OK && result != SQLITE_DONE && result != SQLITE_ROW) {
        fail(db);
    }
}

void execute(sqlite3* db, std::string_view sql) {
    std::string text{sql};
    check(db, sqlite3_exec(db, text.c_str(), nullptr, nullptr, nullptr));
}

// One prepared statement, its parameters bound by position from 1.
class statement {
  public:
    statement(sqlite3* db, std::string_view sql) : db_(db) {
        sqlite3_stmt* made = nullptr;
        check(db, sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &made, nullptr));
        statement_.reset(made);
    }

    statement& bind(int at, std::int64_t value) {
        check(db_, sqlite3_bind_int64(statement_.get(), at, value));
        return *this;
    }
    statement& bind(int at, std::string_view text) {
        check(db_, sqlite3_bind_text(statement_.get(), at, text.data(),
                                     static_cast<int>(text.size()), SQLITE_TRANSIENT));
        return *this;
    }
    statement& bind_blob(int at, std::string_view bytes) {
        check(db_, sqlite3_bind_blob(statement_.get(), at, bytes.data(),
                                     static_cast<int>(bytes.size()), SQLITE_TRANSIENT));
        return *this;
    }
    statement& bind_null(int at) {
        check(db_, sqlite3_bind_null(statement_.get(), at));
        return *this;
    }

    // Steps once; true while a row is there to read.
    bool step() {
        int result = sqlite3_step(statement_.get());
        check(db_, result);
        return result == SQLITE_ROW;
    }

    // Runs a statement that returns no rows and makes it ready to run again.
    void run() {
        step();
        check(db_, sqlite3_reset(statement_.get()));
    }

    std::int64_t number(int column) const { return sqlite3_column_int64(statement_.get(), column); }
    std::string text(int column) const {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_.get(), column));
        auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement_.get(), column));
        return bytes == nullptr ? std::string() : std::string(bytes, size);
    }
    bool is_null(int column) const {
        return sqlite3_column_type(statement_.get(), column) == SQLITE_NULL;
    }

  private:
    sqlite3* db_;
    std::unique_ptr<sqlite3_stmt, finalize_statement> statement_;
};

// The schema's version of an opened history, refusing one newer than this program's.
std::int64_t schema_version_of(sqlite3* db) {
    statement query(db, "PRAGMA user_version");
    query.step();
    std::int64_t version = query.number(0);
    if (version > history_schema_version) {
        throw history_error{"its schema is version " + std::to_string(version) +
                            ", newer than this fragtally's " +
                            std::to_string(history_schema_version) + ": use a newer fragtally"};
    }
    return version;
}

// Brings the schema of an opened history from the given version up to date, inside the
// caller's write transaction, refusing a file of other tables.
void bring_up_to_date(sqlite3* db, std::int64_t version) {
    if (version == history_schema_version) {
        return;
    }
    if (version == 0) {
        statement tables(db, "SELECT count(*) FROM sqlite_schema");
        tables.step();
        if (tables.number(0) != 0) {
            throw history_error{"it holds tables but is not a fragtally history"};
        }
    }
    for (auto step = static_cast<std::size_t>(version); step < schema_steps.size(); ++step) {
        execute(db, schema_steps[step]);
    }
    execute(db, "PRAGMA user_version = " + std::to_string(history_schema_version));
}

// An opened history and its schema's version, which may be older than this program's.
struct opened_history {
    database db;
    std::int64_t version = 0;
};

// Opens the history, refusing a file that is no SQLite database, a damaged one, or one of a
// newer schema; the caller brings an older schema up to date. Waits up to
// history_busy_wait_ms for another program's transaction.
opened_history open_database(const std::string& path, bool create) {
    sqlite3* opened = nullptr;
    int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0);
    int result = sqlite3_open_v2(path.c_str(), &opened, flags, nullptr);
    database db(opened);
    if (result != SQLITE_OK) {
        throw history_error{db ? sqlite3_errmsg(db.get()) : "out of memory"};
    }
    sqlite3_extended_result_codes(db.get(), 0);
    sqlite3_busy_timeout(db.get(), history_busy_wait_ms);
    // The first read finds a file that is no database; the check finds damaged pages, which
    // would otherwise show only when a query reaches them.
    {
        // In a scope of its own: a statement left running would stop the upgrade's DROP TABLE.
        statement integrity(db.get(), "PRAGMA quick_check(1)");
        if (!integrity.step() || integrity.text(0) != "ok") {
            throw history_error{"the database is damaged"};
        }
    }
    std::int64_t version = schema_version_of(db.get());
    return {std::move(db), version};
}

// Opens the history for reading, as open_database does, with its schema brought up to date in
// a transaction of its own.
database open_history(const std::string& path) {
    opened_history opened = open_database(path, false);
    if (opened.version == history_schema_version) {
        return std::move(opened.db);
    }
    sqlite3* db = opened.db.get();
    execute(db, "BEGIN IMMEDIATE");
    try {
        bring_up_to_date(db, schema_version_of(db));
        execute(db, "COMMIT");
    } catch (const history_error&) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
    return std::move(opened.db);
}

std::string utc_now() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
#ifdef _WIN32
    gmtime_s(&parts, &now);
#else
    gmtime_r(&now, &parts);
#endif
    std::array<char, 32> text{};
    std::strftime(text.data(), text.size(), "%Y-%m-%d %H:%M:%S", &parts);
    return text.data();
}

struct recorded_session {
    std::int64_t id;
    std::uint64_t bytes;
    std::string hash;
    hash_kind kind;
};

// A kind of hash at a length of the log.
using hash_key = std::pair<hash_kind, std::uint64_t>;

// What the run knows of its log: its first line, and the hash of the first bytes up to each
// length the pass took one at, of the kind it took, and its stripe_hash up to the length the
// pass read.
struct log_identity {
    std::string first_line;
    std::map<hash_key, std::string> hash_at;  // the hash text of the bytes up to the length
};

// Reads the log again from its start, at most `bytes` bytes: its first line, and the hash of
// each kind and length asked for, which are sorted by length; reading stops at the last.
void read_log_again(const std::string& log, std::uint64_t bytes,
                    const std::vector<hash_point>& points, log_identity& identity) {
    std::FILE* in = open_for_reading(log);
    if (in == nullptr) {
        throw history_error{"cannot read the log " + printable(log) +
                            " again: " + std::strerror(errno)};
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(in, std::fclose);
    // Rarely needed (a session recorded by another run during the pass), so on the portable
    // path, which gives the same value as the others.
    stripe_hash stripes;
    log_hash lanes;
    bool lanes_wanted = std::any_of(points.begin(), points.end(), [](const hash_point& point) {
        return point.kind == hash_kind::lanes;
    });
    // Small reads while the first line is all that is wanted, which is the usual case.
    std::vector<unsigned char> buffer(points.empty() ? std::size_t{4096} : std::size_t{1} << 20);
    std::uint64_t done = 0;
    bool first_line_done = false;
    auto point = points.begin();
    while (point != points.end() || (!first_line_done && done < bytes)) {
        std::uint64_t upto = point != points.end() ? point->length : bytes;
        if (done == upto) {
            identity.hash_at[{point->kind, point->length}] =
                point->kind == hash_kind::stripes ? stripes.digest() : lanes.digest();
            ++point;
            continue;
        }
        auto want = static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), upto - done));
        std::size_t got = std::fread(buffer.data(), 1, want, in);
        if (got == 0) {
            throw history_error{"the log " + printable(log) + " changed while it was read"};
        }
        if (!first_line_done) {
            const unsigned char* begin = buffer.data();
            const unsigned char* end = std::find(begin, begin + got, '\n');
            identity.first_line.append(reinterpret_cast<const char*>(begin),
                                       static_cast<std::size_t>(end - begin));
            first_line_done = end != begin + got;
        }
        stripes.add(buffer.data(), got);
        if (lanes_wanted) {
            lanes.add(buffer.data(), got);
        }
        done += got;
    }
}

// The log's identity from the pass's digests, reading the log again only for its first line
// and for recorded lengths the digests lack (a session recorded by another run meanwhile);
// never when the pass kept the first line.
log_identity identify_log(const run_results& results, const std::vector<log_digest>& digests,
                          const std::vector<hash_point>& recorded) {
    const std::string& log = results.log;
    std::uint64_t bytes = results.log_bytes;
    log_identity identity;
    for (const log_digest& digest : digests) {
        identity.hash_at[{digest.kind, digest.length}] = hash_text(digest.kind, digest.hash);
    }
    if (results.log_first_line) {
        // A followed log: the game may have truncated or rewritten it since, so what the file
        // holds now is no longer this session's. A length the digests lack matches nothing.
        identity.first_line = *results.log_first_line;
        return identity;
    }
    std::vector<hash_point> missing;
    if (!identity.hash_at.contains({hash_kind::stripes, bytes})) {
        // A pass that did not hash: read it again.
        missing.push_back({bytes, hash_kind::stripes});
    }
    for (const hash_point& point : recorded) {
        if (point.length <= bytes && !identity.hash_at.contains({point.kind, point.length})) {
            missing.push_back(point);
        }
    }
    std::sort(missing.begin(), missing.end(), [](const hash_point& a, const hash_point& b) {
        return std::pair(a.length, a.kind) < std::pair(b.length, b.kind);
    });
    read_log_again(log, bytes, missing, identity);
    return identity;
}

// Appends a member "key":value to a JSON object being written, which has its "{" already.
void append_member(std::string& object, std::int64_t key, std::string_view value) {
    std::array<char, 24> digits{};
    auto end = std::to_chars(digits.begin(), digits.end(), key).ptr;
    object += object.size() > 1 ? ",\"" : "\"";
    object.append(digits.begin(), end);
    object += "\":";
    object += value;
}

// Appends a number.
void append_number(std::string& text, std::int32_t value) {
    std::array<char, 12> digits{};
    auto end = std::to_chars(digits.begin(), digits.end(), value).ptr;
    text.append(digits.begin(), end);
}

// The longest counter name, which bounds a JSON object of counters.
constexpr std::size_t longest_counter_name =
    std::max_element(counter_names.begin(), counter_names.end(),
                     [](auto a, auto b) { return a.size() < b.size(); }) -> size();

// Writes the counters other than 0 as a JSON object of counter names, in the table's order;
// the names need no escaping. Made in a fixed buffer: a long session writes tens of thousands.
void write_counters(std::string& object, const counter_values& values) {
    // Each member: a comma, the quoted name, a colon and at most 11 characters of a number.
    std::array<char, 2 + counter_count*(longest_counter_name + 15)> text{};
    char* out = text.data();
    *out++ = '{';
    for (std::size_t c = 0; c < counter_names.size(); ++c) {
        if (values[c] != 0) {
            if (out != text.data() + 1) {
                *out++ = ',';
            }
            *out++ = '"';
            out = std::copy(counter_names[c].begin(), counter_names[c].end(), out);
            *out++ = '"';
            *out++ = ':';
            out = std::to_chars(out, text.data() + text.size(), values[c]).ptr;
        }
    }
    *out++ = '}';
    object.assign(text.data(), out);
}

std::int64_t player_id(sqlite3* db, statement& insert, statement& find, const std::string& name) {
    insert.bind_blob(1, name)
        .bind(2, text_of_bytes(name))
        .bind(3, text_of_bytes(plain_name_of(name)))
        .run();
    find.bind_blob(1, name);
    if (!find.step()) {
        fail(db);
    }
    std::int64_t id = find.number(0);
    find.run();
    return id;
}

void insert_session(sqlite3* db, const run_results& results, const log_identity& identity) {
    statement session(db,
                      "INSERT INTO sessions (log, started, recorded, program_version, rules, "
                      "lines, round_ends, stopped_at_round_limit, uncounted_obituaries, "
                      "log_bytes, log_hash) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    session.bind(1, results.log);
    if (auto started = session_start_of(identity.first_line)) {
        session.bind(2, *started);
    } else {
        session.bind_null(2);
    }
    session.bind(3, utc_now())
        .bind(4, program_version)
        .bind(5, rule_set_name(rules_of(results)))
        .bind(6, static_cast<std::int64_t>(results.lines))
        .bind(7, results.round_ends)
        .bind(8, results.stopped_at_round_limit ? 1 : 0)
        .bind(9, static_cast<std::int64_t>(results.uncounted_obituaries))
        .bind(10, static_cast<std::int64_t>(results.log_bytes))
        .bind(11, identity.hash_at.at({hash_kind::stripes, results.log_bytes}))
        .run();
    std::int64_t id = sqlite3_last_insert_rowid(db);

    statement insert_player(
        db, "INSERT OR IGNORE INTO players (name, name_text, plain_name) VALUES (?, ?, ?)");
    statement find_player(db, "SELECT id FROM players WHERE name = ?");
    std::vector<std::int64_t> ids;
    ids.reserve(results.players.size());
    for (const player_result& player : results.players) {
        ids.push_back(player_id(db, insert_player, find_player, player.name));
    }

    statement slot(db,
                   "INSERT INTO session_players (session, slot, player, counters, kills) "
                   "VALUES (?, ?, ?, ?, ?)");
    std::string counters;
    std::string kills;
    std::span<const kill_count> cells = results.head_to_head.cells();
    auto cell = cells.begin();
    std::string count;
    for (std::size_t p = 0; p < results.players.size(); ++p) {
        write_counters(counters, results.players[p].counters);
        kills = "{";
        for (; cell != cells.end() && cell->killer == p; ++cell) {
            count.clear();
            append_number(count, cell->count);
            append_member(kills, ids[cell->victim], count);
        }
        kills += '}';
        slot.bind(1, id)
            .bind(2, static_cast<std::int64_t>(p))
            .bind(3, ids[p])
            .bind(4, counters)
            .bind(5, kills)
            .run();
    }

    statement rounds(db,
                     "INSERT INTO rounds (session, round, first_line, last_line, ended, counters) "
                     "VALUES (?, ?, ?, ?, ?, ?)");
    std::string players;
    for (std::size_t r = 0; r < results.rounds.size(); ++r) {
        const round_result& round = results.rounds[r];
        players = "{";
        for (std::size_t p = 0; p < results.players.size(); ++p) {
            if (round.counts(p)) {
                write_counters(counters, round.counters_of(p));
                append_member(players, ids[p], counters);
            }
        }
        players += '}';
        rounds.bind(1, id)
            .bind(2, static_cast<std::int64_t>(r) + 1)
            .bind(3, static_cast<std::int64_t>(round.first_line()))
            .bind(4, static_cast<std::int64_t>(round.last_line()))
            .bind(5, round.ended() ? 1 : 0)
            .bind(6, players)
            .run();
    }
}

void record(const std::string& path, const run_results& results,
            const std::vector<log_digest>& digests) {
    opened_history opened = open_database(path, true);
    database& db = opened.db;
    // Room for a large session's new pages, so that they are written once, at the commit.
    execute(db.get(), "PRAGMA cache_size = -8192");
    // For a new file only: pages of 8 KiB leave the file as large as 4 KiB ones do (a long
    // round's JSON spans pages either way) and halve the writes; 16 KiB and more leave pages
    // half empty.
    execute(db.get(), "PRAGMA page_size = 8192");
    execute(db.get(), "BEGIN IMMEDIATE");
    try {
        // A new file's schema, or an older one's upgrade, commits with the session: one
        // transaction, one round of syncs, and a failure leaves the file as it was. The version
        // is read again inside it: another run may have made the schema meanwhile.
        bool upgraded = opened.version != history_schema_version;
        if (upgraded) {
            bring_up_to_date(db.get(), schema_version_of(db.get()));
        }
        std::vector<recorded_session> recorded;
        statement query(db.get(), "SELECT id, log_bytes, log_hash FROM sessions WHERE rules = ?");
        query.bind(1, rule_set_name(rules_of(results)));
        while (query.step()) {
            std::string hash = query.text(2);
            hash_kind kind = kind_of_hash_text(hash);
            recorded.push_back({query.number(0), static_cast<std::uint64_t>(query.number(1)),
                                std::move(hash), kind});
        }
        std::vector<hash_point> points;
        points.reserve(recorded.size());
        for (const recorded_session& session : recorded) {
            points.push_back({session.bytes, session.kind});
        }
        log_identity identity = identify_log(results, digests, points);
        std::vector<std::int64_t> replaced;
        for (const recorded_session& session : recorded) {
            auto hash = identity.hash_at.find({session.kind, session.bytes});
            if (hash == identity.hash_at.end() || hash->second != session.hash) {
                continue;
            }
            if (session.bytes == results.log_bytes) {
                // This very log is recorded already; an older file keeps its upgrade.
                execute(db.get(), upgraded ? "COMMIT" : "ROLLBACK");
                return;
            }
            replaced.push_back(session.id);
        }
        for (std::int64_t id : replaced) {
            for (std::string_view table : session_tables) {
                std::string sql = "DELETE FROM ";
                sql += table;
                sql += table == "sessions" ? " WHERE id = ?" : " WHERE session = ?";
                statement remove(db.get(), sql);
                remove.bind(1, id).run();
            }
        }
        insert_session(db.get(), results, identity);
        execute(db.get(), "COMMIT");
    } catch (const history_error&) {
        sqlite3_exec(db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

// The day a session counts by for --since and --until.
std::string day_of(const statement& row, int started, int recorded) {
    return (row.is_null(started) ? row.text(recorded) : row.text(started)).substr(0, 10);
}

run_results load(const std::string& path, const session_filter& filter) {
    database db = open_history(path);
    sqlite3* handle = db.get();
    // One read transaction, so that a recording meanwhile does not show half.
    execute(handle, "BEGIN");
    run_results results;
    results.log = path;
    results.rules = filter.rules;
    history_facts facts;
    // The sessions are filled in place before they join the results, which only take whole ones.
    std::vector<round_result> periods;
    std::map<std::int64_t, std::size_t> period_of;  // session id -> index in periods
    statement sessions(handle,
                       "SELECT id, log, started, recorded, rules, lines, round_ends, "
                       "stopped_at_round_limit, uncounted_obituaries FROM sessions "
                       "ORDER BY coalesce(started, recorded), id");
    while (sessions.step()) {
        if (sessions.text(4) != rule_set_name(filter.rules)) {
            ++facts.other_rules_left_out;
            continue;
        }
        std::string day = day_of(sessions, 2, 3);
        if ((!filter.since.empty() && day < filter.since) ||
            (!filter.until.empty() && day > filter.until)) {
            ++facts.out_of_range_left_out;
            continue;
        }
        auto lines = static_cast<std::uint64_t>(sessions.number(5));
        period_of[sessions.number(0)] = periods.size();
        round_result& period = periods.emplace_back(1, lines, true);
        period.set_session({sessions.text(1), sessions.is_null(2) ? "" : sessions.text(2),
                            sessions.text(3), static_cast<std::int32_t>(sessions.number(6))});
        results.lines += lines;
        results.round_ends += static_cast<std::int32_t>(sessions.number(6));
        results.stopped_at_round_limit = results.stopped_at_round_limit || sessions.number(7) != 0;
        results.uncounted_obituaries += static_cast<std::uint64_t>(sessions.number(8));
    }
    facts.sessions = periods.size();
    results.history = facts;
    if (periods.empty()) {
        execute(handle, "COMMIT");
        return results;
    }
    results.rounds.reserve(periods.size());

    // Players in order of first appearance: by session, then by slot within it.
    std::map<std::int64_t, std::uint32_t> index_of;  // player id -> index in results.players
    {
        statement players(
            handle,
            "SELECT session_players.session, players.id, players.name "
            "FROM session_players JOIN players ON players.id = session_players.player "
            "ORDER BY session_players.session, session_players.slot");
        std::vector<std::pair<std::size_t, std::pair<std::int64_t, std::string>>> seen;
        while (players.step()) {
            auto period = period_of.find(players.number(0));
            if (period != period_of.end()) {
                seen.push_back({period->second, {players.number(1), players.text(2)}});
            }
        }
        std::stable_sort(seen.begin(), seen.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (auto& [period, player] : seen) {
            if (index_of.emplace(player.first, static_cast<std::uint32_t>(results.players.size()))
                    .second) {
                results.players.push_back({std::move(player.second), {}});
            }
        }
    }

    std::map<std::string_view, counter> counter_of;
    for (std::size_t c = 0; c < counter_names.size(); ++c) {
        counter_of[counter_names[c]] = static_cast<counter>(c);
    }
    // Each period's counts, in order of player, then counter, as a round takes them.
    std::vector<std::vector<counter_entry>> counts(periods.size());
    {
        statement rows(handle, "SELECT session, player, counter, count FROM session_counters");
        while (rows.step()) {
            auto period = period_of.find(rows.number(0));
            auto which = counter_of.find(rows.text(2));
            // A counter this program does not know comes from other rules' sessions.
            if (period == period_of.end() || which == counter_of.end()) {
                continue;
            }
            std::uint32_t p = index_of.at(rows.number(1));
            auto count = static_cast<std::int32_t>(rows.number(3));
            results.players[p].counters[static_cast<std::size_t>(which->second)] += count;
            counts[period->second].push_back({p, which->second, count});
        }
    }
    std::vector<std::vector<kill_count>> kills(periods.size());
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::int32_t> total_kills;
    {
        statement rows(handle, "SELECT session, killer, victim, count FROM head_to_head");
        while (rows.step()) {
            auto period = period_of.find(rows.number(0));
            if (period == period_of.end()) {
                continue;
            }
            std::uint32_t killer = index_of.at(rows.number(1));
            std::uint32_t victim = index_of.at(rows.number(2));
            auto count = static_cast<std::int32_t>(rows.number(3));
            total_kills[{killer, victim}] += count;
            kills[period->second].push_back({killer, victim, count});
        }
    }
    execute(handle, "COMMIT");
    for (std::size_t r = 0; r < periods.size(); ++r) {
        std::sort(counts[r].begin(), counts[r].end(), [](const auto& a, const auto& b) {
            return std::pair(a.player, a.which) < std::pair(b.player, b.which);
        });
        periods[r].reserve(counts[r].size());
        for (const counter_entry& entry : counts[r]) {
            periods[r].add_count(entry.player, entry.which, entry.count);
        }
        std::sort(kills[r].begin(), kills[r].end(), [](const auto& a, const auto& b) {
            return std::pair(a.killer, a.victim) < std::pair(b.killer, b.victim);
        });
        periods[r].kills().reserve(kills[r].size());
        for (const kill_count& cell : kills[r]) {
            periods[r].kills().add(cell.killer, cell.victim, cell.count);
        }
    }
    for (round_result& period : periods) {
        results.rounds.push_back(std::move(period));
    }
    results.head_to_head.reserve(total_kills.size());
    for (const auto& [pair, count] : total_kills) {
        if (count != 0) {
            results.head_to_head.add(pair.first, pair.second, count);
        }
    }
    return results;
}

}  // namespace

std::optional<std::string> session_start_of(std::string_view first_line) {
    constexpr std::string_view opened = "logfile opened on ";
    std::size_t at = first_line.find(opened);
    if (at == std::string_view::npos) {
        return std::nullopt;
    }
    std::string date{first_line.substr(at + opened.size())};
    constexpr std::array<std::string_view, 12> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::array<char, 4> weekday{};
    std::array<char, 4> month{};
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int year = 0;
    if (std::sscanf(date.c_str(), "%3s %3s %d %d:%d:%d %d", weekday.data(), month.data(), &day,
                    &hour, &minute, &second, &year) != 7) {
        return std::nullopt;
    }
    auto found = std::find(months.begin(), months.end(), std::string_view(month.data()));
    if (found == months.end() || day < 1 || day > 31 || hour < 0 || hour > 23 || minute < 0 ||
        minute > 59 || second < 0 || second > 60 || year < 1970 || year > 9999) {
        return std::nullopt;
    }
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%04d-%02d-%02d %02d:%02d:%02d", year,
                  static_cast<int>(found - months.begin()) + 1, day, hour, minute, second);
    return std::string(text.data());
}

std::vector<hash_point> recorded_lengths(const std::string& path, rule_set rules) {
    std::vector<hash_point> lengths;
    sqlite3* opened = nullptr;
    int result = sqlite3_open_v2(path.c_str(), &opened, SQLITE_OPEN_READONLY, nullptr);
    database db(opened);
    if (result != SQLITE_OK) {
        return lengths;
    }
    try {
        statement query(db.get(), "SELECT log_bytes, log_hash FROM sessions WHERE rules = ?");
        query.bind(1, rule_set_name(rules));
        while (query.step()) {
            lengths.push_back(
                {static_cast<std::uint64_t>(query.number(0)), kind_of_hash_text(query.text(1))});
        }
    } catch (const history_error&) {
        // What was read is still of use; the recording reads the log again for the rest.
    }
    return lengths;
}

bool record_session(const std::string& path, const run_results& results,
                    const std::vector<log_digest>& digests) {
    try {
        record(path, results, digests);
        return true;
    } catch (const history_error& error) {
        report_problem("cannot record the session in the history " + printable(path) + ": " +
                       printable(error.text));
        return false;
    } catch (const std::bad_alloc&) {
        report_problem("cannot record the session in the history " + printable(path) +
                       ": out of memory");
        return false;
    }
}

std::optional<run_results> results_from_history(const std::string& path,
                                                const session_filter& filter) {
    try {
        run_results results = load(path, filter);
        if (results.rounds.empty()) {
            const history_facts& facts = *results.history;
            std::string text = "the history " + printable(path) + " holds no session";
            if (facts.other_rules_left_out + facts.out_of_range_left_out > 0) {
                text += " to report: " + std::to_string(facts.other_rules_left_out) +
                        " recorded under other rules than " +
                        std::string(rule_set_name(filter.rules)) + ", " +
                        std::to_string(facts.out_of_range_left_out) +
                        " begun outside the dates asked for";
            }
            report_problem(text);
            return std::nullopt;
        }
        return results;
    } catch (const history_error& error) {
        report_problem("cannot read the history " + printable(path) + ": " + printable(error.text));
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        report_problem("cannot read the history " + printable(path) + ": out of memory");
        return std::nullopt;
    } catch (const std::out_of_range&) {
        // A row refers to a player the session does not list: the file was changed by hand.
        report_problem("cannot read the history " + printable(path) +
                       ": a row names a player its session does not list");
        return std::nullopt;
    }
}
