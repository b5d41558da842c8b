#include "JobPlan.h"

namespace hvn::cupsagent {

namespace {

JobPlan uncounted(std::string reason)
{
    JobPlan plan;
    plan.uncountedReason = std::move(reason);
    return plan;
}

} // namespace

JobPlan planJob(const JobTicket &ticket, bool raw, const std::vector<DocumentPages> &documents, int argvCopies)
{
    if (documents.empty())
        return uncounted("no spooled document of the job was found");
    int printed = 0;
    std::optional<bool> documentDuplex;
    std::optional<int> documentCopies;
    for (std::size_t i = 0; i < documents.size(); ++i) {
        const DocumentPages &document = documents[i];
        if (!document.pages)
            return uncounted("document " + std::to_string(i + 1) + ": " +
                             (document.reason.empty() ? "cannot be counted" : document.reason));
        int pages = *document.pages;
        if (!raw && ticket.pageRanges) {
            const auto selected = pagesInRanges(pages, *ticket.pageRanges);
            if (!selected)
                return uncounted("the page-ranges \"" + *ticket.pageRanges + "\" cannot be read");
            pages = *selected;
        }
        printed += pages;
        if (!documentDuplex)
            documentDuplex = document.duplex;
        if (!documentCopies)
            documentCopies = document.copies;
    }
    int copies = ticket.copies.value_or(argvCopies);
    int numberUp = ticket.numberUp.value_or(1);
    bool duplex = ticket.twoSided();
    if (raw) {
        numberUp = 1;
        duplex = documentDuplex.value_or(duplex);
        if (documentCopies && *documentCopies > 1)
            copies *= *documentCopies;
    }
    JobPlan plan;
    plan.counts = computeCounts(printed, copies, numberUp, duplex);
    if (!plan.counts)
        plan.uncountedReason = "the job's copies (" + std::to_string(copies) + ") or number-up (" +
                               std::to_string(numberUp) + ") cannot be used";
    return plan;
}

} // namespace hvn::cupsagent
