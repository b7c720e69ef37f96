#pragma once
// The Python instance of MultipathAnalyzer: shared by the file that registers the class
// and by quality(), which builds one to read the analyzer's options the same way.
#include "analysis/multipath/analyzer_config.hpp"
#include "python/support/borrow.hpp"

namespace skyrift {

struct PyAnalyzer {
    AnalyzerConfig config;
    BorrowFlag flag;
};

}  // namespace skyrift
