#include "ReportDescriptor.h"

#include <algorithm>
#include <array>
#include <map>
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
constexpr std::uint8_t kReportSize = 0x7;
constexpr std::uint8_t kReportId = 0x8;
constexpr std::uint8_t kReportCount = 0x9;
constexpr std::uint8_t kPush = 0xA;
constexpr std::uint8_t kPop = 0xB;
} // namespace global_tag

constexpr std::uint8_t kLongItemPrefix = 0xFE;
constexpr std::size_t kMaxPushDepth = 32;
constexpr std::uint32_t kMaxReportId = 255;
// The longest report whose length, with its ID byte, still fits 16 bits.
constexpr std::uint64_t kMaxReportBits = 8ull * 0xFFFE;

struct Item {
    ItemType type = ItemType::Main;
    std::uint8_t tag = 0;
    std::uint32_t data = 0; // unsigned, little-endian, 0 to 4 bytes
    bool isLong = false;
};

// The global items that shape reports; Push and Pop save and restore all of them together.
struct GlobalState {
    std::uint32_t reportSize = 0; // bits per field
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0; // 0: reports are not numbered
};

enum ReportType { kInputReport, kOutputReport, kFeatureReport, kReportTypes };

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
        return {lengths(), DescriptorError::None};
    }

private:
    static DescriptorParse failed(DescriptorError error) { return {std::nullopt, error}; }

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
        default: // local items name usages only; reserved items are ignored
            return DescriptorError::None;
        }
    }

    DescriptorError applyMain(const Item& item) {
        switch (item.tag) {
        case main_tag::kInput:
            return addFields(kInputReport);
        case main_tag::kOutput:
            return addFields(kOutputReport);
        case main_tag::kFeature:
            return addFields(kFeatureReport);
        case main_tag::kCollection:
            ++collectionDepth_;
            return DescriptorError::None;
        case main_tag::kEndCollection:
            if (collectionDepth_ == 0)
                return DescriptorError::UnbalancedCollection;
            --collectionDepth_;
            return DescriptorError::None;
        default:
            return DescriptorError::None;
        }
    }

    DescriptorError applyGlobal(const Item& item) {
        switch (item.tag) {
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

    // Both factors are below 2^32, so their product fits 64 bits; the sum never passes the cap.
    DescriptorError addFields(ReportType type) {
        const std::uint64_t fieldBits = std::uint64_t{state_.reportSize} * state_.reportCount;
        std::uint64_t& bits = reportBits_[{type, state_.reportId}];
        if (fieldBits > kMaxReportBits - bits)
            return DescriptorError::ReportTooLong;
        bits += fieldBits;
        return DescriptorError::None;
    }

    ReportLengths lengths() const {
        std::array<std::uint16_t, kReportTypes> longest{};
        for (const auto& [key, bits] : reportBits_) {
            const auto bytes = static_cast<std::uint16_t>((bits + 7) / 8 + 1);
            longest[key.first] = std::max(longest[key.first], bytes);
        }
        return {longest[kInputReport], longest[kOutputReport], longest[kFeatureReport], numbered_};
    }

    std::span<const std::uint8_t> bytes_;
    std::size_t pos_ = 0;
    GlobalState state_;
    std::vector<GlobalState> stack_;
    std::size_t collectionDepth_ = 0;
    bool numbered_ = false;
    std::map<std::pair<ReportType, std::uint32_t>, std::uint64_t> reportBits_;
};

} // namespace

DescriptorParse parseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    return Parser(descriptor).run();
}

} // namespace hid
