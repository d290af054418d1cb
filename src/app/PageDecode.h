#pragma once
// The "Decodifica" page: the technician types the hexadecimal register words received
// from the module and each row shows what they mean. No serial port is involved.

#include "core/WordDecoding.h"

#include <QWidget>

class QGridLayout;
class QLineEdit;
class QPushButton;

namespace veltro::app {

class PageDecode : public QWidget {
    Q_OBJECT
public:
    explicit PageDecode(QWidget* parent = nullptr);

    void btnDecMatricolaClick();
    void btnDecFloatClick();
    void btnDecDoubleClick();
    void btnDecTimeClick();
    void btnDecDateClick();
    void btnSampleValuesClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Row {
        QLineEdit* input;
        QPushButton* button;
        QLineEdit* result;
    };
    Row AddRow(QWidget* group, core::WordKind kind, const char* inputName, const char* buttonName,
               const char* resultName, int gridRow);
    // Inputs and results wide enough for the widest words and values they can hold.
    void FitRows();
    // Decodes the row's input: shows the result, or "invalid" with the input in red.
    static void Report(const Row& row, core::WordKind kind);

    QGridLayout* grid_ = nullptr;
    Row matricola_{}, float_{}, double_{}, time_{}, date_{};
};

}  // namespace veltro::app
