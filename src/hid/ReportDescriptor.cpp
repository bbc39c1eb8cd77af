#include "ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <utility>
#include <vector>

namespace hid {

namespace {

enum class ItemType : std::uint8_t { Main = 0, Global = 1, Local = 2, Reserved = 3 };

namespace main_tag {
constexpr std::uint8_t kInput = 0x8;
constexpr std::uint8_t kOutput = 0x9;
constexpr std::uint8_t kCollection = 0xA;
constexpr std::uint8_t kFeature = 0xB;
constexpr std::uint8_t kEndCollection = 0xC;
} // namespace main_tag

namespace global_tag {
constexpr std::uint8_t kUsagePage = 0x0;
constexpr std::uint8_t kLogicalMinimum = 0x1;
constexpr std::uint8_t kLogicalMaximum = 0x2;
constexpr std::uint8_t kReportSize = 0x7;
constexpr std::uint8_t kReportId = 0x8;
constexpr std::uint8_t kReportCount = 0x9;
constexpr std::uint8_t kPush = 0xA;
constexpr std::uint8_t kPop = 0xB;
} // namespace global_tag

namespace local_tag {
constexpr std::uint8_t kUsage = 0x0;
constexpr std::uint8_t kUsageMinimum = 0x1;
constexpr std::uint8_t kUsageMaximum = 0x2;
} // namespace local_tag

namespace main_flag {
constexpr std::uint32_t kConstant = 0x1;
constexpr std::uint32_t kVariable = 0x2;
} // namespace main_flag

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::size_t kMaxPushDepth = 32;
constexpr std::uint32_t kMaxReportId = 255;
// The longest report whose length, with its ID byte, still fits 16 bits.
constexpr std::uint64_t kMaxReportBits = 8ull * 0xFFFE;
// The kernel hands over descriptors of at most 4096 bytes, and every field and usage takes at
// least one item of one byte: these caps only ever stop a descriptor made to exhaust memory.
constexpr std::size_t kMaxFields = 4096;
constexpr std::size_t kMaxUsages = 4096;

struct Item {
    ItemType type = ItemType::Main;
    std::uint8_t tag = 0;
    std::uint32_t data = 0; // unsigned, little-endian, 0 to 4 bytes
    std::size_t dataSize = 0;
    bool isLong = false;

    // The data read as a two's complement number of its own size.
    std::int64_t signedData() const {
        if (dataSize == 0 || dataSize == 4)
            return static_cast<std::int32_t>(data);
        const std::uint32_t sign = 1u << (8 * dataSize - 1);
        return static_cast<std::int64_t>(data ^ sign) - sign;
    }
};

// The global items that shape reports; Push and Pop save and restore all of them together.
struct GlobalState {
    std::uint32_t reportSize = 0; // bits per field
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0; // 0: reports are not numbered
    std::uint16_t usagePage = 0;
    std::int64_t logicalMinimum = 0;
    Item logicalMaximum; // its reading depends on the minimum's sign
};

// A usage as a local item gives it: with its own page when its data had four bytes, else on
// the usage page in force when the main item comes.
struct LocalUsage {
    std::optional<std::uint16_t> page;
    std::uint16_t first = 0;
    std::uint16_t last = 0;
};

std::optional<std::uint16_t> extendedPage(const Item& item) {
    if (item.dataSize != 4)
        return std::nullopt;
    return static_cast<std::uint16_t>(item.data >> 16);
}

constexpr int kReportKinds = 3;
constexpr std::uint32_t kPhysicalCollection = 0;
constexpr std::uint32_t kApplicationCollection = 1;

class Parser {
public:
    explicit Parser(std::span<const std::uint8_t> descriptor) : bytes_(descriptor) {}

    DescriptorParse run() {
        while (pos_ < bytes_.size()) {
            Item item;
            if (!readItem(item))
                return failed(DescriptorError::TruncatedItem);
            if (const DescriptorError error = apply(item); error != DescriptorError::None)
                return failed(error);
        }
        if (collectionDepth_ != 0)
            return failed(DescriptorError::UnbalancedCollection);
        layout_.numberedReports = numbered_;
        const ReportLengths longest = lengths();
        return {longest, DescriptorError::None, std::move(layout_)};
    }

private:
    static DescriptorParse failed(DescriptorError error) { return {std::nullopt, error, {}}; }

    bool readItem(Item& item) {
        const std::uint8_t prefix = bytes_[pos_];
        if (prefix == kLongItemPrefix)
            return skipLongItem(item);
        const std::size_t sizeCode = prefix & 0x3u;
        const std::size_t dataSize = sizeCode == 3 ? 4 : sizeCode;
        if (bytes_.size() - pos_ - 1 < dataSize)
            return false;
        item.type = static_cast<ItemType>((prefix >> 2) & 0x3u);
        item.tag = static_cast<std::uint8_t>(prefix >> 4);
        item.dataSize = dataSize;
        for (std::size_t i = 0; i < dataSize; ++i)
            item.data |= std::uint32_t{bytes_[pos_ + 1 + i]} << (8 * i);
        pos_ += 1 + dataSize;
        return true;
    }

    // A long item: prefix, data size, tag, then the data. No long item tags are defined.
    bool skipLongItem(Item& item) {
        if (bytes_.size() - pos_ < 3)
            return false;
        const std::size_t dataSize = bytes_[pos_ + 1];
        if (bytes_.size() - pos_ - 3 < dataSize)
            return false;
        pos_ += 3 + dataSize;
        item.isLong = true;
        return true;
    }

    DescriptorError apply(const Item& item) {
        if (item.isLong)
            return DescriptorError::None;
        switch (item.type) {
        case ItemType::Main:
            return applyMain(item);
        case ItemType::Global:
            return applyGlobal(item);
        case ItemType::Local:
            return applyLocal(item);
        default: // reserved items are ignored
            return DescriptorError::None;
        }
    }

    // Every main item ends the scope of the local items before it.
    DescriptorError applyMain(const Item& item) {
        const DescriptorError error = applyMainTag(item);
        usages_.clear();
        usageMinimum_.reset();
        return error;
    }

    DescriptorError applyMainTag(const Item& item) {
        switch (item.tag) {
        case main_tag::kInput:
            return addFields(ReportKind::Input, item.data);
        case main_tag::kOutput:
            return addFields(ReportKind::Output, item.data);
        case main_tag::kFeature:
            return addFields(ReportKind::Feature, item.data);
        case main_tag::kCollection:
            ++collectionDepth_;
            collections_.push_back({item.data & 0xFFu, collectionUsage()});
            return DescriptorError::None;
        case main_tag::kEndCollection:
            if (collectionDepth_ == 0)
                return DescriptorError::UnbalancedCollection;
            --collectionDepth_;
            collections_.pop_back();
            return DescriptorError::None;
        default:
            return DescriptorError::None;
        }
    }

    DescriptorError applyGlobal(const Item& item) {
        switch (item.tag) {
        case global_tag::kUsagePage:
            state_.usagePage = static_cast<std::uint16_t>(item.data);
            return DescriptorError::None;
        case global_tag::kLogicalMinimum:
            state_.logicalMinimum = item.signedData();
            return DescriptorError::None;
        case global_tag::kLogicalMaximum:
            state_.logicalMaximum = item;
            return DescriptorError::None;
        case global_tag::kReportSize:
            state_.reportSize = item.data;
            return DescriptorError::None;
        case global_tag::kReportCount:
            state_.reportCount = item.data;
            return DescriptorError::None;
        case global_tag::kReportId:
            if (item.data == 0 || item.data > kMaxReportId)
                return DescriptorError::BadReportId;
            state_.reportId = item.data;
            numbered_ = true;
            return DescriptorError::None;
        case global_tag::kPush:
            if (stack_.size() == kMaxPushDepth)
                return DescriptorError::PushTooDeep;
            stack_.push_back(state_);
            return DescriptorError::None;
        case global_tag::kPop:
            if (stack_.empty())
                return DescriptorError::PopWithoutPush;
            state_ = stack_.back();
            stack_.pop_back();
            return DescriptorError::None;
        default:
            return DescriptorError::None;
        }
    }

    // A Usage Minimum waits for its Usage Maximum; one left alone counts as a single usage.
    DescriptorError applyLocal(const Item& item) {
        switch (item.tag) {
        case local_tag::kUsage:
            return addUsage({extendedPage(item), low16(item), low16(item)});
        case local_tag::kUsageMinimum:
            usageMinimum_ = item;
            return DescriptorError::None;
        case local_tag::kUsageMaximum:
            if (!usageMinimum_)
                return addUsage({extendedPage(item), low16(item), low16(item)});
            return addUsageRange(item);
        default: // designators, strings and delimiters do not shape reports
            return DescriptorError::None;
        }
    }

    // A range whose maximum lies below its minimum holds no usage.
    DescriptorError addUsageRange(const Item& maximum) {
        const Item minimum = *usageMinimum_;
        usageMinimum_.reset();
        if (low16(maximum) < low16(minimum))
            return DescriptorError::None;
        return addUsage({extendedPage(minimum), low16(minimum), low16(maximum)});
    }

    DescriptorError addUsage(LocalUsage usage) {
        if (usageCount_ == kMaxUsages)
            return DescriptorError::TooManyItems;
        ++usageCount_;
        usages_.push_back(usage);
        return DescriptorError::None;
    }

    static std::uint16_t low16(const Item& item) { return static_cast<std::uint16_t>(item.data); }

    // A collection is named by the first usage before it, as the kernel names it.
    Usage collectionUsage() const {
        if (usages_.empty())
            return {};
        return {usages_.front().page.value_or(state_.usagePage), usages_.front().first};
    }

    Usage innermostCollection(std::uint32_t type) const {
        for (auto open = collections_.rbegin(); open != collections_.rend(); ++open)
            if (open->first == type)
                return open->second;
        return {};
    }

    // Both factors are below 2^32, so their product fits 64 bits; the sum never passes the cap.
    DescriptorError addFields(ReportKind kind, std::uint32_t flags) {
        const std::uint64_t fieldBits = std::uint64_t{state_.reportSize} * state_.reportCount;
        std::uint64_t& bits = reportBits_[{static_cast<int>(kind), state_.reportId}];
        if (fieldBits > kMaxReportBits - bits)
            return DescriptorError::ReportTooLong;
        if (layout_.fields.size() == kMaxFields)
            return DescriptorError::TooManyItems;
        layout_.fields.push_back(field(kind, flags, bits));
        bits += fieldBits;
        return DescriptorError::None;
    }

    ReportField field(ReportKind kind, std::uint32_t flags, std::uint64_t bitOffset) {
        ReportField made;
        made.kind = kind;
        made.reportId = static_cast<std::uint8_t>(state_.reportId);
        made.bitOffset = static_cast<std::uint32_t>(bitOffset);
        made.bitSize = state_.reportSize;
        made.count = state_.reportCount;
        made.constant = (flags & main_flag::kConstant) != 0;
        made.variable = (flags & main_flag::kVariable) != 0;
        made.logicalMinimum = state_.logicalMinimum;
        made.logicalMaximum = logicalMaximum();
        for (const LocalUsage& usage : usages_)
            made.usages.push_back({usage.page.value_or(state_.usagePage), usage.first, usage.last});
        made.application = innermostCollection(kApplicationCollection);
        made.physical = innermostCollection(kPhysicalCollection);
        return made;
    }

    // Descriptors often write 255 as the one byte 0xFF; with a minimum that is not negative,
    // the maximum is read without a sign, as the kernel reads it.
    std::int64_t logicalMaximum() const {
        const Item& maximum = state_.logicalMaximum;
        if (state_.logicalMinimum >= 0 && maximum.signedData() < 0)
            return maximum.data;
        return maximum.signedData();
    }

    ReportLengths lengths() {
        std::array<std::uint16_t, kReportKinds> longest{};
        for (const auto& [key, bits] : reportBits_) {
            const auto bytes = static_cast<std::uint16_t>((bits + 7) / 8 + 1);
            longest[key.first] = std::max(longest[key.first], bytes);
            layout_.reports.push_back(
                {static_cast<ReportKind>(key.first), static_cast<std::uint8_t>(key.second), bytes});
        }
        return {longest[0], longest[1], longest[2], numbered_};
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    GlobalState state_;
    std::vector<GlobalState> stack_;
    std::size_t collectionDepth_ = 0;
    std::vector<std::pair<std::uint32_t, Usage>> collections_; // type and usage, outermost first
    bool numbered_ = false;
    std::map<std::pair<int, std::uint32_t>, std::uint64_t> reportBits_;
    std::vector<LocalUsage> usages_;
    std::optional<Item> usageMinimum_;
    std::size_t usageCount_ = 0;
    ReportLayout layout_;
};

} // namespace

DescriptorParse parseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    return Parser(descriptor).run();
}

// ---- The layout ----

std::uint64_t ReportField::usageCount() const {
    std::uint64_t total = 0;
    for (const UsageRange& range : usages)
        total += std::uint64_t{range.last} - range.first + 1;
    return total;
}

std::optional<Usage> ReportField::usageAt(std::uint64_t index) const {
    for (const UsageRange& range : usages) {
        const std::uint64_t size = std::uint64_t{range.last} - range.first + 1;
        if (index < size)
            return Usage{range.page, static_cast<std::uint16_t>(range.first + index)};
        index -= size;
    }
    if (variable && !usages.empty())
        return Usage{usages.back().page, usages.back().last};
    return std::nullopt;
}

// A field of zero-bit elements carries nothing, however many elements it counts.
bool ReportField::declaresPage(std::uint16_t page) const {
    return !constant && bitSize > 0 && count > 0 &&
           std::any_of(usages.begin(), usages.end(),
                       [page](const UsageRange& range) { return range.page == page; });
}

std::uint16_t ReportLayout::reportLength(ReportKind kind, std::uint8_t reportId) const {
    for (const ReportSize& report : reports)
        if (report.kind == kind && report.reportId == reportId)
            return report.length;
    return 0;
}

std::uint16_t ReportLayout::longestReport(ReportKind kind) const {
    std::uint16_t longest = 0;
    for (const ReportSize& report : reports)
        if (report.kind == kind)
            longest = std::max(longest, report.length);
    return longest;
}

// ---- Reading received reports ----

namespace {

// The report's data after its ID byte; bits beyond it read as 0.
class ReportBits {
public:
    explicit ReportBits(std::span<const std::uint8_t> report) : data_(report.subspan(1)) {}

    bool bit(std::uint64_t index) const {
        const std::uint64_t byte = index / 8;
        return byte < data_.size() && ((data_[byte] >> (index % 8)) & 1u) != 0;
    }

    bool anySet(std::uint64_t offset, std::uint32_t size) const {
        for (std::uint32_t i = 0; i < size; ++i)
            if (bit(offset + i))
                return true;
        return false;
    }

    // A value of at most 32 bits, sign-extended when it is signed.
    std::int64_t value(std::uint64_t offset, std::uint32_t size, bool isSigned) const {
        std::uint64_t raw = 0;
        for (std::uint32_t i = 0; i < size; ++i)
            raw |= std::uint64_t{bit(offset + i)} << i;
        if (isSigned && size > 0 && (raw >> (size - 1)) != 0)
            return static_cast<std::int64_t>(raw) - (std::int64_t{1} << size);
        return static_cast<std::int64_t>(raw);
    }

private:
    std::span<const std::uint8_t> data_;
};

constexpr std::uint32_t kMaxArrayElementBits = 32;

// A field's usages by index, found by halving rather than by walking every range: a field may
// have thousands of elements and thousands of ranges.
class UsageIndex {
public:
    explicit UsageIndex(const ReportField& field) : field_(field) {
        std::uint64_t start = 0;
        for (const UsageRange& range : field.usages) {
            starts_.push_back(start);
            start += std::uint64_t{range.last} - range.first + 1;
        }
        total_ = start;
    }

    std::optional<Usage> at(std::uint64_t index) const {
        if (field_.usages.empty())
            return std::nullopt;
        if (index >= total_) {
            if (!field_.variable)
                return std::nullopt;
            return Usage{field_.usages.back().page, field_.usages.back().last};
        }
        const auto found = std::upper_bound(starts_.begin(), starts_.end(), index) - 1;
        const UsageRange& range = field_.usages[static_cast<std::size_t>(found - starts_.begin())];
        return Usage{range.page, static_cast<std::uint16_t>(range.first + (index - *found))};
    }

private:
    const ReportField& field_;
    std::vector<std::uint64_t> starts_;
    std::uint64_t total_ = 0;
};

void collectVariable(const ReportField& field, std::uint16_t page, const ReportBits& bits,
                     std::vector<std::uint16_t>& usages) {
    const UsageIndex index(field);
    for (std::uint32_t element = 0; element < field.count; ++element) {
        const std::optional<Usage> usage = index.at(element);
        if (usage && usage->page == page &&
            bits.anySet(field.bitOffset + std::uint64_t{element} * field.bitSize, field.bitSize))
            usages.push_back(usage->id);
    }
}

void collectArray(const ReportField& field, std::uint16_t page, const ReportBits& bits,
                  std::vector<std::uint16_t>& usages) {
    if (field.bitSize > kMaxArrayElementBits)
        return;
    const UsageIndex index(field);
    for (std::uint32_t element = 0; element < field.count; ++element) {
        const std::int64_t value =
            bits.value(field.bitOffset + std::uint64_t{element} * field.bitSize, field.bitSize,
                       field.logicalMinimum < 0);
        if (value < field.logicalMinimum || value > field.logicalMaximum)
            continue; // the array's way of saying "nothing here"
        const std::optional<Usage> usage =
            index.at(static_cast<std::uint64_t>(value - field.logicalMinimum));
        if (usage && usage->page == page)
            usages.push_back(usage->id);
    }
}

} // namespace

const char* describe(UsageStatus status) {
    switch (status) {
    case UsageStatus::Ok:
        return "ok";
    case UsageStatus::PageNotDeclared:
        return "the report descriptor declares no such usages";
    case UsageStatus::NotInThisReport:
        return "the report carries none of these usages";
    case UsageStatus::UnknownReportId:
        return "the report descriptor declares no report with this ID";
    case UsageStatus::WrongLength:
        return "the report's length is not the one its descriptor declares";
    }
    return "unknown";
}

UsagesOn usagesOn(const ReportLayout& layout, ReportKind kind, std::uint16_t usagePage,
                  std::span<const std::uint8_t> report) {
    const auto onPage = [&](const ReportField& field) {
        return field.kind == kind && field.declaresPage(usagePage);
    };
    if (std::none_of(layout.fields.begin(), layout.fields.end(), onPage))
        return {UsageStatus::PageNotDeclared, {}};
    if (report.empty())
        return {UsageStatus::WrongLength, {}};
    const std::uint8_t reportId = report[0];
    if ((!layout.numberedReports && reportId != 0) || layout.reportLength(kind, reportId) == 0)
        return {UsageStatus::UnknownReportId, {}};
    if (report.size() != layout.reportLength(kind, reportId) &&
        report.size() != layout.longestReport(kind))
        return {UsageStatus::WrongLength, {}};

    UsagesOn result{UsageStatus::NotInThisReport, {}};
    const ReportBits bits(report);
    for (const ReportField& field : layout.fields) {
        if (field.reportId != reportId || !onPage(field))
            continue;
        result.status = UsageStatus::Ok;
        if (field.variable)
            collectVariable(field, usagePage, bits, result.usages);
        else
            collectArray(field, usagePage, bits, result.usages);
    }
    return result;
}

std::size_t maxUsageListLength(const ReportLayout& layout, ReportKind kind,
                               std::uint16_t usagePage) {
    std::size_t most = 0;
    for (const ReportField& field : layout.fields)
        if (field.kind == kind && field.declaresPage(usagePage))
            most += field.count;
    return most;
}

InputSet inputsFromButtons(std::span<const std::uint16_t> buttonUsages) {
    InputSet inputs = 0;
    for (const std::uint16_t usage : buttonUsages)
        if (usage >= 1 && usage <= kBoardInputs)
            inputs |= InputSet{1} << (usage - 1);
    return inputs;
}

PressedInputs pressedInputs(const ReportLayout& layout, std::span<const std::uint8_t> report) {
    const UsagesOn buttons = usagesOn(layout, ReportKind::Input, kButtonPage, report);
    if (buttons.status != UsageStatus::Ok)
        return {buttons.status, 0};
    return {UsageStatus::Ok, inputsFromButtons(buttons.usages)};
}

} // namespace hid
