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
    return 0;
}
