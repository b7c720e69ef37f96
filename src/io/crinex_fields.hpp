#pragma once
// The pieces of Compact RINEX (Hatanaka) text: numeric difference arcs, text
// differences, and the fixed-point numbers they reconstruct.
//
// A numeric field is either empty (no value), "N&V" (a new arc: difference order N,
// value V), or "D" (the next difference of the arc). Values are integers in units of
// the last printed decimal (observations: thousandths; clock offsets: 1e-9 s in
// RINEX 2, 1e-12 s in RINEX 3). After a start, the k-th following field is the
// min(k, N)-th difference, so the value is rebuilt by summing down the orders.
#include <cstdint>
#include <string>
#include <string_view>

namespace skyrift {

inline constexpr int kMaxDifferenceOrder = 9;

enum class FieldError {
    None,
    BadNumber,         // not an integer, or beyond 64 bits
    OrderOutOfRange,   // "N&" with N not one digit
    OrderMissing,      // "&V": nothing before the "&"
    NotStarted,        // a difference for an arc that has no value
    Overflow,          // the sum leaves 64 bits
};

class DifferenceArc {
public:
    bool active() const { return active_; }
    int64_t value() const { return terms_[0]; }
    void stop() { active_ = false; }

    // Applies the non-empty field at the start of `text`, which runs to the next blank
    // or the end; `length` is set to the field's length, `started` tells whether it
    // opened a new arc.
    FieldError apply(std::string_view text, bool& started, std::size_t& length);
    // The same for a text that is the whole field.
    FieldError apply(std::string_view field, bool& started);

private:
    int64_t terms_[kMaxDifferenceOrder + 1] = {};  // value, then its differences at the last epoch
    uint8_t order_ = 0;
    uint8_t filled_ = 0;  // differences known so far: min(epochs since the start, order)
    bool active_ = false;
};

// Applies a text difference: a blank keeps the reference character (a blank past
// its end), "&" puts a blank, anything else replaces; the reference grows to the
// difference's length and keeps its tail beyond it.
void apply_text_difference(std::string& reference, std::string_view difference);

// Writes `value` / 10^decimals right-aligned into `width` characters that hold blanks
// ("F14.3" style; decimals 3, 9 or 12). False, with nothing written, when the number
// needs more than `width` characters.
bool write_fixed(char* field, std::size_t width, int64_t value, int decimals);

}  // namespace skyrift
