#include "analysis/multipath/result_columns.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>

#include "analysis/multipath/signal_pairs.hpp"

namespace skyrift {

namespace {

// Codes one text column: keys get indices in first-seen order while rows are filled
// (columns hold long runs of one key, so the last key is checked first), then
// `finish` sorts the keys and renumbers the rows once.
template <typename Key, typename Less>
class ColumnCoder {
public:
    explicit ColumnCoder(int32_t* rows) : rows_(rows) {}

    void put(std::size_t row, const Key& key) {
        if (!last_ || !(keys_[*last_] == key)) last_ = lookup(key);
        rows_[row] = static_cast<int32_t>(*last_);
    }

    // The distinct keys in order; rows [0, n) are renumbered to match.
    template <typename Text>
    std::vector<std::string> finish(std::size_t n, Text text) {
        std::vector<std::size_t> order(keys_.size());
        std::iota(order.begin(), order.end(), std::size_t{0});
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return Less{}(keys_[a], keys_[b]); });
        std::vector<int32_t> renumber(keys_.size());
        std::vector<std::string> texts;
        texts.reserve(keys_.size());
        for (std::size_t i = 0; i < order.size(); ++i) {
            renumber[order[i]] = static_cast<int32_t>(i);
            texts.push_back(text(keys_[order[i]]));
        }
        for (std::size_t r = 0; r < n; ++r) rows_[r] = renumber[static_cast<std::size_t>(rows_[r])];
        return texts;
    }

private:
    std::size_t lookup(const Key& key) {
        const auto at = std::find(keys_.begin(), keys_.end(), key);  // few distinct keys
        if (at != keys_.end()) return static_cast<std::size_t>(at - keys_.begin());
        keys_.push_back(key);
        return keys_.size() - 1;
    }

    int32_t* rows_;
    std::vector<Key> keys_;
    std::optional<std::size_t> last_;
};

struct LetterLess {
    bool operator()(GnssSystem a, GnssSystem b) const { return system_letter(a) < system_letter(b); }
};

struct SeriesOf {
    GnssSystem system;
    ObservationCode code;
    friend bool operator==(const SeriesOf&, const SeriesOf&) = default;
};
struct SeriesLess {
    bool operator()(const SeriesOf& a, const SeriesOf& b) const {
        return series_key(a.system, a.code) < series_key(b.system, b.code);
    }
};

std::string letter_text(GnssSystem s) { return std::string(1, system_letter(s)); }
std::string satellite_text(const Satellite& s) { return s.id(); }
std::string code_text(const ObservationCode& c) { return c.text(); }
std::string arc_start_text(ArcStart s) {
    switch (s) {
        case ArcStart::SeriesStart: return "start";
        case ArcStart::Gap: return "gap";
        case ArcStart::Jump: return "jump";
        case ArcStart::Slip: return "slip";
    }
    return "start";
}

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

}  // namespace

EstimateCategories fill_estimate_columns(std::span<const EstimateRecord> estimates,
                                         const EstimateColumnBuffers& out) {
    ColumnCoder<Satellite, std::less<>> satellites(out.satellite);
    ColumnCoder<GnssSystem, LetterLess> systems(out.system);
    ColumnCoder<SeriesOf, SeriesLess> signals(out.signal);
    ColumnCoder<ObservationCode, std::less<>> codes(out.code);
    ColumnCoder<ArcStart, std::less<>> arc_starts(out.arc_start);
    for (std::size_t i = 0; i < estimates.size(); ++i) {
        const EstimateRecord& e = estimates[i];
        satellites.put(i, e.satellite);
        systems.put(i, e.satellite.system);
        signals.put(i, SeriesOf{e.satellite.system, e.signal});
        codes.put(i, e.signal);
        out.time_ms[i] = e.time_ms;
        out.mp[i] = e.mp_value;
        // The placeholder angles of an estimate without a position are no data.
        out.elevation[i] = e.positioned ? e.elevation : kNaN;
        out.azimuth[i] = e.positioned ? e.azimuth : kNaN;
        out.snr[i] = e.has_snr ? e.snr : kNaN;
        out.arc[i] = e.arc;
        arc_starts.put(i, e.arc_start);
    }
    const std::size_t n = estimates.size();
    return {satellites.finish(n, satellite_text), systems.finish(n, letter_text),
            signals.finish(n, [](const SeriesOf& k) { return series_key(k.system, k.code); }),
            codes.finish(n, code_text), arc_starts.finish(n, arc_start_text)};
}

SlipCategories fill_slip_columns(std::span<const SlipRecord> slips, const SlipColumnBuffers& out) {
    ColumnCoder<Satellite, std::less<>> satellites(out.satellite);
    ColumnCoder<GnssSystem, LetterLess> systems(out.system);
    ColumnCoder<SlipMethod, std::less<>> methods(out.method);
    ColumnCoder<std::string, std::less<>> signals(out.signal);
    for (std::size_t i = 0; i < slips.size(); ++i) {
        const SlipRecord& s = slips[i];
        satellites.put(i, s.satellite);
        systems.put(i, s.satellite.system);
        methods.put(i, s.method);
        signals.put(i, s.num_signals ? s.signals[0].text() : std::string());
        out.time_ms[i] = s.time_ms;
        out.magnitude[i] = s.magnitude;
        out.threshold[i] = s.threshold;
    }
    const std::size_t n = slips.size();
    return {satellites.finish(n, satellite_text), systems.finish(n, letter_text),
            methods.finish(n, [](SlipMethod m) { return std::string(slip_method_text(m)); }),
            signals.finish(n, [](const std::string& s) { return s; })};
}

}  // namespace skyrift
