#include "data/FieldText.h"

#include <QMetaType>

namespace hvn::console {

QString dateTimeDisplayText(const hvn::DbDateTime &value)
{
    const QString date = QStringLiteral("%1/%2/%3")
                             .arg(value.year, 4, 10, QLatin1Char('0'))
                             .arg(value.month, 2, 10, QLatin1Char('0'))
                             .arg(value.day, 2, 10, QLatin1Char('0'));
    if (value.hour == 0 && value.minute == 0 && value.second == 0 && value.msec == 0)
        return date;
    return date + QStringLiteral(" %1:%2:%3")
                      .arg(value.hour)
                      .arg(value.minute, 2, 10, QLatin1Char('0'))
                      .arg(value.second, 2, 10, QLatin1Char('0'));
}

QString fieldDisplayText(const QVariant &value, bool dateTimeField)
{
    if (!value.isValid())
        return QString();
    switch (value.metaType().id()) {
    case QMetaType::Double: {
        const double v = value.toDouble();
        return QString::number(v == 0.0 ? 0.0 : v, 'g', 15); // no "-0"
    }
    case QMetaType::LongLong:
        return QString::number(value.toLongLong());
    case QMetaType::QByteArray:
        return QStringLiteral("(BLOB)");
    case QMetaType::QString:
        if (dateTimeField) {
            if (const auto dt = hvn::DbDateTime::fromText(value.toString().toStdString()))
                return dateTimeDisplayText(*dt);
        }
        return value.toString();
    default:
        return value.toString();
    }
}

} // namespace hvn::console
