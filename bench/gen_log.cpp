// gen_log: writes a seeded, synthetic deathmatch console log to stdout.
//
//   gen_log [--shape=churn|games] <seed> <size>   size in bytes, optionally suffixed K, M or G
//
// The same shape, seed and size always give the same bytes. Two shapes:
//
//   churn (the default): rounds of server start-up lines, players connecting,
//     entering and leaving all the time, chat, item pick-ups and obituaries
//     (about 40% of the lines); every round but the last ends on
//     "<name> hit the fraglimit.". Few obituary lines repeat an earlier one
//     soon, which makes it the harder shape for a memo of recent lines.
//   games: shaped like the console log of real games: short games of 4 to 16
//     players drawn from a pool of regulars and occasional players, each game
//     opening with its players' "entered the game" lines, then mostly
//     obituaries (about 80% of the lines) in the mix of kinds real games
//     show, a few kinds the tally skips, late joins and team chat. Names are
//     colour-coded and end in "^7" as the game writes them. Of the games, 39
//     spread evenly over the log end on the fraglimit line.
//
// Guarantees the benchmark relies on (so that any plain line-by-line reader
// sees the same log as fragtally does):
//   * every line is shorter than 50 bytes including its '\n'; no CR, NUL or ^Z;
//   * every name comes from one pool of at most 80 names (at most 15 bytes
//     each, colour codes included), so no more than 80 distinct players
//     appear; names hold none of the marks where the extractors end or start
//     a name, so every name is cut out whole;
//   * at most 39 lines contain "fraglimit" (in any case), whatever the size;
//   * only obituary lines contain the phrases fragtally recognises; chat,
//     names and server lines never contain "ate", "rocket" or any phrase.
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::size_t kMaxLine = 49;  // bytes, including the line feed
constexpr std::size_t kMaxName = 15;  // bytes, including colour codes
constexpr int kRounds = 40;           // fraglimit lines fall at size*k/40, k < 40

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "gen_log: %s\n", what);
    std::exit(2);
}

struct Rng {  // splitmix64
    std::uint64_t state;
    std::uint64_t next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    std::uint32_t below(std::uint32_t n) {  // uniform in [0, n)
        return static_cast<std::uint32_t>(((next() >> 32) * n) >> 32);
    }
    bool percent(std::uint32_t p) { return below(100) < p; }
    template <class T>
    const T& pick(const std::vector<T>& v) {
        return v[below(static_cast<std::uint32_t>(v.size()))];
    }
    template <class T, std::size_t N>
    const T& pick(const std::array<T, N>& a) {
        return a[below(N)];
    }
};

// Buffered stdout; every line goes through line(), which enforces the limits.
class Out {
  public:
    explicit Out(std::size_t capacity) : buf_(capacity) {}
    ~Out() { flush(); }

    void line(std::initializer_list<std::string_view> parts) {
        std::size_t len = 1;
        for (auto p : parts)
            len += p.size();
        if (len > kMaxLine)
            fail("internal error: line too long");
        if (used_ + len > buf_.size())
            flush();
        char* d = buf_.data() + used_;
        for (auto p : parts) {
            std::memcpy(d, p.data(), p.size());
            d += p.size();
        }
        *d = '\n';
        used_ += len;
        total_ += len;
    }
    void flush() {
        if (used_ != 0 && std::fwrite(buf_.data(), 1, used_, stdout) != used_)
            fail("write error");
        used_ = 0;
    }
    std::uint64_t total() const { return total_; }

  private:
    std::vector<char> buf_;
    std::size_t used_ = 0;
    std::uint64_t total_ = 0;
};

// ---------------------------------------------------------------- content

struct Obituary {
    std::string_view mid;   // after the victim
    std::string_view tail;  // after the killer (two-name texts only)
    bool two_names;
    unsigned weight;
};

// Victim first, killer second. The first thirteen are the deaths fragtally
// tallies; the rest are deaths it is meant to skip.
constexpr std::array<Obituary, 22> kObituaries{{
    {" was railed by ", "", true, 12},
    {" was electrocuted by ", "", true, 6},
    {" was gunned down by ", "", true, 8},
    {" was machinegunned by ", "", true, 10},
    {" was melted by ", "'s plasmagun", true, 8},
    {" almost dodged ", "'s rocket", true, 8},
    {" was pummeled by ", "", true, 4},
    {" ate ", "'s rocket", true, 14},
    {" was in the wrong place", "", false, 3},
    {" melted himself.", "", false, 2},
    {" blew himself up.", "", false, 5},
    {" does a back flip into the lava.", "", false, 2},
    {" cratered.", "", false, 3},
    {" was shredded by ", "'s shrapnel", true, 4},
    {" was caught by ", "'s shrapnel", true, 2},
    {" tried to avoid ", "'s grenade", true, 2},
    {" was blasted by ", "'s BFG", true, 2},
    {" was telefragged by ", "", true, 1},
    {" died.", "", false, 1},
    {" was squished.", "", false, 1},
    {" sank like a rock.", "", false, 1},
    {" tripped on his own grenade.", "", false, 1},
}};

constexpr std::array<std::string_view, 26> kChat{
    "gg",       "nice shot", "lol",
    "wp",       "gl hf",     "brb",
    "ouch",     "lag!",      "rematch?",
    "omg",      "camper!",   "ty",
    "np",       "noob",      "one more",
    "so close", "haha",      "nice one",
    "wtf",      "ez",        "who has the quad?",
    "go go go", "rail god",  "stop spawn camping",
    "afk",      "back",
};

constexpr std::array<std::string_view, 7> kPlayerEvents{
    " picked up the Quad Damage", " picked up the Mega Health",
    " picked up the Red Armor",   " called a vote.",
    " is now watching",           " took the lead",
    " tied for the lead",
};

constexpr std::array<std::string_view, 7> kServerLines{
    "Hunk_Clear: reset the hunk ok",
    "Vote passed.",
    "Vote failed.",
    "FIGHT!",
    "3 frags left",
    "2 frags left",
    "1 frag left",
};

constexpr std::array<std::string_view, 70> kBases{
    "Bob",   "Viper", "Ghost", "Nova",  "Raven", "Blaze", "Frost", "Zed",  "Mako",  "Pixel",
    "Dusk",  "Ash",   "Rex",   "Jinx",  "Echo",  "Flux",  "Bolt",  "Onyx", "Rook",  "Vex",
    "Kilo",  "Lynx",  "Ozzy",  "Pike",  "Quill", "Rusty", "Sable", "Tank", "Uma",   "Wolf",
    "Yuki",  "Zorn",  "Axel",  "Brick", "Cobra", "Dingo", "Ember", "Fang", "Grim",  "Hex",
    "Ivy",   "Jolt",  "Knox",  "Loki",  "Moss",  "Nix",   "Odin",  "Puck", "Razor", "Spud",
    "Thorn", "Ursa",  "Volt",  "Wisp",  "Xeno",  "Yeti",  "Zap",   "Mia",  "Tux",   "Gus",
    "Dog",   "Fox",   "Owl",   "Elk",   "Jet",   "Kid",   "Max",   "Ned",  "Ray",   "Sam",
};
constexpr std::array<std::string_view, 8> kPrefixes{"Big", "Lil", "Dr",  "Mr",
                                                    "Mad", "Sir", "Old", "Mega"};

// Text that must only ever appear in the obituary phrases themselves.
constexpr std::array<std::string_view, 18> kReserved{
    "in the wrong place",
    "melted himself",
    "into the lava",
    "blew himself up",
    "cratered",
    "was railed by",
    "was electrocuted by",
    "was gunned down by",
    "machinegunned by",
    "melted by",
    "almost dodged",
    "was pummeled by",
    "ate",
    "rocket",
    "fraglimit",
    "'s",
    " by",
    "\r",
};

bool has_reserved(std::string_view s) {
    std::string lower(s);
    for (char& c : lower)
        c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    for (auto r : kReserved)
        if (lower.find(r) != std::string::npos)
            return true;
    for (unsigned char c : s)
        if (c == 0 || c == 26 || c == '\n')
            return true;
    return false;
}

void check_tables() {
    for (auto s : kChat)
        if (has_reserved(s))
            fail("internal error: reserved text in a chat line");
    for (auto s : kPlayerEvents)
        if (has_reserved(s))
            fail("internal error: reserved text in an event line");
    for (auto s : kServerLines)
        if (has_reserved(s))
            fail("internal error: reserved text in a server line");
    for (auto s : kBases)
        if (has_reserved(s))
            fail("internal error: reserved text in a name");
    for (auto s : kPrefixes)
        if (has_reserved(s))
            fail("internal error: reserved text in a name");
}

std::string colour(Rng& rng) {
    return std::string{'^', static_cast<char>('1' + rng.below(6))};
}

std::string make_name(Rng& rng) {
    std::string base(rng.pick(kBases));
    std::string n;
    switch (rng.below(10)) {
        case 0:
        case 1:
            n = base + "^7";
            break;  // Bob^7
        case 2:
        case 3:
            n = colour(rng) + base + "^7";
            break;  // ^1Bob^7
        case 4:
        case 5:
            n = std::string(rng.pick(kPrefixes)) + colour(rng) + base + "^7";
            break;  // Big^1Bob^7
        case 6:
            n = colour(rng) + std::string(rng.pick(kPrefixes)) + colour(rng) + base + "^7";
            break;
        case 7:
            n = base + std::to_string(rng.below(100)) + "^7";
            break;  // Bob42^7
        case 8:
            n = base + colour(rng) + std::to_string(rng.below(100)) + "^7";
            break;  // Bob^342^7
        default:
            n = colour(rng) + base;
            break;  // ^3Bob (no reset)
    }
    return n;
}

std::vector<std::string> make_pool(Rng& rng) {
    std::vector<std::string> pool;
    // Two short plain names first, so that every text always fits with some pair.
    pool.emplace_back("Zed^7");
    pool.emplace_back("Ash^7");
    const std::size_t want = 40 + rng.below(41);
    while (pool.size() < want) {
        std::string n = make_name(rng);
        if (n.size() > kMaxName || has_reserved(n))
            continue;
        if (std::find(pool.begin(), pool.end(), n) != pool.end())
            continue;
        pool.push_back(std::move(n));
    }
    return pool;
}

bool parse_size(const char* s, std::uint64_t& out) {
    const char* end = s + std::strlen(s);
    std::uint64_t mult = 1;
    if (end > s) {
        switch (end[-1]) {
            case 'K':
            case 'k':
                mult = 1ULL << 10;
                --end;
                break;
            case 'M':
            case 'm':
                mult = 1ULL << 20;
                --end;
                break;
            case 'G':
            case 'g':
                mult = 1ULL << 30;
                --end;
                break;
            default:
                break;
        }
    }
    std::uint64_t v = 0;
    auto [p, ec] = std::from_chars(s, end, v);
    if (ec != std::errc() || p != end || s == end)
        return false;
    if (v > UINT64_MAX / mult)
        return false;
    out = v * mult;
    return true;
}

// ---------------------------------------------------------------- generator

class Game {
  public:
    Game(Rng& rng, Out& out, std::vector<std::string> pool)
        : rng_(rng), out_(out), pool_(std::move(pool)) {
        for (const auto& o : kObituaries)
            weight_sum_ += o.weight;
        by_length_.resize(pool_.size());
        for (std::size_t i = 0; i < pool_.size(); ++i)
            by_length_[i] = i;
        std::stable_sort(by_length_.begin(), by_length_.end(), [&](std::size_t a, std::size_t b) {
            return pool_[a].size() < pool_[b].size();
        });
        for (const auto& o : kObituaries) {
            std::size_t fixed = o.mid.size() + o.tail.size() + 1 + name(by_length_[0]).size();
            if (o.two_names)
                fixed += name(by_length_[1]).size();
            if (fixed > kMaxLine)
                fail("internal error: obituary cannot fit");
        }
    }

    void start_round() {
        ++map_;
        char num[16];
        auto r = std::to_chars(num, num + sizeof num, map_);
        out_.line({"------ Server Initialization ------"});
        out_.line({"Server: arena", std::string_view(num, static_cast<std::size_t>(r.ptr - num))});
        out_.line({"Hunk_Clear: reset the hunk ok"});
        if (present_.empty()) {
            const std::uint32_t n = 4 + rng_.below(7);
            while (present_.size() < n) {
                std::size_t p = absent_player();
                out_.line({name(p), " connected"});
                present_.push_back(p);
            }
        }
        for (std::size_t p : present_)
            out_.line({name(p), " entered the game"});
        joining_ = kNone;
    }

    void end_round() {
        out_.line({name(rng_.pick(present_)), " hit the fraglimit."});
        out_.line({"==== ShutdownGame ===="});
    }

    void event() {
        const std::uint32_t roll = rng_.below(100);
        if (roll < 40)
            obituary();
        else if (roll < 62)
            out_.line({name(rng_.pick(present_)), ": ", rng_.pick(kChat)});
        else if (roll < 70)
            churn();
        else if (roll < 88)
            out_.line({name(rng_.pick(present_)), rng_.pick(kPlayerEvents)});
        else
            out_.line({rng_.pick(kServerLines)});
    }

  private:
    static constexpr std::size_t kNone = SIZE_MAX;

    std::string_view name(std::size_t i) const { return pool_[i]; }

    bool is_present(std::size_t p) const {
        return std::find(present_.begin(), present_.end(), p) != present_.end();
    }
    std::size_t absent_player() {
        for (;;) {
            std::size_t p = rng_.below(static_cast<std::uint32_t>(pool_.size()));
            if (!is_present(p) && p != joining_)
                return p;
        }
    }
    // Earlier arrivals frag more: the smaller of two draws.
    std::size_t killer_slot() {
        auto n = static_cast<std::uint32_t>(present_.size());
        return std::min(rng_.below(n), rng_.below(n));
    }

    void obituary() {
        std::uint32_t w = rng_.below(weight_sum_);
        const Obituary* o = kObituaries.data();
        while (w >= o->weight)
            w -= (o++)->weight;

        const std::size_t room = kMaxLine - 1 - o->mid.size() - o->tail.size();
        if (!o->two_names) {
            std::size_t v = rng_.pick(present_);
            if (name(v).size() > room)
                v = by_length_[0];
            out_.line({name(v), o->mid});
            return;
        }
        std::size_t v = 0, k = 0;
        for (int attempt = 0;; ++attempt) {
            if (attempt == 4) {  // fall back on the two shortest names
                v = by_length_[rng_.below(2)];
                k = by_length_[0] == v ? by_length_[1] : by_length_[0];
                break;
            }
            k = present_[killer_slot()];
            v = rng_.pick(present_);
            if (v != k && name(v).size() + name(k).size() <= room)
                break;
        }
        if (o->tail.empty())
            out_.line({name(v), o->mid, name(k)});
        else
            out_.line({name(v), o->mid, name(k), o->tail});
    }

    void churn() {
        if (joining_ != kNone) {
            out_.line({name(joining_), " entered the game"});
            present_.push_back(joining_);
            joining_ = kNone;
        } else if (present_.size() > 12 || (present_.size() > 3 && rng_.percent(45))) {
            std::size_t i = rng_.below(static_cast<std::uint32_t>(present_.size()));
            out_.line({name(present_[i]), " disconnected"});
            present_.erase(present_.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            joining_ = absent_player();
            out_.line({name(joining_), " connected"});
        }
    }

    Rng& rng_;
    Out& out_;
    std::vector<std::string> pool_;
    std::vector<std::size_t> by_length_;
    std::vector<std::size_t> present_;
    std::size_t joining_ = kNone;
    std::uint32_t weight_sum_ = 0;
    unsigned map_ = 0;
};

// ------------------------------------------------------- the games shape

// Texts of the games shape, weighted per thousand as in the real-games log:
// counted obituaries first, then deaths the tally skips.
constexpr std::array<Obituary, 17> kGameObituaries{{
    {" almost dodged ", "'s rocket", true, 292},
    {" ate ", "'s rocket", true, 213},
    {" was in the wrong place.", "", false, 193},
    {" was railed by ", "", true, 132},
    {" blew himself up.", "", false, 57},
    {" cratered.", "", false, 45},
    {" was machinegunned by ", "", true, 45},
    {" was gunned down by ", "", true, 25},
    {" was electrocuted by ", "", true, 10},
    {" was melted by ", "'s plasmagun", true, 8},
    {" was pummeled by ", "", true, 6},
    {" melted himself.", "", false, 4},
    {" does a back flip into the lava.", "", false, 4},
    {" was blasted by ", "'s BFG", true, 36},
    {" tried to invade ", "'s personal space", true, 25},
    {" should have used a smaller gun.", "", false, 4},
    {" was squished.", "", false, 2},
}};

constexpr std::array<std::string_view, 6> kTeamChat{
    "team red", "team blue", "gg", "nice one", "lag!", "one more",
};

constexpr std::array<std::string_view, 24> kLongBases{
    "Oootsimo",   "Chessus",    "Galamido", "Fenrir",      "Mandarin",  "Kingfish",
    "Moonbeam",   "Nightowl",   "Pinguin",  "Zeppelin",    "Blackjack", "Hurricane",
    "Gunslinger", "Lumberjack", "Seahorse", "Vagabond",    "Tornado",   "Goblin",
    "Phantom",    "Dynamo",     "Mongoose", "Quicksilver", "Harlequin", "Sundance",
};
constexpr std::array<std::string_view, 8> kFirstWords{"Big", "Lil", "Dr",  "Mr",
                                                      "Mad", "Sir", "Old", "Don"};

// Marks where some extractor ends or starts a name, or ends a killer's name: a name holding
// one would be cut short, or cut differently on different lines, and give junk names.
constexpr std::array<std::string_view, 14> kCutMarks{
    "wa", "ate", "melt", "blew", "does", "almo", "cr", "by", "dged", "s ", "  ", "null", "'", "\n",
};

bool cut_whole(std::string_view name) {
    if (has_reserved(name))
        return false;
    std::string lower(name);
    for (char& c : lower)
        c = static_cast<char>((c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c);
    for (auto m : kCutMarks)
        if (lower.find(m) != std::string::npos)
            return false;
    // "s", any, "ro" ends a rocket line's killer.
    for (std::size_t i = 0; i + 4 <= lower.size(); ++i)
        if (lower[i] == 's' && lower.compare(i + 2, 2, "ro") == 0)
            return false;
    return true;
}

// A name as the game writes it: colour codes anywhere, "^7" (white) at its end.
std::string make_game_name(Rng& rng) {
    std::string base(rng.percent(65) ? rng.pick(kLongBases) : rng.pick(kBases));
    switch (rng.below(10)) {
        case 0:
        case 1:
        case 2:
        case 3:
            return base + "^7";  // Chessus^7
        case 4:
        case 5:
            return colour(rng) + base + "^7";  // ^1Chessus^7
        case 6:
            return std::string(rng.pick(kFirstWords)) + " " + base + "^7";  // Old Chessus^7
        case 7:
            return std::string(rng.pick(kFirstWords)) + colour(rng) + base + "^7";  // Dr^4Rex^7
        case 8:
            return base + std::to_string(rng.below(100)) + "^7";  // Rex42^7
        default:
            return colour(rng) + base + colour(rng) + "^7";  // ^1Rex^3^7
    }
}

class Games {
  public:
    Games(Rng& rng, Out& out) : rng_(rng), out_(out) {
        const std::size_t want = 48 + rng_.below(33);
        while (pool_.size() < want) {
            std::string n = make_game_name(rng_);
            if (n.size() > kMaxName || !cut_whole(n))
                continue;
            if (std::find(pool_.begin(), pool_.end(), n) != pool_.end())
                continue;
            pool_.push_back(std::move(n));
        }
        // Regulars, who play most games, then frequent players, then occasional ones.
        for (std::size_t i = 0; i < pool_.size(); ++i)
            weight_.push_back(i < 8 ? 24 : i < 20 ? 6 : 1);
        for (std::size_t i = 0; i < kGameObituaries.size(); ++i)
            weight_sum_ += kGameObituaries[i].weight;
    }

    // One game: its players enter, then die and kill, join late and chat.
    void play() {
        players_.clear();
        // Most games are small: the smaller of two draws from 0 to 12 more players.
        const std::uint32_t n = 4 + std::min(rng_.below(13), rng_.below(13));
        while (players_.size() < n)
            join();
        const std::uint32_t events = n * (2 + rng_.below(8));
        for (std::uint32_t e = 0; e < events; ++e) {
            const std::uint32_t roll = rng_.below(1000);
            if (roll < 990)
                obituary();
            else if (roll < 995 && players_.size() < 16)
                join();
            else
                out_.line({name(rng_.pick(players_)), ": ", rng_.pick(kTeamChat)});
        }
    }

    // Ends the game just played on the fraglimit.
    void hit_fraglimit() { out_.line({name(players_[killer_slot()]), " hit the fraglimit."}); }

  private:
    std::string_view name(std::size_t i) const { return pool_[i]; }

    // A player of the pool not yet in the game, drawn by weight, enters it.
    void join() {
        for (;;) {
            std::uint32_t total = 0;
            for (auto w : weight_)
                total += w;
            std::uint32_t w = rng_.below(total);
            std::size_t p = 0;
            while (w >= weight_[p])
                w -= weight_[p++];
            if (std::find(players_.begin(), players_.end(), p) != players_.end())
                continue;
            players_.push_back(p);
            out_.line({name(p), " entered the game"});
            return;
        }
    }

    // Earlier arrivals, mostly regulars, frag more: the smaller of two draws.
    std::size_t killer_slot() {
        auto n = static_cast<std::uint32_t>(players_.size());
        return std::min(rng_.below(n), rng_.below(n));
    }

    // An obituary whose line fits: the kind is drawn again when a few pairs of players
    // do not fit it (a one-name death always fits, as names are at most kMaxName bytes).
    void obituary() {
        for (;;) {
            std::uint32_t w = rng_.below(weight_sum_);
            const Obituary* o = kGameObituaries.data();
            while (w >= o->weight)
                w -= (o++)->weight;
            const std::size_t room = kMaxLine - 1 - o->mid.size() - o->tail.size();
            if (!o->two_names) {
                std::size_t v = rng_.pick(players_);
                if (name(v).size() > room)
                    continue;
                out_.line({name(v), o->mid});
                return;
            }
            for (int attempt = 0; attempt < 4; ++attempt) {
                std::size_t k = players_[killer_slot()];
                std::size_t v = rng_.pick(players_);
                if (v == k || name(v).size() + name(k).size() > room)
                    continue;
                if (o->tail.empty())
                    out_.line({name(v), o->mid, name(k)});
                else
                    out_.line({name(v), o->mid, name(k), o->tail});
                return;
            }
        }
    }

    Rng& rng_;
    Out& out_;
    std::vector<std::string> pool_;
    std::vector<std::uint32_t> weight_;
    std::vector<std::size_t> players_;
    std::uint32_t weight_sum_ = 0;
};

// Fraglimit lines fall at size*k/kRounds, k < kRounds, whatever the shape.
struct RoundEnds {
    explicit RoundEnds(std::uint64_t size) {
        for (int k = 1; k < kRounds; ++k)
            at[k - 1] = size / kRounds * k;
    }
    // True when the log has grown past the next boundary; several boundaries passed at once
    // in a tiny log count as one.
    bool due(std::uint64_t written) {
        if (next >= at.size() || written < at[next])
            return false;
        while (next < at.size() && written >= at[next])
            ++next;
        return true;
    }
    std::array<std::uint64_t, kRounds - 1> at{};
    std::size_t next = 0;
};

void write_games(std::uint64_t seed, std::uint64_t size) {
    Rng rng{seed};
    Out out(1 << 20);
    Games games(rng, out);
    RoundEnds ends(size);
    while (out.total() < size) {
        games.play();
        if (ends.due(out.total()))
            games.hit_fraglimit();
    }
    out.flush();
}

void write_churn(std::uint64_t seed, std::uint64_t size) {
    Rng rng{seed};
    Out out(1 << 20);
    Game game(rng, out, make_pool(rng));
    RoundEnds ends(size);
    if (size > 0)
        game.start_round();
    while (out.total() < size) {
        if (ends.due(out.total())) {
            game.end_round();
            game.start_round();
            continue;
        }
        game.event();
    }
    out.flush();
}

// The shapes by the name --shape takes; the first is the default.
struct Shape {
    std::string_view name;
    void (*write)(std::uint64_t seed, std::uint64_t size);
};
constexpr std::array<Shape, 2> kShapes{{{"churn", write_churn}, {"games", write_games}}};

}  // namespace

int main(int argc, char** argv) {
    const Shape* shape = &kShapes[0];
    constexpr std::string_view kShapeOption = "--shape=";
    if (argc > 1 && std::string_view(argv[1]).starts_with(kShapeOption)) {
        const std::string_view wanted = std::string_view(argv[1]).substr(kShapeOption.size());
        shape = nullptr;
        for (const auto& s : kShapes)
            if (s.name == wanted)
                shape = &s;
        --argc;
        ++argv;
    }
    std::uint64_t seed = 0, size = 0;
    if (shape == nullptr || argc != 3 || !parse_size(argv[1], seed) || !parse_size(argv[2], size)) {
        std::fprintf(stderr,
                     "usage: gen_log [--shape=churn|games] <seed> <size-in-bytes>[K|M|G]\n");
        return 2;
    }
    check_tables();
    shape->write(seed, size);
    if (std::fflush(stdout) != 0)
        fail("write error");
    return 0;
}
