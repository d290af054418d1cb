#include "app/LineUse.h"

#include <QApplication>
#include <QMessageBox>

namespace veltro::app {

QString LineUse::Refusal(LineJob wanted) const
{
    if (holder_ == LineJob::None || holder_ == wanted)
        return {};
    // A job on a gateway holds the page's link as one on a port does.
    const QString where = QString::fromStdString(port_).startsWith(QStringLiteral("COM"))
                              ? QStringLiteral("sulla porta %1").arg(QString::fromStdString(port_))
                              : QStringLiteral("tramite il gateway %1").arg(QString::fromStdString(port_));
    switch (holder_) {
    case LineJob::Polling:
        return QStringLiteral("Controllo del modulo in corso %1: arrestarlo con \"Arresta\" e riprovare.").arg(where);
    case LineJob::Scan:
        return QStringLiteral("Ricerca del modulo in corso %1: attendere la fine o annullarla.").arg(where);
    case LineJob::Verify:
        return QStringLiteral("Verifica della configurazione in corso %1: attendere la fine.").arg(where);
    case LineJob::None: break;
    }
    return {};
}

void LineUse::Take(LineJob job, const std::string& port)
{
    holder_ = job;
    port_ = port;
    if (OnChanged)
        OnChanged();
}

void LineUse::Release(LineJob job)
{
    if (holder_ != job)
        return;
    holder_ = LineJob::None;
    port_.clear();
    if (OnChanged)
        OnChanged();
}

void ShowNotice(QWidget* parent, const QString& text)
{
    auto* box = new QMessageBox(QMessageBox::Information, QApplication::applicationName(), text, QMessageBox::Ok,
                                parent ? parent->window() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(parent ? Qt::WindowModal : Qt::ApplicationModal);
    box->open();
}

}  // namespace veltro::app
