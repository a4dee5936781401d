#include "report/results.h"

#include "count/game_limits.h"

#include <algorithm>
#include <cassert>
#include <utility>

void kill_matrix::add(std::uint32_t killer, std::uint32_t victim, std::int32_t count) {
    assert(count != 0);
    assert(cells_.empty() || cells_.back().killer < killer ||
           (cells_.back().killer == killer && cells_.back().victim < victim));
    cells_.push_back({killer, victim, count});
}

std::int32_t kill_matrix::killed(std::size_t killer, std::size_t victim) const {
    auto cell =
        std::lower_bound(cells_.begin(), cells_.end(), std::pair(killer, victim),
                         [](const kill_count& a, std::pair<std::size_t, std::size_t> b) {
                             return std::pair<std::size_t, std::size_t>(a.killer, a.victim) < b;
                         });
    return cell != cells_.end() && cell->killer == killer && cell->victim == victim ? cell->count
                                                                                    : 0;
}

round_result::round_result(std::uint64_t first_line, std::uint64_t last_line, bool ended,
                           std::string end_text)
    : first_line_(first_line),
      last_line_(last_line),
      ended_(ended),
      end_text_(std::move(end_text)) {}

void round_result::add_count(std::uint32_t player, counter which, std::int32_t count) {
    assert(count != 0);
    assert(counts_.empty() || counts_.back().player < player ||
           (counts_.back().player == player && counts_.back().which < which));
    counts_.push_back({player, which, count});
}

namespace {

bool before_player(const counter_entry& entry, std::size_t player) {
    return entry.player < player;
}

}  // namespace

counter_values round_result::counters_of(std::size_t player) const {
    counter_values values{};
    for (auto entry = std::lower_bound(counts_.begin(), counts_.end(), player, before_player);
         entry != counts_.end() && entry->player == player; ++entry) {
        values[static_cast<std::size_t>(entry->which)] = entry->count;
    }
    return values;
}

bool round_result::counts(std::size_t player) const {
    auto entry = std::lower_bound(counts_.begin(), counts_.end(), player, before_player);
    return entry != counts_.end() && entry->player == player;
}

namespace {

template <typename T>
bool put_value(std::FILE* out, const T& value) {
    return std::fwrite(&value, sizeof value, 1, out) == 1;
}

template <typename T>
bool get_value(std::FILE* in, T& value) {
    return std::fread(&value, sizeof value, 1, in) == 1;
}

template <typename T>
bool put_items(std::FILE* out, const std::vector<T>& items) {
    std::uint64_t size = items.size();
    return put_value(out, size) &&
           (items.empty() ||
            std::fwrite(items.data(), sizeof(T), items.size(), out) == items.size());
}

template <typename T>
bool get_items(std::FILE* in, std::vector<T>& items) {
    std::uint64_t size = 0;
    if (!get_value(in, size) || size > (std::uint64_t{1} << 32)) {
        return false;
    }
    items.resize(static_cast<std::size_t>(size));
    return items.empty() || std::fread(items.data(), sizeof(T), items.size(), in) == items.size();
}

bool put_text(std::FILE* out, const std::string& text) {
    std::uint64_t size = text.size();
    return put_value(out, size) &&
           (text.empty() || std::fwrite(text.data(), 1, text.size(), out) == text.size());
}

bool get_text(std::FILE* in, std::string& text) {
    std::uint64_t size = 0;
    if (!get_value(in, size) || size > round_end_text_size) {
        return false;
    }
    text.resize(static_cast<std::size_t>(size));
    return text.empty() || std::fread(text.data(), 1, text.size(), in) == text.size();
}

}  // namespace

bool round_result::write_to(std::FILE* out) const {
    std::uint8_t closed = ended_ ? 1 : 0;
    return put_value(out, first_line_) && put_value(out, last_line_) && put_value(out, closed) &&
           put_text(out, end_text_) && put_items(out, counts_) && put_items(out, kills_.cells_);
}

bool round_result::read_from(std::FILE* in, round_result& round) {
    std::uint8_t closed = 0;
    bool read = get_value(in, round.first_line_) && get_value(in, round.last_line_) &&
                get_value(in, closed) && get_text(in, round.end_text_) &&
                get_items(in, round.counts_) && get_items(in, round.kills_.cells_);
    round.ended_ = closed != 0;
    return read;
}

void round_list::spill_to(std::FILE* stream) {
    assert(held_.empty());
    stream_.reset(stream, std::fclose);
    places_ = std::make_shared<std::vector<std::uint64_t>>();
    spilled_ = true;
}

round_list round_list::shared_copy() const {
    round_list copy;
    copy.held_ = held_;
    copy.stream_ = stream_;
    copy.spilled_ = spilled_;
    copy.written_ = written_;
    copy.places_ = places_;
    copy.spilled_rounds_ = spilled_rounds_;
    return copy;
}

round_result& round_list::emplace_back(std::uint64_t first_line, std::uint64_t last_line,
                                       bool ended, std::string end_text) {
    assert(!spilled_);
    return held_.emplace_back(first_line, last_line, ended, std::move(end_text));
}

void round_list::push_back(round_result round) {
    if (spilled_ && written_) {
        // The places are shared with copies, which are behind the list they were made from.
        assert(places_->size() == spilled_rounds_);
        // Writes are appended; a read in between moved the stream, so each write seeks to the
        // end. Each round is flushed, so that a write that fails fails for this round alone and
        // the rounds before it stay readable.
        long place = std::fseek(stream_.get(), 0, SEEK_END) == 0 ? std::ftell(stream_.get()) : -1;
        if (place >= 0 && round.write_to(stream_.get()) && std::fflush(stream_.get()) == 0) {
            places_->push_back(static_cast<std::uint64_t>(place));
            ++spilled_rounds_;
            return;
        }
        written_ = false;
    }
    held_.push_back(std::move(round));
}

const round_result& round_list::operator[](std::size_t r) const {
    if (r >= spilled_rounds_) {
        return held_[r - spilled_rounds_];
    }
    if (read_at_ != r) {
        // A round that cannot be read back (something else changed the temporary file) reads
        // as empty.
        bool read = std::fseek(stream_.get(), static_cast<long>((*places_)[r]), SEEK_SET) == 0 &&
                    round_result::read_from(stream_.get(), read_);
        if (!read) {
            read_ = round_result(0, 0, false);
        }
        read_at_ = r;
    }
    return read_;
}
