// hvnAgent's jobs-file reader against any file: it reads jobs or refuses with JobsError, and
// every job it reads that fits a frame arrives at the service's record parser unchanged.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "AgentFrame.h"
#include "JobsCsv.h"
#include "Newserverthread.h"
#include "RecordBody.h"

namespace record = hvn::retriever::record;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    std::vector<hvn::agent::PrintJob> jobs;
    try {
        jobs = hvn::agent::readJobsCsv(in);
    } catch (const hvn::agent::JobsError &) {
        return 0;
    }
    for (const hvn::agent::PrintJob &job : jobs) {
        std::string frame;
        try {
            frame = hvn::agent::encodeFrame(job);
        } catch (const hvn::agent::FrameError &) {
            continue;
        }
        std::vector<std::string> bodies;
        std::string carryOver;
        hvn::retriever::TNewServerThread::CutRecords(carryOver, frame,
                                                     [&](std::string_view body) { bodies.emplace_back(body); });
        if (frame.size() != hvn::agent::kFrameSize || bodies.size() != 1 || !carryOver.empty())
            std::abort();
        const std::string &body = bodies.front();
        if (record::dateTime(body) != job.time || record::number(record::raw(body, record::kDocumentPages)) != job.pages ||
            record::number(record::raw(body, record::kSidesOfPaper)) != job.sides ||
            record::number(record::raw(body, record::kSheetsOfPaper)) != job.sheets)
            std::abort();
        // Names are trimmed on the way in, as the service trims every field.
        auto trimmed = [](const std::string &s) { return std::string(record::trim(s)); };
        if (record::text(body, record::kUserName) != trimmed(job.user) ||
            record::text(body, record::kPrinterName) != trimmed(job.printer) ||
            record::text(body, record::kComputerName) != trimmed(job.computer))
            std::abort();
    }
    return 0;
}
