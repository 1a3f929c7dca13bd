// Reading the 7z headers: the signature header, the next header (possibly packed, possibly
// encrypted, in which case it is a folder decoded first), its streams info and files info.
// Every count is checked against the bytes left before anything is allocated for it.
#include "archive/archive.h"

#include <algorithm>
#include <cstring>

#include "archive/folder_decoder.h"
#include "common/crc32.h"
#include "common/kel_error.h"

namespace velmora::kel {
namespace {

const std::uint8_t kSignature[6] = {'7', 'z', 0xBC, 0xAF, 0x27, 0x1C};
constexpr std::size_t kSignatureHeaderSize = 32;
constexpr int kMaxHeaderNesting = 4;
constexpr std::uint32_t kMaxCoders = 64;
constexpr int kMaxPasswordAttempts = 64;

enum Property : std::uint8_t {
    kEnd = 0x00, kHeader = 0x01, kArchiveProperties = 0x02, kAdditionalStreamsInfo = 0x03,
    kMainStreamsInfo = 0x04, kFilesInfo = 0x05, kPackInfo = 0x06, kUnpackInfo = 0x07,
    kSubStreamsInfo = 0x08, kSize = 0x09, kCrc = 0x0A, kFolder = 0x0B, kCodersUnpackSize = 0x0C,
    kNumUnpackStream = 0x0D, kEmptyStream = 0x0E, kEmptyFile = 0x0F, kAnti = 0x10, kName = 0x11,
    kCreated = 0x12, kAccessed = 0x13, kModified = 0x14, kAttributes = 0x15, kEncodedHeader = 0x17,
    kDummy = 0x19,
};

// Bounds-checked reading of header bytes.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

    std::size_t remaining() const { return static_cast<std::size_t>(end_ - p_); }
    std::uint8_t byte() {
        if (p_ == end_) corrupt("the archive header is truncated");
        return *p_++;
    }
    const std::uint8_t* take(std::uint64_t n) {
        if (n > remaining()) corrupt("the archive header is truncated");
        const std::uint8_t* at = p_;
        p_ += n;
        return at;
    }
    std::uint32_t u32() {
        const std::uint8_t* b = take(4);
        return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 | std::uint32_t(b[3]) << 24;
    }
    std::uint64_t u64() {
        const std::uint64_t lo = u32();
        return lo | std::uint64_t(u32()) << 32;
    }
    // The 7z variable-length number: the leading one bits of the first byte count the bytes
    // that follow (little-endian); the rest of the first byte holds the highest bits.
    std::uint64_t number() {
        const unsigned first = byte();
        std::uint64_t value = 0;
        unsigned mask = 0x80;
        for (int i = 0; i < 8; ++i, mask >>= 1) {
            if ((first & mask) == 0) return value | (std::uint64_t(first & (mask - 1)) << (8 * i));
            value |= std::uint64_t(byte()) << (8 * i);
        }
        return value;
    }
    // A count of items that each take at least one byte of what is left.
    std::size_t count() {
        const std::uint64_t n = number();
        if (n > remaining()) corrupt("invalid count in the archive header");
        return static_cast<std::size_t>(n);
    }
    std::uint32_t smallNumber(std::uint32_t max) {
        const std::uint64_t n = number();
        if (n > max) corrupt("invalid number in the archive header");
        return static_cast<std::uint32_t>(n);
    }
    std::vector<bool> bits(std::size_t n) {
        const std::uint8_t* b = take((std::uint64_t(n) + 7) / 8);
        std::vector<bool> v(n);
        for (std::size_t i = 0; i < n; ++i) v[i] = (b[i / 8] & (0x80 >> (i % 8))) != 0;
        return v;
    }
    // "All defined" byte, then a bit vector when not all are.
    std::vector<bool> definedBits(std::size_t n) {
        if (byte() != 0) return std::vector<bool>(n, true);
        return bits(n);
    }
    void expect(std::uint8_t id) {
        if (byte() != id) corrupt("unexpected item in the archive header");
    }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

std::size_t countTrue(const std::vector<bool>& v) { return static_cast<std::size_t>(std::count(v.begin(), v.end(), true)); }

struct StreamsInfo {
    std::uint64_t packPos = 0;
    std::vector<std::uint64_t> packSizes;
    std::vector<Folder> folders;
    std::vector<std::uint64_t> streamCounts;  // substreams per folder
    std::vector<std::uint64_t> subSizes;
    std::vector<std::optional<std::uint32_t>> subCrcs;
};

std::vector<std::optional<std::uint32_t>> readDigests(Reader& r, std::size_t n) {
    const std::vector<bool> defined = r.definedBits(n);
    std::vector<std::optional<std::uint32_t>> crcs(n);
    for (std::size_t i = 0; i < n; ++i)
        if (defined[i]) crcs[i] = r.u32();
    return crcs;
}

void readPackInfo(Reader& r, StreamsInfo& s) {
    s.packPos = r.number();
    const std::size_t n = r.count();
    for (std::uint8_t id = r.byte(); id != kEnd; id = r.byte()) {
        if (id == kSize) {
            s.packSizes.resize(n);
            for (auto& size : s.packSizes) size = r.number();
        } else if (id == kCrc) {
            readDigests(r, n);
        } else {
            corrupt("unexpected item in the pack info");
        }
    }
    if (s.packSizes.size() != n) corrupt("pack sizes are missing");
}

Folder readFolder(Reader& r) {
    Folder f;
    const std::uint32_t coders = r.smallNumber(kMaxCoders);
    if (coders == 0) corrupt("a folder without coders");
    std::uint32_t totalIn = 0, totalOut = 0;
    for (std::uint32_t i = 0; i < coders; ++i) {
        const unsigned flags = r.byte();
        if (flags & 0xC0) fail(ErrorCode::UnsupportedMethod, "unsupported coder flags");
        Coder c;
        const unsigned idSize = flags & 0x0F;
        if (idSize > 8) fail(ErrorCode::UnsupportedMethod, "unsupported method ID");
        const std::uint8_t* id = r.take(idSize);
        for (unsigned k = 0; k < idSize; ++k) c.methodId = (c.methodId << 8) | id[k];
        if (flags & 0x10) {
            c.inStreams = r.smallNumber(kMaxCoders);
            c.outStreams = r.smallNumber(kMaxCoders);
        }
        if (flags & 0x20) {
            const std::uint64_t size = r.number();
            const std::uint8_t* props = r.take(size);
            c.props.assign(props, props + size);
        }
        totalIn += c.inStreams;
        totalOut += c.outStreams;
        f.coders.push_back(std::move(c));
    }
    if (totalOut == 0 || totalIn > kMaxCoders || totalOut > kMaxCoders) corrupt("invalid folder");
    for (std::uint32_t i = 0; i + 1 < totalOut; ++i) {
        const std::uint32_t in = r.smallNumber(totalIn - 1);
        const std::uint32_t out = r.smallNumber(totalOut - 1);
        f.bindPairs.emplace_back(in, out);
    }
    if (totalIn < totalOut) corrupt("invalid folder");
    const std::uint32_t packed = totalIn - (totalOut - 1);
    if (packed == 1) {
        for (std::uint32_t in = 0; in < totalIn; ++in) {
            const bool bound = std::any_of(f.bindPairs.begin(), f.bindPairs.end(), [&](auto& bp) { return bp.first == in; });
            if (!bound) {
                f.packedStreams.push_back(in);
                break;
            }
        }
    } else {
        for (std::uint32_t i = 0; i < packed; ++i) f.packedStreams.push_back(r.smallNumber(totalIn - 1));
    }
    if (f.packedStreams.size() != packed) corrupt("invalid folder");
    return f;
}

void readUnpackInfo(Reader& r, StreamsInfo& s) {
    r.expect(kFolder);
    const std::size_t n = r.count();
    if (r.byte() != 0) fail(ErrorCode::UnsupportedMethod, "external folder records are not supported");
    s.folders.reserve(n);
    std::size_t pack = 0;
    for (std::size_t i = 0; i < n; ++i) {
        s.folders.push_back(readFolder(r));
        s.folders.back().firstPackStream = pack;
        pack += s.folders.back().packedStreams.size();
    }
    if (pack > s.packSizes.size()) corrupt("folders use more pack streams than the archive has");
    r.expect(kCodersUnpackSize);
    for (Folder& f : s.folders) {
        std::uint32_t outs = 0;
        for (const Coder& c : f.coders) outs += c.outStreams;
        f.unpackSizes.resize(outs);
        for (auto& size : f.unpackSizes) size = r.number();
        validateFolder(f);
    }
    for (std::uint8_t id = r.byte(); id != kEnd; id = r.byte()) {
        if (id != kCrc) corrupt("unexpected item in the folder info");
        const auto crcs = readDigests(r, n);
        for (std::size_t i = 0; i < n; ++i) s.folders[i].crc = crcs[i];
    }
}

void readSubStreamsInfo(Reader& r, StreamsInfo& s) {
    const std::size_t folders = s.folders.size();
    s.streamCounts.assign(folders, 1);
    std::uint8_t id = r.byte();
    if (id == kNumUnpackStream) {
        for (auto& n : s.streamCounts) n = r.number();
        id = r.byte();
    }
    // Every substream after a folder's first needs at least one byte of size.
    std::uint64_t total = 0;
    for (std::uint64_t n : s.streamCounts) {
        total += n;
        if (n > r.remaining() + 1 || total > r.remaining() + folders) corrupt("invalid substream count");
    }
    s.subSizes.clear();
    s.subSizes.reserve(static_cast<std::size_t>(total));
    const bool sizesGiven = id == kSize;
    for (std::size_t f = 0; f < folders; ++f) {
        const std::uint64_t n = s.streamCounts[f];
        if (n == 0) continue;
        std::uint64_t sum = 0;
        for (std::uint64_t k = 0; k + 1 < n; ++k) {
            if (!sizesGiven) corrupt("substream sizes are missing");
            const std::uint64_t size = r.number();
            sum += size;
            if (size > s.folders[f].unpackSize() || sum > s.folders[f].unpackSize()) corrupt("invalid substream size");
            s.subSizes.push_back(size);
        }
        s.subSizes.push_back(s.folders[f].unpackSize() - sum);
    }
    if (sizesGiven) id = r.byte();

    std::size_t unknown = 0;
    for (std::size_t f = 0; f < folders; ++f)
        if (!(s.streamCounts[f] == 1 && s.folders[f].crc)) unknown += static_cast<std::size_t>(s.streamCounts[f]);
    std::vector<std::optional<std::uint32_t>> digests;
    for (; id != kEnd; id = r.byte()) {
        if (id == kCrc) {
            digests = readDigests(r, unknown);
        } else {
            r.take(r.number());  // an item this reader does not use
        }
    }
    s.subCrcs.clear();
    std::size_t next = 0;
    for (std::size_t f = 0; f < folders; ++f) {
        if (s.streamCounts[f] == 1 && s.folders[f].crc) {
            s.subCrcs.push_back(s.folders[f].crc);
            continue;
        }
        for (std::uint64_t k = 0; k < s.streamCounts[f]; ++k, ++next)
            s.subCrcs.push_back(next < digests.size() ? digests[next] : std::nullopt);
    }
}

StreamsInfo readStreamsInfo(Reader& r) {
    StreamsInfo s;
    std::uint8_t id = r.byte();
    if (id == kPackInfo) {
        readPackInfo(r, s);
        id = r.byte();
    }
    if (id == kUnpackInfo) {
        readUnpackInfo(r, s);
        id = r.byte();
    }
    if (id == kSubStreamsInfo) {
        readSubStreamsInfo(r, s);
        id = r.byte();
    } else {
        s.streamCounts.assign(s.folders.size(), 1);
        for (const Folder& f : s.folders) {
            s.subSizes.push_back(f.unpackSize());
            s.subCrcs.push_back(f.crc);
        }
    }
    if (id != kEnd) corrupt("unexpected item in the streams info");
    return s;
}

std::vector<std::u16string> readNames(Reader& r, std::size_t files) {
    if (r.byte() != 0) fail(ErrorCode::UnsupportedMethod, "external names are not supported");
    const std::size_t bytes = r.remaining();
    if (bytes % 2 != 0) corrupt("invalid file names");
    const std::uint8_t* p = r.take(bytes);
    std::vector<std::u16string> names;
    names.reserve(files);
    std::u16string name;
    for (std::size_t i = 0; i < bytes; i += 2) {
        const char16_t c = static_cast<char16_t>(p[i] | (p[i + 1] << 8));
        if (c != 0) {
            name.push_back(c);
            continue;
        }
        if (names.size() == files) corrupt("invalid file names");
        names.push_back(std::move(name));
        name.clear();
    }
    if (names.size() != files || !name.empty()) corrupt("invalid file names");
    return names;
}

template <typename T, typename ReadOne>
std::vector<std::optional<T>> readOptionalValues(Reader& r, std::size_t files, ReadOne readOne) {
    const std::vector<bool> defined = r.definedBits(files);
    if (r.byte() != 0) fail(ErrorCode::UnsupportedMethod, "external file properties are not supported");
    std::vector<std::optional<T>> values(files);
    for (std::size_t i = 0; i < files; ++i)
        if (defined[i]) values[i] = readOne(r);
    return values;
}

} // namespace

const std::u16string* PasswordChain::current() {
    if (!started_) {
        started_ = true;
        if (supplier_) current_ = supplier_();
    }
    return current_ ? &*current_ : nullptr;
}

bool PasswordChain::next() {
    current();
    confirmed_ = false;
    if (!supplier_ || ++attempts_ > kMaxPasswordAttempts) {
        current_.reset();
        return false;
    }
    current_ = supplier_();
    return current_.has_value();
}

// Fills a SevenZipArchive from its headers.
class HeaderParser {
public:
    HeaderParser(SevenZipArchive& archive, PasswordChain& passwords) : a_(archive), passwords_(passwords) {}

    void run() {
        const ArchiveSource& src = *a_.source_;
        std::uint8_t sig[kSignatureHeaderSize];
        if (src.size() < kSignatureHeaderSize) fail(ErrorCode::CannotOpen, "not a 7z archive");
        src.readAt(0, sig, kSignatureHeaderSize);
        if (std::memcmp(sig, kSignature, 6) != 0) fail(ErrorCode::CannotOpen, "not a 7z archive");
        if (sig[6] != 0) fail(ErrorCode::CannotOpen, "unsupported 7z version");
        Reader start(sig + 8, 24);
        const std::uint32_t startCrc = start.u32();
        if (crc32(sig + 12, 20) != startCrc) corrupt("the archive's start header is damaged");
        const std::uint64_t offset = start.u64();
        const std::uint64_t size = start.u64();
        const std::uint32_t headerCrc = start.u32();
        if (size == 0) return;  // an empty archive
        const std::uint64_t at = kSignatureHeaderSize + offset;
        if (offset > src.size() || size > src.size() || at > src.size() - size) corrupt("the archive is truncated");
        if (size > a_.limits_.maxHeaderSize) fail(ErrorCode::LimitExceeded, "the archive header is too large");
        std::vector<std::uint8_t> header(static_cast<std::size_t>(size));
        src.readAt(at, header.data(), header.size());
        if (crc32(header.data(), header.size()) != headerCrc) corrupt("the archive header is damaged");

        for (int nesting = 0;; ++nesting) {
            Reader r(header.data(), header.size());
            const std::uint8_t id = r.byte();
            if (id == kHeader) {
                readHeader(r);
                return;
            }
            if (id != kEncodedHeader || nesting == kMaxHeaderNesting) corrupt("invalid archive header");
            StreamsInfo packed = readStreamsInfo(r);
            header = decodeHeader(packed);
        }
    }

private:
    void setPackStreams(const StreamsInfo& s) {
        a_.packOffsets_.clear();
        a_.packSizes_ = s.packSizes;
        const std::uint64_t fileSize = a_.source_->size();
        if (s.packPos > fileSize) corrupt("the archive is truncated");
        std::uint64_t offset = kSignatureHeaderSize + s.packPos;
        for (std::uint64_t size : s.packSizes) {
            if (offset > fileSize || size > fileSize - offset) corrupt("the archive is truncated");
            a_.packOffsets_.push_back(offset);
            offset += size;
        }
    }

    // Decodes the folder that holds a packed header; encrypted headers try each password.
    std::vector<std::uint8_t> decodeHeader(const StreamsInfo& s) {
        if (s.folders.empty()) corrupt("invalid archive header");
        setPackStreams(s);
        const Folder& folder = s.folders[0];
        if (folder.unpackSize() > a_.limits_.maxHeaderSize) fail(ErrorCode::LimitExceeded, "the archive header is too large");
        const bool encrypted = folder.encrypted();
        if (encrypted) a_.headerEncrypted_ = true;
        for (;;) {
            const std::u16string* password = encrypted ? passwords_.current() : nullptr;
            if (encrypted && password == nullptr) fail(ErrorCode::CannotOpen, "the archive header needs a password");
            try {
                std::vector<std::uint8_t> out = decodeAll(folder, password);
                if (folder.crc && crc32(out.data(), out.size()) != *folder.crc) corrupt("the archive header is damaged");
                if (encrypted) {
                    // A header that decrypts to something that is not a header also means a
                    // wrong password.
                    if (out.empty() || (out[0] != kHeader && out[0] != kEncodedHeader)) corrupt("invalid archive header");
                    passwords_.confirm();
                }
                return out;
            } catch (const KelError& e) {
                if (!encrypted || e.code() == ErrorCode::LimitExceeded || e.code() == ErrorCode::UnsupportedMethod) {
                    if (e.code() == ErrorCode::UnsupportedMethod) fail(ErrorCode::CannotOpen, e.what());
                    throw;
                }
                if (!passwords_.next()) fail(ErrorCode::CannotOpen, "the archive header password is wrong");
            }
        }
    }

    std::vector<std::uint8_t> decodeAll(const Folder& folder, const std::u16string* password) {
        ByteStreamPtr stream = decodeFolder(a_.source_, folder, a_.packOffsets_, a_.packSizes_, password, a_.limits_);
        const std::uint64_t size = folder.unpackSize();
        std::vector<std::uint8_t> out;
        while (out.size() < size) {  // grows with the data actually decoded
            const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(size - out.size(), 1u << 20));
            const std::size_t at = out.size();
            out.resize(at + step);
            if (readFully(*stream, out.data() + at, step) != step) corrupt("the archive header is truncated");
        }
        return out;
    }

    void readHeader(Reader& r) {
        std::uint8_t id = r.byte();
        if (id == kArchiveProperties) {
            for (std::uint8_t type = r.byte(); type != 0; type = r.byte()) r.take(r.number());
            id = r.byte();
        }
        if (id == kAdditionalStreamsInfo) {
            readStreamsInfo(r);
            id = r.byte();
        }
        StreamsInfo main;
        if (id == kMainStreamsInfo) {
            main = readStreamsInfo(r);
            id = r.byte();
        }
        setPackStreams(main);
        a_.folders_ = main.folders;
        if (id == kFilesInfo) {
            readFiles(r, main);
            id = r.byte();
        } else if (!main.subSizes.empty()) {
            corrupt("the archive has data but no files");
        }
        if (id != kEnd) corrupt("unexpected item in the archive header");
    }

    void readFiles(Reader& r, const StreamsInfo& s) {
        const std::uint64_t declared = r.number();
        // Each file either has a substream or a bit in the empty-stream vector.
        if (declared > s.subSizes.size() && declared > std::uint64_t(r.remaining()) * 8) corrupt("invalid file count");
        if (declared > a_.limits_.maxEntries) fail(ErrorCode::LimitExceeded, "the archive has too many entries");
        const std::size_t files = static_cast<std::size_t>(declared);

        std::vector<bool> emptyStream(files, false), emptyFile, anti;
        std::vector<std::u16string> names(files);
        std::vector<std::optional<std::uint64_t>> created(files), accessed(files), modified(files);
        std::vector<std::optional<std::uint32_t>> attributes(files);
        std::size_t emptyCount = 0;
        for (;;) {
            const std::uint64_t type = r.number();
            if (type == kEnd) break;
            const std::uint64_t size = r.number();
            Reader p(r.take(size), static_cast<std::size_t>(size));
            auto u64 = [](Reader& x) { return x.u64(); };
            switch (type) {
            case kEmptyStream:
                emptyStream = p.bits(files);
                emptyCount = countTrue(emptyStream);
                emptyFile.assign(emptyCount, false);
                anti.assign(emptyCount, false);
                break;
            case kEmptyFile: emptyFile = p.bits(emptyCount); break;
            case kAnti: anti = p.bits(emptyCount); break;
            case kName: names = readNames(p, files); break;
            case kCreated: created = readOptionalValues<std::uint64_t>(p, files, u64); break;
            case kAccessed: accessed = readOptionalValues<std::uint64_t>(p, files, u64); break;
            case kModified: modified = readOptionalValues<std::uint64_t>(p, files, u64); break;
            case kAttributes:
                attributes = readOptionalValues<std::uint32_t>(p, files, [](Reader& x) { return x.u32(); });
                break;
            default: break;  // kDummy padding and items this reader does not use
            }
        }

        // Files with data take the substreams in order, skipping folders without any.
        std::vector<std::size_t> streamFolder;
        std::vector<std::uint64_t> streamOffset;
        for (std::size_t f = 0; f < s.folders.size(); ++f) {
            std::uint64_t offset = 0;
            for (std::uint64_t k = 0; k < s.streamCounts[f]; ++k) {
                streamFolder.push_back(f);
                streamOffset.push_back(offset);
                offset += s.subSizes[streamFolder.size() - 1];
            }
        }
        if (files - emptyCount != s.subSizes.size()) corrupt("the number of files does not match the data");

        a_.entries_.resize(files);
        std::size_t stream = 0, empty = 0;
        for (std::size_t i = 0; i < files; ++i) {
            ArchiveEntry& e = a_.entries_[i];
            e.name = std::move(names[i]);
            e.created = created[i];
            e.accessed = accessed[i];
            e.modified = modified[i];
            e.attributes = attributes[i];
            if (!emptyStream[i]) {
                e.hasStream = true;
                e.size = s.subSizes[stream];
                e.crc = s.subCrcs[stream];
                e.folder = static_cast<std::uint32_t>(streamFolder[stream]);
                e.offsetInFolder = streamOffset[stream];
                ++stream;
            } else {
                e.isDirectory = !emptyFile[empty];
                e.isAnti = anti[empty];
                ++empty;
            }
        }
    }

    SevenZipArchive& a_;
    PasswordChain& passwords_;
};

SevenZipArchive::SevenZipArchive(std::shared_ptr<const ArchiveSource> source, PasswordChain& passwords, ReadLimits limits)
    : source_(std::move(source)), limits_(limits) {
    HeaderParser(*this, passwords).run();
}

std::uint64_t SevenZipArchive::folderPackedSize(std::size_t folder) const {
    const Folder& f = folders_.at(folder);
    std::uint64_t size = 0;
    for (std::size_t k = 0; k < f.packedStreams.size(); ++k) size += packSizes_[f.firstPackStream + k];
    return size;
}

ByteStreamPtr SevenZipArchive::openFolder(std::size_t folder, const std::u16string* password) const {
    if (folder >= folders_.size()) fail(ErrorCode::InvalidArgument, "no such folder");
    return decodeFolder(source_, folders_[folder], packOffsets_, packSizes_, password, limits_);
}

} // namespace velmora::kel
