// RinexObsData.to_pandas(): the observations as one long table.
#include "python/common.hpp"
#include "python/bindings.hpp"
#include "python/support/columns.hpp"

#include "rinex/obs_rows.hpp"

namespace skyrift {

namespace {

template <typename T>
py::array_t<T> column(std::size_t rows) {
    return py::array_t<T>(static_cast<py::ssize_t>(rows));
}

py::object observations_to_pandas(const std::shared_ptr<RinexObsData>& data) {
    const py::module_ pd = import_extra("pandas", "RinexObsData.to_pandas()");
    const RinexObsData& d = *data;
    const std::size_t rows = d.observations.size();
    py::array time(py::dtype("datetime64[ms]"), std::vector<py::ssize_t>{static_cast<py::ssize_t>(rows)});
    auto satellite = column<int16_t>(rows);
    auto code = column<int16_t>(rows);
    auto value = column<double>(rows);
    auto lli = column<int8_t>(rows);
    auto ssi = column<int8_t>(rows);
    const ObservationRowBuffers out{static_cast<int64_t*>(time.mutable_data()), satellite.mutable_data(),
                                    code.mutable_data(), value.mutable_data(), lli.mutable_data(),
                                    ssi.mutable_data()};
    const ObservationRowCategories categories = call_released([&] {
        ObservationRowCategories c = observation_row_categories(d);
        fill_observation_rows(d, c, out);
        return c;
    });
    std::vector<std::string> satellite_ids, code_texts;
    for (const Satellite& s : categories.satellites) satellite_ids.push_back(s.id());
    for (const ObservationCode& c : categories.codes) code_texts.push_back(c.text());
    const py::object categorical = pd.attr("Categorical").attr("from_codes");
    py::dict columns;
    columns["time"] = time;
    columns["satellite"] = categorical(satellite, py::arg("categories") = text_array(satellite_ids));
    columns["code"] = categorical(code, py::arg("categories") = text_array(code_texts));
    columns["value"] = value;
    columns["lli"] = lli;
    columns["ssi"] = ssi;
    // The columns are new arrays of their own: no copy is needed.
    py::object frame = pd.attr("DataFrame")(columns, py::arg("copy") = false);
    const std::string& scale = d.header.time_system;
    frame.attr("attrs")["time_scale"] = scale.empty() ? std::string("GPS") : scale;
    return frame;
}

}  // namespace

void register_observation_rows(py::module_& m) {
    auto obs = py::reinterpret_borrow<py::class_<RinexObsData, std::shared_ptr<RinexObsData>>>(m.attr("RinexObsData"));
    obs.def("to_pandas", &observations_to_pandas,
            doc_sig("to_pandas($self)",
                    "The observations as a long pandas DataFrame, one row per stored observation in\n"
                    "storage order (epochs in file order, satellites and codes sorted within each):\n"
                    "time (datetime64[ms] in the file's time scale: attrs['time_scale'], the header's\n"
                    "time system or else GPS), satellite and code (categorical), value (float64), and\n"
                    "lli and ssi (int8, -1 where the file gives no indicator).\n"
                    "Needs pandas (the skyrift_mp[pandas] extra).")
                .c_str());
}

}  // namespace skyrift
