// The record body parser against any body: a date it accepts is valid and survives its stored
// form, counts fit their four positions, and texts come out as valid UTF-8 of bounded length.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "RecordBody.h"

namespace record = hvn::retriever::record;

namespace {

bool isUtf8(std::string_view s)
{
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (n == 0 || i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        i += n;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view body(reinterpret_cast<const char *>(data), size);

    if (const auto when = record::dateTime(body)) {
        if (!when->isValid() || hvn::DbDateTime::fromText(when->toText()) != when)
            std::abort();
    }
    for (const record::Field field : {record::kDocumentPages, record::kSidesOfPaper, record::kSheetsOfPaper}) {
        if (const auto n = record::number(record::raw(body, field)); n && (*n < -999 || *n > 9999))
            std::abort();
    }
    for (const record::Field field : {record::kPrinterName, record::kUserName, record::kComputerName}) {
        if (record::raw(body, field).size() > field.width)
            std::abort();
        const std::string text = record::text(body, field);
        // A CP932 byte decodes to at most three UTF-8 bytes (U+FFFD for an invalid one).
        if (!isUtf8(text) || text.size() > 3 * field.width)
            std::abort();
    }
    return 0;
}
