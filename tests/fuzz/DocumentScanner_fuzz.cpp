// The CUPS agent's document scanner against any bytes: it never fails, its offsets stay inside
// the document, and feeding the bytes in pieces finds exactly what feeding them whole finds.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "DocumentScanner.h"

using hvn::cupsagent::DocumentScanner;
using hvn::cupsagent::ScanResult;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);

    DocumentScanner whole;
    whole.feed(bytes);
    const ScanResult a = whole.finish();

    // Piece sizes from 1 to 17 bytes, chosen by the input's first byte.
    const std::size_t step = size == 0 ? 1 : data[0] % 17 + 1;
    DocumentScanner pieces;
    for (std::size_t at = 0; at < size; at += step)
        pieces.feed(bytes.substr(at, step));
    const ScanResult b = pieces.finish();

    if (a.totalBytes != size || a.dataStart > size)
        std::abort();
    if (a.kind != b.kind || a.dataStart != b.dataStart || a.pjlEnvelope != b.pjlEnvelope ||
        a.pjlLanguage != b.pjlLanguage || a.pageComments != b.pageComments ||
        a.headerPages != b.headerPages || a.trailerPages != b.trailerPages || a.pagesAtEnd != b.pagesAtEnd ||
        a.nestingBroken != b.nestingBroken || a.duplex != b.duplex || a.copies != b.copies)
        std::abort();
    if (const auto pages = a.structuredPages(); pages && (*pages <= 0 || *pages != a.pageComments))
        std::abort();
    return 0;
}
