#pragma once
// Input handed over a piece at a time: how a decoder stage reads the bytes before it
// (a file, bytes in memory, or the stream of the stage before it), so that no stage
// needs its whole input at once.
#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "utils/error.hpp"

namespace skyrift {

class PieceSource {
public:
    virtual ~PieceSource() = default;
    // The next piece, valid until the following call; false at the end.
    virtual bool next(std::string_view& piece) = 0;
    // Once next() has said false: the failure that cut the input short, if any.
    virtual std::optional<GnssError> failure() = 0;
};

// Bytes in memory as one piece, borrowed or owned (a stage's input that outlives its caller).
class WholeInput : public PieceSource {
public:
    explicit WholeInput(std::string_view bytes) : bytes_(bytes) {}
    explicit WholeInput(std::string&& owned) : owned_(std::move(owned)), bytes_(owned_) {}
    WholeInput(const WholeInput&) = delete;
    WholeInput& operator=(const WholeInput&) = delete;

    bool next(std::string_view& piece) override {
        if (given_) return false;
        given_ = true;
        piece = bytes_;
        return true;
    }
    std::optional<GnssError> failure() override { return std::nullopt; }
    std::string_view bytes() const { return bytes_; }

private:
    std::string owned_;
    std::string_view bytes_;
    bool given_ = false;
};

// A source seen through a window of contiguous bytes that a decoder consumes from the
// front; `extend` joins the next piece to what is left (a copy only of the rest, which
// is short where a decoder needs a header or a line whole).
class ByteWindow {
public:
    explicit ByteWindow(PieceSource& source) : source_(source) {}
    std::string_view bytes() const { return view_; }
    void consume(std::size_t n) { view_.remove_prefix(n); }
    // Appends the next piece; false at the end of the input. What is left is copied
    // once, then grows in place, so a long stretch over many pieces costs its length.
    bool extend() {
        // The source may reuse its piece's memory: what is left is kept first.
        const bool in_carry =
            !carry_.empty() && view_.data() >= carry_.data() && view_.data() < carry_.data() + carry_.size();
        std::size_t offset = 0;
        if (in_carry) {
            offset = static_cast<std::size_t>(view_.data() - carry_.data());
            if (offset > carry_.size() / 2) {
                carry_.erase(0, offset);
                offset = 0;
            }
        } else if (!view_.empty()) {
            carry_.assign(view_);
        }
        std::string_view piece;
        if (!source_.next(piece)) {
            ended_ = true;
            if (!view_.empty()) view_ = std::string_view(carry_).substr(offset);
            return false;
        }
        if (view_.empty()) {
            view_ = piece;
            return true;
        }
        carry_.append(piece);
        view_ = std::string_view(carry_).substr(offset);
        return true;
    }
    // Extends until at least `n` bytes are in view or the input ends.
    bool ensure(std::size_t n) {
        while (view_.size() < n)
            if (!extend()) return false;
        return true;
    }
    PieceSource& source() { return source_; }
    // The failure that cut the input short, once the input has ended; none before then
    // (a stream asked earlier would wait for an end that no one reads up to).
    std::optional<GnssError> input_failure() { return ended_ ? source_.failure() : std::nullopt; }

private:
    PieceSource& source_;
    std::string_view view_;
    std::string carry_;
    bool ended_ = false;
};

}  // namespace skyrift
