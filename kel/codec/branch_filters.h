// Branch converters for executable code (x86, ARM64, ARM, ARM Thumb, PowerPC, SPARC) and the
// delta filter. Each turns the absolute addresses the encoder wrote back into relative ones;
// FilterStream runs one of them over a coder's input stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "common/byte_stream.h"

namespace velmora::kel {

// Converts bytes in place. `position` is the stream offset of data[0]. Returns how many bytes
// are final; the rest must be presented again with the bytes that follow. With last set, every
// byte is final.
class BranchConverter {
public:
    virtual ~BranchConverter() = default;
    virtual std::size_t convert(std::uint8_t* data, std::size_t size, std::uint64_t position, bool last) = 0;
};

enum class BranchKind { X86, Arm64, Arm, ArmThumb, PowerPc, Sparc };

// props: the coder's properties (an optional 32-bit start offset).
std::unique_ptr<BranchConverter> makeBranchConverter(BranchKind kind, const std::uint8_t* props, std::size_t propsSize);
// The delta filter; its property byte is the distance minus one.
std::unique_ptr<BranchConverter> makeDeltaConverter(const std::uint8_t* props, std::size_t propsSize);

class FilterStream : public ByteStream {
public:
    FilterStream(ByteStreamPtr input, std::unique_ptr<BranchConverter> converter);
    std::size_t read(std::uint8_t* out, std::size_t size) override;

private:
    ByteStreamPtr input_;
    std::unique_ptr<BranchConverter> converter_;
    std::vector<std::uint8_t> buf_;
    std::size_t readyBegin_ = 0, readyEnd_ = 0;  // converted bytes not yet handed out
    std::size_t pendingEnd_ = 0;                 // unconverted bytes follow the ready ones
    std::uint64_t position_ = 0;                 // stream offset of buf_[0]
    bool inputDone_ = false;
};

} // namespace velmora::kel
