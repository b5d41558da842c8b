#include "RegistryFile.h"

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "TempDir.h"

using hvn::platform::RegistryFile;
using hvn::platform::RegType;
using hvn::test::TempDir;
namespace fs = std::filesystem;

namespace {

constexpr const char *kKey = "SOFTWARE\\Halvane";

std::string slurp(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spit(const fs::path &path, const std::string &bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

// UTF-16LE of text made of ASCII and three-byte UTF-8 characters.
std::string utf16le(const std::string &utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned cp = static_cast<unsigned char>(utf8[i]);
        if (cp >= 0xE0) {
            cp = ((cp & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
            i += 3;
        } else {
            ++i;
        }
        out += static_cast<char>(cp & 0xFF);
        out += static_cast<char>(cp >> 8);
    }
    return out;
}

std::vector<std::string> folderEntries(const fs::path &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// A native export: comments, the default value, an escaped string, a DWORD, and a
// REG_EXPAND_SZ ("%SystemRoot%\x") wrapped over two lines.
const std::string kExport = "Windows Registry Editor Version 5.00\n"
                            "\n"
                            "; exported\n"
                            "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\n"
                            "@=\"default\"\n"
                            "\"DatabasePath\"=\"C:\\\\data\\\\\\\"q\\\".mdb\"\n"
                            "\"PortNumber\"=dword:0000040a\n"
                            "\"Expand\"=hex(2):25,00,53,00,79,00,73,00,74,00,65,00,6d,00,52,00,6f,00,6f,00,\\\n"
                            "  74,00,25,00,5c,00,78,00,00,00\n"
                            "\"Binary\"=hex:01,02,ff\n"
                            "\"Sjis\"=\"\xE5\x8D\xB0\xE5\x88\xB7\"\n"
                            "\n";

void expectExportRead(const RegistryFile &file)
{
    EXPECT_EQ(file.read(kKey, "")->text, "default");
    EXPECT_EQ(file.read(kKey, "DatabasePath")->text, "C:\\data\\\"q\".mdb");
    EXPECT_EQ(file.read(kKey, "PortNumber")->dword, 1034u);
    const auto expand = file.read(kKey, "Expand");
    ASSERT_TRUE(expand);
    EXPECT_EQ(expand->type, RegType::ExpandString);
    EXPECT_EQ(expand->text, "%SystemRoot%\\x");
    EXPECT_EQ(file.read(kKey, "Binary")->type, RegType::Other);
    EXPECT_EQ(file.read(kKey, "Sjis")->text, "\xE5\x8D\xB0\xE5\x88\xB7");
}

std::string withCrlf(const std::string &lf)
{
    std::string out;
    for (char c : lf) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

} // namespace

TEST(RegistryFileParse, NativeExportReadsInEveryEncodingAndLineEnd)
{
    const std::vector<std::pair<const char *, std::string>> encodings = {
        {"utf8 lf", kExport},
        {"utf8 bom crlf", "\xEF\xBB\xBF" + withCrlf(kExport)},
        {"utf16le bom crlf", "\xFF\xFE" + utf16le(withCrlf(kExport))},
    };
    for (const auto &[label, bytes] : encodings) {
        SCOPED_TRACE(label);
        TempDir dir;
        spit(dir / "r.reg", bytes);
        expectExportRead(RegistryFile(dir / "r.reg"));
    }
}

TEST(RegistryFileParse, DwordDigitsAndCaseAreRead)
{
    const std::vector<std::pair<const char *, std::uint32_t>> cases = {
        {"dword:00000000", 0}, {"dword:0000040a", 1034}, {"dword:FFFFFFFF", 0xFFFFFFFFu},
        {"DWORD:7fffffff", 0x7FFFFFFFu},
    };
    TempDir dir;
    for (const auto &[data, expected] : cases) {
        spit(dir / "r.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n"
                            "\"V\"=" + std::string(data) + "\r\n");
        const auto value = RegistryFile(dir / "r.reg").read(kKey, "v");
        ASSERT_TRUE(value) << data;
        EXPECT_EQ(value->type, RegType::Dword) << data;
        EXPECT_EQ(value->dword, expected) << data;
    }
    // Only the dword: and quoted forms are REG_DWORD and REG_SZ; their hex spellings are not.
    for (const char *data : {"hex(4):0a,04,00,00", "hex(1):41,00,00,00", "hex(b):0a,04,00,00,00,00,00,00"}) {
        spit(dir / "r.reg", "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n"
                            "\"V\"=" + std::string(data) + "\r\n");
        const auto value = RegistryFile(dir / "r.reg").read(kKey, "V");
        ASSERT_TRUE(value) << data;
        EXPECT_EQ(value->type, RegType::Other) << data;
    }
}

// Every broken file must read as empty and refuse writes without touching a byte.
TEST(RegistryFileParse, MalformedFileReadsEmptyIsNeverOverwrittenAndNamesTheLine)
{
    const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n"
                             "\"PortNumber\"=dword:0000040a\r\n";
    const struct {
        const char *label;
        std::string bytes;
        const char *problem;
    } cases[] = {
        {"garbage", std::string("\x7f" "ELF\x02\x01\x01\0\0", 9) + head, "holds a NUL byte"},
        {"no header", head.substr(head.find('[')), "line 1: \"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\" is not the header"},
        {"old header", "REGEDIT4\r\n\r\n" + head.substr(head.find('[')), "line 1: \"REGEDIT4\""},
        {"unterminated string", head + "\"A\"=\"abc", "line 5: \"\"A\"=\"abc\""},
        {"bad escape", head + "\"A\"=\"a\\qb\"\r\n", "line 5:"},
        {"short dword", head + "\"A\"=dword:0000", "line 5:"},
        {"bad dword digit", head + "\"A\"=dword:0000004g\r\n", "line 5:"},
        {"hex cut mid-byte", head + "\"A\"=hex(2):41,00,4", "line 5:"},
        {"hex ends in continuation", head + "\"A\"=hex(2):41,00,\\\r\n", "line 5:"},
        {"value outside a key", "Windows Registry Editor Version 5.00\r\n\"A\"=\"x\"\r\n" + head.substr(38),
         "line 2: \"\"A\"=\"x\"\" comes before the first key"},
        {"unclosed key", head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\r\n", "line 5:"},
        {"stray text", head + "PortNumber=1\r\n", "line 5: \"PortNumber=1\" is neither a key"},
        {"utf16 odd length", "\xFF\xFE" + utf16le(head) + "A", "neither UTF-8 nor UTF-16LE"},
        {"invalid utf8", head + "\"A\"=\"\xC3\x28\"\r\n", "neither UTF-8 nor UTF-16LE"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.label);
        TempDir dir;
        RegistryFile file(dir / "r.reg");
        spit(file.path(), c.bytes);
        EXPECT_FALSE(file.read(kKey, "PortNumber"));
        EXPECT_FALSE(file.keyExists(kKey));
        EXPECT_FALSE(file.values(kKey));
        EXPECT_FALSE(file.writeDword(kKey, "PortNumber", 1));
        EXPECT_FALSE(file.writeString("SOFTWARE\\Other", "X", "y"));
        EXPECT_EQ(slurp(file.path()), c.bytes);
        const auto problem = file.problem();
        ASSERT_TRUE(problem);
        EXPECT_NE(problem->find("the settings file " + file.path().string() + " is malformed: "), std::string::npos)
            << *problem;
        EXPECT_NE(problem->find(c.problem), std::string::npos) << *problem;
    }
}

TEST(RegistryFileParse, ProblemIsSilentForAGoodOrMissingFileAndNamesAFolder)
{
    TempDir dir;
    RegistryFile file(dir / "r.reg");
    EXPECT_FALSE(file.problem());
    ASSERT_TRUE(file.writeDword(kKey, "PortNumber", 1033));
    EXPECT_FALSE(file.problem());
    const auto folder = RegistryFile(dir.path()).problem();
    ASSERT_TRUE(folder);
    EXPECT_NE(folder->find("it is a folder"), std::string::npos) << *folder;
}

// An administrator who keeps the settings elsewhere and links them into /etc/halvane must
// keep the link: a write replaces the target, and reads and writes lock the same file.
TEST(RegistryFileWrite, ASymbolicLinkIsWrittenThroughAndStaysALink)
{
    TempDir dir;
    fs::create_directory(dir / "real");
    RegistryFile target(dir / "real" / "settings.reg");
    ASSERT_TRUE(target.writeDword(kKey, "PortNumber", 1033));
    fs::create_symlink("real/settings.reg", dir / "registry.reg");
    fs::create_symlink(dir / "real" / "absent.reg", dir / "dangling.reg");

    RegistryFile linked(dir / "registry.reg");
    ASSERT_TRUE(linked.writeDword(kKey, "PortNumberConsole", 1034));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(linked.path())));
    EXPECT_EQ(target.read(kKey, "PortNumberConsole")->dword, 1034u);
    EXPECT_EQ(linked.read(kKey, "PortNumber")->dword, 1033u);

    RegistryFile dangling(dir / "dangling.reg");
    ASSERT_TRUE(dangling.writeString(kKey, "DatabasePath", "/var/lib/halvane/hvnDatabase.db"));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dangling.path())));
    EXPECT_EQ(RegistryFile(dir / "real" / "absent.reg").read(kKey, "DatabasePath")->text,
              "/var/lib/halvane/hvnDatabase.db");
}

TEST(RegistryFileWrite, ValuesRoundTripThroughTheFile)
{
    TempDir dir;
    RegistryFile file(dir / "r.reg");
    const std::vector<std::string> texts = {
        "", "C:\\data\\db.mdb", "quote \" and \\\" mix\\", "\xE5\x8D\xB0\xE5\x88\xB7 ;[x]=@",
        "tab\there " + std::string(120, 'x'),
    };
    for (std::size_t i = 0; i < texts.size(); ++i)
        ASSERT_TRUE(file.writeString(kKey, "S" + std::to_string(i), texts[i]));
    ASSERT_TRUE(file.writeString(kKey, "", "default"));
    for (std::uint32_t v : {0u, 1u, 0x80000000u, 0xFFFFFFFFu}) {
        ASSERT_TRUE(file.writeDword(kKey, "D", v));
        EXPECT_EQ(RegistryFile(file.path()).read(kKey, "D")->dword, v);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        const auto value = RegistryFile(file.path()).read(kKey, "S" + std::to_string(i));
        ASSERT_TRUE(value);
        EXPECT_EQ(value->type, RegType::String);
        EXPECT_EQ(value->text, texts[i]);
    }
    const std::string bytes = slurp(file.path());
    EXPECT_TRUE(bytes.starts_with("Windows Registry Editor Version 5.00\r\n"));
    EXPECT_NE(bytes.find("\r\n@=\"default\"\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n\"S1\"=\"C:\\\\data\\\\db.mdb\"\r\n"), std::string::npos);
    EXPECT_NE(bytes.find("\r\n\"D\"=dword:ffffffff\r\n"), std::string::npos);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"r.reg", "r.reg.lock"}));
}

TEST(RegistryFileWrite, EverythingElseSurvivesAWriteInPlace)
{
    TempDir dir;
    RegistryFile file(dir / "r.reg");
    const std::string original = withCrlf(kExport) + "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
                                                     "\"Multi\"=hex(7):61,00,00,00,00,00\r\n\r\n";
    spit(file.path(), original);
    ASSERT_EQ(::chmod(file.path().c_str(), 0640), 0);

    ASSERT_TRUE(file.writeDword("software\\HALVANE", "portnumber", 1033));
    ASSERT_TRUE(file.writeDword("SOFTWARE\\Halvane\\ProgramSetting", "WindowTop", -5));

    std::string expected = original;
    expected.replace(expected.find("dword:0000040a"), 14, "dword:00000409");
    const std::string inserted = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane\\ProgramSetting]\r\n"
                                 "\"WindowTop\"=dword:fffffffb\r\n\r\n";
    expected.insert(expected.find("[HKEY_CURRENT_USER"), inserted);
    EXPECT_EQ(slurp(file.path()), expected);
    struct stat info {};
    ASSERT_EQ(::stat(file.path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u) << "the replaced file must keep its permissions";
}

TEST(RegistryFileWrite, NewKeyGetsParentSectionsAndExistingSpelling)
{
    TempDir dir;
    RegistryFile file(dir / "r.reg");
    ASSERT_TRUE(file.writeDword("SOFTWARE\\Halvane\\ProgramSetting", "ActivePage", 2));
    EXPECT_EQ(slurp(file.path()), "Windows Registry Editor Version 5.00\r\n\r\n"
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane]\r\n\r\n"
                                  "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Halvane\\ProgramSetting]\r\n"
                                  "\"ActivePage\"=dword:00000002\r\n\r\n");
    EXPECT_TRUE(file.keyExists("software"));
    EXPECT_EQ(file.values(kKey)->size(), 0u);
    EXPECT_FALSE(file.keyExists("SOFTWARE\\Hal"));

    spit(file.path(), "Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\software\\halvane]\n\"a\"=\"1\"\n");
    ASSERT_TRUE(file.writeString("SOFTWARE\\Halvane\\New", "A", "2"));
    ASSERT_TRUE(file.writeString("SOFTWARE\\Halvane", "A", "3"));
    EXPECT_EQ(slurp(file.path()), "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\software\\halvane]\r\n"
                                  "\"a\"=\"3\"\r\n\r\n[HKEY_LOCAL_MACHINE\\software\\halvane\\New]\r\n"
                                  "\"A\"=\"2\"\r\n\r\n");
}

TEST(RegistryFileWrite, BadArgumentsAndMissingFolderAreRefusedWithoutCreatingAnything)
{
    TempDir dir;
    RegistryFile file(dir / "r.reg");
    for (const char *key : {"", "\\SOFTWARE", "SOFTWARE\\", "SOFTWARE\\\\Halvane", "SOFT\nWARE"})
        EXPECT_FALSE(file.writeString(key, "A", "x")) << key;
    EXPECT_FALSE(file.writeString(kKey, "A\r\nB", "x"));
    EXPECT_FALSE(file.writeString(kKey, "A", "\xFF\xFE"));
    EXPECT_FALSE(file.writeString(kKey, "A", std::string("a\0b", 3)));
    EXPECT_FALSE(file.writeString(kKey, "A", "line one\r\nline two"));
    EXPECT_FALSE(file.writeString(kKey, "A", "line one\nline two"));
    EXPECT_FALSE(RegistryFile(dir / "missing" / "r.reg").writeDword(kKey, "A", 1));
    EXPECT_TRUE(folderEntries(dir.path()).empty());
}

TEST(RegistryFileRead, ReadsNeverCreateTheStoreAndBlankFileIsEmpty)
{
    TempDir dir;
    RegistryFile file(dir / "r.reg");
    EXPECT_FALSE(file.read(kKey, "PortNumber"));
    EXPECT_FALSE(file.keyExists(kKey));
    EXPECT_FALSE(file.values(kKey));
    EXPECT_TRUE(folderEntries(dir.path()).empty());

    spit(file.path(), "\r\n"); // a blank file is an empty store, not a broken one
    EXPECT_FALSE(file.keyExists(kKey));
    EXPECT_FALSE(file.read(kKey, "PortNumber"));
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"r.reg"}) << "a read created a file";
    ASSERT_TRUE(file.writeDword(kKey, "PortNumber", 1033));
    EXPECT_EQ(file.read(kKey, "PortNumber")->dword, 1033u);
}

TEST(RegistryFileRead, ReadOnlyFolderReadsButRefusesWrites)
{
    TempDir dir;
    RegistryFile file(dir / "r.reg");
    spit(file.path(), kExport);
    ASSERT_EQ(::chmod(file.path().c_str(), 0644), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);

    // Root ignores folder permissions, so the checks run in a child without privileges.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(10);
        const auto value = file.read(kKey, "PortNumber");
        const bool ok = value && value->dword == 1034 && !file.writeDword(kKey, "PortNumber", 1);
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(slurp(file.path()), kExport);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"r.reg"});
}
