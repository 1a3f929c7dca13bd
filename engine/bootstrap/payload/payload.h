// SetupPayload: the plain-text project appended to the engine, and the look-ups every subsystem
// uses on it. Parsing and writing live together so the engine and the authoring tool share one
// definition of the format.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/text_list.h"

namespace velmora {

// A payload that ends early or has a non-numeric build kind.
class PayloadReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct SetupPayload {
    TextList statementNames;      // one line per statement, in script order
    TextList statementIds;        // statement GUIDs, same order
    TextList statementParameters; // parameter records: GUID line, then one line per parameter
    TextList statementFlags;      // "C" marks a commented-out statement
    std::string productCode;
    std::string title;
    TextList pluginCommands;
    std::string company;
    std::string contact;
    std::string helpLink;
    std::string updateInfo;
    std::string comments;
    std::string version;
    TextList mediaPasswords;      // media name / scrambled password pairs
    TextList statementMedia;      // one line per statement: "OFFLINE\", "<block>\" or empty
    int buildKind = 0;
    TextList componentSizes;      // component name / size in bytes pairs
    std::string revisionCode;
    TextList mediaFiles;          // media / path in media / destination triples
    bool chooseLanguage = false;
    std::string defaultLanguage;
    TextList commandHeaders;      // header ID / statement index pairs
    TextList compilerVariables;   // name / value pairs

    // The lists searched for statement parameters, in order (the parse appends
    // statementParameters; plug-ins may add their own).
    std::vector<const TextList*> parameterLists() const { return {&statementParameters}; }

    std::size_t statementCount() const { return statementNames.size(); }
    bool isCommented(std::size_t statement) const;
};

// Reads the payload text (lines ended by CR LF; a lone LF is accepted too).
SetupPayload parsePayload(std::string_view text);
// Writes the payload text the engine reads; a parameter line that is exactly "$" is written
// as "$DOLLAR$" so it cannot end its section.
std::string writePayload(const SetupPayload& payload);

// Parameter k (from 1) of the statement whose GUID is guid; empty when there is none.
std::string statementParameter(const std::vector<const TextList*>& lists, std::string_view guid, std::size_t k);
// Header ID of statement index n; empty when it has none.
std::string commandHeader(const SetupPayload& payload, std::size_t statement);
// Scrambled archive password of a media; empty when not listed.
std::string mediaPassword(const SetupPayload& payload, std::string_view media);
// Size in bytes of a component from the payload's list; 0 when not listed.
std::int64_t payloadComponentSize(const SetupPayload& payload, std::string_view component);

// Locating the payload in a PE image (as mapped in memory or as read from its file: the section
// table gives raw file offsets either way). The section table starts after the optional header
// whose size the file header gives, so PE32 and PE32+ images are handled alike. Returns 0 for an
// image without sections; throws PayloadReadError for bytes that are not a PE image.
std::uint64_t peStubSize(std::string_view image);

} // namespace velmora
