#include "io/text_stream.hpp"

#include <new>

namespace skyrift {

TextStream::TextStream(std::size_t expected_size, std::optional<GnssError> earlier_failure,
                       std::function<void(TextStream&)> produce)
    : error_(std::move(earlier_failure)), expected_size_(expected_size) {
    producer_ = std::thread([this, produce = std::move(produce)]() mutable {
        try {
            produce(*this);
        } catch (const std::bad_alloc&) {
            close(GnssError::io("out of memory"));
        }
        close(std::nullopt);  // a producer that returned without closing ended cleanly
        produce = nullptr;    // an input stream it owns stops here, on this thread
    });
}

TextStream::~TextStream() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    writable_.notify_all();
    producer_.join();
}

bool TextStream::push(std::string piece) {
    std::unique_lock lock(mutex_);
    writable_.wait(lock, [&] { return abandoned_ || released_ + pieces_.size() - taken_ < kPiecesAhead; });
    if (abandoned_) return false;
    pieces_.push_back(std::move(piece));
    readable_.notify_one();
    return true;
}

void TextStream::close(std::optional<GnssError> error) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (!error_) error_ = std::move(error);
    closed_ = true;
    readable_.notify_all();
}

bool TextStream::abandoned() {
    std::lock_guard lock(mutex_);
    return abandoned_;
}

bool TextStream::next(std::string_view& piece, std::size_t& number) {
    std::unique_lock lock(mutex_);
    readable_.wait(lock, [&] { return taken_ < released_ + pieces_.size() || closed_; });
    if (taken_ == released_ + pieces_.size()) return false;
    number = taken_++;
    piece = pieces_[number - released_];
    writable_.notify_one();
    return true;
}

void TextStream::release_before(std::size_t number) {
    std::deque<std::string> freed;  // freed outside the lock
    {
        std::lock_guard lock(mutex_);
        while (released_ < number && released_ < taken_ && !pieces_.empty()) {
            freed.push_back(std::move(pieces_.front()));
            pieces_.pop_front();
            ++released_;
        }
    }
}

const std::optional<GnssError>& TextStream::final_error() {
    std::unique_lock lock(mutex_);
    readable_.wait(lock, [&] { return closed_; });
    return error_;
}

}  // namespace skyrift
