// The limits behind the pass/warn/fail flags.
#include "analysis/quality/quality_report.hpp"

namespace skyrift {

std::vector<Threshold> default_thresholds() {
    // Multipath: our own levels (ARCHITECTURE.md gives the sources and what they say);
    // MP2's is 1.5 times MP1's, as teqc's MP1 RMS is usually 50-80 % of its MP2 RMS.
    // Above warn warns, above twice it fails.
    return {{"completeness", 95.0, 90.0, true},
            {"mp1", 0.4, 0.8, false},
            {"mp2", 0.6, 1.2, false},
            {"obs_per_slip", 500.0, 100.0, true}};
}

std::string_view verdict_text(Verdict v) {
    switch (v) {
        case Verdict::Pass: return "pass";
        case Verdict::Warn: return "warn";
        case Verdict::Fail: return "fail";
    }
    return "pass";
}

Verdict judge(const Threshold& t, double value) {
    if (t.higher_is_better) {
        if (value < t.fail) return Verdict::Fail;
        if (value < t.warn) return Verdict::Warn;
        return Verdict::Pass;
    }
    if (value > t.fail) return Verdict::Fail;
    if (value > t.warn) return Verdict::Warn;
    return Verdict::Pass;
}

}  // namespace skyrift
