// Reading and writing the setup payload, and the look-up rules every consumer uses.
#include "bootstrap/payload/payload.h"

#include <charconv>
#include <cstring>

namespace velmora {
namespace {

// Walks the payload text line by line; a missing line is a read error.
class LineReader {
public:
    explicit LineReader(std::string_view text) : text_(text) {}

    std::string next() {
        if (pos_ >= text_.size()) throw PayloadReadError("Read beyond end of file");
        const std::size_t lf = text_.find('\n', pos_);
        std::size_t end = lf == std::string_view::npos ? text_.size() : lf;
        const std::size_t after = lf == std::string_view::npos ? text_.size() : lf + 1;
        if (end > pos_ && text_[end - 1] == '\r') --end;
        std::string line(text_.substr(pos_, end - pos_));
        pos_ = after;
        return line;
    }

private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// A list section: lines up to a line that is exactly "$".
void readList(LineReader& in, TextList& list) {
    for (std::string line = in.next(); line != "$"; line = in.next()) list.add(std::move(line));
}

int readInteger(const std::string& line) {
    std::size_t i = line.find_first_not_of(' ');
    if (i == std::string::npos) throw PayloadReadError("'" + line + "' is not a valid integer value");
    int value = 0;
    const char* first = line.data() + i;
    if (*first == '+') ++first;
    const auto [end, ec] = std::from_chars(first, line.data() + line.size(), value);
    if (ec != std::errc() || end == first) throw PayloadReadError("'" + line + "' is not a valid integer value");
    return value;
}

// Whole lines equal to a marker (ignoring case) become "$".
void replaceDollarLines(TextList& list) {
    for (const char* marker : {"$WILD_DOLLAR$", "$DOLLAR$"})
        for (std::size_t i = 0; i < list.size(); ++i)
            if (text::equalsIgnoreCase(list[i], marker)) list.set(i, "$");
}

void writeLine(std::string& out, std::string_view line) {
    out.append(line);
    out.append("\r\n");
}

void writeList(std::string& out, const TextList& list, bool protectDollar = false) {
    for (const auto& line : list) writeLine(out, protectDollar && line == "$" ? "$DOLLAR$" : std::string_view(line));
    writeLine(out, "$");
}

std::uint32_t read16(std::string_view image, std::uint64_t at) {
    if (at + 2 > image.size()) throw PayloadReadError("Invalid executable image");
    unsigned char b[2];
    std::memcpy(b, image.data() + at, 2);
    return b[0] | (b[1] << 8);
}

std::uint32_t read32(std::string_view image, std::uint64_t at) {
    if (at + 4 > image.size()) throw PayloadReadError("Invalid executable image");
    unsigned char b[4];
    std::memcpy(b, image.data() + at, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
}

} // namespace

bool SetupPayload::isCommented(std::size_t statement) const {
    return statement < statementFlags.size() && statementFlags[statement] == "C";
}

SetupPayload parsePayload(std::string_view text) {
    SetupPayload p;
    LineReader in(text);
    readList(in, p.statementNames);
    readList(in, p.statementIds);
    readList(in, p.statementParameters);
    replaceDollarLines(p.statementParameters);
    readList(in, p.statementFlags);
    p.productCode = in.next();
    p.title = in.next();
    readList(in, p.pluginCommands);
    p.company = in.next();
    p.contact = in.next();
    p.helpLink = in.next();
    p.updateInfo = in.next();
    p.comments = in.next();
    p.version = in.next();
    readList(in, p.mediaPasswords);
    readList(in, p.statementMedia);
    p.buildKind = readInteger(in.next());
    readList(in, p.componentSizes);
    p.revisionCode = in.next();
    readList(in, p.mediaFiles);
    p.chooseLanguage = in.next() == "TRUE";
    p.defaultLanguage = in.next();
    readList(in, p.commandHeaders);
    readList(in, p.compilerVariables);
    return p;
}

std::string writePayload(const SetupPayload& p) {
    std::string out;
    writeList(out, p.statementNames);
    writeList(out, p.statementIds);
    writeList(out, p.statementParameters, true);
    writeList(out, p.statementFlags);
    writeLine(out, p.productCode);
    writeLine(out, p.title);
    writeList(out, p.pluginCommands);
    for (const auto* line : {&p.company, &p.contact, &p.helpLink, &p.updateInfo, &p.comments, &p.version})
        writeLine(out, *line);
    writeList(out, p.mediaPasswords);
    writeList(out, p.statementMedia);
    writeLine(out, std::to_string(p.buildKind));
    writeList(out, p.componentSizes);
    writeLine(out, p.revisionCode);
    writeList(out, p.mediaFiles);
    writeLine(out, p.chooseLanguage ? "TRUE" : "FALSE");
    writeLine(out, p.defaultLanguage);
    writeList(out, p.commandHeaders);
    writeList(out, p.compilerVariables);
    return out;
}

std::string statementParameter(const std::vector<const TextList*>& lists, std::string_view guid, std::size_t k) {
    for (const TextList* list : lists) {
        const std::size_t at = list->indexOf(guid);
        if (at == TextList::npos) continue;
        return at + k < list->size() ? (*list)[at + k] : std::string();
    }
    return {};
}

std::string commandHeader(const SetupPayload& p, std::size_t statement) {
    const std::size_t at = p.commandHeaders.indexOf(std::to_string(statement));
    return at == TextList::npos || at == 0 ? std::string() : p.commandHeaders[at - 1];
}

std::string mediaPassword(const SetupPayload& p, std::string_view media) {
    return p.mediaPasswords.valueOfPair(media).value_or(std::string());
}

std::int64_t payloadComponentSize(const SetupPayload& p, std::string_view component) {
    const std::size_t at = p.componentSizes.indexOf(component);
    if (at == TextList::npos || at + 1 >= p.componentSizes.size()) return 0;
    const std::string& line = p.componentSizes[at + 1];
    std::int64_t size = 0;
    const auto [end, ec] = std::from_chars(line.data(), line.data() + line.size(), size);
    if (ec != std::errc() || end != line.data() + line.size())
        throw std::runtime_error("'" + line + "' is not a valid integer value");
    return size;
}

std::uint64_t peStubSize(std::string_view image) {
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') throw PayloadReadError("Invalid executable image");
    const std::uint64_t fileHeader = std::uint64_t(read32(image, 0x3C)) + 4;
    if (read32(image, fileHeader - 4) != 0x00004550) throw PayloadReadError("Invalid executable image");
    const std::uint32_t sections = read16(image, fileHeader + 2);
    const std::uint32_t optionalHeaderSize = read16(image, fileHeader + 16);
    const std::uint64_t table = fileHeader + 20 + optionalHeaderSize;
    std::uint64_t stub = 0;
    for (std::uint32_t i = 0; i < sections; ++i) {
        const std::uint64_t entry = table + 40ull * i;
        const std::uint64_t end = std::uint64_t(read32(image, entry + 16)) + read32(image, entry + 20);
        if (end > stub) stub = end;
    }
    return stub;
}

} // namespace velmora
