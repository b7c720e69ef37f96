#pragma once
// The Python instance of AnalysisResults: shared by the file that registers the class
// and the file that adds its array views.
#include "analysis/multipath/multipath_results.hpp"
#include "python/support/borrow.hpp"

namespace skyrift {

struct PyResults {
    AnalysisOutput output;
    BorrowFlag flag;
};

}  // namespace skyrift
