#include "io/crinex_decoder.hpp"

#include <algorithm>
#include <charconv>

namespace skyrift {

namespace {

// Columns of the two layouts (0-based): epoch flag, satellite count, first satellite.
struct Layout {
    char start_mark;
    std::size_t flag, count_begin, count_end, list;
    std::size_t epoch_text;  // what RINEX keeps of the epoch line before the clock offset
    std::size_t clock_column;
    int clock_decimals;
    std::size_t clock_width;
};
constexpr Layout kRinex2{'&', 28, 29, 32, 32, 32, 68, 9, 12};
constexpr Layout kRinex3{'>', 31, 32, 35, 41, 35, 41, 12, 15};

constexpr std::size_t kRinex2SatellitesPerLine = 12;
constexpr std::size_t kRinex2FieldsPerLine = 5;
constexpr std::size_t kValueWidth = 14;
constexpr std::size_t kFieldWidth = 16;  // value, LLI, SSI

GnssError damage(uint64_t index, std::string_view what) {
    return GnssError::rinex_parse(index, "Compact RINEX: " + std::string(what));
}

std::string_view field_error_text(FieldError error) {
    switch (error) {
        case FieldError::BadNumber: return "bad number";
        case FieldError::OrderOutOfRange: return "difference order out of range";
        case FieldError::OrderMissing: return "difference order missing";
        case FieldError::NotStarted: return "difference without a starting value";
        case FieldError::Overflow: return "value out of range";
        case FieldError::None: break;
    }
    return "";
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

std::string_view cut(std::string_view s, std::size_t begin, std::size_t end) {
    if (begin >= s.size()) return {};
    return s.substr(begin, std::min(end, s.size()) - begin);
}

bool parse_count(std::string_view text, uint32_t& value) {
    text = trim(text);
    value = 0;
    if (text.empty()) return true;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc{} && end == text.data() + text.size();
}

bool has_label(std::string_view line, std::string_view label) {
    return line.size() > 60 && trim(line.substr(60)) == label;
}

bool is_digits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A whole number, blank-padded on the left ("  5"), in columns [begin, end).
bool is_number_field(std::string_view line, std::size_t begin, std::size_t end) {
    return is_digits(trim(cut(line, begin, end)));
}

// Seconds as written: digits, a point, digits (either side of the point may be empty).
bool is_seconds_field(std::string_view line, std::size_t begin, std::size_t end) {
    const std::string_view s = trim(cut(line, begin, end));
    const std::size_t point = s.find('.');
    if (point == std::string_view::npos) return is_digits(s);
    const std::string_view whole = s.substr(0, point), fraction = s.substr(point + 1);
    return (is_digits(whole) || whole.empty()) && (is_digits(fraction) || fraction.empty()) && s != ".";
}

// Whether the expanded epoch line carries a date the observation readers take as one:
// blank separators, whole numbers, seconds. The columns are the readers' own.
bool epoch_date_parses(std::string_view line, bool rinex2) {
    struct Field {
        std::size_t begin, end;
    };
    constexpr Field kRinex2Numbers[] = {{1, 3}, {4, 6}, {7, 9}, {10, 12}, {13, 15}};
    constexpr Field kRinex3Numbers[] = {{2, 6}, {7, 9}, {10, 12}, {13, 15}, {16, 18}};
    const auto& numbers = rinex2 ? kRinex2Numbers : kRinex3Numbers;
    for (const Field& f : numbers) {
        if (f.begin > line.size() || line[f.begin - 1] != ' ') return false;
        if (!is_number_field(line, f.begin, f.end)) return false;
    }
    return rinex2 ? is_seconds_field(line, 15, 26) && line.size() > 18 && line[18] == '.'
                  : is_seconds_field(line, 18, 30);
}

void append_line(std::string& out, std::string_view text) {
    out.append(text);
    out.push_back('\n');
}

void append_trimmed_line(std::string& out, std::string_view text) {
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    append_line(out, text);
}

}  // namespace

std::optional<GnssError> CrinexDecoder::line(std::string_view text, uint64_t index, std::string& out) {
    switch (state_) {
        case State::VersionLine: {
            if (auto error = version_line(text, index)) return error;
            state_ = State::ProgramLine;
            return std::nullopt;
        }
        case State::ProgramLine:
            state_ = State::Header;
            return std::nullopt;
        case State::Header:
            note_type_count(text);
            append_line(out, text);
            if (has_label(text, "END OF HEADER")) state_ = State::EpochLine;
            return std::nullopt;
        case State::EpochLine: return epoch_line(text, index, out);
        case State::ClockLine: return clock_line(text, index, out);
        case State::Satellites: return satellite_line(text, index, out);
        case State::EventRecords:
            // Records of an event: header lines may redefine the observation types.
            note_type_count(text);
            append_line(out, text);
            if (--remaining_ == 0) state_ = State::EpochLine;
            return std::nullopt;
    }
    return std::nullopt;
}

std::optional<GnssError> CrinexDecoder::finish(uint64_t line_count) const {
    switch (state_) {
        case State::VersionLine:
        case State::ProgramLine:
        case State::Header: return damage(line_count, "file ends inside the header");
        case State::EpochLine: return std::nullopt;
        default: return damage(line_count, "file ends inside an epoch");
    }
}

std::optional<GnssError> CrinexDecoder::version_line(std::string_view text, uint64_t index) {
    const std::string_view version = trim(cut(text, 0, 20));
    if (!has_label(text, "CRINEX VERS   / TYPE") || version.empty() || (version[0] != '1' && version[0] != '3') ||
        (version.size() > 1 && version[1] != '.'))
        return damage(index, "unsupported version line");
    rinex2_ = version[0] == '1';
    return std::nullopt;
}

void CrinexDecoder::note_type_count(std::string_view text) {
    // More types than three digits can count is no header at all: such a list is ignored.
    constexpr uint32_t kMostTypes = 999;
    uint32_t count = 0;
    if (rinex2_ && has_label(text, "# / TYPES OF OBSERV")) {
        if (trim(cut(text, 0, 6)).empty() || !parse_count(cut(text, 0, 6), count) || count > kMostTypes)
            return;  // a continuation line, or nonsense
        type_counts_.fill(static_cast<int32_t>(count));
        has_types_.fill(true);
    } else if (!rinex2_ && has_label(text, "SYS / # / OBS TYPES")) {
        const auto letter = static_cast<unsigned char>(text[0]);
        if (letter == ' ' || letter >= 128 || !parse_count(cut(text, 3, 6), count) || count > kMostTypes) return;
        type_counts_[letter] = static_cast<int32_t>(count);
        has_types_[letter] = true;
    }
}

std::optional<GnssError> CrinexDecoder::epoch_line(std::string_view text, uint64_t index, std::string& out) {
    const Layout& layout = rinex2_ ? kRinex2 : kRinex3;
    const bool in_full = !text.empty() && text[0] == layout.start_mark;
    if (in_full) {
        // Written against a blank line: "&" stands for a blank, as in every text
        // difference (the 1.0 start mark itself included).
        epoch_.assign(text);
        std::replace(epoch_.begin(), epoch_.end(), '&', ' ');
    } else if (after_event_) {
        return damage(index, "epoch line after an event not written in full");
    } else if (has_reference_) {
        epoch_ = reference_;
        apply_text_difference(epoch_, text);
    } else {
        return damage(index, "epoch line expected");
    }
    if (!rinex2_ && epoch_[0] != '>') return damage(index, "epoch line expected");
    uint32_t count = 0;
    if (!parse_count(cut(epoch_, layout.count_begin, layout.count_end), count))
        return damage(index, "bad satellite count");
    const char flag = epoch_.size() > layout.flag ? epoch_[layout.flag] : ' ';
    // Events (flags 2 to 5) may leave the date blank; every other record has one.
    if ((flag < '2' || flag > '5') && !epoch_date_parses(epoch_, rinex2_))
        return damage(index, "epoch date does not parse");
    if (flag >= '2' && flag <= '6') {
        // Events and cycle-slip records: the line as it is, clock offset included, then
        // `count` lines copied as they are.
        std::string_view event = epoch_;
        while (!event.empty() && event.back() == ' ') event.remove_suffix(1);
        append_line(out, event);
        remaining_ = count;
        state_ = count == 0 ? State::EpochLine : State::EventRecords;
        after_event_ = true;
        return std::nullopt;
    }
    if (!restore_stripped_blanks(layout.list, count))
        return damage(index, "satellite list shorter than its count");
    for (uint32_t i = 0; i < count; ++i) {
        const auto letter = static_cast<unsigned char>(epoch_[layout.list + 3 * i]);
        if (!has_types_[rinex2_ ? 'G' : letter & 0x7f])
            return damage(index, "satellite of a system without observation types");
    }
    if (in_full) {
        // No satellite carries anything over: none counts as listed in the epoch before.
        // (The clock offset's arc does go on.)
        ++epoch_number_;
        after_event_ = false;
    }
    reference_ = epoch_;
    has_reference_ = true;
    listed_ = count;
    ++epoch_number_;
    state_ = State::ClockLine;
    return std::nullopt;
}

bool CrinexDecoder::restore_stripped_blanks(std::size_t list, uint32_t count) {
    // Compressors drop trailing blanks, so a last satellite written "R2 " (a one-digit
    // PRN, left-justified) ends the line as "R2"; the blanks come back. A list shorter
    // than that lacks a satellite.
    const std::size_t list_end = list + 3 * std::size_t{count};
    if (count == 0 || epoch_.size() >= list_end) return true;
    if (list_end - epoch_.size() > 2) return false;
    const std::string_view last = std::string_view(epoch_).substr(list_end - 3);
    if (last.find_first_of("0123456789") == std::string_view::npos) return false;
    epoch_.resize(list_end, ' ');
    return true;
}

std::optional<GnssError> CrinexDecoder::clock_line(std::string_view text, uint64_t index, std::string& out) {
    if (trim(text).empty()) {  // no clock offset; a line of blanks says the same
        clock_.stop();
    } else {
        bool started = false;
        if (const FieldError error = clock_.apply(trim(text), started); error != FieldError::None)
            return damage(index, field_error_text(error));
    }
    const std::size_t start = out.size();
    write_epoch_line(out);
    if (out.size() == start) return damage(index, "clock offset out of range");
    remaining_ = listed_;
    state_ = listed_ == 0 ? State::EpochLine : State::Satellites;
    return std::nullopt;
}

void CrinexDecoder::write_epoch_line(std::string& out) const {
    const Layout& layout = rinex2_ ? kRinex2 : kRinex3;
    const std::size_t start = out.size();
    out.append(cut(epoch_, 0, layout.epoch_text));
    const std::size_t first_line_satellites = rinex2_ ? std::min<std::size_t>(listed_, kRinex2SatellitesPerLine) : 0;
    out.append(cut(epoch_, layout.list, layout.list + 3 * first_line_satellites));
    if (clock_.active()) {
        if (out.size() - start < layout.clock_column) out.append(layout.clock_column - (out.size() - start), ' ');
        char clock[16] = "               ";
        if (!write_fixed(clock, layout.clock_width, clock_.value(), layout.clock_decimals)) {
            out.resize(start);
            return;
        }
        out.append(clock, layout.clock_width);
    }
    out.push_back('\n');
    // RINEX 2 continues a long satellite list on lines of twelve after 32 blanks.
    for (std::size_t i = kRinex2SatellitesPerLine; rinex2_ && i < listed_; i += kRinex2SatellitesPerLine) {
        out.append(32, ' ');
        out.append(cut(epoch_, layout.list + 3 * i, layout.list + 3 * std::min<std::size_t>(listed_, i + 12)));
        out.push_back('\n');
    }
}

CrinexDecoder::SatelliteState& CrinexDecoder::satellite_state(std::string_view id, std::size_t types) {
    // Ids of a capital letter and two digits (nearly all) index a table; others go by a map.
    uint32_t* slot = nullptr;
    if (id[0] >= 'A' && id[0] <= 'Z' && id[1] >= '0' && id[1] <= '9' && id[2] >= '0' && id[2] <= '9') {
        slot = &common_slots_[static_cast<std::size_t>(id[0] - 'A') * 100 + (id[1] - '0') * 10 + (id[2] - '0')];
    } else {
        const uint32_t key = static_cast<unsigned char>(id[0]) | static_cast<unsigned char>(id[1]) << 8 |
                             static_cast<uint32_t>(static_cast<unsigned char>(id[2])) << 16;
        slot = &other_slots_.try_emplace(key, kNoSlot).first->second;
    }
    if (*slot == kNoSlot) {
        *slot = static_cast<uint32_t>(satellites_.size());
        satellites_.emplace_back();
    }
    SatelliteState& sat = satellites_[*slot];
    if (sat.last_epoch + 1 != epoch_number_ || sat.arcs.size() != types) {
        // Absent from the previous epoch: nothing carries over.
        sat.arcs.assign(types, DifferenceArc{});
        sat.flags.clear();
    }
    sat.last_epoch = epoch_number_;
    return sat;
}

std::optional<GnssError> CrinexDecoder::satellite_line(std::string_view text, uint64_t index, std::string& out) {
    const Layout& layout = rinex2_ ? kRinex2 : kRinex3;
    const std::string_view id = std::string_view(epoch_).substr(layout.list + 3 * std::size_t{listed_ - remaining_}, 3);
    const auto types = static_cast<std::size_t>(type_counts_[rinex2_ ? 'G' : static_cast<unsigned char>(id[0]) & 0x7f]);
    SatelliteState& sat = satellite_state(id, types);

    // The record in RINEX columns: per type a value of 14 characters, LLI, SSI.
    record_.assign(types * kFieldWidth, ' ');
    std::size_t pos = 0;  // where the next field starts; past the end when the line ran out
    for (std::size_t k = 0; k < types; ++k) {
        DifferenceArc& arc = sat.arcs[k];
        if (pos >= text.size() || text[pos] == ' ') {  // an empty field: no value
            arc.stop();
            ++pos;
            continue;
        }
        bool started = false;
        std::size_t length = 0;
        if (const FieldError error = arc.apply(text.substr(pos), started, length); error != FieldError::None)
            return damage(index, field_error_text(error));
        pos += length + 1;
        if (!write_fixed(record_.data() + k * kFieldWidth, kValueWidth, arc.value(), 3))
            return damage(index, "value out of range");
    }
    if (pos <= text.size()) apply_text_difference(sat.flags, text.substr(pos));
    for (std::size_t i = 0; i < sat.flags.size() && i / 2 < types; ++i) {
        // RINEX 2 has no flags on a blank value: 1.0 blanks them, so the flags of a
        // value that returns difference from blanks.
        if (rinex2_ && !sat.arcs[i / 2].active()) sat.flags[i] = ' ';
        record_[(i / 2) * kFieldWidth + kValueWidth + i % 2] = sat.flags[i];
    }

    if (rinex2_) {
        // Five types to a line.
        for (std::size_t k = 0; k < types; k += kRinex2FieldsPerLine)
            append_trimmed_line(out, cut(record_, k * kFieldWidth, (k + kRinex2FieldsPerLine) * kFieldWidth));
    } else {
        out.append(id);
        append_trimmed_line(out, record_);
    }
    if (--remaining_ == 0) state_ = State::EpochLine;
    return std::nullopt;
}

}  // namespace skyrift
