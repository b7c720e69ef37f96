#include "python/support/orbit_arg.hpp"

#include <string>

namespace skyrift {

namespace {

constexpr const char* kExpected = "expected Sp3Data, NavData or a tuple of one of each, got ";

std::string type_name(py::handle h) { return py::str(py::type::handle_of(h).attr("__name__")); }

// Adds one item; false when it is of neither class.
bool add_orbit(SharedOrbit& out, py::handle item, const char* name) {
    if (py::isinstance<Sp3Data>(item)) {
        if (out.precise) raise_argument_error(name, "more than one Sp3Data");
        out.precise = item.cast<std::shared_ptr<Sp3Data>>();
        return true;
    }
    if (py::isinstance<NavData>(item)) {
        if (out.broadcast) raise_argument_error(name, "more than one NavData");
        out.broadcast = item.cast<std::shared_ptr<NavData>>();
        return true;
    }
    return false;
}

}  // namespace

SharedOrbit arg_orbit(py::handle h, const char* name) {
    SharedOrbit out;
    if (h && add_orbit(out, h, name)) return out;
    if (!h || !(py::isinstance<py::tuple>(h) || py::isinstance<py::list>(h))) {
        raise_argument_error(name, kExpected + (h ? type_name(h) : std::string("nothing")));
    }
    const auto items = py::reinterpret_borrow<py::sequence>(h);
    if (items.size() == 0 || items.size() > 2) {
        raise_argument_error(name, kExpected + type_name(h) + " of " + std::to_string(items.size()) + " items");
    }
    for (py::handle item : items) {
        if (!add_orbit(out, item, name)) raise_argument_error(name, kExpected + type_name(h) + " holding " + type_name(item));
    }
    return out;
}

std::optional<Ecef> position_for(const OrbitSource& orbit, py::handle satellite, py::handle epoch) {
    const std::string id = arg_str(satellite, "satellite");
    const Epoch& when = arg_instance<Epoch>(epoch, "epoch");
    const auto sat = parse_satellite_id(id);
    if (!sat) return std::nullopt;
    return orbit.position(*sat, when);
}

}  // namespace skyrift
