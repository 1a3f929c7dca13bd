// BCJ2: x86 code split by the encoder into four streams (the code with call and jump
// targets removed, call targets, jump targets, and range-coded flags telling which E8/E9/Jcc
// opcodes were converted). Decoding merges them back into one stream.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_stream.h"

namespace velmora::kel {

class Bcj2Stream : public ByteStream {
public:
    Bcj2Stream(ByteStreamPtr main, ByteStreamPtr call, ByteStreamPtr jump, ByteStreamPtr rangeCoded,
               std::uint64_t unpackSize);
    std::size_t read(std::uint8_t* out, std::size_t size) override;

private:
    // A small buffered reader over one of the input streams.
    struct Input {
        ByteStreamPtr stream;
        std::vector<std::uint8_t> buf;
        std::size_t pos = 0, end = 0;
        bool refill();
        bool byte(std::uint8_t& b) {
            if (pos == end && !refill()) return false;
            b = buf[pos++];
            return true;
        }
    };

    bool decodeFlag(std::uint16_t& prob);
    std::uint32_t readTarget(Input& in);

    Input main_, call_, jump_, rc_;
    std::uint64_t remaining_;
    std::uint64_t outPos_ = 0;       // offset of the next output byte
    std::uint8_t prevByte_ = 0;
    std::uint16_t probs_[2 + 256];
    std::uint32_t range_ = 0xFFFFFFFFu, code_ = 0;
    bool started_ = false;
    std::uint8_t pending_[4];        // bytes of a converted target not yet handed out
    unsigned pendingPos_ = 0, pendingCount_ = 0;
};

} // namespace velmora::kel
