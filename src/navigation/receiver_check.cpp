#include "navigation/receiver_check.hpp"

#include <string>

#include "utils/format.hpp"

namespace skyrift {

Result<Ecef> checked_receiver(const Ecef& receiver, std::string_view label) {
    const double radius = magnitude(receiver);
    if (radius >= kMinReceiverRadius && radius <= kMaxReceiverRadius) return receiver;
    return GnssError::other(std::string(label) + " (" + fmt_fixed(receiver.x, 3) + ", " + fmt_fixed(receiver.y, 3) + ", " +
                                    fmt_fixed(receiver.z, 3) + ") is " + fmt_fixed(radius / 1000.0, 1) +
                                    " km from the Earth's centre; a receiver on or near the Earth lies " +
                                    fmt_fixed(kMinReceiverRadius / 1000.0, 0) + " to " +
                                    fmt_fixed(kMaxReceiverRadius / 1000.0, 0) + " km from it (ECEF metres)");
}

}  // namespace skyrift
