#pragma once

#include <QString>
#include <QVariant>

#include "DbDateTime.h"

namespace hvn::console {

// Display texts of field values as a Japanese desktop shows them when no display format is
// set: dates as "2004/04/01 9:30:15" (no leading zero on the hour, no milliseconds; the time is
// left out when it is exactly midnight), reals in their shortest form with up to 15
// significant digits ("50", "33.3", "-20"), NULL as an empty text.
QString dateTimeDisplayText(const hvn::DbDateTime &value);
// A date/time field's value that is not in the date/time text form is shown as it is.
QString fieldDisplayText(const QVariant &value, bool dateTimeField);

} // namespace hvn::console
