#pragma once

#include <QWidget>

namespace hvn::console {

// The report form behind printing and previewing the fiscal-year tables. Created once at
// start and never shown itself. GUI thread only.
class TqrForm : public QWidget {
    Q_OBJECT
public:
    explicit TqrForm(QWidget *parent = nullptr);
};

} // namespace hvn::console
