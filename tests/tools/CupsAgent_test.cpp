// The CUPS agent's own logic: job arithmetic, the job ticket, settings, the spool and its
// journal, record frames. Real files in temporary folders.

#include <gtest/gtest.h>

#include <fstream>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "AgentSettings.h"
#include "AgentSpool.h"
#include "CupsAgent.h"
#include "JobCounts.h"
#include "JobPlan.h"
#include "JobTicket.h"
#include "RealBackend.h"
#include "Newserverthread.h"
#include "RecordBody.h"
#include "TempDir.h"

namespace hvn::cupsagent {
namespace {

namespace fs = std::filesystem;

struct CountCase {
    int pages, copies, numberUp;
    bool duplex;
    JobCounts expected;
};

TEST(JobCounts, PagesSidesAndSheetsFollowCopiesNumberUpAndDuplex)
{
    const CountCase cases[] = {
        {3, 2, 2, true, {6, 4, 2}},   // 5-page PDF, page-ranges=1-3, -n 2, number-up 2, duplex
        {5, 1, 1, false, {5, 5, 5}},  // plain
        {5, 1, 1, true, {5, 5, 3}},   // an odd side count still takes a whole sheet
        {5, 3, 4, true, {15, 6, 3}},  // ceil(5/4)=2 sides, 1 sheet, per copy
        {4, 1, 4, false, {4, 1, 1}},  // exact fit
        {7, 2, 2, false, {14, 8, 8}}, // number-up rounds the last side up
        {0, 4, 2, true, {0, 0, 0}},   // page-ranges past the end select nothing
        {1, 1, 16, true, {1, 1, 1}},
    };
    for (const CountCase &c : cases)
        EXPECT_EQ(computeCounts(c.pages, c.copies, c.numberUp, c.duplex), c.expected)
            << c.pages << " pages, " << c.copies << " copies, " << c.numberUp << "-up, duplex " << c.duplex;
}

TEST(JobCounts, ImpossibleInputsAndOverflowGiveNoCounts)
{
    EXPECT_FALSE(computeCounts(-1, 1, 1, false));
    EXPECT_FALSE(computeCounts(1, 0, 1, false));
    EXPECT_FALSE(computeCounts(1, 1, 0, false));
    EXPECT_FALSE(computeCounts(100000, 100000, 1, false));
}

DocumentPages counted(int pages, std::optional<bool> duplex = {}, std::optional<int> copies = {})
{
    DocumentPages document;
    document.pages = pages;
    document.duplex = duplex;
    document.copies = copies;
    return document;
}

TEST(JobPlan, FilteredJobsApplyRangesNumberUpCopiesAndSidesPerDocument)
{
    JobTicket ticket;
    ticket.copies = 2;
    ticket.numberUp = 2;
    ticket.sides = "two-sided-long-edge";
    ticket.pageRanges = "1-3";
    EXPECT_EQ(planJob(ticket, false, {counted(5)}, 1).counts, (JobCounts{6, 4, 2}));
    // Ranges select within each document; the argv copies are not the job's copies.
    EXPECT_EQ(planJob(ticket, false, {counted(5), counted(2)}, 7).counts, (JobCounts{10, 6, 4}));
    // The document's own requests do not touch a filtered job.
    EXPECT_EQ(planJob(ticket, false, {counted(5, false, 3)}, 1).counts, (JobCounts{6, 4, 2}));
}

TEST(JobPlan, MissingCopiesFallBackToArgvAndDuplexOptionCountsWithoutSides)
{
    JobTicket ticket;
    ticket.duplexOption = "DuplexTumble";
    EXPECT_EQ(planJob(ticket, false, {counted(4)}, 3).counts, (JobCounts{12, 12, 6}));
    ticket.sides = "one-sided"; // sides wins over the PPD option
    EXPECT_EQ(planJob(ticket, false, {counted(4)}, 1).counts, (JobCounts{4, 4, 4}));
}

TEST(JobPlan, RawJobsIgnoreRangesAndNumberUpAndHonourTheDocumentsOwnRequests)
{
    JobTicket ticket;
    ticket.copies = 2;
    ticket.numberUp = 4;
    ticket.pageRanges = "1";
    EXPECT_EQ(planJob(ticket, true, {counted(5)}, 1).counts, (JobCounts{10, 10, 10}));
    EXPECT_EQ(planJob(ticket, true, {counted(5, true, 3)}, 1).counts, (JobCounts{30, 30, 18}));
    ticket.sides = "two-sided-long-edge";
    EXPECT_EQ(planJob(ticket, true, {counted(5, false)}, 1).counts, (JobCounts{10, 10, 10}));
    EXPECT_EQ(planJob(ticket, true, {counted(5)}, 1).counts, (JobCounts{10, 10, 6}));
}

TEST(JobPlan, UncountableDocumentsMalformedRangesAndMissingDocumentsAreNeverGuessed)
{
    DocumentPages pcl;
    pcl.reason = "PCL cannot be counted";
    const JobPlan withPcl = planJob({}, true, {counted(2), pcl}, 1);
    EXPECT_FALSE(withPcl.counts);
    EXPECT_NE(withPcl.uncountedReason.find("PCL cannot be counted"), std::string::npos);

    EXPECT_FALSE(planJob({}, false, {}, 1).counts);

    JobTicket ticket;
    ticket.pageRanges = "3-1";
    const JobPlan badRanges = planJob(ticket, false, {counted(5)}, 1);
    EXPECT_FALSE(badRanges.counts);
    EXPECT_NE(badRanges.uncountedReason.find("3-1"), std::string::npos);
}

TEST(JobTicket, OptionsArgumentGivesTheAttributesCupsdPassesAndQuotedValues)
{
    const JobTicket ticket = ticketFromOptions(
        "finishings=3 number-up=2 page-ranges=1-3 sides=two-sided-long-edge job-originating-host-name=pc12.office "
        "document-name-supplied='my doc.pdf' Duplex=DuplexNoTumble copies=x raw");
    EXPECT_EQ(ticket.numberUp, 2);
    EXPECT_EQ(ticket.pageRanges, "1-3");
    EXPECT_EQ(ticket.sides, "two-sided-long-edge");
    EXPECT_EQ(ticket.duplexOption, "DuplexNoTumble");
    EXPECT_EQ(ticket.originatingHost, "pc12.office");
    EXPECT_FALSE(ticket.copies); // not a number: left to cupsd's answer
    EXPECT_TRUE(ticket.rawOption);

    JobTicket fromCupsd;
    fromCupsd.copies = 3;
    fromCupsd.numberUp = 4;
    JobTicket merged = ticket;
    merged.completeFrom(fromCupsd);
    EXPECT_EQ(merged.copies, 3);
    EXPECT_EQ(merged.numberUp, 2); // the job's own argument stays
}

TEST(JobTicket, UserNamesLoseWindowsDomainsAndKerberosRealmsOnlyWhenAsked)
{
    const std::tuple<const char *, bool, const char *> cases[] = {
        {"OFFICE\\tanaka", true, "tanaka"}, {"tanaka@OFFICE.EXAMPLE", true, "tanaka"},
        {"OFFICE\\tanaka", false, "OFFICE\\tanaka"}, {"tanaka", true, "tanaka"},
        {"@odd", true, "@odd"},              {"", true, ""},
    };
    for (const auto &[user, strip, expected] : cases)
        EXPECT_EQ(accountedUser(user, strip), expected) << user;
    for (const char *local : {"localhost", "127.0.0.1", "::1", "[v1.::1]", ""})
        EXPECT_TRUE(isLocalHost(local)) << local;
    for (const char *remote : {"192.168.10.5", "pc12", "fe80::1"})
        EXPECT_FALSE(isLocalHost(remote)) << remote;
}

TEST(RealBackend, DeviceUrisUnwrapOnlyToAPlainSchemeInServerBin)
{
    const auto device = unwrapDeviceUri("halvane:socket://192.168.10.20:9100", "/usr/lib/cups");
    ASSERT_TRUE(device);
    EXPECT_EQ(device->uri, "socket://192.168.10.20:9100");
    EXPECT_EQ(device->backend, fs::path("/usr/lib/cups/backend/socket"));
    for (const char *bad : {"socket://h:9100", "halvane:", "halvane:socket", "halvane:../../bin/sh:x",
                            "halvane:/bin/sh:x", "halvane:halvane:socket://h", "halvane::x"})
        EXPECT_FALSE(unwrapDeviceUri(bad, "/usr/lib/cups")) << bad;
}

TEST(RealBackend, RunUserComesFromCupsFilesConf)
{
    const test::TempDir dir;
    EXPECT_EQ(cupsRunUser(dir.path()), "lp");
    std::ofstream(dir / "cups-files.conf") << "# User nobody\nGroup lp\n  User  cupsuser \nLogLevel warn\n";
    EXPECT_EQ(cupsRunUser(dir.path()), "cupsuser");
}

void writeFile(const fs::path &path, const std::string &text)
{
    std::ofstream(path, std::ios::binary) << text;
}

const std::string kHeader = "Windows Registry Editor Version 5.00\r\n\r\n";

TEST(AgentSettings, DefaultsSharedPortAndOwnValues)
{
    const test::TempDir dir;
    const AgentSettings none = readAgentSettings(dir / "missing.reg");
    EXPECT_EQ(none.serviceHost, "127.0.0.1");
    EXPECT_EQ(none.servicePort, 1033);
    EXPECT_EQ(none.spoolFolder, fs::path("/var/spool/halvane"));
    EXPECT_TRUE(none.stripDomain);
    EXPECT_TRUE(none.problems.empty());

    writeFile(dir / "shared.reg", kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n\"PortNumber\"=dword:00000000\r\n");
    EXPECT_EQ(readAgentSettings(dir / "shared.reg").servicePort, 1033);
    writeFile(dir / "shared.reg", kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n\"PortNumber\"=dword:00000bb8\r\n");
    EXPECT_EQ(readAgentSettings(dir / "shared.reg").servicePort, 3000);

    writeFile(dir / "own.reg", kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n\"PortNumber\"=dword:00000bb8\r\n\r\n"
                                         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane\\CupsAgent]\r\n"
                                         "\"ServiceHost\"=\"acct.example\"\r\n\"ServicePort\"=dword:00001000\r\n"
                                         "\"SpoolFolder\"=\"/srv/halvane\"\r\n\"StripDomain\"=dword:00000000\r\n");
    const AgentSettings own = readAgentSettings(dir / "own.reg");
    EXPECT_EQ(own.serviceHost, "acct.example");
    EXPECT_EQ(own.servicePort, 4096);
    EXPECT_EQ(own.spoolFolder, fs::path("/srv/halvane"));
    EXPECT_FALSE(own.stripDomain);
    EXPECT_TRUE(own.problems.empty());
}

TEST(AgentSettings, MalformedFilesAndValuesGiveDefaultsAndSayWhy)
{
    const test::TempDir dir;
    writeFile(dir / "broken.reg", "not a registry file\n");
    const AgentSettings broken = readAgentSettings(dir / "broken.reg");
    EXPECT_EQ(broken.servicePort, 1033);
    ASSERT_EQ(broken.problems.size(), 1u);

    writeFile(dir / "bad.reg", kHeader + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane\\CupsAgent]\r\n"
                                         "\"ServicePort\"=dword:00010000\r\n\"SpoolFolder\"=\"relative/spool\"\r\n"
                                         "\"StripDomain\"=dword:00000002\r\n\"ServiceHost\"=dword:00000001\r\n");
    const AgentSettings bad = readAgentSettings(dir / "bad.reg");
    EXPECT_EQ(bad.servicePort, 1033);
    EXPECT_EQ(bad.spoolFolder, fs::path("/var/spool/halvane"));
    EXPECT_TRUE(bad.stripDomain);
    EXPECT_EQ(bad.serviceHost, "127.0.0.1");
    EXPECT_EQ(bad.problems.size(), 4u);
}

std::string frameFor(int pages)
{
    return *recordFrame(*DbDateTime::make(2026, 12, 10, 9, 30, 0, 5), "tanaka", "Q", "pc12",
                        JobCounts{pages, pages, pages});
}

TEST(AgentSpool, RecordsComeBackInOrderAndDeliveredOnesLeaveWhileLaterOnesStay)
{
    const test::TempDir dir;
    const AgentSpool spool(dir / "spool");
    EXPECT_TRUE(spool.read().frames.empty()); // nothing made by a read
    EXPECT_FALSE(fs::exists(dir / "spool"));
    spool.append(frameFor(1));
    spool.append(frameFor(2));
    const AgentSpool::Contents first = spool.read();
    ASSERT_EQ(first.frames.size(), 2u);
    EXPECT_EQ(first.frames[0], frameFor(1));
    spool.append(frameFor(3)); // arrives while the first two are being delivered
    spool.removeThrough(first.end);
    const AgentSpool::Contents rest = spool.read();
    ASSERT_EQ(rest.frames.size(), 1u);
    EXPECT_EQ(rest.frames[0], frameFor(3));
}

TEST(AgentSpool, ATornLastLineFromACrashIsSkippedAndDoesNotSpoilTheNextRecord)
{
    const test::TempDir dir;
    const AgentSpool spool(dir.path());
    spool.append(frameFor(1));
    const std::string line = AgentSpool::encodeLine(frameFor(2));
    {
        std::ofstream out(spool.spoolPath(), std::ios::binary | std::ios::app);
        out << line.substr(0, line.size() / 2); // killed mid-append
    }
    EXPECT_EQ(spool.read().frames.size(), 1u);
    spool.append(frameFor(3));
    const AgentSpool::Contents contents = spool.read();
    ASSERT_EQ(contents.frames.size(), 2u);
    EXPECT_EQ(contents.frames[1], frameFor(3));
    spool.removeThrough(contents.end);
    EXPECT_EQ(fs::file_size(spool.spoolPath()), 0u); // the torn line went with the delivery

    // A line whose bytes changed fails its check.
    std::string changed = AgentSpool::encodeLine(frameFor(4));
    changed[10] = changed[10] == '0' ? '1' : '0';
    EXPECT_EQ(AgentSpool::decodeLine(changed), "");
    EXPECT_EQ(AgentSpool::decodeLine(AgentSpool::encodeLine(frameFor(4))), frameFor(4));
}

TEST(AgentSpool, ConcurrentAppendersAndARemovalLoseNoRecord)
{
    const test::TempDir dir;
    const AgentSpool spool(dir.path());
    constexpr int kWriters = 4;
    constexpr int kEach = 40;
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w)
        writers.emplace_back([&spool, w] {
            for (int i = 0; i < kEach; ++i)
                spool.append(frameFor(w * 100 + i));
        });
    std::size_t removed = 0;
    for (int round = 0; round < 5; ++round) {
        const AgentSpool::Contents contents = spool.read();
        spool.removeThrough(contents.end);
        removed += contents.frames.size();
    }
    for (std::thread &t : writers)
        t.join();
    EXPECT_EQ(removed + spool.read().frames.size(), std::size_t{kWriters * kEach});
}

TEST(UncountedJournal, EntriesKeepTheirFieldsEvenWithTabsAndLineBreaksInThem)
{
    const test::TempDir dir;
    const UncountedJournal journal(dir.path());
    EXPECT_TRUE(journal.entries().empty());
    journal.append({"2026-12-10 09:30:00.005", "Q", "12", "OFFICE\\tanaka", "application/vnd.hp-pcl", "PCL"});
    journal.append({"t", "Q\t2", "13", "a\nb", "", "why"});
    const auto entries = journal.entries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].user, "OFFICE\\tanaka");
    EXPECT_EQ(entries[0].format, "application/vnd.hp-pcl");
    EXPECT_EQ(entries[1].queue, "Q 2");
    EXPECT_EQ(entries[1].user, "a b");
    EXPECT_EQ(entries[1].reason, "why");
}

TEST(RecordFrame, TextsAreCutToTheirFieldsOnCharacterBoundariesAndTheServiceReadsThem)
{
    EXPECT_EQ(fitField("abc", 2), "ab");
    EXPECT_EQ(fitField("\xe7\x94\xb0\xe4\xb8\xad", 3), "\xe7\x94\xb0"); // 田中: 2 CP932 bytes each
    EXPECT_EQ(fitField("a\tb\xf0\x9f\x98\x80", 10), "a?b?");           // control, emoji
    EXPECT_EQ(fitField("\xff" "a", 10), "?a");                          // not UTF-8

    const std::string frame = *recordFrame(*DbDateTime::make(2026, 12, 10, 9, 30, 0, 5), std::string(40, 'u'),
                                           "printer", "pc", JobCounts{6, 4, 2});
    const auto records = retriever::TNewServerThread::RecordsOf(frame);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(retriever::record::text(records[0], retriever::record::kUserName), std::string(32, 'u'));
    EXPECT_FALSE(recordFrame(*DbDateTime::make(2026, 1, 1), "u", "p", "c", JobCounts{10000, 1, 1}));
}

} // namespace
} // namespace hvn::cupsagent
