#pragma once
// Every register_* function of the binding layer, called by module.cpp in the
// module's fixed registration order.
#include <pybind11/pybind11.h>

namespace skyrift {

namespace py = pybind11;

// Classes of the specified surface, in its order
void register_system_and_satellite(py::module_& m);  // GnssSystem, Satellite
void register_epoch(py::module_& m);                 // Epoch
void register_coordinates(py::module_& m);           // Ecef, Geodetic
void register_rinex_obs_data(py::module_& m);        // RinexObsData
// MultipathEstimate, MultipathStats, CycleSlip, AnalysisResults, MultipathAnalyzer
void register_multipath_classes(py::module_& m);
void register_snr_series(py::module_& m);            // SnrSeries
void register_sp3_data(py::module_& m);              // Sp3Data
// No class of its own: adds to_numpy / to_pandas / to_xarray to AnalysisResults and RinexObsData
void register_array_views(py::module_& m);

// Functions
void register_rinex_readers(py::module_& m);         // read_rinex_obs, read_rinex_obs_bytes
void register_read_sp3(py::module_& m);              // read_sp3
void register_frequency_functions(py::module_& m);   // get_frequency, get_wavelength
void register_calculate_azel(py::module_& m);        // calculate_azel
void register_compute_elevation(py::module_& m);     // compute_elevation
void register_version(py::module_& m);               // version
void register_snr_functions(py::module_& m);         // morlet_cwt ... scalogram
void register_snr_survey(py::module_& m);            // analyze_snr_wavelets

// Constants
void register_constants(py::module_& m);

// Additions, after the constants: each registers a class and its functions
void register_reflector(py::module_& m);  // ReflectorHeights; reflector_heights, reflector_heights_from_snr
void register_nav(py::module_& m);        // NavData; read_rinex_nav, read_rinex_nav_bytes
void register_quality(py::module_& m);    // QualityReport; quality
void register_quality_tables(py::module_& m);  // no class of its own: the tables of QualityReport
void register_observation_rows(py::module_& m);  // RinexObsData.to_pandas

}  // namespace skyrift
