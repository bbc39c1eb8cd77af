// Report descriptors come from the device: any byte string must parse to lengths or to a reason,
// never to both, and never read outside its buffer.
#include "FuzzCheck.h"
#include "ReportDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so a read one byte past the end is an AddressSanitizer report.
    const std::vector<std::uint8_t> descriptor(data, data + size);
    const hid::DescriptorParse parse = hid::parseReportDescriptor(descriptor);
    FUZZ_CHECK(parse.lengths.has_value() == (parse.error == hid::DescriptorError::None));
    FUZZ_CHECK(parse.layout.has_value() == parse.lengths.has_value());
    if (!parse.layout)
        return 0;
    // The same bytes as input reports of the lengths around the declared one: decoding a report
    // reads only inside it, whatever the layout says.
    const std::size_t longest = parse.layout->longestReport(hid::ReportKind::Input);
    for (const std::size_t length : {std::size_t{0}, std::size_t{1}, longest, longest + 1}) {
        if (length > size)
            continue;
        const std::vector<std::uint8_t> report(data, data + length);
        const hid::PressedInputs pressed = hid::pressedInputs(*parse.layout, report);
        FUZZ_CHECK(pressed.status == hid::UsageStatus::Ok || pressed.inputs == 0);
    }
    return 0;
}
