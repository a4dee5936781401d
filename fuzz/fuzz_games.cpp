// Fuzz target: whole games written by a short program, compared with the plain model as
// fuzz_pass is. Byte inputs of a few KiB hold a few hundred lines at most; the program here
// expands into logs of up to a MiB, of the shapes that fill the program's fixed buffers:
// many distinct lines between names of a small alphabet, seen again across round ends,
// shuffled, in blocks, between runs of empty lines.
//
// The input: one byte for the names' style, one for how many there are (2 to 129, more than
// the tables hold), then operations, each an opcode and its operand bytes (missing ones read
// as zero):
//   0x00-0x3F  t v k     one line of template t, victim name v, killer name k
//   0x40-0x4F  f         a round end, of form f
//   0x50-0x5F  n         the last 4n + 1 lines again, (op & 15) + 1 times
//   0x60-0x6F  t a b     a line of template t for every pair of names from a to a + b
//   0x70-0x7F  n         64n + 1 empty lines
//   0x80-0x8F  n s       the last 4n + 2 lines shuffled, from seed s
//   0x90-0x9F  n ...     a line of the next n % 64 input bytes
//   0xA0-0xFF  v         a one-name line of template op - 0xA0, name v
#include <algorithm>
#include <array>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"

namespace {

// Past this, an operation adds nothing: room for as many distinct lines as the memo holds, or
// several rounds of thousands of them, and still a few runs a second under the sanitizers.
constexpr std::size_t largest_log = std::size_t{1} * 1024 * 1024;

// Lines as the game writes them, and lines that only look like them. V is the victim or the
// single player, K the killer.
constexpr std::array<std::string_view, 24> two_name_templates = {
    "V was railed by K",
    "V was electrocuted by K",
    "V was gunned down by K",
    "V was machinegunned by K",
    "V was melted by K's plasmagun",
    "V almost dodged K's rocket",
    "V was pummeled by K",
    "V ate K's rocket",
    "V^7 was railed by K^7",
    "V^7 ate K^7's rocket",
    "V^7 almost dodged K^7's rocket",
    "V^7 was melted by K^7's plasmagun",
    "V ate K's grenade",
    "V was blasted by K's BFG",
    "V tried to invade K's personal space",
    "V was shredded by K's shrapnel",
    "V was railed by K.",
    "V  was railed by  K",
    "K: V was railed by me",
    "V was railed by K (fraglimit)",
    "V was gunned down by K was pummeled by V",
    "V ate K's rocket and almost dodged K's rocket",
    "V was railed byK",
    "Vwas railed by K",
};

constexpr std::array<std::string_view, 16> one_name_templates = {
    "V blew himself up.",
    "V melted himself.",
    "V was in the wrong place.",
    "V cratered.",
    "V does a back flip into the lava.",
    "V^7 blew himself up.",
    "V^7 cratered.",
    "V blew herself up.",
    "V melted itself.",
    "V was squished.",
    "V sank like a rock.",
    "V cratered",
    "V^7 does a back flip into the lava.",
    "Vcratered.",
    "V was in the wrong place",
    "V: I cratered.",
};

constexpr std::array<std::string_view, 4> round_ends = {
    "V hit the fraglimit.",
    "fraglimit",
    "V hit the fraglimit. V was railed by K",
    "Fraglimit hit.",
};

// Pieces that names are made of, chosen to meet the cut rules' quirks: the words of the
// phrases, blanks, colour codes.
constexpr std::array<std::string_view, 16> name_pieces = {
    "Kate", "ate", "wa",  " ", "by", "'s", "rocket", "^7",
    "^1",   "Big", "Tom", "d", "ed", "x",  ".",      "Sarge",
};

std::string name_of(unsigned style, std::size_t index) {
    std::string number = std::to_string(index);
    switch (style % 4) {
        case 0:
            return "P" + number;
        case 1:
            return "^" + std::to_string(index % 8) + "Big^7 Tom" + number;
        case 2: {
            std::string name;
            for (std::size_t rest = index + 1; rest != 0; rest /= name_pieces.size()) {
                name += name_pieces[rest % name_pieces.size()];
            }
            return name + number;
        }
        default:
            return "A_rather_long_player_name_" + number;
    }
}

std::string filled(std::string_view form, const std::string& victim, const std::string& killer) {
    std::string line;
    for (char c : form) {
        if (c == 'V') {
            line += victim;
        } else if (c == 'K') {
            line += killer;
        } else {
            line += c;
        }
    }
    return line + "\n";
}

class program_reader {
  public:
    program_reader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t next() { return at_ < size_ ? data_[at_++] : std::uint8_t{0}; }

  private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

std::string expand(const std::uint8_t* data, std::size_t size) {
    program_reader program(data, size);
    unsigned style = program.next();
    std::vector<std::string> names;
    for (std::size_t i = 0, count = 2 + std::size_t{program.next()} % 128; i < count; ++i) {
        names.push_back(name_of(style, i));
    }
    auto pick = [&](std::uint8_t byte) -> const std::string& { return names[byte % names.size()]; };
    std::vector<std::string> lines;
    std::size_t bytes = 0;
    auto add = [&](std::string line) {
        bytes += line.size();
        lines.push_back(std::move(line));
    };
    while (!program.done() && bytes < largest_log) {
        std::uint8_t op = program.next();
        if (op < 0x40) {
            std::string_view form = two_name_templates[program.next() % two_name_templates.size()];
            const std::string& victim = pick(program.next());
            add(filled(form, victim, pick(program.next())));
        } else if (op < 0x50) {
            add(filled(round_ends[program.next() % round_ends.size()], pick(op), pick(op + 1)));
        } else if (op < 0x60) {
            std::size_t last = std::min(lines.size(), 4 * std::size_t{program.next()} + 1);
            std::size_t from = lines.size() - last;
            for (unsigned r = 0; r < (op & 15u) + 1 && bytes < largest_log; ++r) {
                for (std::size_t i = from; i < from + last; ++i) {
                    add(lines[i]);
                }
            }
        } else if (op < 0x70) {
            std::string_view form = two_name_templates[program.next() % two_name_templates.size()];
            std::size_t first = program.next() % names.size();
            std::size_t end = std::min(names.size(), first + 1 + program.next());
            for (std::size_t killer = first; killer < end; ++killer) {
                for (std::size_t victim = first; victim < end; ++victim) {
                    if (victim != killer) {
                        add(filled(form, names[victim], names[killer]));
                    }
                }
            }
        } else if (op < 0x80) {
            add(std::string(64 * std::size_t{program.next()} + 1, '\n'));
        } else if (op < 0x90) {
            std::size_t last = std::min(lines.size(), 4 * std::size_t{program.next()} + 2);
            std::minstd_rand shuffler(program.next() + 1u);
            std::shuffle(lines.end() - static_cast<std::ptrdiff_t>(last), lines.end(), shuffler);
        } else if (op < 0xA0) {
            std::string line;
            for (std::size_t n = program.next() % 64; n > 0 && !program.done(); --n) {
                line += static_cast<char>(program.next());
            }
            add(line + "\n");
        } else {
            std::string_view form = one_name_templates[(op - 0xA0u) % one_name_templates.size()];
            add(filled(form, pick(program.next()), ""));
        }
    }
    std::string log;
    log.reserve(bytes);
    for (const std::string& line : lines) {
        log += line;
    }
    return log;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string log = expand(data, size);
    check_pass(log);
    check_full_pass(log);
    return 0;
}
