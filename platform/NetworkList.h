#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <sys/socket.h>

namespace hvn::platform {

// An IP address in IPv6 form: an IPv4 address is held as its IPv4-mapped IPv6 address
// (::ffff:a.b.c.d), so that one comparison serves both families and a peer that reaches a
// dual-stack listener over IPv4 matches the IPv4 networks.
using IpAddress = std::array<std::uint8_t, 16>;

// The address of a connected or bound socket's peer, nullopt for a family other than IPv4
// and IPv6.
std::optional<IpAddress> ipAddressOf(const sockaddr_storage &address);
std::optional<IpAddress> peerAddress(int fd);

// Dotted IPv4 for a mapped address, otherwise the usual IPv6 text.
std::string addressText(const IpAddress &address);

// A list of IP networks such as "192.168.10.0/24, 10.1.0.0/16, ::1/128". Entries are
// separated by commas and/or blanks; an address without "/n" is a single host. Immutable
// after parse(), so any number of threads may call allows().
class NetworkList {
public:
    // The empty list, which allows every address.
    NetworkList() = default;

    // Throws std::invalid_argument naming the first entry that is not an IPv4 or IPv6
    // network: a bad address, a prefix length out of range, or host bits set beyond the
    // prefix (which would say two different things). Blank text gives the empty list.
    static NetworkList parse(std::string_view text);

    bool empty() const { return m_networks.empty(); }
    // True for the empty list and for an address inside one of the networks.
    bool allows(const IpAddress &address) const;

    // The networks in canonical form, separated by ", ".
    std::string text() const;

private:
    struct Network {
        IpAddress address;
        int prefix; // of the 128-bit form
    };
    std::vector<Network> m_networks;
};

} // namespace hvn::platform
