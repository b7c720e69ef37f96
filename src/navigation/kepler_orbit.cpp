#include "navigation/kepler_orbit.hpp"

#include <cmath>

#include "rinex/beidou_orbits.hpp"
#include "utils/constants.hpp"

namespace skyrift {

namespace {

// Newton's method on E - e sin E = M; converges in a few steps for GNSS eccentricities.
double eccentric_anomaly(double mean_anomaly, double e) {
    double E = mean_anomaly;
    for (int i = 0; i < 20; ++i) {
        const double step = (E - e * std::sin(E) - mean_anomaly) / (1.0 - e * std::cos(E));
        E -= step;
        if (std::fabs(step) < 1e-14) break;
    }
    return E;
}

}  // namespace

KeplerModel kepler_model(const Satellite& satellite) {
    using namespace broadcast;
    switch (satellite.system) {
        case GnssSystem::Galileo: return {kGalileoMu, kGalileoEarthRate, false};
        case GnssSystem::BeiDou: return {kBeidouMu, kBeidouEarthRate, beidou_geo_ephemeris(satellite.prn)};
        default: return {kGpsMu, kGpsEarthRate, false};
    }
}

Ecef kepler_position(const KeplerElements& k, const KeplerModel& model, double tk) {
    const double a0 = k.sqrt_a * k.sqrt_a;
    const double a = a0 + k.a_dot * tk;
    const double n0 = std::sqrt(model.mu / (a0 * a0 * a0));
    const double n = n0 + k.delta_n + 0.5 * k.delta_n_dot * tk;
    const double mean_anomaly = k.m0 + n * tk;
    const double e = k.eccentricity;
    const double E = eccentric_anomaly(mean_anomaly, e);
    const double true_anomaly = std::atan2(std::sqrt(1.0 - e * e) * std::sin(E), std::cos(E) - e);
    const double phi = true_anomaly + k.omega;
    const double sin2 = std::sin(2.0 * phi), cos2 = std::cos(2.0 * phi);
    const double u = phi + k.cus * sin2 + k.cuc * cos2;
    const double r = a * (1.0 - e * std::cos(E)) + k.crs * sin2 + k.crc * cos2;
    const double i = k.i0 + k.cis * sin2 + k.cic * cos2 + k.idot * tk;
    const double x_plane = r * std::cos(u), y_plane = r * std::sin(u);

    // Longitude of the ascending node: in the rotating Earth frame, except for BeiDou
    // GEO satellites, whose node stays inertial until the final rotation.
    const double node = model.beidou_geo
                            ? k.omega0 + k.omega_dot * tk - model.earth_rate * k.toe_of_week
                            : k.omega0 + (k.omega_dot - model.earth_rate) * tk - model.earth_rate * k.toe_of_week;
    const double cn = std::cos(node), sn = std::sin(node), ci = std::cos(i), si = std::sin(i);
    const double x = x_plane * cn - y_plane * ci * sn;
    const double y = x_plane * sn + y_plane * ci * cn;
    const double z = y_plane * si;
    if (!model.beidou_geo) return {x, y, z};

    // R_z(earth_rate * tk) R_x(-5 deg) applied to (x, y, z).
    const double cf = std::cos(broadcast::kBeidouGeoTiltRad), sf = std::sin(broadcast::kBeidouGeoTiltRad);
    const double y_tilt = cf * y + sf * z;
    const double z_tilt = -sf * y + cf * z;
    const double angle = model.earth_rate * tk;
    const double cr = std::cos(angle), sr = std::sin(angle);
    return {cr * x + sr * y_tilt, -sr * x + cr * y_tilt, z_tilt};
}

}  // namespace skyrift
