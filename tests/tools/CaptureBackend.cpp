// A CUPS backend for the tests: device URI "capture:<folder>[?exit=N][&sleep=MS]". It writes
// each job's data to <folder>/<job>.data (the file argument, else standard input) and its
// arguments and device URI to <folder>/<job>.args, one a line, then sleeps and exits with N.
// A SIGTERM leaves a <job>.term mark and exits 143.

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::string g_termMark;

extern "C" void onTerm(int)
{
    const int fd = ::open(g_termMark.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0)
        ::close(fd);
    ::_exit(143);
}

std::string queryValue(const std::string &query, const std::string &name)
{
    const std::string key = name + "=";
    for (std::size_t at = 0; at < query.size();) {
        const std::size_t end = std::min(query.find('&', at), query.size());
        if (query.compare(at, key.size(), key) == 0)
            return query.substr(at + key.size(), end - at - key.size());
        at = end + 1;
    }
    return {};
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 1) {
        std::cout << "direct capture \"Unknown\" \"Halvane test capture\"\n";
        return 0;
    }
    if (argc < 6 || argc > 7) {
        std::cerr << "ERROR: capture: bad arguments\n";
        return 1;
    }
    const char *envUri = std::getenv("DEVICE_URI");
    const std::string uri = envUri ? envUri : "";
    if (uri.rfind("capture:", 0) != 0) {
        std::cerr << "ERROR: capture: bad device URI " << uri << "\n";
        return 1;
    }
    std::string folder = uri.substr(8);
    std::string query;
    if (const auto mark = folder.find('?'); mark != std::string::npos) {
        query = folder.substr(mark + 1);
        folder.erase(mark);
    }
    const std::string base = folder + "/" + argv[1];
    g_termMark = base + ".term";
    std::signal(SIGTERM, onTerm);
    {
        std::ofstream args(base + ".args");
        for (int i = 0; i < argc; ++i)
            args << argv[i] << "\n";
        args << "DEVICE_URI=" << uri << "\nuid=" << ::getuid() << "\n";
    }
    std::ifstream file;
    if (argc == 7)
        file.open(argv[6], std::ios::binary);
    std::istream &in = argc == 7 ? static_cast<std::istream &>(file) : std::cin;
    std::ofstream data(base + ".data.part", std::ios::binary);
    data << in.rdbuf();
    data.close();
    std::rename((base + ".data.part").c_str(), (base + ".data").c_str());
    if (const std::string sleep = queryValue(query, "sleep"); !sleep.empty())
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep.c_str())));
    const std::string exitCode = queryValue(query, "exit");
    return exitCode.empty() ? 0 : std::atoi(exitCode.c_str());
}
