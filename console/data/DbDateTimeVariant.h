#pragma once

#include <QMetaType>

#include "DbDateTime.h"

// Lets a hvn::DbDateTime travel in a QVariant, so that a query parameter can be set to a
// date/time value (QVariant::fromValue(PeriodStart)). Include this header, never declare the
// metatype a second time.
Q_DECLARE_METATYPE(hvn::DbDateTime)
