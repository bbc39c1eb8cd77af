#include "SettingsFile.h"

#include "BoardChoice.h"
#include "BoardIdentity.h"
#include "ConsoleText.h"

#include <algorithm>
#include <set>

namespace cli {

namespace {

using nlohmann::json;

// A fault in the file: what is wrong, already in words for the user.
struct FileFault {
    std::string what;
};

// nlohmann::json keeps the last of two equal keys without a word; a settings file with two
// values for one key is ambiguous, so the parse callback looks at every key.
json parseRejectingDuplicates(std::string_view text) {
    std::vector<std::set<std::string>> keysOfOpenObjects;
    std::optional<std::string> duplicate;
    const json::parser_callback_t callback = [&](int, json::parse_event_t event, json& parsed) {
        switch (event) {
        case json::parse_event_t::object_start:
            keysOfOpenObjects.emplace_back();
            break;
        case json::parse_event_t::object_end:
            keysOfOpenObjects.pop_back();
            break;
        case json::parse_event_t::key:
            if (!keysOfOpenObjects.back().insert(parsed.get<std::string>()).second && !duplicate)
                duplicate = parsed.get<std::string>();
            break;
        default:
            break;
        }
        return true;
    };
    json document;
    try {
        document = json::parse(text.begin(), text.end(), callback);
    } catch (const json::parse_error& error) {
        throw FileFault{"not JSON, or cut short (byte " + std::to_string(error.byte) + ")"};
    }
    if (duplicate)
        throw FileFault{"the key '" + printable(*duplicate) + "' appears twice in one object"};
    return document;
}

const json& member(const json& object, const char* key, json::value_t type, const char* where) {
    const auto found = object.find(key);
    if (found == object.end())
        throw FileFault{std::string(where) + " has no '" + key + "'"};
    const bool numberWanted = type == json::value_t::number_unsigned;
    if (numberWanted ? !found->is_number_integer() : found->type() != type)
        throw FileFault{std::string(where) + "." + key + " must be " +
                        (numberWanted ? "a whole number" : "a string")};
    return *found;
}

void onlyKnownKeys(const json& object, std::initializer_list<const char*> known,
                   const char* where) {
    for (const auto& item : object.items()) {
        const std::string& key = item.key();
        if (std::none_of(known.begin(), known.end(), [&](const char* k) { return key == k; }))
            throw FileFault{"unknown key '" + printable(key) + "' in " + where};
    }
}

void checkFormat(const json& document) {
    if (!document.is_object())
        throw FileFault{"not a settings file: the document is not a JSON object"};
    if (document.value("format", json()) != kSettingsFormat)
        throw FileFault{std::string("not a settings file of this program: 'format' is not \"") +
                        kSettingsFormat + "\""};
    const json& version =
        member(document, "format_version", json::value_t::number_unsigned, "the document");
    if (version.get<std::int64_t>() > kSettingsFormatVersion)
        throw FileFault{"format version " + version.dump() + " is newer than this program reads (" +
                        std::to_string(kSettingsFormatVersion) + "): update tessary32"};
    if (version.get<std::int64_t>() < 1)
        throw FileFault{"format version " + version.dump() + " does not exist"};
    onlyKnownKeys(document, {"format", "format_version", "board", "settings"}, "the document");
}

std::uint16_t hexId(const json& board, const char* key) {
    const std::string text = member(board, key, json::value_t::string, "board").get<std::string>();
    const bool hex = text.size() == 4 && std::all_of(text.begin(), text.end(), [](unsigned char c) {
                         return std::isxdigit(c);
                     });
    if (!hex)
        throw FileFault{std::string("board.") + key + " must be four hexadecimal digits"};
    return static_cast<std::uint16_t>(std::stoul(text, nullptr, 16));
}

void checkBoard(const json& document) {
    const json& board = member(document, "board", json::value_t::object, "the document");
    onlyKnownKeys(board,
                  {"serial", "vendor_id", "product_id", "version", "manufacturer", "product"},
                  "board");
    hid::HiddAttributes identity;
    identity.VendorID = hexId(board, "vendor_id");
    identity.ProductID = hexId(board, "product_id");
    if (!hid::isBoard(identity))
        throw FileFault{"saved from another product (" + hex4(identity.VendorID) + ":" +
                        hex4(identity.ProductID) + "), not from a Tessary-32 board"};
    member(board, "serial", json::value_t::string, "board");
    member(board, "version", json::value_t::string, "board");
    for (const char* text : {"manufacturer", "product"})
        if (board.contains(text) && !board[text].is_string() && !board[text].is_null())
            throw FileFault{std::string("board.") + text + " must be a string or null"};
}

std::vector<Assignment> readSettings(const json& document) {
    const json& settings = member(document, "settings", json::value_t::object, "the document");
    std::vector<Assignment> assignments;
    std::set<std::uint8_t> addresses;
    for (const auto& [key, value] : settings.items()) {
        if (!value.is_string())
            throw FileFault{"settings." + printable(key) + " must be a string, such as \"off\""};
        std::string error;
        const std::optional<Assignment> assignment =
            makeAssignment(key, value.get<std::string>(), error);
        if (!assignment)
            throw FileFault{"settings: " + error};
        // b1-b2 and enc1 are one setting.
        if (!addresses.insert(assignment->setting.address()).second)
            throw FileFault{"settings: " + keyOf(assignment->setting) + " is given twice"};
        assignments.push_back(*assignment);
    }
    // Written in address order, as the show lists them, whatever the order in the file.
    std::sort(assignments.begin(), assignments.end(), [](const Assignment& a, const Assignment& b) {
        return a.setting.address() < b.setting.address();
    });
    return assignments;
}

} // namespace

nlohmann::ordered_json settingsDocument(const config::BoardListing& board,
                                        const config::BoardDetails& details,
                                        const std::vector<Assignment>& settings) {
    using Document = nlohmann::ordered_json;
    const auto optionalText = [](const std::optional<std::string>& text) {
        return text ? Document(latin1ToUtf8(*text)) : Document();
    };
    Document values = Document::object();
    for (const Assignment& assignment : settings)
        values[keyOf(assignment.setting)] = valueText(assignment.setting, assignment.index);
    return Document{
        {"format", kSettingsFormat},
        {"format_version", kSettingsFormatVersion},
        {"board",
         {{"serial", latin1ToUtf8(board.serial)},
          {"vendor_id", hex4(board.vendorId)},
          {"product_id", hex4(board.productId)},
          {"version", details.version().text()},
          {"manufacturer", optionalText(details.manufacturer)},
          {"product", optionalText(details.product)}}},
        {"settings", values},
    };
}

std::optional<std::vector<Assignment>> parseSettingsFile(std::string_view text,
                                                         std::string& error) {
    try {
        if (text.size() > kMaxSettingsFileSize)
            throw FileFault{"too large for a settings file"};
        const json document = parseRejectingDuplicates(text);
        checkFormat(document);
        checkBoard(document);
        return readSettings(document);
    } catch (const FileFault& fault) {
        error = fault.what;
    } catch (const json::exception& fault) {
        // A value of a type or size no check above foresaw: still bad input, never a crash.
        error = std::string("not a settings file: ") + fault.what();
    }
    return std::nullopt;
}

} // namespace cli
