// hvnCupsAgent inside a real cupsd that the tests start: jobs submitted with lp reach a real
// hvnRetriever with the right user, printer, computer and counts, and print in every case.
// Needs root (cupsd runs backends of mode 0700 as root only when it is root itself).

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include "AgentSpool.h"
#include "CupsAgentSupport.h"
#include "WaitUntil.h"

namespace hvn::cupsagent::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr const char *kPpd = "/usr/share/ppd/cupsfilters/Generic-PDF_Printer-PDF.ppd";

std::string skipReason()
{
    if (::geteuid() != 0)
        return "the cupsd tests run cupsd, which must be root to run the agent as root: run them as root";
    for (const char *program : {"/usr/sbin/cupsd", "/usr/sbin/lpadmin", "/usr/bin/lp", "/usr/lib/cups/filter/pdftopdf"})
        if (!fs::exists(program))
            return std::string(program) + " is missing (cups-daemon, cups-client, cups-filters)";
    if (!fs::exists(kPpd))
        return std::string(kPpd) + " is missing (cups-filters)";
    return {};
}

// A private cupsd: its own ServerRoot, RequestRoot and ServerBin (the system's filters, the
// built agent as backend/halvane, the tests' capture backend), listening on a free loopback
// port, with the installation's settings file in its backends' environment. Queues print
// through halvane:capture:<captured()>.
class PrivateCupsd {
public:
    explicit PrivateCupsd(const AgentInstallation &installation)
        : m_root(installation.dir() / "cups"), m_port(hvn::test::freePort())
    {
        for (const char *sub : {"conf", "spool/tmp", "bin/backend", "cache", "state", "log", "captured"})
            fs::create_directories(m_root / sub);
        const gid_t lp = ::getgrnam("lp") ? ::getgrnam("lp")->gr_gid : 0;
        for (const char *sub : {"spool", "spool/tmp"}) {
            [[maybe_unused]] const int rc = ::chown((m_root / sub).c_str(), 0, lp);
            ::chmod((m_root / sub).c_str(), 01770);
        }
        openToAll(captured());
        for (const char *sub : {"filter", "cgi-bin", "daemon", "notifier", "monitor"})
            fs::create_directory_symlink(fs::path("/usr/lib/cups") / sub, m_root / "bin" / sub);
        fs::copy_file(agentProgram(), m_root / "bin/backend/halvane");
        ::chmod((m_root / "bin/backend/halvane").c_str(), 0700);
        fs::copy_file(captureBackend(), m_root / "bin/backend/capture");
        ::chmod((m_root / "bin/backend/capture").c_str(), 0755);

        std::ofstream files(m_root / "conf/cups-files.conf");
        files << "User lp\nGroup lp\nSystemGroup root\n"
              << "ServerRoot " << (m_root / "conf").string() << "\nRequestRoot " << (m_root / "spool").string()
              << "\nServerBin " << (m_root / "bin").string() << "\nCacheDir " << (m_root / "cache").string()
              << "\nStateDir " << (m_root / "state").string() << "\nTempDir " << (m_root / "spool/tmp").string()
              << "\nDataDir /usr/share/cups\nDocumentRoot /usr/share/cups/doc-root\n"
              << "AccessLog " << (m_root / "log/access_log").string() << "\nErrorLog "
              << (m_root / "log/error_log").string() << "\nPageLog " << (m_root / "log/page_log").string()
              << "\nFileDevice Yes\nSetEnv HALVANE_REGISTRY " << installation.registry().string() << "\n";
        files.close();
        // The stock job policy, so that the agent's Get-Job-Attributes meets what a real server
        // hides from other users.
        std::ofstream conf(m_root / "conf/cupsd.conf");
        conf << "LogLevel info\nListen 127.0.0.1:" << m_port << "\nBrowsing No\nWebInterface No\n"
             << "DefaultPolicy default\nMaxJobs 0\n"
             << "<Location />\n  Order allow,deny\n  Allow localhost\n</Location>\n"
             << "<Policy default>\n  JobPrivateAccess default\n  JobPrivateValues default\n"
             << "  <Limit Create-Job Print-Job Print-URI Validate-Job>\n    Order deny,allow\n  </Limit>\n"
             << "  <Limit CUPS-Add-Modify-Printer CUPS-Delete-Printer CUPS-Add-Modify-Class CUPS-Get-Devices "
                "Pause-Printer Resume-Printer Enable-Printer CUPS-Accept-Jobs CUPS-Reject-Jobs>\n"
             << "    AuthType Default\n    Require user @SYSTEM\n    Order deny,allow\n  </Limit>\n"
             << "  <Limit Cancel-Job CUPS-Authenticate-Job>\n    Require user @OWNER @SYSTEM\n"
             << "    Order deny,allow\n  </Limit>\n"
             << "  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
        conf.close();

        platform::SpawnOptions spawn;
        spawn.argv = {"/usr/sbin/cupsd", "-f", "-c", (m_root / "conf/cupsd.conf").string(), "-s",
                      (m_root / "conf/cups-files.conf").string()};
        spawn.stdoutPath = m_root / "log/cupsd.out";
        spawn.stderrPath = m_root / "log/cupsd.err";
        m_cupsd = platform::ChildProcess::spawn(spawn);
        const bool up = hvn::test::waitUntil(
            [&] {
                try {
                    hvn::test::connectLoopback(m_port);
                    return true;
                } catch (const std::exception &) {
                    return !m_cupsd.running();
                }
            },
            20s);
        if (!up || !m_cupsd.running())
            throw std::runtime_error("cupsd did not start: " + readText(m_root / "log/cupsd.err") +
                                     readText(m_root / "log/error_log"));
    }

    ~PrivateCupsd()
    {
        m_cupsd.signal(SIGTERM);
        m_cupsd.wait(20s);
    }

    fs::path captured() const { return m_root / "captured"; }
    std::string errorLog() const { return readText(m_root / "log/error_log"); }

    // Runs a CUPS client program against this cupsd (as the system's administrator where it
    // needs one, through the local certificate in StateDir).
    e2e::RunResult client(const AgentInstallation &installation, std::vector<std::string> argv) const
    {
        return installation.run(std::move(argv), {"CUPS_SERVER=127.0.0.1:" + std::to_string(m_port),
                                                  "CUPS_STATEDIR=" + (m_root / "state").string()});
    }

    void addQueue(const AgentInstallation &installation, const std::string &name) const
    {
        const e2e::RunResult added = client(installation, {"/usr/sbin/lpadmin", "-p", name, "-E", "-v",
                                                           "halvane:capture:" + captured().string(), "-P", kPpd});
        if (added.status != 0)
            throw std::runtime_error("lpadmin failed: " + added.err);
    }

    // Submits with lp and returns the job id.
    int submit(const AgentInstallation &installation, std::vector<std::string> options) const
    {
        std::vector<std::string> argv = {"/usr/bin/lp"};
        argv.insert(argv.end(), options.begin(), options.end());
        const e2e::RunResult result = client(installation, argv);
        // "request id is Acct-12 (1 file(s))"
        const auto at = result.out.find("request id is ");
        const auto end = result.out.find(' ', at + 14);
        const auto dash = result.out.rfind('-', end);
        if (result.status != 0 || at == std::string::npos || end == std::string::npos || dash < at)
            throw std::runtime_error("lp failed: " + result.out + result.err);
        return std::stoi(result.out.substr(dash + 1, end - dash - 1));
    }

    // True once the capture backend has the job's data.
    bool printed(int job, std::chrono::milliseconds timeout = 30s) const
    {
        return hvn::test::waitUntil([&] { return fs::exists(captured() / (std::to_string(job) + ".data")); },
                                    timeout);
    }

private:
    fs::path m_root;
    std::uint16_t m_port;
    platform::ChildProcess m_cupsd;
};

std::string hostName()
{
    char name[256] = {};
    ::gethostname(name, sizeof name - 1);
    return name;
}

class CupsdAgent : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (const std::string reason = skipReason(); !reason.empty())
            GTEST_SKIP() << reason;
        openToAll(installation.dir());
        ::chmod(installation.dir().c_str(), 0755);
        cupsd.emplace(installation);
        cupsd->addQueue(installation, "Acct");
        documents = installation.dir() / "documents";
        fs::create_directories(documents);
        openToAll(documents);
    }

    // Submits, waits until it printed and until the service holds `rows` rows; the last row.
    std::string printAndReport(std::vector<std::string> options, std::int64_t rows)
    {
        const int job = cupsd->submit(installation, std::move(options));
        EXPECT_TRUE(cupsd->printed(job)) << "job " << job << " did not print\n" << cupsd->errorLog();
        EXPECT_TRUE(installation.waitForCount("tblPrintingData", rows, 30s)) << cupsd->errorLog();
        const auto all = installation.printRows();
        return all.empty() ? "" : all.back();
    }

    AgentInstallation installation;
    std::optional<PrivateCupsd> cupsd;
    fs::path documents;
};

TEST_F(CupsdAgent, JobsAreReportedWithTheirUserQueueComputerAndCountsAndAllPrint)
{
    e2e::RetrieverProcess retriever(installation);
    ASSERT_TRUE(retriever.waitReady());
    const std::string computer = hostName();
    writePdf(documents / "three.pdf", 3);
    writePdf(documents / "two.pdf", 2);
    writePdf(documents / "five.pdf", 5);
    writePdf(documents / "nine.pdf", 9);
    writePostScript(documents / "four.ps", 4);
    {
        std::ofstream raw(documents / "raw.ps", std::ios::binary);
        raw << "%!PS-Adobe-3.0\n%%Pages: 3\n%%EndComments\n%%BeginSetup\n<< /Duplex true >> setpagedevice\n"
               "%%EndSetup\n";
        for (int i = 1; i <= 3; ++i)
            raw << "%%Page: " << i << " " << i << "\n72 700 moveto /Helvetica findfont 20 scalefont setfont (p) show "
                << "showpage\n";
        raw << "%%EOF\n";
    }
    writePcl(documents / "job.pcl", 2);

    const std::string doc = documents.string() + "/";
    EXPECT_EQ(printAndReport({"-d", "Acct", "-U", "tanaka", doc + "three.pdf"}, 1), "tanaka|Acct|" + computer + "|3|3|3");
    EXPECT_EQ(printAndReport({"-d", "Acct", "-U", "tanaka", "-n", "3", doc + "two.pdf"}, 2),
              "tanaka|Acct|" + computer + "|6|6|6");
    EXPECT_EQ(printAndReport({"-d", "Acct", "-U", "sato", "-n", "2", "-o", "number-up=2", "-o",
                              "sides=two-sided-long-edge", "-o", "page-ranges=1-3", doc + "five.pdf"},
                             3),
              "sato|Acct|" + computer + "|6|4|2");
    EXPECT_EQ(printAndReport({"-d", "Acct", "-U", "sato", "-o", "number-up=4", "-o", "sides=two-sided-short-edge",
                              "-o", "page-ranges=2-8", doc + "nine.pdf"},
                             4),
              "sato|Acct|" + computer + "|7|2|1");
    EXPECT_EQ(printAndReport({"-d", "Acct", "-U", "kato", doc + "four.ps"}, 5), "kato|Acct|" + computer + "|4|4|4");
    // Raw: no filter applies number-up; the document's own duplex request counts.
    EXPECT_EQ(printAndReport({"-d", "Acct", "-U", "kato", "-o", "raw", "-o", "number-up=2", "-n", "2", doc + "raw.ps"}, 6),
              "kato|Acct|" + computer + "|6|6|4");
    // As Samba submits a Windows client's job: the client's domain user and its machine name.
    EXPECT_EQ(printAndReport({"-d", "Acct", "-U", "OFFICE\\suzuki", "-o", "job-originating-host-name=PC-SUZUKI",
                              doc + "two.pdf"},
                             7),
              "suzuki|Acct|PC-SUZUKI|2|2|2");

    // A printer language cannot be counted: it prints, is journalled, and nothing is reported.
    const int pcl = cupsd->submit(installation, {"-d", "Acct", "-U", "OFFICE\\ito", "-o", "raw", doc + "job.pcl"});
    EXPECT_TRUE(cupsd->printed(pcl));
    EXPECT_TRUE(hvn::test::waitUntil([&] {
        return cupsd->errorLog().find("job " + std::to_string(pcl) + " of OFFICE\\\\ito printed but is not counted") !=
               std::string::npos;
    })) << cupsd->errorLog();
    const e2e::RunResult uncounted = installation.run({agentProgram().string(), "--uncounted"});
    EXPECT_NE(uncounted.out.find("job " + std::to_string(pcl) + "  user OFFICE\\ito  queue Acct"), std::string::npos)
        << uncounted.out;
    EXPECT_EQ(installation.count("tblPrintingData"), 7);
    EXPECT_EQ(readText(cupsd->captured() / (std::to_string(pcl) + ".data")), readText(documents / "job.pcl"));
}

TEST_F(CupsdAgent, WithTheServiceAwayJobsPrintAtOnceAndAFlushStoresEachRecordOnce)
{
    cupsd->addQueue(installation, "Acct2");
    writePdf(documents / "two.pdf", 2);
    const auto started = std::chrono::steady_clock::now();
    const int first = cupsd->submit(installation, {"-d", "Acct", "-U", "tanaka", documents.string() + "/two.pdf"});
    const int second = cupsd->submit(installation, {"-d", "Acct2", "-U", "sato", documents.string() + "/two.pdf"});
    EXPECT_TRUE(cupsd->printed(first));
    EXPECT_TRUE(cupsd->printed(second));
    const AgentSpool spool(installation.spoolFolder());
    EXPECT_TRUE(hvn::test::waitUntil([&] { return spool.read().frames.size() == 2; }, 20s)) << cupsd->errorLog();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 20s);

    e2e::RetrieverProcess retriever(installation);
    ASSERT_TRUE(retriever.waitReady());
    const e2e::RunResult flushed = installation.run({agentProgram().string(), "--flush"});
    EXPECT_EQ(flushed.status, 0) << flushed.err;
    EXPECT_EQ(installation.run({agentProgram().string(), "--flush"}).status, 0);
    auto rows = installation.printRows();
    std::sort(rows.begin(), rows.end());
    const std::string computer = hostName();
    EXPECT_EQ(rows, (std::vector<std::string>{"sato|Acct2|" + computer + "|2|2|2", "tanaka|Acct|" + computer + "|2|2|2"}));
}

} // namespace
} // namespace hvn::cupsagent::test
