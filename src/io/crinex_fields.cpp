#include "io/crinex_fields.hpp"

#include <array>
#include <cstring>

namespace skyrift {

namespace {

constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Writes `value` in decimal ending just before `end`; returns the first character.
char* put_number(char* end, uint64_t value) {
    while (value >= 100) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    if (value >= 10) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * value, 2);
    } else {
        *--end = static_cast<char>('0' + value);
    }
    return end;
}

constexpr uint64_t power_of_ten(int n) {
    uint64_t p = 1;
    while (n-- > 0) p *= 10;
    return p;
}

// The decimals are a constant for each caller, so the divisions become multiplications.
template <int Decimals>
bool write_fixed_as(char* field, std::size_t width, int64_t value) {
    constexpr uint64_t scale = power_of_ten(Decimals);
    const bool negative = value < 0;
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    const uint64_t whole = magnitude / scale;
    // Digits left for the whole part once the point, the decimals and the sign are placed.
    const std::size_t room = width - Decimals - 1 - (negative ? 1 : 0);
    static constexpr auto kLimits = [] {
        std::array<uint64_t, 20> limits{};
        for (int i = 0; i < 20; ++i) limits[i] = power_of_ten(i);
        return limits;
    }();
    if (width < Decimals + 2 + (negative ? 1 : 0) || (room < kLimits.size() && whole >= kLimits[room])) return false;
    uint64_t fraction = magnitude % scale;
    char* p = field + width;
    for (int i = 0; i + 1 < Decimals; i += 2) {
        p -= 2;
        std::memcpy(p, kDigitPairs + 2 * (fraction % 100), 2);
        fraction /= 100;
    }
    if (Decimals % 2 == 1) *--p = static_cast<char>('0' + fraction);
    *--p = '.';
    p = put_number(p, whole);
    if (negative) *--p = '-';
    return true;
}

enum class Parsed { Number, Start, BadNumber, BadOrder, NoOrder };

// "D" or "N&V" (an order digit, "&", a value) up to the next blank; values are
// decimal integers with an optional "-", within 64 bits.
Parsed parse_field(std::string_view text, int64_t& value, int& order, std::size_t& length) {
    std::size_t i = 0;
    if (!text.empty() && text[0] == '&') return Parsed::NoOrder;
    const bool start = text.size() >= 2 && text[1] == '&';
    if (start) {
        if (text[0] < '0' || text[0] > '9') return Parsed::BadOrder;
        order = text[0] - '0';
        i = 2;
    }
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    const std::size_t first_digit = i;
    uint64_t magnitude = 0;
    for (; i < text.size() && text[i] != ' '; ++i) {
        const unsigned digit = static_cast<unsigned>(static_cast<unsigned char>(text[i])) - '0';
        if (digit > 9) return text[i] == '&' ? Parsed::BadOrder : Parsed::BadNumber;
        magnitude = magnitude * 10 + digit;
    }
    length = i;
    // Nineteen digits always fit the unsigned sum; the sign's range is checked after.
    if (i == first_digit || i - first_digit > 19) return Parsed::BadNumber;
    if (magnitude > (negative ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1)) return Parsed::BadNumber;
    value = negative ? static_cast<int64_t>(0 - magnitude) : static_cast<int64_t>(magnitude);
    return start ? Parsed::Start : Parsed::Number;
}

}  // namespace

FieldError DifferenceArc::apply(std::string_view field, bool& started) {
    std::size_t length = 0;
    const FieldError error = apply(field, started, length);
    return error == FieldError::None && length != field.size() ? FieldError::BadNumber : error;
}

FieldError DifferenceArc::apply(std::string_view text, bool& started, std::size_t& length) {
    int64_t number = 0;
    int order = 0;
    const Parsed parsed = parse_field(text, number, order, length);
    started = parsed == Parsed::Start;
    if (parsed == Parsed::BadOrder) return FieldError::OrderOutOfRange;
    if (parsed == Parsed::NoOrder) return FieldError::OrderMissing;
    if (parsed == Parsed::BadNumber) return FieldError::BadNumber;
    if (started) {
        terms_[0] = number;
        order_ = static_cast<uint8_t>(order);
        filled_ = 0;
        active_ = true;
        return FieldError::None;
    }
    if (!active_) return FieldError::NotStarted;
    // The newest difference, then each lower order as the old one plus the one above.
    const int level = filled_ < order_ ? filled_ + 1 : order_;
    terms_[level] = number;
    for (int i = level - 1; i >= 0; --i)
        if (__builtin_add_overflow(terms_[i], terms_[i + 1], &terms_[i])) {
            active_ = false;
            return FieldError::Overflow;
        }
    filled_ = static_cast<uint8_t>(level);
    return FieldError::None;
}

void apply_text_difference(std::string& reference, std::string_view difference) {
    if (difference.size() > reference.size()) reference.resize(difference.size(), ' ');
    for (std::size_t i = 0; i < difference.size(); ++i) {
        const char c = difference[i];
        if (c == ' ') continue;
        reference[i] = c == '&' ? ' ' : c;
    }
}

bool write_fixed(char* field, std::size_t width, int64_t value, int decimals) {
    switch (decimals) {
        case 3: return write_fixed_as<3>(field, width, value);
        case 9: return write_fixed_as<9>(field, width, value);
        case 12: return write_fixed_as<12>(field, width, value);
        default: return false;
    }
}

}  // namespace skyrift
