// BCJ2 merging: bytes are copied from the main stream until an E8, E9 or 0F 8x opcode; a
// range-coded flag (one probability per preceding byte for E8, one for E9, one for Jcc) says
// whether its four target bytes come, big-endian and absolute, from the call or jump stream.
#include "codec/bcj2_decoder.h"

#include <algorithm>

#include "common/kel_error.h"

namespace velmora::kel {
namespace {
constexpr std::uint32_t kTop = 1u << 24;
bool isJump(std::uint8_t prev, std::uint8_t b) { return (b & 0xFE) == 0xE8 || (prev == 0x0F && (b & 0xF0) == 0x80); }
} // namespace

bool Bcj2Stream::Input::refill() {
    if (buf.empty()) buf.resize(1u << 16);
    pos = 0;
    end = stream->read(buf.data(), buf.size());
    return end != 0;
}

Bcj2Stream::Bcj2Stream(ByteStreamPtr main, ByteStreamPtr call, ByteStreamPtr jump, ByteStreamPtr rangeCoded,
                       std::uint64_t unpackSize)
    : remaining_(unpackSize) {
    main_.stream = std::move(main);
    call_.stream = std::move(call);
    jump_.stream = std::move(jump);
    rc_.stream = std::move(rangeCoded);
    std::fill(std::begin(probs_), std::end(probs_), std::uint16_t(1024));
}

bool Bcj2Stream::decodeFlag(std::uint16_t& prob) {
    if (range_ < kTop) {
        std::uint8_t b;
        if (!rc_.byte(b)) corrupt("BCJ2 data is truncated");
        range_ <<= 8;
        code_ = (code_ << 8) | b;
    }
    const std::uint32_t bound = (range_ >> 11) * prob;
    if (code_ < bound) {
        range_ = bound;
        prob = static_cast<std::uint16_t>(prob + ((2048 - prob) >> 5));
        return false;
    }
    range_ -= bound;
    code_ -= bound;
    prob = static_cast<std::uint16_t>(prob - (prob >> 5));
    return true;
}

std::uint32_t Bcj2Stream::readTarget(Input& in) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) {
        std::uint8_t b;
        if (!in.byte(b)) corrupt("BCJ2 data is truncated");
        v = (v << 8) | b;
    }
    return v;
}

std::size_t Bcj2Stream::read(std::uint8_t* out, std::size_t size) {
    if (!started_) {
        for (int i = 0; i < 5; ++i) {
            std::uint8_t b;
            if (!rc_.byte(b)) corrupt("BCJ2 data is truncated");
            code_ = (code_ << 8) | b;
        }
        if (code_ == 0xFFFFFFFFu) corrupt("BCJ2 data error");
        started_ = true;
    }
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, remaining_));
    std::size_t n = 0;
    while (n < want) {
        if (pendingPos_ < pendingCount_) {
            out[n++] = pending_[pendingPos_++];
            continue;
        }
        // Copy plain bytes up to and including the next opcode that may carry a target.
        if (main_.pos == main_.end && !main_.refill()) corrupt("BCJ2 data is truncated");
        const std::uint8_t* p = main_.buf.data() + main_.pos;
        const std::size_t avail = std::min(main_.end - main_.pos, want - n);
        std::uint8_t prev = prevByte_;
        std::size_t k = 0;
        bool found = false;
        while (k < avail) {
            const std::uint8_t b = p[k];
            out[n + k] = b;
            ++k;
            if (isJump(prev, b)) {
                found = true;
                break;
            }
            prev = b;
        }
        main_.pos += k;
        n += k;
        outPos_ += k;
        if (!found) {
            prevByte_ = prev;
            continue;
        }
        const std::uint8_t op = p[k - 1];
        if (remaining_ == n) {  // the last byte of the stream: no flag follows
            prevByte_ = op;
            break;
        }
        std::uint16_t& prob = probs_[op == 0xE8 ? 2u + prev : (op == 0xE9 ? 1u : 0u)];
        if (!decodeFlag(prob)) {
            prevByte_ = op;
            continue;
        }
        const std::uint32_t target = readTarget(op == 0xE8 ? call_ : jump_) - static_cast<std::uint32_t>(outPos_ + 4);
        for (int i = 0; i < 4; ++i) pending_[i] = static_cast<std::uint8_t>(target >> (8 * i));
        pendingPos_ = 0;
        pendingCount_ = 4;
        outPos_ += 4;
        prevByte_ = static_cast<std::uint8_t>(target >> 24);
    }
    remaining_ -= n;
    return n;
}

} // namespace velmora::kel
