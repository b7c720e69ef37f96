#pragma once
// Decoded text that arrives in pieces from a decoder running on a thread of its own,
// so that the reader parses one piece while the next is decoded. Every piece ends at a
// line end, except a last piece cut short by damage; the decoder's failure comes after
// the last piece.
//
// The stream holds little: a decoder waits while a few pieces are queued unread, and a
// reader releases the pieces it no longer needs (LineSource::release_before), so a file
// of any size passes through a few hundred kilobytes of text.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "io/piece_source.hpp"
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

    // Producer side. `push` waits while kPiecesAhead pieces are unread; false once the
    // reader has gone: stop decoding.
    bool push(std::string piece);
    void close(std::optional<GnssError> error);
    // Whether the reader has gone, for a producer that reads on without pushing.
    bool abandoned();

    // Reader side: waits for the next piece; false at the end. `number` counts the
    // pieces from 0. A piece stays valid until released.
    bool next(std::string_view& piece, std::size_t& number);
    // Frees every piece numbered below `number`.
    void release_before(std::size_t number);
    // Waits for the end; the decoder's failure, if any.
    const std::optional<GnssError>& final_error();
    std::size_t expected_size() const { return expected_size_; }

private:
    std::mutex mutex_;
    std::condition_variable readable_;  // a piece came, or the stream closed
    std::condition_variable writable_;  // a piece was taken, or the reader went
    std::deque<std::string> pieces_;    // pieces released_ .. released_ + size - 1
    std::size_t released_ = 0;
    std::size_t taken_ = 0;
    bool closed_ = false;
    bool abandoned_ = false;
    std::optional<GnssError> error_;
    std::size_t expected_size_;
    std::thread producer_;
};

// The stream of the stage before, read as a stage's input: each piece is released
// when the next is asked for.
class StreamInput : public PieceSource {
public:
    explicit StreamInput(std::shared_ptr<TextStream> stream) : stream_(std::move(stream)) {}
    bool next(std::string_view& piece) override {
        if (taken_) stream_->release_before(number_ + 1);
        taken_ = stream_->next(piece, number_);
        return taken_;
    }
    std::optional<GnssError> failure() override { return stream_->final_error(); }

private:
    std::shared_ptr<TextStream> stream_;
    std::size_t number_ = 0;
    bool taken_ = false;
};

// How big a piece a streaming decoder hands over, and how many may wait unread: enough
// that the threads rarely wait for each other, little enough that the text in flight
// stays a small part of what a read keeps.
inline constexpr std::size_t kStreamPiece = std::size_t{256} << 10;
inline constexpr std::size_t kPiecesAhead = 4;

}  // namespace skyrift
