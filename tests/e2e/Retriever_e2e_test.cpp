// The real hvnRetriever, hvnAgent and hvnSetup processes, each test on its own settings file,
// database and free loopback ports.

#include <csignal>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "E2eSupport.h"

namespace hvn::e2e {
namespace {

using namespace std::chrono_literals;

constexpr const char *kPrintRows =
    "SELECT u.UserName, p.PrinterName, d.ComputerName, d.DocumentPages, d.SidesOfPaper,"
    " d.SheetsOfPaper, d.dbDateTime"
    " FROM tblPrintingData d JOIN tblUserInfo u ON u.UserID = d.UserID"
    " JOIN tblPrintingMachineInfo p ON p.PrinterID = d.PrinterID ORDER BY d.rowid";

std::string body(const std::string &time18, const std::string &counts12, const std::string &printer,
                 const std::string &user, const std::string &computer)
{
    auto pad = [](std::string s, std::size_t width) {
        s.resize(width, ' ');
        return s;
    };
    return time18 + counts12 + pad(printer, 64) + pad(user, 32) + pad(computer, 32);
}

TEST(RetrieverProcess, AgentAndRawSocketRecordsAreStoredWithTheirExactColumnValues)
{
    Installation installation;
    RetrieverProcess service(installation);
    ASSERT_TRUE(service.waitReady()) << service.errText();

    {
        std::ofstream csv(installation.dir() / "jobs.csv", std::ios::binary);
        csv << "time,user,printer,computer,pages,sides,sheets\n"
               "2004-04-01 09:30:15.250,山田太郎,複合機 3F,経理-PC01,10,10,5\n"
               "2004-04-01 09:31:00.000,佐藤花子,複合機 3F,総務-PC02,4,4,1\n"
               "2004-12-31 23:59:59.999,山田太郎,\"LP-2, カラー\",経理-PC01,9999,0,-999\n";
    }
    const RunResult sent = installation.agent({"--file", (installation.dir() / "jobs.csv").string()});
    ASSERT_EQ(sent.status, 0) << sent.err;
    ASSERT_TRUE(installation.waitForCount("tblPrintingData", 3));

    // Raw bytes as other agents may write them: noise before the STX, blank-padded counts,
    // a frame split in two sends, a frame whose date is impossible, CP932 written by hand.
    const std::string yamadaCp932 = "\x8E\x52\x93\x63\x91\xBE"; // 山田太
    const std::string raw = std::string("noise") + '\x02' +
                            body("200501020304050006", "   7   7   4", "lp9", "suzuki", "WS") + '\x03' + "junk" +
                            '\x02' + body("200502300000000000", "0001 0010001", "lp9", "ghost", "WS") + '\x03' +
                            '\x02' + body("200501020304060007", "0002+0020001", "LP9", yamadaCp932, "WS") +
                            '\x03';
    {
        const platform::UniqueFd agent = connectLoopback(installation.port());
        const std::size_t cut = 100;
        sendBytes(agent.get(), raw.substr(0, cut));
        std::this_thread::sleep_for(50ms);
        sendBytes(agent.get(), raw.substr(cut));
    }
    ASSERT_TRUE(installation.waitForCount("tblPrintingData", 5));

    EXPECT_EQ(installation.rows(kPrintRows),
              (std::vector<std::string>{
                  "山田太郎|複合機 3F|経理-PC01|10|10|5|2004-04-01 09:30:15.250",
                  "佐藤花子|複合機 3F|総務-PC02|4|4|1|2004-04-01 09:31:00.000",
                  "山田太郎|LP-2, カラー|経理-PC01|9999|0|-999|2004-12-31 23:59:59.999",
                  "suzuki|lp9|WS|7|7|4|2005-01-02 03:04:05.006",
                  "山田太|lp9|WS|2|2|1|2005-01-02 03:04:06.007",
              }));
    // The impossible date stores no row, yet its user is registered; printer names compare
    // without regard to case, so "LP9" found "lp9".
    EXPECT_EQ(installation.rows("SELECT UserID, UserName, SectionID, UserRealName FROM tblUserInfo ORDER BY rowid"),
              (std::vector<std::string>{"1|山田太郎|0|山田太郎", "2|佐藤花子|0|佐藤花子", "3|suzuki|0|suzuki",
                                        "4|ghost|0|ghost", "5|山田太|0|山田太"}));
    EXPECT_EQ(installation.rows("SELECT * FROM tblPrintingMachineInfo ORDER BY rowid"),
              (std::vector<std::string>{"1|複合機 3F|0|1|複合機 3F", "2|LP-2, カラー|0|2|LP-2, カラー",
                                        "3|lp9|0|3|lp9"}));

    EXPECT_EQ(service.stop(), 0) << service.errText();
}

TEST(RetrieverProcess, ConsoleLockHoldsBackStoringUntilItIsGivenBack)
{
    Installation installation;
    RetrieverProcess service(installation);
    ASSERT_TRUE(service.waitReady()) << service.errText();

    const platform::UniqueFd console = connectLoopback(installation.consolePort());
    sendBytes(console.get(), "DBREAD\n");
    ASSERT_EQ(receiveSome(console.get(), 10s), "OK\n");

    const RunResult sent = installation.agent({"--user", "高橋", "--printer", "LP1", "--computer", "PC1",
                                               "--pages", "3", "--time", "2006-05-06 07:08:09.010"});
    ASSERT_EQ(sent.status, 0) << sent.err;
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(installation.count("tblPrintingData"), 0) << "a record was stored under the console's lock";
    EXPECT_EQ(installation.count("tblUserInfo"), 0);

    sendBytes(console.get(), "END\n");
    ASSERT_TRUE(installation.waitForCount("tblPrintingData", 1));
    EXPECT_EQ(installation.rows(kPrintRows),
              std::vector<std::string>{"高橋|LP1|PC1|3|3|3|2006-05-06 07:08:09.010"});
    EXPECT_EQ(service.stop(), 0) << service.errText();
}

TEST(RetrieverProcess, UnreachableDatabaseEndsTheStartAndTheInstallWithNonZeroStatus)
{
    Installation installation;
    std::filesystem::remove(installation.database());

    RetrieverProcess service(installation);
    const std::optional<int> status = service.wait(20s);
    ASSERT_TRUE(status) << "still running without its database";
    EXPECT_NE(*status, 0);
    const std::string err = service.errText();
    EXPECT_NE(err.find("hvnRetriever: cannot open the database"), std::string::npos) << err;
    EXPECT_EQ(err.find('\n'), err.size() - 1) << "not one line: " << err;
    EXPECT_FALSE(service.notifications().waitFor("READY=1", 100ms));

    const RunResult install = installation.run({retrieverProgram().string(), "/INSTALL"});
    EXPECT_NE(install.status, 0);
    EXPECT_EQ(install.out, "");
    EXPECT_FALSE(std::filesystem::exists(installation.unitDirectory() / "Retriever.service"));
}

TEST(RetrieverProcess, TakenPortFailsTheStartWithTheLoggedEntryOnStandardError)
{
    Installation installation;
    platform::UniqueFd taken(::socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(installation.port());
    ASSERT_EQ(::bind(taken.get(), reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    ASSERT_EQ(::listen(taken.get(), 1), 0);

    RetrieverProcess service(installation);
    const std::optional<int> status = service.wait(20s);
    ASSERT_TRUE(status) << "still running on a taken port";
    EXPECT_NE(*status, 0);
    EXPECT_EQ(service.errText(), "hvnRetriever: サービス失敗 開始: Address already in use\n");
    EXPECT_FALSE(service.notifications().waitFor("READY=1", 100ms));
}

TEST(RetrieverProcess, SigtermStopsCleanlyAndDropsOpenConnections)
{
    Installation installation;
    RetrieverProcess service(installation);
    ASSERT_TRUE(service.waitReady()) << service.errText();

    // An agent in the middle of a record, and a console sitting idle.
    const platform::UniqueFd agent = connectLoopback(installation.port());
    sendBytes(agent.get(), std::string("\x02") + "2004040109");
    const platform::UniqueFd console = connectLoopback(installation.consolePort());
    std::this_thread::sleep_for(200ms);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(service.stop(), 0) << service.errText();
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(service.notifications().waitFor("STOPPING=1", 1s));
    EXPECT_TRUE(peerClosed(agent.get(), 1s));
    EXPECT_TRUE(peerClosed(console.get(), 1s));
    EXPECT_EQ(service.errText(), "");
    EXPECT_THROW(connectLoopback(installation.port()), std::system_error);
    EXPECT_THROW(connectLoopback(installation.consolePort()), std::system_error);
}

TEST(RetrieverProcess, PauseAndContinueKeepBothListenersServing)
{
    Installation installation;
    RetrieverProcess service(installation);
    ASSERT_TRUE(service.waitReady()) << service.errText();

    ASSERT_TRUE(service.signal(SIGUSR1));
    ASSERT_TRUE(service.notifications().waitFor("STATUS=paused"));
    ASSERT_EQ(installation.agent({"--user", "u1", "--printer", "p", "--pages", "1"}).status, 0);
    EXPECT_TRUE(installation.waitForCount("tblPrintingData", 1)) << "a paused service stored nothing";
    {
        const platform::UniqueFd console = connectLoopback(installation.consolePort());
        sendBytes(console.get(), "DBREAD\n");
        EXPECT_EQ(receiveSome(console.get(), 10s), "OK\n");
    }

    ASSERT_TRUE(service.signal(SIGUSR2));
    ASSERT_TRUE(service.notifications().waitFor("STATUS=running"));
    ASSERT_EQ(installation.agent({"--user", "u2", "--printer", "p", "--pages", "1"}).status, 0);
    EXPECT_TRUE(installation.waitForCount("tblPrintingData", 2));
    EXPECT_EQ(service.stop(), 0) << service.errText();
}

TEST(RetrieverProcess, InstallAndUninstallManageTheUnitWithTheHostMessages)
{
    Installation installation;
    const std::string program = retrieverProgram().string();
    const auto unit = installation.unitDirectory() / "Retriever.service";

    RunResult r = installation.run({program, "/INSTALL"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "サービスを登録しました。\n");
    const std::string text = readFile(unit);
    EXPECT_NE(text.find("\nExecStart=" + std::filesystem::canonical(program).string() + "\n"), std::string::npos)
        << text;
    EXPECT_NE(text.find("\nEnvironment=HALVANE_REGISTRY=" + installation.registry().string() + "\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nType=notify\n"), std::string::npos) << text;

    r = installation.run({program, "-uninstall", "/Silent"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(std::filesystem::exists(unit));

    // Failures show even with SILENT.
    r = installation.run({program, "/UNINSTALL", "/SILENT"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "\"No such file or directory\" : サービス \"hvnRetriever\" の登録解除に失敗しました。\n");

    r = installation.run({program, "-Install"}, {"HALVANE_SYSTEMD_DIR=" + (installation.dir() / "none").string()});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "\"No such file or directory\" : サービス \"hvnRetriever\" の登録は失敗しました。\n");

    r = installation.run({program, "/REMOVE"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
}

TEST(AgentProcess, ValuesThatDoNotFitAreRefusedAndNothingIsSent)
{
    Installation installation;
    RetrieverProcess service(installation);
    ASSERT_TRUE(service.waitReady()) << service.errText();

    const std::vector<std::vector<std::string>> refused = {
        {"--user", std::string(33, 'u'), "--printer", "p", "--pages", "1"},
        {"--user", "u", "--printer", "p", "--pages", "10000"},
        {"--user", "u", "--printer", "p", "--pages", "1", "--sheets", "-1000"},
        {"--user", "u", "--printer", "p", "--pages", "1", "--time", "2004-02-30 00:00:00.000"},
        {"--user", "u\xF0\x9F\x98\x80", "--printer", "p", "--pages", "1"},
        {"--user", "u", "--pages", "1"},
    };
    for (const auto &options : refused) {
        const RunResult r = installation.agent(options);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(options);
        EXPECT_NE(r.err.find("hvnAgent: "), std::string::npos) << r.err;
    }
    {
        // One bad line refuses the whole file.
        std::ofstream csv(installation.dir() / "bad.csv", std::ios::binary);
        csv << "time,user,printer,computer,pages,sides,sheets\n"
               "2004-04-01 09:30:15.250,u,p,c,1,1,1\n"
               "2004-04-01 09:30:15.250,u,p," << std::string(33, 'c') << ",1,1,1\n";
    }
    const RunResult r = installation.agent({"--file", (installation.dir() / "bad.csv").string()});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("job 2: computer"), std::string::npos) << r.err;

    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(installation.count("tblUserInfo"), 0);
    EXPECT_EQ(service.stop(), 0) << service.errText();
}

} // namespace
} // namespace hvn::e2e
