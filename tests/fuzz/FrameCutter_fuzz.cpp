// The print-record frame cutter against any byte stream, read in any pieces: no record holds
// an STX or ETX, the carry-over stays bounded, and where no NUL byte cuts a read short, the
// pieces give the same records (as far as a record body reaches) as one read of it all.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Newserverthread.h"
#include "RecordBody.h"

using hvn::retriever::TNewServerThread;

namespace {

// What a record stores: the first kBodySize bytes of its body.
std::vector<std::string> cut(std::string_view stream, const std::vector<std::size_t> &pieces)
{
    std::vector<std::string> records;
    std::string carryOver;
    const auto onRecord = [&](std::string_view body) {
        if (body.empty() || body.find_first_of("\x02\x03") != std::string_view::npos)
            std::abort();
        records.emplace_back(body.substr(0, hvn::retriever::record::kBodySize));
    };
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < stream.size(); ++i) {
        const std::size_t size = std::min(pieces.empty() ? stream.size() : pieces[i % pieces.size()],
                                          stream.size() - offset);
        TNewServerThread::CutRecords(carryOver, stream.substr(offset, size), onRecord);
        if (carryOver.size() > TNewServerThread::kMaxCarryOver + 1)
            std::abort();
        offset += size;
    }
    return records;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 1)
        return 0;
    // The first byte chooses the read sizes (1 to 1000 bytes, as the worker reads), the rest
    // is the stream.
    const std::size_t pieceCount = data[0] % 8 + 1;
    if (size < 1 + pieceCount)
        return 0;
    std::vector<std::size_t> pieces;
    for (std::size_t i = 0; i < pieceCount; ++i)
        pieces.push_back(1 + (data[1 + i] * 997u) % TNewServerThread::kReadSize);
    const std::string_view stream(reinterpret_cast<const char *>(data) + 1 + pieceCount, size - 1 - pieceCount);

    const std::vector<std::string> inPieces = cut(stream, pieces);
    if (stream.find('\0') == std::string_view::npos && stream.size() <= TNewServerThread::kMaxCarryOver &&
        inPieces != cut(stream, {}))
        std::abort();
    return 0;
}
