#include <gtest/gtest.h>

#include "builder/project.h"

using namespace velmora;
using namespace velmora::builder;

namespace {

// A project in the exact form the dump writes, so parse + write must give it back unchanged.
const char* const kCanonical = R"(# Velmora setup project

[product]
title: Sample Product
product-code: {6F1E2D3C-4B5A-4978-8695-A4B3C2D1E0F9}
revision-code: {0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9}
company: Velmora Samples
contact: Support Desk
help-link: https://example.invalid/help
update-info: https://example.invalid/update
comments: Licensed: see LICENSE.txt
version: 1.2.3
build-kind: 2
choose-language: TRUE
default-language: English

[plugin-commands]
Windows Installer

[media-passwords]
offline = X1Y2Z3

[component-sizes]
QORV-PREDEF-COMPONENT = 0
APP = 123456789012

[media-files]
OFFLINE | 0000ABCD\a.txt | OFFLINE\1234ABCD\0000ABCD\

[compiler-variables]
BUILDMODE = WEB
TARGETDIR = $TARGETDIR$

[script]
Set Variable
  id: {11111111-2222-3333-4444-555555555555}
  | TARGETDIR
  | $PROGRAMFILES$\Sample
  | 
  |   two leading blanks
  | $
If
  id: {22222222-2222-3333-4444-555555555555}
  commented
  | A
Install Files
  id: {33333333-2222-3333-4444-555555555555}
  header: 1234ABCD
  media: OFFLINE\
  | $TARGETDIR$
End
  id: {44444444-2222-3333-4444-555555555555}
)";

} // namespace

TEST(BuilderProject, CanonicalTextRoundTrips) {
    const Project project = parseProject(kCanonical);
    EXPECT_EQ(writeProject(project.payload), kCanonical);
    // Through the payload text as well: what the engine reads is what the dump shows.
    EXPECT_EQ(writeProject(parsePayload(writePayload(project.payload))), kCanonical);
    EXPECT_EQ(statementParameter(project.payload.parameterLists(), "{11111111-2222-3333-4444-555555555555}", 5), "$");
    EXPECT_EQ(project.payload.componentSizes[3], "123456789012");
}

TEST(BuilderProject, GeneratesIdsAndHeadersThatSurviveARebuild) {
    const Project project = parseProject("[script]\nWrite Registry\n  | HKLM\nSet Variable\n  | X\nCreate Shortcut\n");
    const SetupPayload& p = project.payload;
    ASSERT_EQ(p.statementIds.size(), 3u);
    EXPECT_NE(p.statementIds[0], p.statementIds[1]);
    EXPECT_EQ(p.statementIds[0].size(), 38u);
    const std::string h0 = commandHeader(p, 0), h2 = commandHeader(p, 2);
    EXPECT_EQ(h0.size(), 8u);
    EXPECT_EQ(commandHeader(p, 1), "");          // only system-changing statements get one
    EXPECT_NE(h0, h2);
    const Project again = parseProject(writeProject(p));
    EXPECT_EQ(writePayload(again.payload), writePayload(p));
}

TEST(BuilderProject, ErrorsNameTheLine) {
    struct Case { const char* text; int line; };
    const Case cases[] = {
        {"[product]\ntitle: x\nbuild-kind: two\n", 3},
        {"[nonsense]\n", 1},
        {"[script]\n  | orphan parameter\n", 2},
        {"[script]\nSet Variable\n  id: not-a-guid\n", 3},
        {"[script]\nA\n  header: 12\n", 3},
        {"[script]\nA\n  header: 0000000A\nB\n  header: 0000000A\n", 4},
        {"title: x\n", 1},
    };
    for (const auto& c : cases) {
        try {
            parseProject(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ProjectError& e) {
            EXPECT_EQ(e.line(), c.line) << c.text << " -> " << e.what();
        }
    }
}
