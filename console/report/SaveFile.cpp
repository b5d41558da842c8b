#include "report/SaveFile.h"

#include <stdexcept>

#include <QSaveFile>

namespace hvn::console {

void saveFileAtomically(const QString &path, const QByteArray &data)
{
    QSaveFile file(path);
    // Never fall back to writing the target in place.
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw std::runtime_error("cannot write " + path.toStdString() + ": " + file.errorString().toStdString());
}

} // namespace hvn::console
