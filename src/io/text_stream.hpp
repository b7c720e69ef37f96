#pragma once
// Decoded text that arrives in pieces from a decoder running on a thread of its own,
// so that the reader parses one piece while the next is decoded (on two cores the
// decoding hides behind the parsing). Every piece ends at a line end, except a last
// piece cut short by damage; the decoder's failure comes after the last piece.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "utils/error.hpp"

namespace skyrift {

class TextStream {
public:
    // Runs `produce` on a new thread; it pushes the pieces, then closes the stream.
    // `expected_size` guesses the whole text's size (readers size their storage by it);
    // `earlier_failure`, a failure of the decoder before this one (which cut this
    // one's input short), is reported instead of this decoder's own.
    TextStream(std::size_t expected_size, std::optional<GnssError> earlier_failure,
               std::function<void(TextStream&)> produce);
    // A reader that stops early makes the producer stop at its next piece.
    ~TextStream();
    TextStream(const TextStream&) = delete;
    TextStream& operator=(const TextStream&) = delete;

    // Producer side. `push` is false once the reader has gone: stop decoding.
    bool push(std::string piece);
    void close(std::optional<GnssError> error);

    // Reader side: waits for the next piece; false at the end. Pieces stay valid as
    // long as the stream lives.
    bool next(std::string_view& piece);
    // Waits for the end; the decoder's failure, if any.
    const std::optional<GnssError>& final_error();
    std::size_t expected_size() const { return expected_size_; }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> pieces_;  // a deque keeps earlier pieces in place as it grows
    std::size_t taken_ = 0;
    bool closed_ = false;
    bool abandoned_ = false;
    std::optional<GnssError> error_;
    std::size_t expected_size_;
    std::thread producer_;
};

// How big a piece a streaming decoder hands over: large enough that the two threads
// rarely meet at the lock, small enough that the reader starts at once.
inline constexpr std::size_t kStreamPiece = std::size_t{2} << 20;

}  // namespace skyrift
