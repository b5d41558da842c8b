#include "windows/Qreport.h"

namespace hvn::console {

TqrForm::TqrForm(QWidget *parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("qrForm"));
    setWindowTitle(QStringLiteral("qrForm"));
}

} // namespace hvn::console
