// The extraction procedure: check every path, make folders and empty files, then decode each
// folder that holds a selected file once, from its start to its last selected file, writing
// the selected byte ranges and skipping the others. An encrypted folder that fails before any
// of its data proved the password right is tried again with the next password offered.
#include "archive/extractor.h"

#include <algorithm>

#include "common/crc32.h"

namespace velmora::kel {
namespace {

constexpr std::size_t kChunk = 1u << 20;  // decode step, also the progress interval

struct Item {
    std::size_t entry;
    RelativePath path;
    std::optional<bool> write;  // overwrite decision, once made
};

class Cancelled {};

class Extraction {
public:
    Extraction(const SevenZipArchive& a, OutputTarget& t, PasswordChain& p, const ExtractCallbacks& c)
        : archive_(a), target_(t), passwords_(p), callbacks_(c), buffer_(kChunk), doneItems_(a.entries().size()) {}

    ErrorCode run(std::vector<Item>& items) {
        const auto& entries = archive_.entries();
        for (const Item& item : items) total_ += entries[item.entry].size;
        // Files with data last, still in entry order: each folder's files are then adjacent.
        std::stable_partition(items.begin(), items.end(), [&](const Item& item) { return !entries[item.entry].hasStream; });
        try {
            for (Item& item : items) {
                const ArchiveEntry& e = entries[item.entry];
                if (e.isAnti || !e.isDirectory) continue;
                guard(item, [&] { target_.createFolder(item.path); });
            }
            for (Item& item : items) {
                const ArchiveEntry& e = entries[item.entry];
                if (e.isAnti || e.isDirectory || e.hasStream) continue;
                report(item.entry);
                if (!decide(item)) continue;
                guard(item, [&] { target_.createFile(item.path)->finish(e.modified, e.attributes); });
            }
            std::size_t i = 0;
            while (i < items.size()) {
                const ArchiveEntry& e = entries[items[i].entry];
                if (!e.hasStream) {
                    ++i;
                    continue;
                }
                std::size_t end = i;
                while (end < items.size() && entries[items[end].entry].folder == e.folder) ++end;
                extractFolder(e.folder, items, i, end);
                i = end;
            }
            for (auto it = items.rbegin(); it != items.rend(); ++it) {
                const ArchiveEntry& e = entries[it->entry];
                if (e.isDirectory && !e.isAnti) target_.setFolderInfo(it->path, e.modified, e.attributes);
            }
        } catch (const Cancelled&) {
            return firstError_ != ErrorCode::None ? firstError_ : ErrorCode::Cancelled;
        }
        return firstError_;
    }

private:
    // Records a failure; the callback decides whether the others go on.
    void failed(std::size_t entry, ErrorCode code) {
        if (firstError_ == ErrorCode::None) firstError_ = code;
        if (!callbacks_.entryFailed || !callbacks_.entryFailed(entry, code)) throw Cancelled{};
    }

    template <typename F>
    void guard(const Item& item, F&& f) {
        try {
            f();
        } catch (const KelError& e) {
            failed(item.entry, e.code());
        }
    }

    void report(std::size_t entry) {
        if (callbacks_.progress && !callbacks_.progress(entry, done_, total_)) {
            firstError_ = firstError_ != ErrorCode::None ? firstError_ : ErrorCode::Cancelled;
            throw Cancelled{};
        }
    }

    // Whether to write an item's file, asking about an existing one at most once.
    bool decide(Item& item) {
        if (item.write) return *item.write;
        const ExistingFile existing = target_.probe(item.path);
        bool write = true;
        if (existing.exists) {
            if (existing.isDirectory) {
                write = false;
                failed(item.entry, ErrorCode::WriteFailed);
            } else if (policy_) {
                write = *policy_;
            } else {
                const OverwriteChoice c =
                    callbacks_.overwrite ? callbacks_.overwrite(item.entry, existing) : OverwriteChoice::Skip;
                switch (c) {
                case OverwriteChoice::Cancel:
                    if (firstError_ == ErrorCode::None) firstError_ = ErrorCode::Cancelled;
                    throw Cancelled{};
                case OverwriteChoice::Skip: write = false; break;
                case OverwriteChoice::SkipAll: write = false; policy_ = false; break;
                case OverwriteChoice::OverwriteAll: policy_ = true; break;
                case OverwriteChoice::Overwrite: break;
                }
            }
        }
        item.write = write;
        return write;
    }

    void skipBytes(ByteStream& stream, std::uint64_t n) {
        while (n > 0) {
            const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(n, buffer_.size()));
            if (readFully(stream, buffer_.data(), step) != step) corrupt("the data ends before its declared size");
            n -= step;
        }
    }

    // Decodes the folder's files items[begin, end). A password failure before the folder's
    // data proved the password right makes the whole folder start again with the next one.
    void extractFolder(std::uint32_t folderIndex, std::vector<Item>& items, std::size_t begin, std::size_t end) {
        const Folder& folder = archive_.folders()[folderIndex];
        const bool encrypted = folder.encrypted();
        const std::uint64_t doneAtStart = done_;
        for (;;) {
            done_ = doneAtStart;
            const std::u16string* password = encrypted ? passwords_.current() : nullptr;
            const ErrorCode result = decodeFolderFiles(folderIndex, items, begin, end, password, encrypted);
            if (result == ErrorCode::None) {
                if (encrypted) passwords_.confirm();
                return;
            }
            const bool passwordSuspect = encrypted && !passwords_.confirmed();
            if (passwordSuspect && passwords_.next()) continue;
            const ErrorCode code = passwordSuspect ? ErrorCode::WrongPassword : result;
            for (std::size_t i = begin; i < end; ++i)
                if (!doneItems_[items[i].entry]) failed(items[i].entry, code);
            return;
        }
    }

    // Returns None, or the error that stopped the folder (a data error, or a CRC mismatch
    // while the password is unproven). Files already finished stay finished.
    ErrorCode decodeFolderFiles(std::uint32_t folderIndex, std::vector<Item>& items, std::size_t begin,
                                std::size_t end, const std::u16string* password, bool encrypted) {
        const auto& entries = archive_.entries();
        std::unique_ptr<OutputFile> out;
        const Item* writing = nullptr;
        try {
            ByteStreamPtr stream = archive_.openFolder(folderIndex, password);
            std::uint64_t pos = 0;
            for (std::size_t i = begin; i < end; ++i) {
                Item& item = items[i];
                const ArchiveEntry& e = entries[item.entry];
                if (e.offsetInFolder < pos) corrupt("overlapping files in a folder");
                skipBytes(*stream, e.offsetInFolder - pos);
                pos = e.offsetInFolder;
                if (doneItems_[item.entry]) {  // finished on an earlier attempt
                    skipBytes(*stream, e.size);
                    pos += e.size;
                    done_ += e.size;
                    continue;
                }
                report(item.entry);
                bool write = decide(item);
                if (write) {
                    try {
                        out = target_.createFile(item.path);
                        writing = &item;
                    } catch (const KelError& err) {
                        failed(item.entry, err.code());
                        write = false;
                    }
                }
                std::uint32_t crc = 0;
                std::uint64_t left = e.size;
                std::uint64_t sinceReport = 0;
                while (left > 0) {
                    const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer_.size()));
                    if (readFully(*stream, buffer_.data(), step) != step) corrupt("the data ends before its declared size");
                    crc = crc32Update(crc, buffer_.data(), step);
                    if (out) {
                        try {
                            out->write(buffer_.data(), step);
                        } catch (const KelError& err) {
                            out.reset();
                            target_.removeFile(item.path);
                            writing = nullptr;
                            failed(item.entry, err.code());
                        }
                    }
                    left -= step;
                    done_ += step;
                    sinceReport += step;
                    if (left > 0 && sinceReport >= kChunk) {
                        sinceReport = 0;
                        report(item.entry);
                    }
                }
                pos += e.size;
                if (e.crc && crc != *e.crc) {
                    if (out) {
                        out.reset();
                        target_.removeFile(item.path);
                        writing = nullptr;
                    }
                    if (encrypted && !passwords_.confirmed()) return ErrorCode::CrcMismatch;
                    failed(item.entry, ErrorCode::CrcMismatch);
                    doneItems_[item.entry] = true;
                    continue;
                }
                if (encrypted && e.crc) passwords_.confirm();
                if (out) {
                    try {
                        out->finish(e.modified, e.attributes);
                    } catch (const KelError& err) {
                        target_.removeFile(item.path);
                        failed(item.entry, err.code());
                    }
                    out.reset();
                    writing = nullptr;
                }
                doneItems_[item.entry] = true;
            }
            return ErrorCode::None;
        } catch (const KelError& err) {
            if (out) {
                out.reset();
                target_.removeFile(writing->path);
            }
            if (err.code() == ErrorCode::LimitExceeded || err.code() == ErrorCode::UnsupportedMethod) {
                for (std::size_t i = begin; i < end; ++i)
                    if (!doneItems_[items[i].entry]) {
                        doneItems_[items[i].entry] = true;
                        failed(items[i].entry, err.code());
                    }
                return ErrorCode::None;
            }
            return err.code();
        } catch (...) {
            if (out) {
                out.reset();
                target_.removeFile(writing->path);
            }
            throw;
        }
    }

    const SevenZipArchive& archive_;
    OutputTarget& target_;
    PasswordChain& passwords_;
    const ExtractCallbacks& callbacks_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t total_ = 0, done_ = 0;
    std::optional<bool> policy_;  // "all" answer to the overwrite question
    ErrorCode firstError_ = ErrorCode::None;
    std::vector<bool> doneItems_;  // by entry index: finished (or failed for good)
};

} // namespace

ErrorCode extractEntries(const SevenZipArchive& archive, std::vector<std::size_t> selected, bool keepPaths,
                         OutputTarget& target, PasswordChain& passwords, const ExtractCallbacks& callbacks) {
    const auto& entries = archive.entries();
    std::sort(selected.begin(), selected.end());
    selected.erase(std::unique(selected.begin(), selected.end()), selected.end());
    std::vector<Item> items;
    try {
        for (std::size_t index : selected) {
            if (index >= entries.size()) return ErrorCode::IllegalPath;
            const ArchiveEntry& e = entries[index];
            if (e.isAnti) continue;
            RelativePath path = safeRelativePath(e.name);
            if (!keepPaths) {
                if (e.isDirectory) continue;
                path = RelativePath{path.back()};
            }
            items.push_back(Item{index, std::move(path), std::nullopt});
        }
    } catch (const KelError& e) {
        return e.code();
    }
    Extraction extraction(archive, target, passwords, callbacks);
    return extraction.run(items);
}

} // namespace velmora::kel
