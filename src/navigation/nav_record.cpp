#include "navigation/nav_record.hpp"

namespace skyrift {

std::string_view nav_message_name(NavMessage m) {
    switch (m) {
        case NavMessage::Lnav: return "LNAV";
        case NavMessage::Cnav: return "CNAV";
        case NavMessage::Cnav2: return "CNV2";
        case NavMessage::Inav: return "INAV";
        case NavMessage::Fnav: return "FNAV";
        case NavMessage::D1: return "D1";
        case NavMessage::D2: return "D2";
        case NavMessage::Fdma: return "FDMA";
        case NavMessage::Sbas: return "SBAS";
    }
    return "";
}

}  // namespace skyrift
