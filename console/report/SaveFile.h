#pragma once

#include <QByteArray>
#include <QString>

namespace hvn::console {

// Replaces the file at path with data in one step: the bytes go to a temporary file beside
// it, which is renamed over the target only once everything is written, so a failure never
// creates, truncates or half-writes the target. Throws std::runtime_error with the path and
// the reason.
void saveFileAtomically(const QString &path, const QByteArray &data);

} // namespace hvn::console
