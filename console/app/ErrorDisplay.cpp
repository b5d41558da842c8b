#include "ErrorDisplay.h"

#include <QApplication>
#include <QString>

#include "app/MessageBoxes.h"

namespace hvn::console {

void showException(const std::exception &error, QWidget *parent)
{
    MessageBoxes::error(parent, QApplication::applicationName(), QString::fromUtf8(error.what()));
}

void showCurrentException(QWidget *parent)
{
    try {
        throw;
    } catch (const std::exception &error) {
        showException(error, parent);
    } catch (...) {
        MessageBoxes::error(parent, QApplication::applicationName(),
                            QStringLiteral("unknown error"));
    }
}

} // namespace hvn::console
