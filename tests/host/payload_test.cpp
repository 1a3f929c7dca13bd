#include <gtest/gtest.h>

#include <cstring>

#include "bootstrap/payload/payload.h"

using namespace velmora;

namespace {

const char* const kGuidA = "{11111111-2222-3333-4444-555555555555}";
const char* const kGuidB = "{AAAAAAAA-BBBB-CCCC-DDDD-EEEEEEEEEEEE}";

// A payload text with every item; lists given as their lines.
std::string payloadText(const std::string& parameters, const std::string& buildKind = "2",
                        const std::string& chooseLanguage = "TRUE") {
    return std::string("Set Variable\r\nEnd\r\nInstall Files\r\n$\r\n") +  // names
           kGuidA + "\r\n" + kGuidB + "\r\n{99999999-0000-0000-0000-000000000000}\r\n$\r\n" + parameters + "$\r\n" +
           "\r\nC\r\n\r\n$\r\n"                     // flags
           "{PRODUCT}\r\nSample\r\n"                // product code, title
           "Plug One\r\n$\r\n"                      // plug-in commands
           "Company\r\nContact\r\nHelp\r\nUpdate\r\nComments\r\n1.0\r\n"
           "$\r\n"                                  // empty media passwords
           "\r\n\r\nOFFLINE\\\r\n$\r\n" +            // statement media
           buildKind + "\r\n" +
           "APP\r\n1024\r\nQORV-PREDEF-COMPONENT\r\n0\r\n$\r\n"
           "{REVISION}\r\n"
           "OFFLINE\r\n0000ABCD\\a.txt\r\nOFFLINE\\1234ABCD\\0000ABCD\\\r\n$\r\n" +
           chooseLanguage + "\r\nEnglish\r\n"
           "1234ABCD\r\n2\r\n$\r\n"
           "BUILDMODE\r\nWEB\r\n$\r\n";
}

} // namespace

TEST(Payload, ParsesEveryItemInOrder) {
    const SetupPayload p = parsePayload(payloadText(std::string(kGuidA) + "\r\nX\r\n$DOLLAR$\r\n"));
    EXPECT_EQ(p.statementNames.size(), 3u);
    EXPECT_EQ(p.statementNames[2], "Install Files");
    EXPECT_TRUE(p.isCommented(1));
    EXPECT_FALSE(p.isCommented(0));
    EXPECT_EQ(p.productCode, "{PRODUCT}");
    EXPECT_EQ(p.title, "Sample");
    EXPECT_EQ(p.pluginCommands.toVector(), std::vector<std::string>{"Plug One"});
    EXPECT_EQ(p.comments, "Comments");
    EXPECT_EQ(p.version, "1.0");
    EXPECT_TRUE(p.mediaPasswords.empty());
    EXPECT_EQ(p.statementMedia[2], "OFFLINE\\");
    EXPECT_EQ(p.buildKind, 2);
    EXPECT_EQ(p.revisionCode, "{REVISION}");
    EXPECT_EQ(p.mediaFiles.size(), 3u);
    EXPECT_TRUE(p.chooseLanguage);
    EXPECT_EQ(p.defaultLanguage, "English");
    EXPECT_EQ(commandHeader(p, 2), "1234ABCD");
    EXPECT_EQ(p.compilerVariables.valueOfPair("buildmode"), "WEB");
}

TEST(Payload, ParameterLookUps) {
    const std::string params = std::string(kGuidB) + "\r\nb1\r\n" +
                               "{11111111-2222-3333-4444-555555555555}\r\nfirst\r\n$DOLLAR$\r\n$wild_dollar$\r\nx$DOLLAR$\r\n";
    const SetupPayload p = parsePayload(payloadText(params));
    const auto lists = p.parameterLists();
    struct Case { const char* guid; std::size_t k; const char* want; };
    const Case cases[] = {
        {kGuidA, 1, "first"},
        {kGuidA, 2, "$"},                                        // whole-line $DOLLAR$
        {kGuidA, 3, "$"},                                        // $WILD_DOLLAR$, any case
        {kGuidA, 4, "x$DOLLAR$"},                                // inside longer text: unchanged
        {"{11111111-2222-3333-4444-555555555555}", 1, "first"},
        {"{aaaaaaaa-bbbb-cccc-dddd-eeeeeeeeeeee}", 1, "b1"},     // lower-case GUID still found
        {"{99999999-0000-0000-0000-000000000000}", 1, ""},       // statement without a record
        {kGuidA, 9, ""},                                         // past the end of the list
    };
    for (const auto& c : cases) EXPECT_EQ(statementParameter(lists, c.guid, c.k), c.want) << c.guid << " " << c.k;
}

TEST(Payload, OtherLookUps) {
    SetupPayload p = parsePayload(payloadText("", "0", "true"));
    EXPECT_FALSE(p.chooseLanguage);                 // only exactly "TRUE" turns the choice on
    EXPECT_EQ(commandHeader(p, 0), "");             // no header
    EXPECT_EQ(commandHeader(p, 1), "");
    EXPECT_EQ(payloadComponentSize(p, "app"), 1024);
    EXPECT_EQ(payloadComponentSize(p, "missing"), 0);
    p.mediaPasswords = TextList{"Web1", "secret", "offline", "pw"};
    EXPECT_EQ(mediaPassword(p, "OFFLINE"), "pw");
    EXPECT_EQ(mediaPassword(p, "secret"), "");      // only names at even positions count
}

TEST(Payload, ReadErrors) {
    const std::string good = payloadText("");
    EXPECT_NO_THROW(parsePayload(good));
    // Every truncation point fails with a read error, never a crash.
    for (std::size_t cut : {std::size_t(0), std::size_t(10), good.size() / 2, good.size() - 8})
        EXPECT_THROW(parsePayload(good.substr(0, cut)), PayloadReadError) << cut;
    EXPECT_THROW(parsePayload(payloadText("", "two")), PayloadReadError);
    EXPECT_EQ(parsePayload(payloadText("", "  3 trailing")).buildKind, 3);
}

TEST(Payload, WriteThenParseIsIdentity) {
    SetupPayload p = parsePayload(payloadText(std::string(kGuidA) + "\r\n$DOLLAR$\r\n\r\nlast\r\n"));
    const SetupPayload again = parsePayload(writePayload(p));
    EXPECT_EQ(again.statementParameters, p.statementParameters);
    EXPECT_EQ(writePayload(again), writePayload(p));
    EXPECT_NE(writePayload(p).find("\r\n$DOLLAR$\r\n"), std::string::npos);   // a lone "$" never ends a section
}

namespace {

// A minimal PE image with the given optional-header size and sections (raw pointer, raw size).
std::string peImage(std::uint16_t optionalHeaderSize, std::vector<std::pair<std::uint32_t, std::uint32_t>> sections) {
    std::string image(0x400, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    const std::uint32_t pe = 0x80;
    std::memcpy(&image[0x3C], &pe, 4);
    std::memcpy(&image[pe], "PE\0\0", 4);
    const std::uint16_t count = static_cast<std::uint16_t>(sections.size());
    std::memcpy(&image[pe + 4 + 2], &count, 2);
    std::memcpy(&image[pe + 4 + 16], &optionalHeaderSize, 2);
    std::size_t entry = pe + 4 + 20 + optionalHeaderSize;
    for (auto [pointer, size] : sections) {
        std::memcpy(&image[entry + 16], &size, 4);
        std::memcpy(&image[entry + 20], &pointer, 4);
        entry += 40;
    }
    return image;
}

} // namespace

TEST(PeStubSize, UsesTheOptionalHeaderSizeOfTheImage) {
    // PE32 (224-byte optional header) and PE32+ (240): the largest pointer + size.
    EXPECT_EQ(peStubSize(peImage(224, {{0x400, 0x200}, {0x600, 0x1000}, {0x1600, 0x10}})), 0x1610u);
    EXPECT_EQ(peStubSize(peImage(240, {{0x400, 0x200}, {0x600, 0x1000}})), 0x1600u);
    EXPECT_EQ(peStubSize(peImage(240, {})), 0u);
    EXPECT_THROW(peStubSize("not an image"), PayloadReadError);
    std::string truncated = peImage(240, {{0x400, 0x200}});
    truncated.resize(0x90);
    EXPECT_THROW(peStubSize(truncated), PayloadReadError);
}
