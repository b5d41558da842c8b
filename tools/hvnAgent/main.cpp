// hvnAgent: a test agent that reports print jobs to hvnRetriever as print-record frames,
// all jobs of one run over one connection.

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "AgentFrame.h"
#include "JobsCsv.h"
#include "TcpSocket.h"

namespace {

using namespace hvn;
using namespace hvn::agent;

constexpr const char *kUsage =
    "usage: hvnAgent --host H --port P --file JOBS.csv\n"
    "       hvnAgent --host H --port P --user U --printer P --pages N [--computer C]\n"
    "                [--sides N] [--sheets N] [--time \"YYYY-MM-DD HH:MM:SS.SSS\"]\n"
    "JOBS.csv starts with the header time,user,printer,computer,pages,sides,sheets\n"
    "(\"-\" reads it from standard input). For one job, --computer defaults to this\n"
    "machine's name, --sides to the pages, --sheets to the sides, --time to now.\n";

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

const std::vector<std::string> kOptions = {"host",  "port",   "file",  "user",  "printer",
                                           "computer", "pages", "sides", "sheets", "time"};

std::map<std::string, std::string> parseOptions(int argc, char **argv)
{
    std::map<std::string, std::string> options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            throw UsageError("");
        if (arg.rfind("--", 0) != 0)
            throw UsageError("unexpected argument \"" + arg + "\"");
        arg.erase(0, 2);
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); eq != std::string::npos) {
            value = arg.substr(eq + 1);
            arg.erase(eq);
        }
        bool known = false;
        for (const std::string &o : kOptions)
            known = known || o == arg;
        if (!known)
            throw UsageError("unknown option --" + arg);
        if (!value) {
            if (i + 1 >= argc)
                throw UsageError("--" + arg + " needs a value");
            value = argv[++i];
        }
        if (!options.emplace(arg, *value).second)
            throw UsageError("--" + arg + " is given twice");
    }
    return options;
}

std::uint16_t parsePort(const std::string &text)
{
    int port = 0;
    try {
        port = parseCount("port", text);
    } catch (const JobsError &e) {
        throw UsageError(e.what());
    }
    if (port < 1 || port > 65535)
        throw UsageError("port " + text + " is not between 1 and 65535");
    return static_cast<std::uint16_t>(port);
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

std::vector<PrintJob> jobsFromOptions(const std::map<std::string, std::string> &options)
{
    auto get = [&](const char *name) -> std::optional<std::string> {
        const auto it = options.find(name);
        if (it == options.end())
            return std::nullopt;
        return it->second;
    };
    if (const auto file = get("file")) {
        for (const char *single : {"user", "printer", "computer", "pages", "sides", "sheets", "time"})
            if (get(single))
                throw UsageError(std::string("--") + single + " cannot be combined with --file");
        if (*file == "-")
            return readJobsCsv(std::cin);
        std::ifstream in(*file, std::ios::binary);
        if (!in)
            throw JobsError("cannot open " + *file);
        return readJobsCsv(in);
    }
    for (const char *required : {"user", "printer", "pages"})
        if (!get(required))
            throw UsageError(std::string("--") + required + " is required without --file");
    PrintJob job;
    job.user = *get("user");
    job.printer = *get("printer");
    job.computer = get("computer").value_or(hostName());
    job.pages = parseCount("pages", *get("pages"));
    job.sides = get("sides") ? parseCount("sides", *get("sides")) : job.pages;
    job.sheets = get("sheets") ? parseCount("sheets", *get("sheets")) : job.sides;
    job.time = get("time") ? parseJobTime(*get("time")) : DbDateTime::now();
    return {job};
}

} // namespace

int main(int argc, char **argv)
{
    std::string host;
    std::uint16_t port = 0;
    std::string frames;
    std::size_t count = 0;
    try {
        const auto options = parseOptions(argc, argv);
        if (!options.count("host") || !options.count("port"))
            throw UsageError("--host and --port are required");
        host = options.at("host");
        port = parsePort(options.at("port"));
        // Every job is encoded before the connection opens, so a bad job sends nothing.
        const std::vector<PrintJob> jobs = jobsFromOptions(options);
        for (std::size_t i = 0; i < jobs.size(); ++i) {
            try {
                frames += encodeFrame(jobs[i]);
            } catch (const FrameError &e) {
                throw FrameError(options.count("file") ? "job " + std::to_string(i + 1) + ": " + e.what()
                                                      : std::string(e.what()));
            }
        }
        count = jobs.size();
    } catch (const UsageError &e) {
        if (*e.what())
            std::cerr << "hvnAgent: " << e.what() << "\n";
        std::cerr << kUsage;
        return 2;
    } catch (const std::exception &e) {
        std::cerr << "hvnAgent: " << e.what() << "\n";
        return 2;
    }

    try {
        const platform::UniqueFd socket = platform::connectTcp(host, port);
        if (!platform::sendAll(socket.get(), frames))
            throw std::system_error(errno, std::generic_category(), "send");
    } catch (const std::exception &e) {
        std::cerr << "hvnAgent: " << host << ":" << port << ": " << e.what() << "\n";
        return 1;
    }
    std::cout << "hvnAgent: sent " << count << (count == 1 ? " job" : " jobs") << " to " << host << ":"
              << port << "\n";
    return 0;
}
