#include "python/support/orbit_arg.hpp"

#include <algorithm>
#include <string>

#include "navigation/receiver_check.hpp"

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
    const auto sat = arg_satellite(satellite, "satellite");
    const Epoch& when = arg_instance<Epoch>(epoch, "epoch");
    if (!sat) return std::nullopt;
    return orbit.position(*sat, when);
}

void check_orbit_use(const SharedOrbit& orbit, const Ecef& receiver, const char* receiver_label,
                     const std::optional<TimeSpanMs>& observed, const char* what) {
    value_or_raise(checked_receiver(receiver, receiver_label));
    if (!observed) return;
    const OrbitCoverage coverage = value_or_raise(require_orbit_overlap(orbit.source(), *observed, what));
    if (coverage.share < 1.0) warn_user(partial_coverage_text(coverage, what));
}

void check_orbit_use(const SharedOrbit& orbit, const Ecef& receiver, const char* receiver_label,
                     const RinexObsData& obs) {
    std::optional<TimeSpanMs> observed;
    if (!obs.epochs.empty()) {
        const auto [first, last] = std::minmax_element(
            obs.epochs.begin(), obs.epochs.end(),
            [](const EpochRecord& a, const EpochRecord& b) { return a.instant_ms < b.instant_ms; });
        observed = TimeSpanMs{first->instant_ms, last->instant_ms};
    }
    check_orbit_use(orbit, receiver, receiver_label, observed, "observations");
}

py::object span_tuple(const std::optional<TimeSpanMs>& span) {
    if (!span) return py::none();
    return py::make_tuple(epoch_from_ms(span->first), epoch_from_ms(span->last));
}

}  // namespace skyrift
