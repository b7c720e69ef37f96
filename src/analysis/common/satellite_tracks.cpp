#include "analysis/common/satellite_tracks.hpp"

#include <algorithm>
#include <bitset>
#include <cstdint>
#include <unordered_map>

#include "rinex/glonass_channels.hpp"

namespace skyrift {

namespace {

// Codes seen by one satellite, as a bitset over (kind, band digit, attribute byte):
// one bit test per observation instead of a set insertion.
constexpr std::size_t kKinds = 5, kBands = 10, kAttributes = 256;
using CodeSet = std::bitset<kKinds * kBands * kAttributes>;

std::size_t code_bit(ObservationCode c) {
    return (static_cast<std::size_t>(c.kind) * kBands + c.band) * kAttributes +
           static_cast<unsigned char>(c.attribute);
}

std::vector<ObservationCode> codes_in(const CodeSet& set) {
    std::vector<ObservationCode> codes;
    for (std::size_t bit = 0; bit < set.size(); ++bit) {
        if (!set.test(bit)) continue;
        ObservationCode c;
        c.kind = static_cast<ObservationKind>(bit / (kBands * kAttributes));
        c.band = static_cast<uint8_t>(bit / kAttributes % kBands);
        c.attribute = static_cast<char>(bit % kAttributes);
        codes.push_back(c);
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

// Track of each satellite: a flat table for the PRNs of observation files (below 1000),
// a map for any other.
class TrackIndex {
public:
    static constexpr std::size_t kNone = SIZE_MAX;
    std::size_t& slot(Satellite s) {
        if (s.prn < kCommonPrns) return common_[static_cast<std::size_t>(s.system) * kCommonPrns + s.prn];
        return others_.try_emplace(s, kNone).first->second;
    }

private:
    static constexpr uint32_t kCommonPrns = 1000;
    std::vector<std::size_t> common_ = std::vector<std::size_t>(kNumSystems * kCommonPrns, kNone);
    std::unordered_map<Satellite, std::size_t> others_;
};

}  // namespace

std::vector<SatelliteTrack> collect_tracks(const RinexObsData& obs,
                                           const std::vector<uint32_t>& epochs) {
    std::vector<SatelliteTrack> tracks;
    std::vector<CodeSet> code_sets;
    TrackIndex index;
    for (const uint32_t e : epochs) {
        const EpochRecord& record = obs.epochs[e];
        for (uint32_t s = record.first_satellite; s < record.first_satellite + record.num_satellites; ++s) {
            const SatelliteEntry& entry = obs.satellite_entries[s];
            std::size_t& slot = index.slot(entry.satellite);
            if (slot == TrackIndex::kNone) {
                slot = tracks.size();
                const auto channel = glonass_channel(entry.satellite, {.file_slots = &obs.header.glonass_slots});
                tracks.push_back({entry.satellite, channel, {}, {}, {}});
                code_sets.emplace_back();
            }
            SatelliteTrack& track = tracks[slot];
            track.entries.push_back(s);
            track.times_ms.push_back(record.instant_ms);
            CodeSet& seen = code_sets[slot];
            for (const ObservationEntry& o : obs.observations_of(entry))
                if (o.code.band < kBands) seen.set(code_bit(o.code));
        }
    }
    for (std::size_t i = 0; i < tracks.size(); ++i) tracks[i].codes = codes_in(code_sets[i]);
    std::sort(tracks.begin(), tracks.end(), [](const SatelliteTrack& a, const SatelliteTrack& b) {
        return a.satellite < b.satellite;
    });
    return tracks;
}

std::vector<ObservationCode> codes_of_kind(const std::vector<ObservationCode>& codes,
                                           ObservationKind kind) {
    std::vector<ObservationCode> out;
    for (const ObservationCode& c : codes)
        if (c.kind == kind) out.push_back(c);
    return out;
}

}  // namespace skyrift
