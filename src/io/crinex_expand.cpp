#include <algorithm>
#include <cstring>

#include "io/crinex.hpp"
#include "io/crinex_decoder.hpp"
#include "io/decoder_stages.hpp"
#include "utils/memory.hpp"

namespace skyrift {

namespace {

constexpr std::string_view kVersionLabel = "CRINEX VERS   / TYPE";

}  // namespace

bool has_crinex_header(std::string_view text) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string_view first = text.substr(0, end);
    while (!first.empty() && (first.back() == '\r' || first.back() == ' ')) first.remove_suffix(1);
    return first.size() > 60 && first.substr(60) == kVersionLabel;
}

bool recognises_crinex(std::string_view /*file_name*/, std::string_view data) { return has_crinex_header(data); }

TextBuffer expand_crinex(std::string_view text) {
    TextBuffer result;
    std::string& out = result.text;
    // Expanded observation text is about three times its compact form.
    out.reserve(text.size() * 3 + 4096);
    advise_huge_pages(out.data(), out.capacity());
    CrinexDecoder decoder;
    std::size_t complete = 0;  // output up to the last whole epoch
    uint64_t index = 0;
    std::size_t position = 0;
    while (position < text.size()) {
        const char* begin = text.data() + position;
        const auto* newline = static_cast<const char*>(std::memchr(begin, '\n', text.size() - position));
        if (!newline) {
            // Nothing a compressor writes ends without a line end: the file was cut.
            out.resize(complete);
            result.trailing_error = GnssError::rinex_parse(index, "Compact RINEX: last line cut short");
            return result;
        }
        std::string_view line(begin, static_cast<std::size_t>(newline - begin));
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (auto error = decoder.line(line, index, out)) {
            out.resize(complete);
            result.trailing_error = std::move(error);
            return result;
        }
        if (decoder.between_epochs()) complete = out.size();
        position = static_cast<std::size_t>(newline - text.data()) + 1;
        ++index;
    }
    if (auto error = decoder.finish(index)) {
        out.resize(complete);
        result.trailing_error = std::move(error);
    }
    return result;
}

}  // namespace skyrift
