#include "CountParts.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>
#include <string_view>
#include <system_error>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include "ChildProcess.h"
#include "UniqueFd.h"

namespace hvn::cupsagent {

namespace {

// Interpreter output kept per line: the document may print anything, of any length.
constexpr std::size_t kMaxOutputLine = 256;

std::string randomToken()
{
    std::random_device device;
    std::uniform_int_distribution<unsigned> digit(0, 15);
    std::string token = "HVN";
    for (int i = 0; i < 24; ++i)
        token.push_back("0123456789abcdef"[digit(device)]);
    return token;
}

// The program run ahead of the job. Every page the device outputs (showpage, copypage) calls
// EndPage once, however many copies it asks for, so the count is the document's pages. The
// counting EndPage is installed first, and a job that installs its own has ours wrapped
// around it, so its pages still count. Each page writes a line with a token chosen for this
// run, so that what the job prints on the same stream is never taken for a page. The job runs in a
// stopped context so that a PostScript error is reported, not taken for the end of the job.
// The document is opened by name (the one file -dSAFER lets it read) and read from offset.
std::string prologue(const std::string &token, const std::string &path, std::uint64_t offset, bool inEnvelope)
{
    std::string hexPath;
    for (unsigned char c : path) {
        hexPath.push_back("0123456789ABCDEF"[c >> 4]);
        hexPath.push_back("0123456789ABCDEF"[c & 15]);
    }
    const std::string mark = "{ (\\n" + token + " page\\n) print flush }";
    std::string ps;
    ps += "<< /EndPage { exch pop 2 ne dup " + mark + " if } bind >> setpagedevice\n";
    ps += "/setpagedevice { dup type /dicttype eq { dup /EndPage known {"
          " dup length dict copy dup /EndPage get"
          " [ exch /exec load /dup load " + mark + " /if load ] cvx"
          " 1 index exch /EndPage exch put } if } if"
          " systemdict /setpagedevice get exec } bind def\n";
    ps += "<" + hexPath + "> (r) file dup " + std::to_string(offset) + " setfileposition";
    if (inEnvelope)
        ps += " 0 <1B252D313233343558> /SubFileDecode filter";
    ps += " cvx stopped { $error /newerror get { (\\n" + token +
          " error ) print $error /errorname get =string cvs print (\\n) print flush } if } if\n";
    return ps;
}

} // namespace

Counted countWithInterpreter(const std::string &path, std::uint64_t offset, bool inEnvelope,
                             const CountOptions &options)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + options.interpreterTimeout;

    std::error_code ec;
    const std::string document = std::filesystem::absolute(path, ec).string();
    // The job reading %stdin would otherwise take what the agent itself is given there.
    platform::UniqueFd noInput(::open("/dev/null", O_RDONLY | O_CLOEXEC));
    if (ec || !noInput)
        return {std::nullopt, "cannot prepare the interpreter's run: " +
                                  (ec ? ec.message() : std::string(std::strerror(errno)))};

    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return {std::nullopt, "cannot make a pipe for the interpreter: " + std::string(std::strerror(errno))};
    platform::UniqueFd readEnd(ends[0]);
    platform::UniqueFd writeEnd(ends[1]);

    const std::string token = randomToken();
    platform::SpawnOptions spawn;
    spawn.argv = {options.ghostscript, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=nullpage",
                  "--permit-file-read=" + document, "-c",
                  prologue(token, document, offset, inEnvelope)};
    spawn.stdinFd = noInput.get();
    spawn.stdoutFd = writeEnd.get();
    spawn.stderrPath = "/dev/null";
    // GS_OPTIONS would add switches ahead of ours (-dNOSAFER among them).
    spawn.unsetEnv = {"GS_OPTIONS"};

    platform::ChildProcess child;
    try {
        child = platform::ChildProcess::spawn(spawn);
    } catch (const std::system_error &e) {
        return {std::nullopt, "cannot run the PostScript interpreter " + options.ghostscript + ": " +
                                  e.code().message()};
    }
    writeEnd.reset();
    noInput.reset();
    const rlimit memory{options.interpreterMemoryBytes, options.interpreterMemoryBytes};
    ::prlimit(child.pid(), RLIMIT_AS, &memory, nullptr);

    int pages = 0;
    std::string error;
    std::string line;
    bool overlong = false;
    auto takeLine = [&] {
        if (!overlong && line.starts_with(token + " ")) {
            const std::string_view what = std::string_view(line).substr(token.size() + 1);
            if (what == "page")
                ++pages;
            else if (what.starts_with("error "))
                error = what.substr(6);
        }
        line.clear();
        overlong = false;
    };

    char buffer[8192];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return {std::nullopt, "the PostScript interpreter did not finish within " +
                                      std::to_string(options.interpreterTimeout.count()) + " ms"};
        pollfd watch{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&watch, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        if (ready < 0 && errno != EINTR)
            return {std::nullopt, "cannot read the interpreter's output: " + std::string(std::strerror(errno))};
        if (ready <= 0)
            continue;
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return {std::nullopt, "cannot read the interpreter's output: " + std::string(std::strerror(errno))};
        }
        if (n == 0)
            break;
        for (std::string_view rest(buffer, static_cast<std::size_t>(n)); !rest.empty();) {
            const std::size_t lf = rest.find('\n');
            const std::string_view piece = rest.substr(0, lf);
            if (line.size() + piece.size() > kMaxOutputLine)
                overlong = true;
            else
                line.append(piece);
            if (lf == std::string_view::npos)
                break;
            rest.remove_prefix(lf + 1);
            takeLine();
        }
    }
    takeLine();

    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    const std::optional<int> status = child.wait(std::max(left, std::chrono::milliseconds(0)));
    if (!status)
        return {std::nullopt, "the PostScript interpreter did not finish within " +
                                  std::to_string(options.interpreterTimeout.count()) + " ms"};
    if (!error.empty())
        return {std::nullopt, "PostScript error " + error + " after " + std::to_string(pages) + " pages"};
    // A job may end itself with quit: a clean exit, its pages so far are all it prints.
    if (*status != 0)
        return {std::nullopt, "the PostScript interpreter failed (exit status " + std::to_string(*status) + ")"};
    return {pages, {}};
}

} // namespace hvn::cupsagent
