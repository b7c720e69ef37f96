#pragma once
// The keyword options of reflector_heights and reflector_heights_from_snr, converted
// into the core's option structs with the module's argument errors.
#include <optional>
#include <vector>

#include "python/common.hpp"

#include "analysis/reflector/reflector_heights.hpp"
#include "analysis/reflector/reflector_inputs.hpp"
#include "rinex/types.hpp"

namespace skyrift {

struct ReflectorCallOptions {
    ReflectorOptions core;
    TrackSelection selection;
    std::optional<double> pressure, temperature, station_height;
    std::vector<ObservationCode> signals;  // only reflector_heights takes `signals`
};

// An S-code (S1C) or a band (S1); ValueError naming the argument otherwise.
ObservationCode signal_or_raise(const std::string& text, const char* name);

// Every keyword of `kwargs`; an unknown one is the TypeError `function` would give.
ReflectorCallOptions reflector_options(const py::kwargs& kwargs, const char* function, bool from_observations);

// Pressure and temperature: as given, else the standard atmosphere at the station.
void settle_atmosphere(ReflectorCallOptions& o, double station_height);

}  // namespace skyrift
