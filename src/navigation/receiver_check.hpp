#pragma once
// A receiver position that cannot be on or near the Earth gives look angles that are
// wrong everywhere without any error: every analysis that places satellites for a
// receiver checks it first.
#include <string_view>

#include "utils/coordinates.hpp"
#include "utils/result.hpp"

namespace skyrift {

// Distances from the Earth's centre (metres) that a receiver may have: the ellipsoid
// spans 6357 to 6378 km, so this allows from deep mines to high aircraft.
inline constexpr double kMinReceiverRadius = 6'300'000.0;
inline constexpr double kMaxReceiverRadius = 6'500'000.0;

// The position itself, or an error naming it (`label` says where it came from: "receiver",
// "the file's APPROX POSITION XYZ"). Only the radius can be judged: a position with its
// signs flipped or its axes swapped lies on the Earth too.
Result<Ecef> checked_receiver(const Ecef& receiver, std::string_view label = "receiver");

}  // namespace skyrift
