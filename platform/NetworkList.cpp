#include "NetworkList.h"

#include <charconv>
#include <cstring>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>

namespace hvn::platform {

namespace {

constexpr int kMappedPrefix = 96; // ::ffff:0:0/96 holds the IPv4 addresses

bool isMapped(const IpAddress &a)
{
    static constexpr std::uint8_t prefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
    return std::memcmp(a.data(), prefix, sizeof prefix) == 0;
}

IpAddress mapped(const in_addr &v4)
{
    IpAddress a{};
    a[10] = a[11] = 0xFF;
    std::memcpy(a.data() + 12, &v4, 4);
    return a;
}

bool sameUpTo(const IpAddress &a, const IpAddress &b, int prefix)
{
    const int bytes = prefix / 8;
    if (std::memcmp(a.data(), b.data(), static_cast<std::size_t>(bytes)) != 0)
        return false;
    const int bits = prefix % 8;
    if (bits == 0)
        return true;
    const auto mask = static_cast<std::uint8_t>(0xFF << (8 - bits));
    return (a[bytes] & mask) == (b[bytes] & mask);
}

bool hostBitsClear(const IpAddress &a, int prefix)
{
    for (int bit = prefix; bit < 128; ++bit)
        if (a[bit / 8] & (0x80 >> (bit % 8)))
            return false;
    return true;
}

IpAddress networkOf(IpAddress a, int prefix)
{
    for (int bit = prefix; bit < 128; ++bit)
        a[bit / 8] &= static_cast<std::uint8_t>(~(0x80 >> (bit % 8)));
    return a;
}

std::string networkText(const IpAddress &a, int prefix)
{
    const bool v4 = isMapped(a) && prefix >= kMappedPrefix;
    return addressText(a) + "/" + std::to_string(v4 ? prefix - kMappedPrefix : prefix);
}

[[noreturn]] void refuse(std::string_view entry, const std::string &reason)
{
    throw std::invalid_argument("\"" + std::string(entry) + "\" is not a network: " + reason);
}

} // namespace

std::optional<IpAddress> ipAddressOf(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET)
        return mapped(reinterpret_cast<const sockaddr_in &>(address).sin_addr);
    if (address.ss_family == AF_INET6) {
        IpAddress a;
        std::memcpy(a.data(), &reinterpret_cast<const sockaddr_in6 &>(address).sin6_addr, 16);
        return a;
    }
    return std::nullopt;
}

std::optional<IpAddress> peerAddress(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return std::nullopt;
    return ipAddressOf(address);
}

std::string addressText(const IpAddress &address)
{
    char text[INET6_ADDRSTRLEN] = {};
    if (isMapped(address))
        ::inet_ntop(AF_INET, address.data() + 12, text, sizeof text);
    else
        ::inet_ntop(AF_INET6, address.data(), text, sizeof text);
    return text;
}

NetworkList NetworkList::parse(std::string_view text)
{
    NetworkList list;
    const auto isSeparator = [](char c) { return c == ',' || c == ' ' || c == '\t'; };
    std::size_t i = 0;
    while (i < text.size()) {
        if (isSeparator(text[i])) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && !isSeparator(text[end]))
            ++end;
        const std::string_view entry = text.substr(i, end - i);
        i = end;

        const std::size_t slash = entry.find('/');
        const std::string address(entry.substr(0, slash));
        Network network{};
        int maxPrefix = 128;
        in_addr v4{};
        in6_addr v6{};
        if (::inet_pton(AF_INET, address.c_str(), &v4) == 1) {
            network.address = mapped(v4);
            maxPrefix = 32;
        } else if (::inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
            std::memcpy(network.address.data(), &v6, 16);
        } else {
            refuse(entry, "\"" + address + "\" is no IPv4 or IPv6 address");
        }

        int prefix = maxPrefix;
        if (slash != std::string_view::npos) {
            const std::string_view digits = entry.substr(slash + 1);
            const auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), prefix);
            if (digits.empty() || ec != std::errc() || ptr != digits.data() + digits.size() || prefix < 0 ||
                prefix > maxPrefix)
                refuse(entry, "the prefix length must be a number from 0 to " + std::to_string(maxPrefix));
        }
        network.prefix = maxPrefix == 32 ? prefix + kMappedPrefix : prefix;
        if (!hostBitsClear(network.address, network.prefix))
            refuse(entry, "bits are set beyond the prefix; the network is " +
                              networkText(networkOf(network.address, network.prefix), network.prefix));
        list.m_networks.push_back(network);
    }
    return list;
}

bool NetworkList::allows(const IpAddress &address) const
{
    if (m_networks.empty())
        return true;
    for (const Network &network : m_networks)
        if (sameUpTo(address, network.address, network.prefix))
            return true;
    return false;
}

std::string NetworkList::text() const
{
    std::string out;
    for (const Network &network : m_networks)
        out += (out.empty() ? "" : ", ") + networkText(network.address, network.prefix);
    return out;
}

} // namespace hvn::platform
