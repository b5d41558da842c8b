#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "AgentSpool.h"

namespace hvn::cupsagent {

struct DeliveryOptions {
    std::chrono::milliseconds connectTimeout{60000};
    // How long the service may take to store the records and close the connection.
    std::chrono::milliseconds confirmTimeout{60000};
    // False: when another process is delivering, return at once (it delivers what is
    // spooled, records appended meanwhile included) instead of waiting for it.
    bool waitForDeliverer = true;
};

struct DeliveryResult {
    std::size_t delivered = 0; // records confirmed and removed from the spool
    std::size_t remaining = 0; // records still in the spool
    std::string problem;       // why records remain; empty when the spool was emptied
    bool deliveredElsewhere = false; // another process held the delivery lock (waitForDeliverer false)
};

// Delivers what the spool holds to the service at host:port, one connection per round: the
// frames, then a half-close, then a wait until the service closes its side, which it does only
// after it has stored or kept every record it read. Only then are those records removed. Rounds
// repeat while appenders add records. Takes the spool's delivery lock first, so one process
// delivers at a time. Never throws.
DeliveryResult deliverSpool(const AgentSpool &spool, const std::string &host, std::uint16_t port,
                            const DeliveryOptions &options = {});

} // namespace hvn::cupsagent
