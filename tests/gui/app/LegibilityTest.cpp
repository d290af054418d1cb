// Every text of the window read whole: the pages with live values from the simulated
// meter and module, then with the widest values they can be given, walked widget by
// widget at the window's font and at larger font scalings, in locales with short and
// long date formats. A text wider than its room, a control outside its parent or two
// controls on top of each other is reported with the widget's name.
#include "app/FormMain.h"
#include "core/ModuleRegisters.h"
#include "app/PageConfig.h"
#include "app/PageControl.h"
#include "app/PageDecode.h"
#include "app/PageMonitor.h"
#include "app/PortField.h"
#include "app/ScanDialogs.h"
#include "app/ScanRun.h"
#include "phasor/PolarDiagram.h"
#include "trend/TrendChart.h"
#include "simulator/ModuleModel.h"
#include "simulator/Simulator.h"
#include "support/PtyPair.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QStyleOption>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace veltro;

namespace {

int Needed(const QWidget* w, const QString& text)
{
    return static_cast<int>(std::ceil(QFontMetricsF(w->font()).horizontalAdvance(text)));
}

QString Name(const QWidget* w)
{
    if (!w->objectName().isEmpty())
        return w->objectName();
    const QString parent = w->parentWidget() ? Name(w->parentWidget()) : QString();
    return parent + QStringLiteral("/") + QString::fromLatin1(w->metaObject()->className());
}

// The room each kind of control gives its text, as the style draws it.
class Walk {
public:
    QStringList problems;

    void Page(QWidget* page)
    {
        for (QWidget* w : page->findChildren<QWidget*>()) {
            if (!w->isVisible())
                continue;
            QWidget* parent = w->parentWidget();
            // The page's own panes (values, trend, log) hold controls as the page does.
            if (parent == page || qobject_cast<QGroupBox*>(parent) || parent->objectName().startsWith("pnl"))
                Placement(w, parent);
            if (auto* box = qobject_cast<QCheckBox*>(w))
                CheckBox(box);
            else if (auto* button = qobject_cast<QPushButton*>(w))
                PushButton(button);
            else if (auto* label = qobject_cast<QLabel*>(w))
                Label(label);
            else if (auto* combo = qobject_cast<QComboBox*>(w))
                Combo(combo);
            else if (auto* edit = qobject_cast<QLineEdit*>(w))
                Edit(edit);
            else if (auto* group = qobject_cast<QGroupBox*>(w))
                Group(group);
            else if (auto* grid = qobject_cast<QTableWidget*>(w))
                Grid(grid);
            else if (auto* tool = qobject_cast<QToolButton*>(w))
                ToolButton(tool);
        }
    }

    // Every menu's title in the bar, none pushed into an overflow button.
    void MenuBar(QMenuBar* bar)
    {
        for (QAction* menu : bar->actions()) {
            const QRect room = bar->actionGeometry(menu);
            if (!bar->rect().contains(room))
                problems << QStringLiteral("menu \"%1\": outside the menu bar").arg(menu->text());
            Fits(bar, QString(menu->text()).remove(QLatin1Char('&')), room.width());
        }
    }

private:
    void Fits(const QWidget* w, const QString& text, int room, const char* what = "")
    {
        if (Needed(w, text) > room)
            problems << QStringLiteral("%1%2: \"%3\" needs %4 px, has %5")
                            .arg(Name(w), QString::fromLatin1(what), text)
                            .arg(Needed(w, text))
                            .arg(room);
    }

    // Inside its parent and clear of its visible siblings.
    void Placement(QWidget* w, QWidget* parent)
    {
        if (!parent->rect().contains(w->geometry()))
            problems << Name(w) + QStringLiteral(": outside its parent");
        for (QWidget* other : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (other != w && other->isVisible() && other->geometry().intersects(w->geometry()) &&
                Name(w) < Name(other))
                problems << Name(w) + QStringLiteral(" overlaps ") + Name(other);
    }

    void Label(QLabel* label)
    {
        // A port's device label shortens a long adapter name to its room, but has room
        // for what a pseudo-terminal is.
        if (auto* device = dynamic_cast<app::DeviceLabel*>(label); device && device->text() != device->FullText())
            problems << QStringLiteral("%1: \"%2\" shown as \"%3\"")
                            .arg(Name(label), device->FullText(), label->text());
        if (label->text().isEmpty())
            return;
        Fits(label, label->text(), label->contentsRect().width());
        if (label->fontMetrics().height() > label->contentsRect().height())
            problems << Name(label) + QStringLiteral(": lower than its text");
    }

    void CheckBox(QCheckBox* box)
    {
        QStyleOptionButton option;
        option.initFrom(box);
        option.text = box->text();
        Fits(box, box->text(), box->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, box).width());
    }

    void PushButton(QPushButton* button)
    {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.icon = button->icon();
        option.iconSize = button->iconSize();
        const int room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width();
        const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        Fits(button, button->text(), room - icon);
    }

    // A tool button (the port list's "...") as large as its text asks.
    void ToolButton(QToolButton* button)
    {
        if (!button->text().isEmpty() && button->width() < button->sizeHint().width())
            problems << QStringLiteral("%1: narrower than its text").arg(Name(button));
    }

    void Combo(QComboBox* combo)
    {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.editable = combo->isEditable();
        option.frame = combo->hasFrame();
        const QRect field =
            combo->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
        // Any item can be chosen, so every item must fit.
        for (int i = 0; i < combo->count(); ++i)
            Fits(combo, combo->itemText(i), field.width() - 2);
    }

    void Edit(QLineEdit* edit)
    {
        QStyleOptionFrame option;
        option.initFrom(edit);
        option.lineWidth =
            edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
        const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit)
                                   .marginsRemoved(edit->textMargins());
        // The edit keeps 2 pixels each side and 1 for the cursor.
        Fits(edit, edit->displayText(), contents.width() - 4 - 1);
    }

    void Group(QGroupBox* group)
    {
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.lineWidth = 1;
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        option.textAlignment = group->alignment();
        const QRect title =
            group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, group);
        if (!group->rect().contains(title))
            problems << Name(group) + QStringLiteral(": title \"") + group->title() + QStringLiteral("\" cut off");
    }

    void Grid(QTableWidget* grid)
    {
        const int margin = 2 * (grid->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, grid) + 1);
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int c = 0; c < grid->columnCount(); ++c) {
                const QTableWidgetItem* item = grid->item(r, c);
                const QRect cell = grid->visualItemRect(item);
                if (!grid->viewport()->rect().contains(cell))
                    problems << QStringLiteral("%1 cell %2,%3: outside the grid").arg(Name(grid)).arg(r).arg(c);
                if (grid->fontMetrics().height() > cell.height())
                    problems << QStringLiteral("%1 row %2: lower than its text").arg(Name(grid)).arg(r);
                const QByteArray where = QStringLiteral(" cell %1,%2").arg(r).arg(c).toLatin1();
                Fits(grid, item->text(), cell.width() - margin, where.constData());
            }
    }
};

// The window on the simulated meter and module, at a font scaling and in a locale.
class LiveWindow : public ::testing::Test {
protected:
    void Open(const char* locale, double scale)
    {
        QLocale::setDefault(QLocale(QString::fromLatin1(locale)));
        app::TfrmMain::UseWindowFont(scale);
        // A ten-digit serial number; the meter holds an address the module cannot use.
        sim.State().SetSerialNumber("1234567890");
        sim.State().SetCommIdent("1234567890");
        sim.State().SetModbusAddressText("300");
        sim.Start();
        window = std::make_unique<app::TfrmMain>();
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        QApplication::setFont(savedFont);
        QLocale::setDefault(QLocale::c());
    }

    QStringList WalkAllPages()
    {
        Walk walk;
        for (int i = 0; i < window->pageControl()->count(); ++i) {
            window->pageControl()->setCurrentIndex(i);
            QApplication::processEvents();
            walk.Page(window->pageControl()->widget(i));
        }
        walk.MenuBar(window->findChild<QMenuBar*>());
        return walk.problems;
    }

    // The module search's dialogs: the choices as "Cerca modulo" opens them, the progress
    // with its longest line.
    QStringList WalkScanDialogs()
    {
        Walk walk;
        app::PageMonitor& page = *window->tabTest();
        window->pageControl()->setCurrentWidget(&page);
        page.btnScan->click();
        app::ScanSetupDialog* setup = page.FScan->SetupDialog();
        if (!setup)
            return {QStringLiteral("no setup dialog")};
        QApplication::processEvents();
        walk.Page(setup);
        setup->reject();
        app::ScanProgressDialog progress(window.get());
        progress.ShowProgress({*app::ParseRtuSettings("19200 8E2"), 247, 5926, 5928, std::chrono::hours(88)});
        progress.ShowFinds(247, 5928);
        progress.show();
        QApplication::processEvents();
        walk.Page(&progress);
        return walk.problems;
    }

    void ReadTheMeter()
    {
        app::PageConfig& page = *window->tabConfig();
        page.editCommIdent->setText(QStringLiteral("1234567890"));
        page.btnReadConfig->click();  // runs to its end
        ASSERT_EQ(page.editServerAddress->text(), "invalid (300)");
    }

    void PollTheModule()
    {
        app::PageMonitor& page = *window->tabTest();
        window->pageControl()->setCurrentWidget(&page);
        page.editComPort->setText(QStringLiteral("2"));
        page.editMBAddress->setText(QStringLiteral("190"));  // automatic: last two digits + 100
        page.btnStartStop->click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return page.FStats.FResponses >= 3; }, 15000));
        page.btnStartStop->click();
    }

    // The widest values the module can report, as its replies would carry them.
    void ShowWidestValues()
    {
        sim::ModuleSnapshot s;
        s.serialNumber = 4294967295u;
        s.now = std::chrono::system_clock::from_time_t(
            QDateTime(QDate(2088, 5, 28), QTime(23, 58, 58)).toSecsSinceEpoch());
        s.profileStamp = s.now;
        s.totals.fill(999999999.999);
        s.totals[1] = -99999999.5;
        s.profile1.fill(999999999.999);
        s.profile2.fill(-88888.888);
        s.cosPhi = -0.999;
        s.activePower = -1234567.0;
        s.reactivePower = -999999.9;
        s.apparentPower = 1234567.0;
        s.frequency = 49.96;
        for (sim::PhaseValues& phase : s.phases)
            phase = {-99999.9, 240.0, -9999.999, -179.99};
        const sim::ModuleModel::Registers regs = sim::ModuleModel::Encode(s);
        app::PageMonitor& page = *window->tabTest();
        for (const auto& block : app::kModuleBlocks) {
            modbus::TTransactionInfo info;
            info.ReplyStatus = modbus::rsSuccess;
            const modbus::TRegValues values(regs.begin() + block.start, regs.begin() + block.start + block.count);
            page.mbClientHoldingRegistersRead(info, block.start, block.count, values);
        }
        ASSERT_EQ(page.lblMatricola->text(), "4294967295");
    }

    void DecodeSamplesAndTheLongestDouble()
    {
        app::PageDecode& page = *window->TabSheet1();
        page.btnSampleValuesClick();
        page.findChild<QLineEdit*>("editDouble")->setText(QStringLiteral("FFFF FFFF FFFF EFFF"));
        page.btnDecDoubleClick();
        ASSERT_TRUE(page.findChild<QLineEdit*>("editDecDouble")->text().startsWith("-1"));
    }

    QFont savedFont = QApplication::font();
    test::PortDir ports;
    sim::Simulator sim{sim::SimulatorOptions{ports.Path(), 1, false, 2}};
    std::unique_ptr<app::TfrmMain> window;
};

struct Case {
    const char* locale;
    double scale;
    const char* name;
};

class Legibility : public LiveWindow, public ::testing::WithParamInterface<Case> {};

int Count(const QImage& image, const QRect& area, const QColor& colour)
{
    int n = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
            n += image.valid(x, y) && image.pixelColor(x, y) == colour;
    return n;
}

}  // namespace

TEST_P(Legibility, EveryTextFitsItsRoom)
{
    ASSERT_NO_FATAL_FAILURE(Open(GetParam().locale, GetParam().scale));
    ASSERT_NO_FATAL_FAILURE(ReadTheMeter());
    ASSERT_NO_FATAL_FAILURE(PollTheModule());
    ASSERT_NO_FATAL_FAILURE(DecodeSamplesAndTheLongestDouble());
    EXPECT_EQ(WalkAllPages().join(QLatin1Char('\n')).toStdString(), "") << "with live values";
    ASSERT_NO_FATAL_FAILURE(ShowWidestValues());
    EXPECT_EQ(WalkAllPages().join(QLatin1Char('\n')).toStdString(), "") << "with the widest values";
    EXPECT_EQ(WalkScanDialogs().join(QLatin1Char('\n')).toStdString(), "") << "the module search's dialogs";
    // The diagram keeps the size at which it draws its table, frequency and hints.
    ASSERT_TRUE(window->tabTest()->FDiagram->Render());
    EXPECT_GT(window->tabTest()->FDiagram->Metrics().R, 100);
}

INSTANTIATE_TEST_SUITE_P(Fonts, Legibility,
                         ::testing::Values(Case{"it_IT", 1.0, "Italian"}, Case{"en_US", 1.0, "English"},
                                           Case{"C", 1.0, "C"}, Case{"en_US", 1.25, "EnglishScaled125"},
                                           Case{"it_IT", 1.5, "ItalianScaled150"}, Case{"C", 1.5, "CScaled150"},
                                           Case{"en_US", 1.5, "EnglishScaled150"}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// The screens of field laptops, less a 40-pixel taskbar: at the window's size there, every
// text is read whole, and whatever the values do not have room for scrolls.
struct Screen {
    double scale;
    QSize screen;
    const char* name;
};

class FitsTheScreen : public LiveWindow, public ::testing::WithParamInterface<Screen> {};

TEST_P(FitsTheScreen, WithEveryTextWhole)
{
    ASSERT_NO_FATAL_FAILURE(Open("it_IT", GetParam().scale));
    const QSize room = GetParam().screen - QSize(0, 40) - QSize(16, 40);  // taskbar, then title bar and borders
    const QSize size = window->OpeningSize(room);
    EXPECT_LE(size.width(), room.width());
    EXPECT_LE(size.height(), room.height());
    window->resize(size);
    ASSERT_NO_FATAL_FAILURE(ReadTheMeter());
    ASSERT_NO_FATAL_FAILURE(PollTheModule());
    ASSERT_NO_FATAL_FAILURE(ShowWidestValues());
    EXPECT_EQ(WalkAllPages().join(QLatin1Char('\n')).toStdString(), "");
    // The values that do not fit scroll into view; the trend and the log keep their rows.
    app::PageMonitor& page = *window->tabTest();
    EXPECT_GE(page.pnlValues->height(), page.pnlValues->minimumSizeHint().height());
    EXPECT_GE(page.chartTrend->height(), page.chartTrend->minimumHeight());
    EXPECT_GE(page.listLog->height(), page.listLog->minimumHeight());
}

INSTANTIATE_TEST_SUITE_P(Laptops, FitsTheScreen,
                         ::testing::Values(Screen{1.0, {1024, 768}, "At1024x768"},
                                           Screen{1.25, {1366, 768}, "At1366x768Scaled125"}),
                         [](const ::testing::TestParamInfo<Screen>& info) { return std::string(info.param.name); });

TEST_F(LiveWindow, TheDiagramShowsFrequencyTableAndHintsAndGrowsWithTheWindow)
{
    ASSERT_NO_FATAL_FAILURE(Open("it_IT", 1.0));
    ASSERT_NO_FATAL_FAILURE(PollTheModule());
    phasor::TPolarDiagram& d = *window->tabTest()->FDiagram;
    ASSERT_TRUE(d.Render());
    const phasor::Layout l = d.Metrics();
    ASSERT_GT(l.R, 100);
    EXPECT_LE(d.ContentWidthFor(l.S), d.width());
    const QImage& picture = d.Bitmap();
    const QColor red(255, 0, 0), green(0, 128, 0);
    // The frequency in the bottom left corner, the table's labels and its last column
    // right of the square, the average power factor in green below the table.
    EXPECT_GT(Count(picture, QRect(l.m / 2, l.E - 16, 60, 16), red), 0);
    const int cw = d.ContentWidthFor(l.S) - 1 - (l.E + 5 * l.m) - 40;  // 4 columns of the table
    const QRect rows(l.E + 5 * l.m, l.m + 8, cw / 4, 100);
    EXPECT_GT(Count(picture, rows, red), 0);
    EXPECT_GT(Count(picture, rows.translated(3 * (cw / 4 + 10), 0), red), 0);
    EXPECT_GT(Count(picture, QRect(l.E + 5 * l.m, rows.bottom(), d.ContentWidthFor(l.S), 40), green), 0);

    // The hint for the voltage of L1, which points straight up.
    const int length = d.Voltages()[0].Length;
    QTest::mouseMove(&d, QPoint(l.cx, l.cy - length + 3));
    EXPECT_TRUE(QTest::qWaitFor([&] { return d.HintShown(); }, 5000));

    // A larger window gives the extra room to the diagram, up to the 15° scale.
    window->resize(1700, 1150);
    QApplication::processEvents();
    ASSERT_TRUE(d.Render());
    EXPECT_GT(d.Metrics().R, 200);
    EXPECT_LE(d.ContentWidthFor(d.Metrics().S), d.width());
}
