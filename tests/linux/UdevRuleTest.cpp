// The udev rule opens exactly the family's hidraw nodes to the user at the seat, and the metainfo
// offers the utility for exactly the family's devices.
#include "BoardIdentity.h"

#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> ruleLines() {
    std::ifstream file(TESSARY_PACKAGING_DIR "/70-tessary32.rules");
    EXPECT_TRUE(file) << "the rule file is missing";
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);)
        if (!line.empty() && line[0] != '#')
            lines.push_back(line);
    return lines;
}

std::string hex4(std::uint16_t value, const char* format = "%04x") {
    char text[8];
    std::snprintf(text, sizeof text, format, static_cast<unsigned>(value));
    return text;
}

TEST(UdevRule, TagsExactlyTheFamilyForTheSeatUser) {
    const std::regex match(R"re(^ATTRS\{idVendor\}=="([0-9a-f]{4})", )re"
                           R"re(ATTRS\{idProduct\}=="([0-9a-f]{4})", TAG\+="uaccess"$)re");
    std::set<std::string> products;
    for (const std::string& line : ruleLines()) {
        std::smatch found;
        if (!std::regex_match(line, found, match))
            continue;
        EXPECT_EQ(found[1], hex4(hid::kBoardVendorId)) << line;
        products.insert(found[2]);
    }
    std::set<std::string> family;
    for (const std::uint16_t product : hid::kBoardProductIds)
        family.insert(hex4(product));
    EXPECT_EQ(products, family);
}

TEST(UdevRule, OnlyHidrawNodesAndNoWorldAccess) {
    bool hidrawOnly = false;
    for (const std::string& line : ruleLines()) {
        EXPECT_EQ(line.find("MODE"), std::string::npos) << line;
        EXPECT_EQ(line.find("0666"), std::string::npos) << line;
        hidrawOnly |= line == R"(SUBSYSTEM!="hidraw", GOTO="tessary32_end")";
    }
    EXPECT_TRUE(hidrawOnly);
}

// Software centres match modaliases with upper-case hexadecimal digits, as the kernel writes them.
TEST(Metainfo, ModaliasesAreExactlyTheFamily) {
    std::ifstream file(TESSARY_PACKAGING_DIR "/io.github.tessary32.Config.metainfo.xml");
    ASSERT_TRUE(file) << "the metainfo is missing";
    const std::regex modalias(R"re(<modalias>([^<]*)</modalias>)re");
    std::set<std::string> found;
    for (std::string line; std::getline(file, line);) {
        std::smatch match;
        if (std::regex_search(line, match, modalias))
            found.insert(match[1]);
    }
    std::set<std::string> family;
    for (const std::uint16_t product : hid::kBoardProductIds)
        family.insert("usb:v" + hex4(hid::kBoardVendorId, "%04X") + "p" + hex4(product, "%04X") +
                      "d*");
    EXPECT_EQ(found, family);
}

} // namespace
