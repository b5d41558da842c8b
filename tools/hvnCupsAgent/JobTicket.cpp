#include "JobTicket.h"

#include <charconv>
#include <memory>

#include <cups/cups.h>
#include <cups/ipp.h>

namespace hvn::cupsagent {

namespace {

std::optional<int> parseNumber(const char *text)
{
    if (!text)
        return std::nullopt;
    const std::string_view view(text);
    int value = 0;
    const auto [end, ec] = std::from_chars(view.data(), view.data() + view.size(), value);
    if (ec != std::errc() || end != view.data() + view.size())
        return std::nullopt;
    return value;
}

std::optional<std::string> text(const char *value)
{
    if (!value)
        return std::nullopt;
    return std::string(value);
}

struct HttpClose {
    void operator()(http_t *http) const { httpClose(http); }
};
struct IppDelete {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};

} // namespace

void JobTicket::completeFrom(const JobTicket &other)
{
    if (!copies)
        copies = other.copies;
    if (!numberUp)
        numberUp = other.numberUp;
    if (!sides)
        sides = other.sides;
    if (!duplexOption)
        duplexOption = other.duplexOption;
    if (!pageRanges)
        pageRanges = other.pageRanges;
    if (!originatingHost)
        originatingHost = other.originatingHost;
    if (!documentFormat)
        documentFormat = other.documentFormat;
    rawOption = rawOption || other.rawOption;
}

bool JobTicket::twoSided() const
{
    if (sides)
        return sides->rfind("two-sided", 0) == 0;
    if (duplexOption)
        return duplexOption->rfind("Duplex", 0) == 0;
    return false;
}

JobTicket ticketFromOptions(std::string_view options)
{
    const std::string owned(options);
    cups_option_t *parsed = nullptr;
    const int count = cupsParseOptions(owned.c_str(), 0, &parsed);
    JobTicket ticket;
    auto get = [&](const char *name) { return cupsGetOption(name, count, parsed); };
    ticket.copies = parseNumber(get("copies"));
    ticket.numberUp = parseNumber(get("number-up"));
    ticket.sides = text(get("sides"));
    ticket.duplexOption = text(get("Duplex"));
    ticket.pageRanges = text(get("page-ranges"));
    ticket.originatingHost = text(get("job-originating-host-name"));
    ticket.documentFormat = text(get("document-format"));
    if (const char *raw = get("raw"))
        ticket.rawOption = std::string_view(raw) != "false" && std::string_view(raw) != "no";
    cupsFreeOptions(count, parsed);
    return ticket;
}

std::optional<JobTicket> ticketFromCupsd(int jobId, const std::string &user, std::chrono::milliseconds timeout,
                                         std::string &problem)
{
    const std::unique_ptr<http_t, HttpClose> http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC,
                                                               cupsEncryption(), 1,
                                                               static_cast<int>(timeout.count()), nullptr));
    if (!http) {
        problem = std::string("cannot reach cupsd at ") + cupsServer() + ": " + cupsLastErrorString();
        return std::nullopt;
    }
    httpSetTimeout(http.get(), static_cast<double>(timeout.count()) / 1000.0, nullptr, nullptr);
    ipp_t *request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    const std::string jobUri = "ipp://localhost/jobs/" + std::to_string(jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, jobUri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, user.c_str());
    static const char *const kWanted[] = {"copies",    "number-up",       "sides",
                                          "page-ranges", "job-originating-host-name", "document-format"};
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(std::size(kWanted)), nullptr, kWanted);
    const std::unique_ptr<ipp_t, IppDelete> response(cupsDoRequest(http.get(), request, "/"));
    if (!response || ippGetStatusCode(response.get()) > IPP_STATUS_OK_CONFLICTING) {
        problem = std::string("Get-Job-Attributes for job ") + std::to_string(jobId) + " failed: " +
                  cupsLastErrorString();
        return std::nullopt;
    }
    JobTicket ticket;
    ipp_t *attrs = response.get();
    if (ipp_attribute_t *a = ippFindAttribute(attrs, "copies", IPP_TAG_INTEGER))
        ticket.copies = ippGetInteger(a, 0);
    if (ipp_attribute_t *a = ippFindAttribute(attrs, "number-up", IPP_TAG_INTEGER))
        ticket.numberUp = ippGetInteger(a, 0);
    if (ipp_attribute_t *a = ippFindAttribute(attrs, "sides", IPP_TAG_KEYWORD))
        ticket.sides = text(ippGetString(a, 0, nullptr));
    if (ipp_attribute_t *a = ippFindAttribute(attrs, "page-ranges", IPP_TAG_RANGE)) {
        std::string ranges;
        for (int i = 0; i < ippGetCount(a); ++i) {
            int upper = 0;
            const int lower = ippGetRange(a, i, &upper);
            if (!ranges.empty())
                ranges += ',';
            ranges += std::to_string(lower) + "-" + std::to_string(upper);
        }
        ticket.pageRanges = ranges;
    }
    if (ipp_attribute_t *a = ippFindAttribute(attrs, "job-originating-host-name", IPP_TAG_NAME))
        ticket.originatingHost = text(ippGetString(a, 0, nullptr));
    if (ipp_attribute_t *a = ippFindAttribute(attrs, "document-format", IPP_TAG_MIMETYPE))
        ticket.documentFormat = text(ippGetString(a, 0, nullptr));
    return ticket;
}

std::string accountedUser(std::string_view user, bool stripDomain)
{
    if (!stripDomain)
        return std::string(user);
    if (const auto slash = user.rfind('\\'); slash != std::string_view::npos)
        user.remove_prefix(slash + 1);
    if (const auto at = user.find('@'); at != std::string_view::npos && at > 0)
        user = user.substr(0, at);
    return std::string(user);
}

bool isLocalHost(std::string_view host)
{
    return host.empty() || host == "localhost" || host == "localhost.localdomain" || host == "::1" ||
           host == "[::1]" || host == "[v1.::1]" || host.rfind("127.", 0) == 0;
}

} // namespace hvn::cupsagent
