#pragma once

#include <optional>
#include <string>
#include <vector>

#include "JobCounts.h"
#include "JobTicket.h"
#include "PageCount.h"

namespace hvn::cupsagent {

// What a job is to be reported as: its counts, or why it cannot be counted.
struct JobPlan {
    std::optional<JobCounts> counts;
    std::string uncountedReason; // when counts is empty
};

// The counts of a job from its ticket and the counted pages of its documents, in order.
// A filtered job prints each document's pages within page-ranges, number-up to a side, copies
// times (the job's copies attribute, else argvCopies), duplex as sides or Duplex say.
// A raw job (raw: no filter touches it) prints every page as the document lays it out: no
// page-ranges or number-up; the document's own duplex request wins over the job's; its own
// copies multiply the job's, which the backend makes.
// A job with a document that could not be counted, or with no document, is not counted.
JobPlan planJob(const JobTicket &ticket, bool raw, const std::vector<DocumentPages> &documents, int argvCopies);

} // namespace hvn::cupsagent
