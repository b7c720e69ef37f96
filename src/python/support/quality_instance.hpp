#pragma once
// The Python instance of QualityReport: shared by the file that registers the class
// and the file that adds its tables. Immutable, so it needs no borrow flag.
#include <memory>

#include "analysis/quality/quality_report.hpp"

namespace skyrift {

struct PyQualityReport {
    std::shared_ptr<const QualityReport> report;
};

}  // namespace skyrift
