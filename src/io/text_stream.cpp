#include "io/text_stream.hpp"

#include <new>

namespace skyrift {

TextStream::TextStream(std::size_t expected_size, std::optional<GnssError> earlier_failure,
                       std::function<void(TextStream&)> produce)
    : error_(std::move(earlier_failure)), expected_size_(expected_size) {
    producer_ = std::thread([this, produce = std::move(produce)] {
        try {
            produce(*this);
        } catch (const std::bad_alloc&) {
            close(GnssError::io("out of memory"));
        }
        close(std::nullopt);  // a producer that returned without closing ended cleanly
    });
}

TextStream::~TextStream() {
    {
        std::lock_guard lock(mutex_);
        abandoned_ = true;
    }
    producer_.join();
}

bool TextStream::push(std::string piece) {
    std::lock_guard lock(mutex_);
    if (abandoned_) return false;
    pieces_.push_back(std::move(piece));
    changed_.notify_one();
    return true;
}

void TextStream::close(std::optional<GnssError> error) {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (!error_) error_ = std::move(error);
    closed_ = true;
    changed_.notify_one();
}

bool TextStream::next(std::string_view& piece) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return taken_ < pieces_.size() || closed_; });
    if (taken_ == pieces_.size()) return false;
    piece = pieces_[taken_++];
    return true;
}

const std::optional<GnssError>& TextStream::final_error() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return closed_; });
    return error_;
}

}  // namespace skyrift
