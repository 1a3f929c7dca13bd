// Version rules, the long-path walk and the group rules that every SystemInfo shares.
#include "platform/path_names.h"
#include "platform/system_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "core/text.h"

using namespace velmora;
using namespace velmora::platform;

TEST(OsVersion, FamilyMinorBuildAndServicePack) {
    struct Case {
        unsigned platformId, major, minor;
        std::uint32_t buildField;
        const char* csd;
        bool nt;
        unsigned wantMinor, wantBuild, wantServicePack;
    };
    const Case cases[] = {
        {1, 4, 10, 0x040A07CE, " A ", false, 10, 1998, 0},    // Windows 98
        {1, 4, 10, 0x040A08AD, "", false, 10, 2221, 0},       // the last build still counted as 98
        {1, 4, 10, 0x040A08AE, " A ", false, 11, 2222, 0},    // 98 Second Edition
        {1, 4, 90, 0x045A0BB8, "", false, 90, 3000, 0},       // Me
        {2, 4, 10, 0x040A08AE, "", true, 10, 0x040A08AE, 0},  // the rule is for the 9x family only
        {2, 4, 0, 1381, "Service Pack 6a", true, 0, 1381, 6},
        {2, 5, 1, 2600, "Service Pack 2", true, 1, 2600, 2},
        {2, 5, 1, 2600, "Service Pack 2, v.2096", true, 1, 2600, 2},
        {2, 6, 1, 7601, "", true, 1, 7601, 0},
    };
    for (const auto& c : cases) {
        const OsVersion v = makeOsVersion(c.platformId, c.major, c.minor, c.buildField, c.csd);
        SCOPED_TRACE(testing::Message() << c.major << "." << c.minor << " '" << c.csd << "'");
        EXPECT_EQ(v.nt, c.nt);
        EXPECT_EQ(v.major, c.major);
        EXPECT_EQ(v.minor, c.wantMinor);
        EXPECT_EQ(v.build, c.wantBuild);
        EXPECT_EQ(v.servicePack, c.wantServicePack);
    }
    EXPECT_TRUE(makeOsVersion(1, 4, 10, 0x040A08AE, "").atLeast(4, 11));
    EXPECT_FALSE(makeOsVersion(2, 4, 0, 1381, "").atLeast(4, 10));
    EXPECT_TRUE(makeOsVersion(2, 6, 0, 6000, "").atLeast(5, 2));
}

TEST(LongPath, ComponentsAsStoredOnDisk) {
    // A small disk: full paths (any letter case) -> the stored name of their last component.
    const std::map<std::string, std::string> disk = {
        {R"(C:\PROGRAM FILES)", "Program Files"}, {R"(C:\PROGRA~1)", "Program Files"},
        {R"(C:\PROGRA~1\MYAPP)", "MyApp"},        {R"(C:\PROGRA~1\MYAPP\READ.ME)", "Read.me"},
        {R"(\\SRV\SHARE\DOCS)", "Docs"},          {R"(DATA)", "Data"},
        {R"(\TEMP)", "Temp"},
    };
    std::vector<std::string> asked;
    const StoredNameLookup lookup = [&](const std::string& path) -> std::optional<std::string> {
        asked.push_back(path);
        const auto it = disk.find(text::upper(path));
        if (it == disk.end()) return std::nullopt;
        return it->second;
    };
    struct Case { const char* path; const char* want; };
    const Case cases[] = {
        {R"(c:\progra~1\myapp\read.me)", R"(c:\Program Files\MyApp\Read.me)"},
        {R"("C:\PROGRA~1\MYAPP\")", R"(C:\Program Files\MyApp)"},
        {R"(C:\PROGRA~1\missing)", R"(C:\PROGRA~1\missing)"},          // last component missing: as given
        {R"(C:\PROGRA~1\missing\READ.ME)", R"(C:\PROGRA~1\missing\READ.ME)"},
        {R"(C:\)", R"(C:)"},
        {R"(C:)", R"(C:)"},
        {R"(\\srv\share\docs)", R"(\\srv\share\Docs)"},              // server and share are never found
        {R"(data)", R"(Data)"},                                      // relative stays relative
        {R"(\temp)", R"(\Temp)"},
        {R"(C:\PROGRA*)", R"(C:\PROGRA*)"},                          // a wildcard is not a name
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(longPath(c.path, lookup), c.want) << c.path;
    asked.clear();
    longPath(R"(C:\PROGRA?\x)", lookup);
    EXPECT_EQ(std::count(asked.begin(), asked.end(), R"(C:\PROGRA?)"), 0);
}

TEST(PathText, QuotesAndTrailingBackslash) {
    EXPECT_EQ(stripQuotes(R"("C:\a "b"\")"), R"(C:\a b\)");
    EXPECT_EQ(pathWithoutQuotes(R"("C:\a\\")"), R"(C:\a\)");
    EXPECT_EQ(pathWithoutQuotes(""), "");
}

namespace {

// A user whose token holds the given groups, on the given Windows version.
class TokenSystem : public SystemInfo {
public:
    TokenSystem(OsVersion v, std::vector<unsigned> groups, bool elevated)
        : version_(v), groups_(std::move(groups)), elevated_(elevated) {}
    OsVersion osVersion() const override { return version_; }
    bool tokenHasBuiltinGroup(unsigned rid) const override {
        return std::find(groups_.begin(), groups_.end(), rid) != groups_.end();
    }
    bool isElevated() const override { return elevated_; }

private:
    OsVersion version_;
    std::vector<unsigned> groups_;
    bool elevated_;
};

} // namespace

TEST(UserRights, GroupsAndAdministratorPerFamily) {
    const OsVersion win98 = makeOsVersion(1, 4, 10, 0, "");
    const OsVersion xp = makeOsVersion(2, 5, 1, 2600, "");
    const OsVersion vista = makeOsVersion(2, 6, 0, 6000, "");
    struct Case {
        OsVersion version;
        std::vector<unsigned> groups;
        bool elevated;
        bool admin, member544, users, powerUsers;
    };
    const Case cases[] = {
        {win98, {}, false, true, true, false, false},
        {xp, {544, 545}, false, true, true, true, false},
        {vista, {544, 545}, false, false, true, true, false}, // filtered token: member, not administrator
        {vista, {544, 545}, true, true, true, true, false},
        {vista, {545, 547}, true, false, false, true, true},  // elevated without the group
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version.major << "." << c.version.minor << " elevated " << c.elevated);
        const TokenSystem system(c.version, c.groups, c.elevated);
        EXPECT_EQ(system.isAdministrator(), c.admin);
        EXPECT_EQ(system.isMemberOfGroup(544), c.member544);
        EXPECT_EQ(system.isInGroup(BuiltinGroup::Administrators), c.member544);
        EXPECT_EQ(system.isInGroup(BuiltinGroup::Users), c.users);
        EXPECT_EQ(system.isInGroup(BuiltinGroup::PowerUsers), c.powerUsers);
        EXPECT_FALSE(system.isInGroup(BuiltinGroup::Guests));
    }
}
