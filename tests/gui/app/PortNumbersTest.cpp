// The kept COM numbers in the window: the port list marks an unplugged adapter's number,
// and its dialog gives an adapter another number or frees one. Pseudo-terminals play the
// adapters, named by a made-up catalogue; the map lives in the test's own config folder.
#include "app/FormMain.h"
#include "app/PageMonitor.h"
#include "app/PortField.h"
#include "app/PortNumbersDialog.h"
#include "gui/ModalBox.h"
#include "platform/DeviceCatalogue.h"
#include "support/PtyPair.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

using namespace veltro;

namespace {

// Installed for its lifetime.
class FakeCatalogue : public platform::DeviceCatalogue {
public:
    FakeCatalogue() { platform::InstallDeviceCatalogue(this); }
    ~FakeCatalogue() override { platform::InstallDeviceCatalogue(nullptr); }
    std::vector<platform::PresentDevice> devices;
    std::vector<platform::PresentDevice> Present() const override { return devices; }
};

const std::string kHead = "by-id:usb-Optical_Head_OH123-if00-port0";
const std::string kRs485 = "by-id:usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";

// The texts of the port list as it opens, then the dialog opened from it.
QStringList OpenListThenDialog(QToolButton* picker)
{
    QStringList lines;
    auto* timer = new QTimer;
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, [timer, &lines] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu)
            return;
        for (QAction* action : menu->actions())
            lines << action->text();
        menu->findChild<QAction*>(QStringLiteral("actPortNumbers"))->trigger();
        menu->close();
        timer->deleteLater();
    });
    timer->start();
    QTest::mouseClick(picker, Qt::LeftButton);
    return lines;
}

QStringList Rows(const QTableWidget* grid)
{
    QStringList rows;
    for (int r = 0; r < grid->rowCount(); ++r)
        rows << grid->item(r, 0)->text() + QLatin1Char(' ') + grid->item(r, 1)->text();
    return rows;
}

}  // namespace

TEST(PortNumbers, AnUnpluggedAdapterKeepsItsNumberUntilTheDialogMovesOrFreesIt)
{
    test::PtyPair head, rs485;
    FakeCatalogue catalogue;
    catalogue.devices = {{head.SlavePath(), kHead}, {rs485.SlavePath(), kRs485}};
    app::TfrmMain window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    app::PageMonitor& page = *window.tabTest();

    catalogue.devices = {{rs485.SlavePath(), kRs485}};  // the optical head pulled out
    page.editComPort->setText(QStringLiteral("3"));  // the label looks again at each number typed
    page.editComPort->setText(QStringLiteral("1"));
    const QString detached = QStringLiteral("scollegato — usb-Optical_Head_OH123-if00-port0 (ultimo dispositivo %1)")
                                 .arg(QString::fromStdString(head.SlavePath()));
    EXPECT_EQ(page.lblComPortDevice->FullText().toStdString(), detached.toStdString());

    const QStringList lines = OpenListThenDialog(page.btnComPortList);
    EXPECT_TRUE(lines.contains(QStringLiteral("COM1 — ") + detached)) << lines.join('|').toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("COM2 — %1 — terminale virtuale").arg(rs485.SlavePath().c_str())));
    auto* dialog = window.findChild<app::PortNumbersDialog*>();
    ASSERT_TRUE(dialog && QTest::qWaitFor([&] { return dialog->isVisible(); }, 5000));
    EXPECT_EQ(QApplication::activeModalWidget(), dialog);
    EXPECT_EQ(Rows(dialog->gridPortNumbers), (QStringList{"COM1 scollegato", "COM2 collegato"}));

    // The connected adapter to a taken number, then to a free one.
    test::ModalBoxes boxes;
    dialog->gridPortNumbers->selectRow(1);
    EXPECT_FALSE(dialog->btnFreeNumber->isEnabled()) << "a connected adapter would get a number again at once";
    dialog->spinNewNumber->setValue(1);
    dialog->btnRenumber->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return boxes.Texts().size() == 1; }, 5000));
    EXPECT_EQ(boxes.Texts()[0], QStringLiteral("Il numero COM1 è già in uso: sceglierne uno libero."));
    page.editComPort->setText(QStringLiteral("2"));
    dialog->gridPortNumbers->selectRow(1);
    dialog->spinNewNumber->setValue(5);
    dialog->btnRenumber->click();
    EXPECT_EQ(Rows(dialog->gridPortNumbers), (QStringList{"COM1 scollegato", "COM5 collegato"}));
    EXPECT_EQ(page.lblComPortDevice->FullText().toStdString(), "Nessun dispositivo") << "the label followed";

    // The unplugged head forgotten: its number goes to the next adapter seen.
    dialog->gridPortNumbers->selectRow(0);
    dialog->btnFreeNumber->click();
    EXPECT_EQ(Rows(dialog->gridPortNumbers), (QStringList{"COM5 collegato"}));
    dialog->btnClose->click();
    test::PtyPair other;
    catalogue.devices.push_back({other.SlavePath(), kHead + "-other"});
    page.editComPort->setText(QStringLiteral("1"));
    EXPECT_EQ(page.lblComPortDevice->FullText().toStdString(), other.SlavePath() + " — terminale virtuale");
}
