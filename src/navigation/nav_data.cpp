#include "navigation/nav_data.hpp"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "navigation/broadcast_time.hpp"
#include "navigation/kepler_orbit.hpp"
#include "navigation/sbas_orbit.hpp"

namespace skyrift {

namespace {

// Storage order within a satellite: by reference, preferred message, latest read.
bool stored_before(const BroadcastEphemeris& a, const BroadcastEphemeris& b) {
    if (a.satellite != b.satellite) return a.satellite < b.satellite;
    if (a.reference != b.reference) return a.reference < b.reference;
    if (a.message != b.message) return a.message < b.message;  // the preferred message first
    return a.file_order > b.file_order;
}

bool same_slot(const BroadcastEphemeris& a, const BroadcastEphemeris& b) {
    return a.satellite == b.satellite && a.reference == b.reference && a.message == b.message;
}

// Nearest usable ephemeris on one side of t, scanning away from t; among those
// sharing its reference the first in storage order (preferred message, latest read).
struct Candidate {
    const BroadcastEphemeris* ephemeris = nullptr;
    double distance = 0.0;
};

bool usable(const BroadcastEphemeris& e, double t, bool healthy_only) {
    return (!healthy_only || e.healthy) && std::fabs(t - e.reference) <= e.max_age;
}

Candidate nearest_behind(const BroadcastEphemeris* first, const BroadcastEphemeris* split, double t, double reach,
                         bool healthy_only) {
    for (const BroadcastEphemeris* p = split; p != first;) {
        --p;
        if (t - p->reference > reach) break;
        if (!usable(*p, t, healthy_only)) continue;
        const BroadcastEphemeris* best = p;
        for (const BroadcastEphemeris* q = p; q != first && (q - 1)->reference == p->reference;) {
            --q;
            if (usable(*q, t, healthy_only)) best = q;
        }
        return {best, t - p->reference};
    }
    return {};
}

Candidate nearest_ahead(const BroadcastEphemeris* split, const BroadcastEphemeris* last, double t, double reach,
                        bool healthy_only) {
    for (const BroadcastEphemeris* p = split; p != last; ++p) {
        if (p->reference - t > reach) break;
        if (usable(*p, t, healthy_only)) return {p, p->reference - t};
    }
    return {};
}

// Elements that are finite but absurd (a semi-major axis of 1e300 m) can overflow:
// such an ephemeris gives no position rather than a non-finite one.
std::optional<Ecef> finite_only(const Ecef& p) {
    if (std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z)) return p;
    return std::nullopt;
}

}  // namespace

const NavData::SatelliteRange* NavData::find(const Satellite& satellite) const {
    const auto it = std::lower_bound(index.begin(), index.end(), satellite,
                                     [](const SatelliteRange& r, const Satellite& s) { return r.satellite < s; });
    return it != index.end() && it->satellite == satellite ? &*it : nullptr;
}

std::vector<Satellite> NavData::satellites() const {
    std::vector<Satellite> out;
    out.reserve(index.size());
    for (const SatelliteRange& r : index) out.push_back(r.satellite);
    return out;
}

NavData make_nav_data(std::vector<BroadcastEphemeris> in_file_order, std::optional<int> header_leap_seconds) {
    NavData nav;
    nav.header_leap_seconds = header_leap_seconds;
    std::sort(in_file_order.begin(), in_file_order.end(), stored_before);
    // Of a repeated (satellite, message, reference) the latest read sorts first and stays.
    in_file_order.erase(std::unique(in_file_order.begin(), in_file_order.end(), same_slot), in_file_order.end());
    nav.ephemerides = std::move(in_file_order);
    for (std::size_t i = 0; i < nav.ephemerides.size(); ++i) {
        const BroadcastEphemeris& e = nav.ephemerides[i];
        if (nav.index.empty() || nav.index.back().satellite != e.satellite) {
            nav.index.push_back({e.satellite, static_cast<uint32_t>(i), static_cast<uint32_t>(i), 0.0});
        }
        NavData::SatelliteRange& r = nav.index.back();
        r.end = static_cast<uint32_t>(i + 1);
        r.longest_age = std::max(r.longest_age, e.max_age);
    }
    return nav;
}

const BroadcastEphemeris* select_ephemeris(const NavData& nav, const NavData::SatelliteRange& range, double t) {
    if (!std::isfinite(t)) return nullptr;
    const BroadcastEphemeris* first = nav.ephemerides.data() + range.begin;
    const BroadcastEphemeris* last = nav.ephemerides.data() + range.end;
    const BroadcastEphemeris* split =
        std::upper_bound(first, last, t, [](double v, const BroadcastEphemeris& e) { return v < e.reference; });
    for (const bool healthy_only : {true, false}) {
        const Candidate behind = nearest_behind(first, split, t, range.longest_age, healthy_only);
        const Candidate ahead = nearest_ahead(split, last, t, range.longest_age, healthy_only);
        if (behind.ephemeris && (!ahead.ephemeris || behind.distance < ahead.distance)) return behind.ephemeris;
        if (ahead.ephemeris) return ahead.ephemeris;
    }
    return nullptr;
}

Ecef ephemeris_position(const BroadcastEphemeris& e, double t) {
    const double dt = t - e.reference;
    if (const auto* k = std::get_if<KeplerElements>(&e.orbit)) return kepler_position(*k, kepler_model(e.satellite), dt);
    const StateVector& s = std::get<StateVector>(e.orbit);
    return e.satellite.system == GnssSystem::GLONASS ? glonass_position(s, dt) : sbas_position(s, dt);
}

std::optional<Ecef> broadcast_position(const NavData& nav, const Satellite& satellite, const Epoch& epoch) {
    const NavData::SatelliteRange* range = nav.find(satellite);
    const auto t = seconds_since_gps_origin(epoch);
    if (!range || !t) return std::nullopt;
    const BroadcastEphemeris* e = select_ephemeris(nav, *range, *t);
    if (!e) return std::nullopt;
    return finite_only(ephemeris_position(*e, *t));
}

BroadcastCursor::BroadcastCursor(const NavData& nav) : nav_(nav), glonass_(nav.ephemerides.size()) {}
BroadcastCursor::~BroadcastCursor() = default;

std::optional<Ecef> BroadcastCursor::position(const Satellite& satellite, const Epoch& epoch) {
    const NavData::SatelliteRange* range = nav_.find(satellite);
    const auto t = seconds_since_gps_origin(epoch);
    if (!range || !t) return std::nullopt;
    const BroadcastEphemeris* e = select_ephemeris(nav_, *range, *t);
    if (!e) return std::nullopt;
    if (e->satellite.system != GnssSystem::GLONASS) return finite_only(ephemeris_position(*e, *t));
    auto& nodes = glonass_[static_cast<std::size_t>(e - nav_.ephemerides.data())];
    if (!nodes) nodes = std::make_unique<GlonassNodes>(std::get<StateVector>(e->orbit));
    return finite_only(nodes->position(*t - e->reference));
}

}  // namespace skyrift
