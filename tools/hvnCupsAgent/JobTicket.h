#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace hvn::cupsagent {

// The job attributes that decide what a job prints. Each is empty when the job did not say.
struct JobTicket {
    std::optional<int> copies;
    std::optional<int> numberUp;
    std::optional<std::string> sides;        // IPP "sides": one-sided, two-sided-long-edge, ...
    std::optional<std::string> duplexOption; // the PPD option Duplex: None, DuplexNoTumble, ...
    std::optional<std::string> pageRanges;   // "1-3,7"
    std::optional<std::string> originatingHost;
    std::optional<std::string> documentFormat;
    bool rawOption = false; // the "raw" option of lp -o raw

    // Fills each attribute this ticket lacks from other.
    void completeFrom(const JobTicket &other);
    // True when sides, else the Duplex option, asks for printing on both sides.
    bool twoSided() const;
};

// The ticket that a backend's options argument (argv[5], "name=value name2='a b' flag ...")
// carries, parsed as libcups parses it. Unknown options are ignored; a number that does not
// parse is left empty.
JobTicket ticketFromOptions(std::string_view options);

// The job's attributes as the local cupsd (cupsServer(), normally the one running this backend)
// reports them through IPP Get-Job-Attributes, asked in the name of the job's user. nullopt
// with a reason when cupsd cannot be asked or refuses. Thread safe.
std::optional<JobTicket> ticketFromCupsd(int jobId, const std::string &user, std::chrono::milliseconds timeout,
                                         std::string &problem);

// The originating user name as the record carries it: with stripDomain, "DOMAIN\user" and
// "user@REALM" give "user".
std::string accountedUser(std::string_view user, bool stripDomain);

// True for the host names under which cupsd records a job submitted on the print server itself.
bool isLocalHost(std::string_view host);

} // namespace hvn::cupsagent
