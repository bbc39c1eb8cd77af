#include "InputBindings.h"

#include <algorithm>
#include <array>
#include <set>

namespace hid {

namespace {

constexpr std::uint16_t kGenericDesktop = 0x01;
constexpr std::uint16_t kPointer = 0x01;
constexpr std::uint16_t kMouse = 0x02;
constexpr std::uint16_t kJoystick = 0x04;
constexpr std::uint16_t kGamePad = 0x05;
// The longest input report probed: the board's is 5 bytes; a longer claim is not believed.
constexpr std::uint32_t kMostProbedBytes = 64;

bool desktop(Usage usage, std::uint16_t id) {
    return usage.page == kGenericDesktop && usage.id == id;
}

// The usages of Button page that a report with only this bit set turns on.
std::vector<std::uint16_t> usagesOfBit(ApiDeclarations& api, PreparsedData preparsed,
                                       std::uint32_t length, std::uint32_t bit) {
    std::vector<std::uint8_t> report(length, 0);
    report[1 + bit / 8] = static_cast<std::uint8_t>(1u << (bit % 8));
    std::array<std::uint16_t, 8> usages{};
    auto count = static_cast<std::uint32_t>(usages.size());
    if (api.HidP_GetUsages(HidpReportType::Input, kButtonPage, 0, usages.data(), &count, preparsed,
                           report.data(), length) != HIDP_STATUS_SUCCESS)
        return {};
    return {usages.begin(), usages.begin() + std::min<std::size_t>(count, usages.size())};
}

const ReportField* fieldOfBit(const ReportLayout& layout, std::uint32_t bit) {
    for (const ReportField& field : layout.fields)
        if (field.kind == ReportKind::Input && field.reportId == 0 && bit >= field.bitOffset &&
            bit - field.bitOffset < std::uint64_t{field.bitSize} * field.count)
            return &field;
    return nullptr;
}

} // namespace

// The kernel's rule, from drivers/hid/hid-input.c, hidinput_configure_usage(), case
// HID_UP_BUTTON: code = (usage - 1) & 0xffff; in a Joystick or Game Pad application the first
// 16 buttons go from BTN_JOYSTICK or BTN_GAMEPAD and the rest from BTN_TRIGGER_HAPPY; a Mouse
// or Pointer application goes from BTN_MOUSE; any other by the Physical collection, else from
// BTN_MISC. A code past KEY_MAX is not mapped (hid_map_usage).
std::optional<std::uint16_t> evdevButtonCode(std::uint16_t button, Usage application,
                                             Usage physical) {
    const std::uint32_t index = (std::uint32_t{button} - 1) & 0xFFFFu;
    std::uint32_t code = 0;
    if (desktop(application, kMouse) || desktop(application, kPointer))
        code = kBtnMouse + index;
    else if (desktop(application, kJoystick) || desktop(application, kGamePad))
        code = index <= 0xF ? (desktop(application, kJoystick) ? kBtnJoystick : kBtnGamepad) + index
                            : kBtnTriggerHappy + index - 0x10;
    else if (desktop(physical, kMouse) || desktop(physical, kPointer))
        code = kBtnMouse + index;
    else if (desktop(physical, kJoystick))
        code = kBtnJoystick + index;
    else if (desktop(physical, kGamePad))
        code = kBtnGamepad + index;
    else
        code = kBtnMisc + index;
    if (code > kKeyMax)
        return std::nullopt;
    return static_cast<std::uint16_t>(code);
}

std::string evdevCodeName(std::uint16_t code) {
    static constexpr std::array<const char*, 16> joystick{
        "BTN_TRIGGER", "BTN_THUMB", "BTN_THUMB2", "BTN_TOP",   "BTN_TOP2",
        "BTN_PINKIE",  "BTN_BASE",  "BTN_BASE2",  "BTN_BASE3", "BTN_BASE4",
        "BTN_BASE5",   "BTN_BASE6", "",           "",          "",
        "BTN_DEAD"};
    static constexpr std::array<const char*, 16> gamepad{
        "BTN_SOUTH", "BTN_EAST",   "BTN_C",      "BTN_NORTH", "BTN_WEST",   "BTN_Z",
        "BTN_TL",    "BTN_TR",     "BTN_TL2",    "BTN_TR2",   "BTN_SELECT", "BTN_START",
        "BTN_MODE",  "BTN_THUMBL", "BTN_THUMBR", ""};
    static constexpr std::array<const char*, 8> mouse{"BTN_LEFT", "BTN_RIGHT", "BTN_MIDDLE",
                                                      "BTN_SIDE", "BTN_EXTRA", "BTN_FORWARD",
                                                      "BTN_BACK", "BTN_TASK"};
    if (code >= kBtnMisc && code < kBtnMisc + 10)
        return "BTN_" + std::to_string(code - kBtnMisc);
    if (code >= kBtnMouse && code < kBtnMouse + mouse.size())
        return mouse[code - kBtnMouse];
    if (code >= kBtnJoystick && code < kBtnJoystick + joystick.size())
        return joystick[code - kBtnJoystick];
    if (code >= kBtnGamepad && code < kBtnGamepad + gamepad.size())
        return gamepad[code - kBtnGamepad];
    if (code >= kBtnTriggerHappy && code < kBtnTriggerHappy + 40)
        return "BTN_TRIGGER_HAPPY" + std::to_string(code - kBtnTriggerHappy + 1);
    return {};
}

InputBindings readInputBindings(ApiDeclarations& api, Handle featureHandle,
                                std::uint16_t inputReportLength) {
    InputBindings bindings;
    PreparsedData preparsed = 0;
    if (inputReportLength < 2 || api.HidD_GetPreparsedData(featureHandle, preparsed) == 0)
        return bindings;
    bindings.read = true;
    const std::uint32_t length = std::min<std::uint32_t>(inputReportLength, kMostProbedBytes + 1);
    std::vector<std::optional<std::uint16_t>> buttonOfBit;
    std::set<std::uint16_t> declared;
    for (std::uint32_t bit = 0; bit < 8 * (length - 1); ++bit) {
        const std::vector<std::uint16_t> usages = usagesOfBit(api, preparsed, length, bit);
        declared.insert(usages.begin(), usages.end());
        buttonOfBit.push_back(usages.size() == 1 ? std::optional(usages.front()) : std::nullopt);
    }
    api.HidD_FreePreparsedData(preparsed);

    std::optional<ReportLayout> layout;
    if (const auto descriptor = api.GetReportDescriptor(featureHandle))
        layout = parseReportDescriptor(*descriptor).layout;
    bindings.descriptorRead = layout.has_value();
    for (int input = 0; input < kBoardInputs; ++input) {
        InputBinding binding{input, {}, {}, {}};
        const auto bit = static_cast<std::size_t>(input);
        if (bit < buttonOfBit.size() && buttonOfBit[bit]) {
            binding.button = buttonOfBit[bit];
            binding.windowsNumber =
                1 +
                static_cast<int>(std::distance(declared.begin(), declared.find(*binding.button)));
            const ReportField* field = layout ? fieldOfBit(*layout, input) : nullptr;
            if (field != nullptr)
                binding.evdevCode =
                    evdevButtonCode(*binding.button, field->application, field->physical);
        }
        bindings.inputs.push_back(binding);
    }
    return bindings;
}

} // namespace hid
