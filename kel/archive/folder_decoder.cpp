// The coder graph of a folder, built from its main output backwards: an out stream belongs to
// one coder, whose in streams are bound to other coders' out streams or to pack streams.
#include "archive/folder_decoder.h"

#include <algorithm>
#include <cstring>

#include "codec/bcj2_decoder.h"
#include "codec/branch_filters.h"
#include "codec/bzip2_decoder.h"
#include "codec/deflate_decoder.h"
#include "codec/lzma2_decoder.h"
#include "codec/lzma_decoder.h"
#include "common/kel_error.h"
#include "crypto/seven_zip_aes.h"

namespace velmora::kel {
namespace {

constexpr std::uint32_t kMaxStreams = 64;

// A pack stream: a byte range of the archive.
class PackStream : public ByteStream {
public:
    PackStream(std::shared_ptr<const ArchiveSource> source, std::uint64_t offset, std::uint64_t size)
        : source_(std::move(source)), offset_(offset), left_(size) {}
    std::size_t read(std::uint8_t* out, std::size_t size) override {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, left_));
        if (n == 0) return 0;
        source_->readAt(offset_, out, n);
        offset_ += n;
        left_ -= n;
        return n;
    }

private:
    std::shared_ptr<const ArchiveSource> source_;
    std::uint64_t offset_;
    std::uint64_t left_;
};

// At most `size` bytes of another stream (the Copy coder).
class LimitStream : public ByteStream {
public:
    LimitStream(ByteStreamPtr input, std::uint64_t size) : input_(std::move(input)), left_(size) {}
    std::size_t read(std::uint8_t* out, std::size_t size) override {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(size, left_));
        if (want == 0) return 0;
        const std::size_t n = input_->read(out, want);
        left_ -= n;
        return n;
    }

private:
    ByteStreamPtr input_;
    std::uint64_t left_;
};

struct GraphBuilder {
    const std::shared_ptr<const ArchiveSource>& source;
    const Folder& folder;
    const std::vector<std::uint64_t>& packOffsets;
    const std::vector<std::uint64_t>& packSizes;
    const std::u16string* password;
    const ReadLimits& limits;
    std::vector<std::uint32_t> firstIn, firstOut;  // first in/out stream index of each coder
    std::vector<bool> outUsed;
    std::uint64_t windows = 0;  // dictionary bytes of the coders built so far

    void reserveWindow(std::uint64_t size) {
        windows += size;
        if (windows > limits.maxWindow + (1u << 26)) fail(ErrorCode::LimitExceeded, "the folder needs too much memory");
    }

    ByteStreamPtr inStream(std::uint32_t in) {
        for (const auto& [boundIn, boundOut] : folder.bindPairs)
            if (boundIn == in) return outStream(boundOut);
        for (std::size_t k = 0; k < folder.packedStreams.size(); ++k) {
            if (folder.packedStreams[k] != in) continue;
            const std::size_t pack = folder.firstPackStream + k;
            return std::make_unique<PackStream>(source, packOffsets[pack], packSizes[pack]);
        }
        corrupt("a coder input is not connected");
    }

    ByteStreamPtr outStream(std::uint32_t out) {
        if (out >= outUsed.size() || outUsed[out]) corrupt("invalid coder bindings");
        outUsed[out] = true;
        std::size_t c = 0;
        while (c + 1 < folder.coders.size() && firstOut[c + 1] <= out) ++c;
        const Coder& coder = folder.coders[c];
        if (coder.outStreams != 1) fail(ErrorCode::UnsupportedMethod, "unsupported coder");
        std::vector<ByteStreamPtr> inputs;
        for (std::uint32_t k = 0; k < coder.inStreams; ++k) inputs.push_back(inStream(firstIn[c] + k));
        return makeCoder(coder, std::move(inputs), folder.unpackSizes[out]);
    }

    ByteStreamPtr makeCoder(const Coder& coder, std::vector<ByteStreamPtr> inputs, std::uint64_t unpackSize) {
        const std::uint8_t* props = coder.props.data();
        const std::size_t propsSize = coder.props.size();
        auto expectInputs = [&](std::size_t n) {
            if (inputs.size() != n) fail(ErrorCode::UnsupportedMethod, "unsupported coder layout");
        };
        auto branch = [&](BranchKind kind) -> ByteStreamPtr {
            expectInputs(1);
            return std::make_unique<FilterStream>(std::move(inputs[0]), makeBranchConverter(kind, props, propsSize));
        };
        switch (coder.methodId) {
        case method::Copy:
            expectInputs(1);
            return std::make_unique<LimitStream>(std::move(inputs[0]), unpackSize);
        case method::Lzma:
            expectInputs(1);
            reserveWindow(lzmaWindowSize(parseLzmaProperties(props, propsSize).dictionarySize, unpackSize, limits.maxWindow));
            return std::make_unique<LzmaStream>(std::move(inputs[0]), props, propsSize, unpackSize, limits.maxWindow);
        case method::Lzma2:
            expectInputs(1);
            if (propsSize < 1) corrupt("LZMA2 properties are missing");
            reserveWindow(lzmaWindowSize(lzma2DictionarySize(props[0]), unpackSize, limits.maxWindow));
            return std::make_unique<Lzma2Stream>(std::move(inputs[0]), props, propsSize, unpackSize, limits.maxWindow);
        case method::Bcj:
        case method::X86: return branch(BranchKind::X86);
        case method::Arm64: return branch(BranchKind::Arm64);
        case method::Arm:
        case method::ArmLong: return branch(BranchKind::Arm);
        case method::ArmThumb:
        case method::ArmThumbLong: return branch(BranchKind::ArmThumb);
        case method::PowerPc:
        case method::PowerPcLong: return branch(BranchKind::PowerPc);
        case method::Sparc:
        case method::SparcLong: return branch(BranchKind::Sparc);
        case method::Delta:
            expectInputs(1);
            return std::make_unique<FilterStream>(std::move(inputs[0]), makeDeltaConverter(props, propsSize));
        case method::Deflate:
        case method::Deflate64:
            expectInputs(1);
            return std::make_unique<DeflateStream>(std::move(inputs[0]), unpackSize, coder.methodId == method::Deflate64);
        case method::BZip2:
            expectInputs(1);
            return std::make_unique<BZip2Stream>(std::move(inputs[0]), unpackSize);
        case method::Bcj2:
            expectInputs(4);
            return std::make_unique<Bcj2Stream>(std::move(inputs[0]), std::move(inputs[1]), std::move(inputs[2]),
                                                std::move(inputs[3]), unpackSize);
        case method::Aes: {
            expectInputs(1);
            if (password == nullptr) fail(ErrorCode::WrongPassword, "a password is needed");
            const AesCoderProperties p = parseAesProperties(props, propsSize);
            return std::make_unique<AesDecryptStream>(std::move(inputs[0]), deriveAesKey(p, *password, limits.maxKeyCyclesPower), p.iv);
        }
        default: fail(ErrorCode::UnsupportedMethod, "unsupported compression method");
        }
    }
};

} // namespace

bool Folder::encrypted() const {
    return std::any_of(coders.begin(), coders.end(), [](const Coder& c) { return c.methodId == method::Aes; });
}

void validateFolder(Folder& folder) {
    std::uint32_t totalIn = 0, totalOut = 0;
    for (const Coder& c : folder.coders) {
        if (c.inStreams == 0 || c.outStreams == 0 || c.inStreams > kMaxStreams || c.outStreams > kMaxStreams)
            corrupt("invalid coder stream counts");
        totalIn += c.inStreams;
        totalOut += c.outStreams;
    }
    if (folder.coders.empty() || totalIn > kMaxStreams || totalOut > kMaxStreams) corrupt("invalid folder");
    if (folder.bindPairs.size() != totalOut - 1) corrupt("invalid folder");
    if (folder.unpackSizes.size() != totalOut) corrupt("invalid folder");
    std::vector<bool> inBound(totalIn), outBound(totalOut);
    for (const auto& [in, out] : folder.bindPairs) {
        if (in >= totalIn || out >= totalOut || inBound[in] || outBound[out]) corrupt("invalid coder bindings");
        inBound[in] = outBound[out] = true;
    }
    for (std::uint32_t in : folder.packedStreams) {
        if (in >= totalIn || inBound[in]) corrupt("invalid packed stream binding");
        inBound[in] = true;
    }
    if (std::find(inBound.begin(), inBound.end(), false) != inBound.end()) corrupt("a coder input is not connected");
    folder.mainOutStream = static_cast<std::uint32_t>(std::find(outBound.begin(), outBound.end(), false) - outBound.begin());
}

ByteStreamPtr decodeFolder(const std::shared_ptr<const ArchiveSource>& source, const Folder& folder,
                           const std::vector<std::uint64_t>& packOffsets, const std::vector<std::uint64_t>& packSizes,
                           const std::u16string* password, const ReadLimits& limits) {
    GraphBuilder g{source, folder, packOffsets, packSizes, password, limits, {}, {}, {}, 0};
    std::uint32_t in = 0, out = 0;
    for (const Coder& c : folder.coders) {
        g.firstIn.push_back(in);
        g.firstOut.push_back(out);
        in += c.inStreams;
        out += c.outStreams;
    }
    g.outUsed.assign(out, false);
    return g.outStream(folder.mainOutStream);
}

} // namespace velmora::kel
