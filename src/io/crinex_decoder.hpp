#pragma once
// Compact RINEX (Hatanaka) 1.0 and 3.0 expanded line by line into RINEX 2 and
// RINEX 3/4 observation text.
//
// Body of a compact file, per epoch:
//   epoch line   the RINEX epoch line with every satellite on it (RINEX 2: from
//                column 33, RINEX 3: from column 42) and no clock offset; written in
//                full when it starts with "&" (1.0) or ">" (3.0), otherwise as a text
//                difference against the last epoch line. A line written in full is a
//                difference against a blank line, so "&" in it is a blank too; and
//                its trailing blanks may be stripped, even inside the last satellite;
//   clock line   the receiver clock offset as a numeric field, empty (or blank) when
//                absent;
//   one line per listed satellite: one numeric field per observation type of its
//                system, each followed by a blank, then the LLI/SSI characters of
//                all types as a text difference.
// An epoch line written in full starts every satellite afresh: each arc must start
// again and the flags difference from blanks (the clock offset's arc goes on). A
// satellite missing from the previous epoch starts afresh too. In 1.0 an empty field
// also blanks its flag pair (RINEX 2 has no flags on a blank value), so the flags of a
// value that returns difference from blanks. Epochs of flags 2 to 6 (events, and
// cycle-slip records) are written in full, clock offset included, and followed by as
// many lines as their count, copied as they are; the next epoch line must be written
// in full.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "io/crinex_fields.hpp"
#include "utils/error.hpp"

namespace skyrift {

class CrinexDecoder {
public:
    // Feeds one line (without its line end); the expanded text goes to `out`.
    // A failure names the line and leaves the decoder unusable.
    std::optional<GnssError> line(std::string_view text, uint64_t index, std::string& out);

    // End of input after `line_count` lines: a failure when the file ends inside
    // the header or inside an epoch.
    std::optional<GnssError> finish(uint64_t line_count) const;

    // True between epochs: the output so far ends with a whole epoch (or the header).
    bool between_epochs() const { return state_ == State::EpochLine; }

private:
    enum class State { VersionLine, ProgramLine, Header, EpochLine, ClockLine, Satellites, EventRecords };

    struct SatelliteState {
        uint64_t last_epoch = 0;  // 1 + index of the last observation epoch that listed it
        std::vector<DifferenceArc> arcs;
        std::string flags;
    };

    std::optional<GnssError> version_line(std::string_view text, uint64_t index);
    void note_type_count(std::string_view text);
    std::optional<GnssError> epoch_line(std::string_view text, uint64_t index, std::string& out);
    std::optional<GnssError> clock_line(std::string_view text, uint64_t index, std::string& out);
    std::optional<GnssError> satellite_line(std::string_view text, uint64_t index, std::string& out);
    bool restore_stripped_blanks(std::size_t list, uint32_t count);
    void write_epoch_line(std::string& out) const;
    SatelliteState& satellite_state(std::string_view id, std::size_t types);

    State state_ = State::VersionLine;
    bool rinex2_ = false;  // compact 1.0 (RINEX 2) rather than 3.0 (RINEX 3 and 4)
    std::array<int32_t, 128> type_counts_{};  // RINEX 3: by system letter; RINEX 2: every entry alike
    std::array<bool, 128> has_types_{};

    std::string reference_;  // the last observation epoch line, expanded
    std::string epoch_;      // the epoch line being expanded
    bool has_reference_ = false;
    bool after_event_ = false;  // the next epoch line must be written in full
    DifferenceArc clock_;
    uint64_t epoch_number_ = 0;  // observation epochs seen, this one included
    uint32_t remaining_ = 0;     // satellite lines or event records still to come
    uint32_t listed_ = 0;        // satellites on the epoch line

    static constexpr uint32_t kNoSlot = UINT32_MAX;
    std::vector<uint32_t> common_slots_ = std::vector<uint32_t>(26 * 100, kNoSlot);  // "G07" -> index in satellites_
    std::unordered_map<uint32_t, uint32_t> other_slots_;  // any other id, by its three bytes
    std::vector<SatelliteState> satellites_;
    std::string record_;  // scratch: one satellite's record in RINEX columns
};

}  // namespace skyrift
