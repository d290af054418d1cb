#pragma once
// The kept COM numbers and the adapters holding them, opened from a port field's list:
// here the user gives an adapter another free number, or frees the number of an adapter
// that is unplugged and no longer used. Window-modal, shown without an event loop of its
// own (open()), so polling and the port watcher keep running behind it.

#include "platform/PortCatalog.h"

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace veltro::app {

class PortNumbersDialog : public QDialog {
public:
    // maxNumber: the highest number a port field takes.
    PortNumbersDialog(QWidget* parent, int maxNumber);

    // Raised after a number was changed or freed.
    std::function<void()> OnChanged;

    QTableWidget* gridPortNumbers;
    QSpinBox* spinNewNumber;
    QPushButton* btnRenumber;
    QPushButton* btnFreeNumber;
    QPushButton* btnClose;

private:
    // Lists the kept numbers again, selecting `select` when it is among them.
    void Load(int select);
    // The row's number; 0 when no row is selected.
    int Selected() const;
    void ShowButtons();
    void Renumber();
    void Free();
    void Changed(int select);

    QList<platform::PortDescription> ports_;  // every number in use, the VELTRO_PORT_DIR entries too
    QList<platform::PortDescription> kept_;   // the rows: the numbers the user can change
};

}  // namespace veltro::app
