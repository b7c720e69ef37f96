#pragma once
// The orbit argument of compute_elevation and compute_elevations (and of any later
// function that needs satellite positions): an Sp3Data, a NavData, or a tuple or
// list holding one of each, in either order. SP3 is always asked first.
#include "python/common.hpp"
#include "navigation/nav_data.hpp"
#include "navigation/orbit_source.hpp"
#include "navigation/sp3_data.hpp"

namespace skyrift {

// TypeError "argument '{name}': ..." for anything else, an empty sequence, or two of a kind.
SharedOrbit arg_orbit(py::handle h, const char* name);

// The (satellite, epoch) arguments of a position query converted and answered; an
// identifier that does not parse is a lookup that finds nothing, not an error.
std::optional<Ecef> position_for(const OrbitSource& orbit, py::handle satellite, py::handle epoch);

}  // namespace skyrift
