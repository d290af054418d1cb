#pragma once
// Closes the message boxes a handler opens, so a GUI test never waits on a dialog, and
// keeps what they said. Arm it before the action that may open a box; every box that
// appears while it is armed is recorded and closed with its default button.

#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QStringList>
#include <QTimer>

namespace veltro::test {

class ModalBoxes {
public:
    ModalBoxes() : timer_(new QTimer)
    {
        timer_->setInterval(5);
        QObject::connect(timer_, &QTimer::timeout, [this] { CloseActive(); });
        timer_->start();
    }
    ~ModalBoxes() { delete timer_; }
    ModalBoxes(const ModalBoxes&) = delete;
    ModalBoxes& operator=(const ModalBoxes&) = delete;

    const QStringList& Texts() const { return texts_; }
    const QStringList& Titles() const { return titles_; }
    QList<QMessageBox::Icon> Icons() const { return icons_; }

private:
    void CloseActive()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        texts_ << box->text();
        titles_ << box->windowTitle();
        icons_ << box->icon();
        box->done(QMessageBox::Ok);
    }

    QTimer* timer_;
    QStringList texts_, titles_;
    QList<QMessageBox::Icon> icons_;
};

}  // namespace veltro::test
