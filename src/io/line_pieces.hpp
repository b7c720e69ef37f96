#pragma once
// Text written into a buffer and handed to a TextStream in pieces that end at line
// ends: a decoder writes where next() points, then says how much it wrote; make_room()
// hands over the whole lines and keeps the unfinished one for the next piece.
#include <algorithm>
#include <cstring>
#include <optional>
#include <string>

#include "io/text_stream.hpp"

namespace skyrift {

class LinePieces {
public:
    explicit LinePieces(TextStream& stream) : stream_(stream), piece_(kStreamPiece, '\0') {}
    char* next() { return piece_.data() + produced_; }
    std::size_t room() const { return piece_.size() - produced_; }
    void wrote(std::size_t n) { produced_ += n; }
    // False when the reader has gone: stop decoding.
    bool make_room() {
        const auto* last = static_cast<const char*>(memrchr(piece_.data(), '\n', produced_));
        if (!last) {
            piece_.resize(piece_.size() * 2);  // one line longer than a piece
            return true;
        }
        const std::size_t cut = static_cast<std::size_t>(last - piece_.data()) + 1;
        std::string rest(std::max(kStreamPiece, 2 * (produced_ - cut)), '\0');
        std::memcpy(rest.data(), piece_.data() + cut, produced_ - cut);
        piece_.resize(cut);
        produced_ -= cut;
        const bool reader_waits = stream_.push(std::move(piece_));
        piece_ = std::move(rest);
        return reader_waits;
    }
    // Copies `text` in; false when the reader has gone.
    bool write(std::string_view text) {
        while (!text.empty()) {
            if (room() == 0 && !make_room()) return false;
            const std::size_t n = std::min(room(), text.size());
            std::memcpy(next(), text.data(), n);
            wrote(n);
            text.remove_prefix(n);
        }
        return true;
    }
    void finish(std::optional<GnssError> error) {
        piece_.resize(produced_);
        if (!piece_.empty()) stream_.push(std::move(piece_));
        stream_.close(std::move(error));
    }

private:
    TextStream& stream_;
    std::string piece_;
    std::size_t produced_ = 0;
};

}  // namespace skyrift
