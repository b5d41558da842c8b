// CPU cost of cutting a stream that opens a record and never ends it, against plain noise.
//
// Feeds the record cutter of the print-record worker 1000-byte reads, as the worker reads
// them: once a stream of noise without any STX (the baseline), once an STX followed by the
// same noise, an unterminated record whose carry-over travels from read to read. Each is timed
// per read over several rounds; the best of each is compared. The last line is "ratio R" with
// R = cost per read of the unterminated record / cost per read of plain noise.
//
// Usage: hvnBenchCarryOver [reads] [rounds]   (defaults 20000 and 5)

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

#include "BenchSupport.h"
#include "Newserverthread.h"

namespace {

using Clock = std::chrono::steady_clock;
using hvn::retriever::TNewServerThread;

volatile std::size_t g_sink = 0; // what the cutter handed on, so that nothing is optimised away

// Nanoseconds per read; records counts what was handed on, so that nothing is optimised away.
double nanosecondsPerRead(const std::string &first, const std::string &rest, int reads, std::size_t &records)
{
    std::string carry;
    const auto onRecord = [&records](std::string_view) { ++records; };
    const auto start = Clock::now();
    TNewServerThread::CutRecords(carry, first, onRecord);
    for (int i = 1; i < reads; ++i)
        TNewServerThread::CutRecords(carry, rest, onRecord);
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - start).count();
    records += carry.size();
    return ns / reads;
}

} // namespace

int main(int argc, char **argv)
{
    try {
        const int reads = argc > 1 ? hvn::bench::positiveArgument(argv[1], "reads") : 20000;
        const int rounds = argc > 2 ? hvn::bench::positiveArgument(argv[2], "rounds") : 5;
        const std::string noise(TNewServerThread::kReadSize, 'z');
        const std::string opened = '\x02' + noise.substr(1);
        double bestNoise = 1e18;
        double bestOpen = 1e18;
        std::size_t sink = 0;
        for (int r = 1; r <= rounds; ++r) {
            const double plain = nanosecondsPerRead(noise, noise, reads, sink);
            const double open = nanosecondsPerRead(opened, noise, reads, sink);
            std::printf("round %d: unterminated record %.0f ns per read, plain noise %.0f ns per read\n", r, open,
                        plain);
            bestNoise = std::min(bestNoise, plain);
            bestOpen = std::min(bestOpen, open);
        }
        std::printf("unterminated record (carry-over kept from read to read): %.0f ns per %zu-byte read\n", bestOpen,
                    TNewServerThread::kReadSize);
        std::printf("plain noise (no STX): %.0f ns per %zu-byte read\n", bestNoise, TNewServerThread::kReadSize);
        std::printf("ratio %.3f\n", bestOpen / bestNoise);
        g_sink = sink;
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "hvnBenchCarryOver: %s\n", e.what());
        return 1;
    }
}
