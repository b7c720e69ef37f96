#pragma once
// The orbit argument of compute_elevation and compute_elevations (and of any later
// function that needs satellite positions): an Sp3Data, a NavData, or a tuple or
// list holding one of each, in either order. SP3 is always asked first.
#include "python/common.hpp"
#include <optional>

#include "navigation/nav_data.hpp"
#include "navigation/orbit_coverage.hpp"
#include "navigation/orbit_source.hpp"
#include "navigation/sp3_data.hpp"
#include "rinex/obs_data.hpp"

namespace skyrift {

// TypeError "argument '{name}': ..." for anything else, an empty sequence, or two of a kind.
SharedOrbit arg_orbit(py::handle h, const char* name);

// The (satellite, epoch) arguments of a position query converted and answered; the
// satellite is a Satellite or its identifier, and an identifier that does not parse is a
// lookup that finds nothing, not an error.
std::optional<Ecef> position_for(const OrbitSource& orbit, py::handle satellite, py::handle epoch);

// Before an analysis places satellites for a receiver. ValueError for a receiver that
// cannot be on or near the Earth (`receiver_label` names where it came from) and for an
// orbit that covers none of `observed` (`what` names those: "observations", "estimates");
// a UserWarning with the share when it covers part. Nothing is checked against an
// absent span (no epochs, no estimates).
void check_orbit_use(const SharedOrbit& orbit, const Ecef& receiver, const char* receiver_label,
                     const std::optional<TimeSpanMs>& observed, const char* what);
// The same against the span of an observation file's epochs.
void check_orbit_use(const SharedOrbit& orbit, const Ecef& receiver, const char* receiver_label,
                     const RinexObsData& obs);

// The (first, last) Epochs of a span as a tuple, or None: for the orbits' covered_span().
py::object span_tuple(const std::optional<TimeSpanMs>& span);

}  // namespace skyrift
