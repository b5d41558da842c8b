#include "NetworkList.h"

#include <cstring>
#include <stdexcept>
#include <string>

#include <arpa/inet.h>
#include <gtest/gtest.h>

namespace hvn::platform {
namespace {

IpAddress address(const char *text)
{
    IpAddress a{};
    in_addr v4{};
    if (::inet_pton(AF_INET, text, &v4) == 1) {
        a[10] = a[11] = 0xFF;
        std::memcpy(a.data() + 12, &v4, 4);
    } else if (::inet_pton(AF_INET6, text, a.data()) != 1) {
        throw std::invalid_argument(text);
    }
    return a;
}

TEST(NetworkList, ListsReadInCanonicalForm)
{
    const struct {
        const char *text;
        const char *canonical;
    } cases[] = {
        {"192.168.10.0/24, 10.1.0.0/16, ::1/128", "192.168.10.0/24, 10.1.0.0/16, ::1/128"},
        {"  10.0.0.7 ,,fe80::1\t2001:db8::/32 ", "10.0.0.7/32, fe80::1/128, 2001:db8::/32"},
        {"::ffff:10.0.0.0/104", "10.0.0.0/8"},
        {"0.0.0.0/0", "0.0.0.0/0"},
        {"", ""},
        {" , ", ""},
    };
    for (const auto &c : cases)
        EXPECT_EQ(NetworkList::parse(c.text).text(), c.canonical) << c.text;
}

TEST(NetworkList, MalformedEntriesAreRefusedByName)
{
    const struct {
        const char *text;
        const char *reason;
    } cases[] = {
        {"192.168.10.0/24;10.1.0.0/16", "\"192.168.10.0/24;10.1.0.0/16\" is not a network"},
        {"10.1.0.300/16", "no IPv4 or IPv6 address"},
        {"10.1/16", "no IPv4 or IPv6 address"},
        {"office", "no IPv4 or IPv6 address"},
        {"10.0.0.0/33", "from 0 to 32"},
        {"::/129", "from 0 to 128"},
        {"10.0.0.0/", "from 0 to 32"},
        {"10.0.0.0/-8", "from 0 to 32"},
        {"10.0.0.0/8x", "from 0 to 32"},
        {"192.168.10.5/24", "the network is 192.168.10.0/24"},
        {"2001:db8::1/32", "the network is 2001:db8::/32"},
    };
    for (const auto &c : cases) {
        try {
            NetworkList::parse(c.text);
            ADD_FAILURE() << c.text << " was accepted";
        } catch (const std::invalid_argument &e) {
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
    }
}

TEST(NetworkList, IPv4PeersMatchWhetherTheyArriveAsIPv4OrMappedIPv6)
{
    const NetworkList list = NetworkList::parse("192.168.10.0/24, 10.1.0.0/16, ::1/128, 2001:db8::/31");
    const struct {
        const char *peer;
        bool allowed;
    } cases[] = {
        {"192.168.10.0", true},  {"192.168.10.255", true}, {"192.168.11.1", false},
        {"10.1.255.3", true},    {"10.2.0.1", false},      {"::ffff:192.168.10.7", true},
        {"::ffff:10.3.0.1", false}, {"::1", true},         {"::2", false},
        {"2001:db9:ffff::1", true}, {"2001:dba::1", false}, {"127.0.0.1", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(list.allows(address(c.peer)), c.allowed) << c.peer;
    EXPECT_TRUE(NetworkList().allows(address("203.0.113.9")));
}

} // namespace
} // namespace hvn::platform
