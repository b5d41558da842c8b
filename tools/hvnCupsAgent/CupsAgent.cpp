#include "CupsAgent.h"

#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ostream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "AgentSettings.h"
#include "AgentSpool.h"
#include "AnsiCodePage.h"
#include "Delivery.h"
#include "JobPlan.h"
#include "JobTicket.h"
#include "PageCount.h"
#include "RealBackend.h"
#include "RegistryFile.h"

extern char **environ;

namespace hvn::cupsagent {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char *kUsage =
    "usage: hvnCupsAgent                 print the backend's discovery line\n"
    "       hvnCupsAgent --flush         deliver the spooled records to hvnRetriever\n"
    "                                    (--no-wait: leave them to a delivery already at work)\n"
    "       hvnCupsAgent --uncounted     list the jobs that printed but could not be counted\n"
    "       hvnCupsAgent job user title copies options [file]   (run by cupsd as the backend\n"
    "                                    of a queue whose device URI is halvane:<device URI>)\n"
    "Settings: key SOFTWARE\\Halvane\\CupsAgent of $HALVANE_REGISTRY (default /etc/halvane/registry.reg).\n";

// cupsd's exit status for a backend failure that holds the job (CUPS_BACKEND_FAILED).
constexpr int kBackendFailed = 1;

constexpr auto kCupsdTimeout = 10s;

std::string environment(const char *name, const char *fallback)
{
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}

std::string hostName()
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return "localhost";
    return name;
}

std::size_t utf8Length(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0)
        return 2;
    if ((lead & 0xF0) == 0xE0)
        return 3;
    if ((lead & 0xF8) == 0xF0)
        return 4;
    return 0;
}

// What the job says and what its documents count, gathered while the real backend prints.
struct JobFacts {
    JobTicket ticket;
    bool raw = false;
    JobPlan plan;
    std::vector<std::string> warnings;
};

// The spooled documents this run of the backend prints: the file cupsd handed over, else every
// document of the job in the request folder.
std::vector<fs::path> jobDocuments(int jobId, const std::optional<std::string> &file)
{
    if (file)
        return {fs::path(*file)};
    const fs::path requestRoot = environment("CUPS_REQUESTROOT", "/var/spool/cups");
    std::vector<fs::path> documents;
    for (int n = 1;; ++n) {
        char name[64];
        std::snprintf(name, sizeof name, "d%05d-%03d", jobId, n);
        std::error_code ec;
        if (!fs::is_regular_file(requestRoot / name, ec))
            break;
        documents.push_back(requestRoot / name);
    }
    return documents;
}

JobFacts gatherFacts(int jobId, const std::string &user, const std::string &options, int argvCopies,
                     const std::optional<std::string> &file)
{
    JobFacts facts;
    facts.ticket = ticketFromOptions(options);
    std::string problem;
    if (const auto fromCupsd = ticketFromCupsd(jobId, user, kCupsdTimeout, problem))
        facts.ticket.completeFrom(*fromCupsd);
    else
        facts.warnings.push_back(problem + "; the job's options and argv copies are used");
    facts.raw = file.has_value() || facts.ticket.rawOption ||
                facts.ticket.documentFormat.value_or("") == "application/vnd.cups-raw";
    std::vector<DocumentPages> counted;
    for (const fs::path &document : jobDocuments(jobId, file))
        counted.push_back(countDocumentPages(document, facts.ticket.documentFormat.value_or("")));
    facts.plan = planJob(facts.ticket, facts.raw, counted, argvCopies);
    return facts;
}

// Starts "--flush" in a session of its own, so the delivery outlives this backend and cupsd
// does not wait for it.
void startDelivery(std::ostream &err)
{
    char self[4096];
    const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) {
        err << "WARNING: halvane: cannot find this program to deliver the records: " << std::strerror(errno) << "\n";
        return;
    }
    self[n] = '\0';
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char flush[] = "--flush";
    char noWait[] = "--no-wait";
    char *argv[] = {self, flush, noWait, nullptr};
    pid_t pid = 0;
    if (const int rc = ::posix_spawn(&pid, self, &actions, &attributes, argv, environ); rc != 0)
        err << "WARNING: halvane: cannot start the delivery of the records: " << std::strerror(rc) << "\n";
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
}

void reportJob(const AgentSettings &settings, const JobFacts &facts, const std::string &jobId,
               const std::string &user, const DbDateTime &finished, std::ostream &err)
{
    const std::string queue = environment("PRINTER", "");
    const std::string format = facts.ticket.documentFormat.value_or("unknown");
    const std::string accounted = accountedUser(user, settings.stripDomain);
    std::string uncountedReason = facts.plan.uncountedReason;
    std::optional<std::string> frame;
    if (facts.plan.counts) {
        const std::string host = facts.ticket.originatingHost.value_or("");
        const std::string computer = isLocalHost(host) ? hostName() : host;
        frame = recordFrame(finished, accounted, queue, computer, *facts.plan.counts);
        if (!frame)
            uncountedReason = "its counts (" + std::to_string(facts.plan.counts->pages) + " pages) exceed what a record holds";
    }
    if (!frame) {
        err << "WARNING: halvane: job " << jobId << " of " << user << " printed but is not counted: "
            << uncountedReason << "\n";
        try {
            UncountedJournal(settings.spoolFolder)
                .append({finished.toText(), queue, jobId, user, format, uncountedReason});
        } catch (const std::exception &e) {
            err << "ERROR: halvane: cannot journal the uncounted job " << jobId << ": " << e.what() << "\n";
        }
        return;
    }
    try {
        AgentSpool(settings.spoolFolder).append(*frame);
    } catch (const std::exception &e) {
        err << "ERROR: halvane: job " << jobId << " of " << user << " is lost to accounting: " << e.what() << "\n";
    }
}

int runJob(const std::vector<std::string> &argv, std::ostream &err)
{
    const std::string deviceUri = environment("DEVICE_URI", argv[0].c_str());
    const auto device = unwrapDeviceUri(deviceUri, environment("CUPS_SERVERBIN", "/usr/lib/cups"));
    if (!device) {
        // The URI itself is not logged: it may hold the printer's credentials.
        err << "ERROR: halvane: the queue's device URI is not halvane: followed by the printer's own "
               "device URI (halvane:socket://host:9100)\n";
        return kBackendFailed;
    }
    const std::vector<std::string> jobArguments(argv.begin() + 1, argv.end());
    std::optional<RealBackend> backend;
    try {
        backend.emplace(*device, jobArguments, cupsRunUser(environment("CUPS_SERVERROOT", "/etc/cups")));
    } catch (const std::exception &e) {
        err << "ERROR: halvane: " << e.what() << "\n";
        return kBackendFailed;
    }

    // Counting and settings are read while the real backend prints; none of it can change the
    // job's fate.
    int jobId = 0;
    std::from_chars(argv[1].data(), argv[1].data() + argv[1].size(), jobId);
    int argvCopies = 1;
    std::from_chars(argv[4].data(), argv[4].data() + argv[4].size(), argvCopies);
    const std::optional<std::string> file = argv.size() > 6 ? std::optional(argv[6]) : std::nullopt;
    AgentSettings settings;
    JobFacts facts;
    std::thread gatherer([&] {
        settings = readAgentSettings(platform::RegistryFile::defaultPath());
        try {
            facts = gatherFacts(jobId, argv[2], argv[5], std::max(argvCopies, 1), file);
        } catch (const std::exception &e) {
            facts.plan = {std::nullopt, std::string("counting failed: ") + e.what()};
        }
    });
    const int status = backend->wait();
    const DbDateTime finished = DbDateTime::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        // A job that did not print is not reported: cupsd is not kept waiting for the count.
        gatherer.detach();
        err.flush();
        if (WIFSIGNALED(status)) {
            std::signal(WTERMSIG(status), SIG_DFL);
            std::raise(WTERMSIG(status));
        }
        std::_Exit(WIFEXITED(status) ? WEXITSTATUS(status) : kBackendFailed);
    }
    gatherer.join();

    for (const std::string &problem : settings.problems)
        err << "WARNING: halvane: " << problem << "\n";
    for (const std::string &warning : facts.warnings)
        err << "WARNING: halvane: job " << argv[1] << ": " << warning << "\n";
    reportJob(settings, facts, argv[1], argv[2], finished, err);
    try {
        if (!AgentSpool(settings.spoolFolder).read().frames.empty())
            startDelivery(err);
    } catch (const std::exception &e) {
        err << "WARNING: halvane: " << e.what() << "\n";
    }
    return 0;
}

int runFlush(bool waitForDeliverer, std::ostream &out, std::ostream &err)
{
    const AgentSettings settings = readAgentSettings(platform::RegistryFile::defaultPath());
    if (!settings.problems.empty()) {
        for (const std::string &problem : settings.problems)
            err << "hvnCupsAgent: " << problem << "\n";
        return 2;
    }
    DeliveryOptions options;
    options.waitForDeliverer = waitForDeliverer;
    const DeliveryResult result =
        deliverSpool(AgentSpool(settings.spoolFolder), settings.serviceHost, settings.servicePort, options);
    if (result.deliveredElsewhere) {
        out << "hvnCupsAgent: another process is delivering the records\n";
        return 0;
    }
    if (result.delivered > 0)
        out << "hvnCupsAgent: delivered " << result.delivered << (result.delivered == 1 ? " record" : " records")
            << " to " << settings.serviceHost << ":" << settings.servicePort << "\n";
    if (result.remaining > 0 || !result.problem.empty()) {
        err << "hvnCupsAgent: " << result.remaining << (result.remaining == 1 ? " record remains" : " records remain")
            << " in " << AgentSpool(settings.spoolFolder).spoolPath().string() << ": " << result.problem << "\n";
        return 1;
    }
    return 0;
}

int runUncounted(std::ostream &out, std::ostream &err)
{
    const AgentSettings settings = readAgentSettings(platform::RegistryFile::defaultPath());
    if (!settings.problems.empty()) {
        for (const std::string &problem : settings.problems)
            err << "hvnCupsAgent: " << problem << "\n";
        return 2;
    }
    try {
        for (const UncountedJob &job : UncountedJournal(settings.spoolFolder).entries())
            out << job.time << "  job " << job.jobId << "  user " << job.user << "  queue " << job.queue
                << "  format " << job.format << "  " << job.reason << "\n";
    } catch (const std::exception &e) {
        err << "hvnCupsAgent: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

} // namespace

std::string fitField(std::string_view text, std::size_t maxBytes)
{
    std::string fitted;
    std::size_t used = 0;
    while (!text.empty()) {
        std::size_t length = utf8Length(static_cast<unsigned char>(text[0]));
        std::string character;
        std::optional<std::string> encoded;
        if (length == 0 || length > text.size()) {
            length = 1;
        } else {
            character = std::string(text.substr(0, length));
            if (static_cast<unsigned char>(character[0]) >= 0x20 && character[0] != '\x7f')
                encoded = platform::utf8ToCp932(character);
        }
        if (!encoded) {
            character = "?";
            encoded = "?";
        }
        if (used + encoded->size() > maxBytes)
            break;
        used += encoded->size();
        fitted += character;
        text.remove_prefix(length);
    }
    return fitted;
}

std::optional<std::string> recordFrame(const DbDateTime &time, const std::string &user, const std::string &printer,
                                       const std::string &computer, const JobCounts &counts)
{
    agent::PrintJob job;
    job.time = time;
    job.user = fitField(user, 32);
    job.printer = fitField(printer, 64);
    job.computer = fitField(computer, 32);
    job.pages = counts.pages;
    job.sides = counts.sides;
    job.sheets = counts.sheets;
    try {
        return agent::encodeFrame(job);
    } catch (const agent::FrameError &) {
        return std::nullopt;
    }
}

int run(const std::vector<std::string> &argv, std::ostream &out, std::ostream &err)
{
    if (argv.size() <= 1) {
        out << kDiscoveryLine << "\n";
        return 0;
    }
    if (argv.size() == 3 && argv[1] == "--flush" && argv[2] == "--no-wait")
        return runFlush(false, out, err);
    if (argv.size() == 2) {
        if (argv[1] == "--flush")
            return runFlush(true, out, err);
        if (argv[1] == "--uncounted")
            return runUncounted(out, err);
        if (argv[1] == "--help" || argv[1] == "-h") {
            out << kUsage;
            return 0;
        }
    }
    if (argv.size() == 6 || argv.size() == 7)
        return runJob(argv, err);
    err << "hvnCupsAgent: bad usage\n" << kUsage;
    return 2;
}

} // namespace hvn::cupsagent
