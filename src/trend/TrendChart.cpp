#include "trend/TrendChart.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>

namespace veltro::trend {

namespace {

using std::chrono::milliseconds;

const QColor kBackground(255, 255, 255);
const QColor kGrid(226, 226, 226);
const QColor kFrame(128, 128, 128);
const QColor kText(0, 0, 0);
const QColor kSelection(0, 120, 215, 60);

// A drag shorter than this is a click, not a range.
constexpr int kMinimumDragPixels = 4;

struct Look {
    QColor color;
    Qt::PenStyle style;
};

// The currents in the phase colours of the phasor diagram; the voltages in darker shades
// of the same, dashed, so that a phase reads alike in both and the two never mix up.
Look LookOf(Quantity q) {
    switch (q) {
    case Quantity::ActivePower: return {QColor(128, 0, 128), Qt::SolidLine};
    case Quantity::ReactivePower: return {QColor(255, 128, 0), Qt::SolidLine};
    case Quantity::ApparentPower: return {QColor(128, 128, 0), Qt::SolidLine};
    case Quantity::CurrentL1: return {QColor(255, 0, 0), Qt::SolidLine};
    case Quantity::CurrentL2: return {QColor(0, 128, 0), Qt::SolidLine};
    case Quantity::CurrentL3: return {QColor(0, 0, 255), Qt::SolidLine};
    case Quantity::VoltageL1: return {QColor(128, 0, 0), Qt::DashLine};
    case Quantity::VoltageL2: return {QColor(0, 64, 0), Qt::DashLine};
    case Quantity::VoltageL3: return {QColor(0, 0, 128), Qt::DashLine};
    case Quantity::CosPhi: return {QColor(0, 150, 150), Qt::SolidLine};
    case Quantity::Frequency: return {QColor(139, 69, 19), Qt::SolidLine};
    }
    return {kText, Qt::SolidLine};
}

QString Text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

// "Corrente L1 (A)", "cos φ".
QString NameWithUnit(Quantity q) {
    const QuantityInfo& info = InfoOf(q);
    if (info.unit.empty()) return Text(info.label);
    return QStringLiteral("%1 (%2)").arg(Text(info.label), Text(info.unit));
}

QLocale NumberLocale() {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale;
}

QString Number(double value, int decimals) { return NumberLocale().toString(value, 'f', std::clamp(decimals, 0, 6)); }

// The locale's long time without its time-zone field, "17:58:00"; kept per locale, as a
// paint writes a label for every tick.
QString TimeText(std::int64_t ms) {
    struct Cached {
        QString localeName;
        QString format;
    };
    static Cached cached;
    const QLocale locale;
    if (cached.format.isEmpty() || cached.localeName != locale.name()) {
        QString format = locale.timeFormat(QLocale::LongFormat);
        format.remove(QRegularExpression(QStringLiteral("\\s*t+\\s*")));
        cached = {locale.name(), format.trimmed()};
    }
    return locale.toString(QDateTime::fromMSecsSinceEpoch(ms).time(), cached.format);
}

std::int64_t ToMs(TrendTime t) { return std::chrono::floor<milliseconds>(t.time_since_epoch()).count(); }

TrendTime FromMs(std::int64_t ms) { return TrendTime(std::chrono::duration_cast<TrendClock::duration>(milliseconds(ms))); }

QToolButton* MakeButton(QWidget* parent, const char* name, const QString& text) {
    auto* button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(text);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return button;
}

// The scale's axis title: its name with the units of the quantities shown on it.
QString AxisTitle(Scale scale, const std::vector<Quantity>& shown) {
    QStringList units;
    for (Quantity q : shown) {
        const QString unit = Text(InfoOf(q).unit);
        if (InfoOf(q).scale == scale && !unit.isEmpty() && !units.contains(unit)) units << unit;
    }
    const QString name = Text(ScaleName(scale));
    return units.isEmpty() ? name : QStringLiteral("%1 (%2)").arg(name, units.join(QStringLiteral(", ")));
}

QString MeanText(double mean, int decimals) {
    return std::isnan(mean) ? QString() : QStringLiteral("  media %1").arg(Number(mean, decimals));
}

QString RangeText(const ValueAxis& axis) {
    return QStringLiteral("  scala %1\u2013%2").arg(Number(axis.min, axis.decimals), Number(axis.max, axis.decimals));
}

void DrawLine(QPainter& painter, const QPolygon& line) {
    if (line.size() == 1) {
        // A value alone between two gaps: a short dash, or it would not show at all.
        const QPoint p = line.front();
        painter.drawLine(p.x() - 1, p.y(), p.x() + 1, p.y());
    } else if (line.size() > 1) {
        painter.drawPolyline(line);
    }
}

}  // namespace

QString TimeLabel(TrendTime t) { return TimeText(ToMs(t)); }

TrendChart::TrendChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("chartTrend"));
    // Every paint covers the whole widget from the bitmap and the strip's background.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(320, 200);
    FRepaintLater = new QTimer(this);
    FRepaintLater->setSingleShot(true);
    connect(FRepaintLater, &QTimer::timeout, this, [this] { update(); });

    FBar = new QWidget(this);
    auto* row = new QHBoxLayout(FBar);
    row->setContentsMargins(kMargin, kMargin, kMargin, 0);
    btnTrendQuantities = MakeButton(FBar, "btnTrendQuantities", QStringLiteral("Grandezze"));
    btnTrendQuantities->setPopupMode(QToolButton::InstantPopup);
    btnTrendPause = MakeButton(FBar, "btnTrendPause", QStringLiteral("Pausa"));
    btnTrendPause->setCheckable(true);
    btnTrendLive = MakeButton(FBar, "btnTrendLive", QStringLiteral("Dal vivo"));
    btnTrendExport = MakeButton(FBar, "btnTrendExport", QStringLiteral("Esporta il grafico..."));
    row->addWidget(btnTrendQuantities);
    row->addWidget(btnTrendPause);
    row->addWidget(btnTrendLive);
    row->addStretch();
    row->addWidget(btnTrendExport);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(FBar);
    column->addStretch();

    for (Quantity q : {Quantity::CurrentL1, Quantity::CurrentL2, Quantity::CurrentL3}) FShown[IndexOf(q)] = true;
    auto* menu = new QMenu(btnTrendQuantities);
    menu->setObjectName(QStringLiteral("menuTrendQuantities"));
    for (Quantity q : kAllQuantities) {
        if (q == Quantity::CurrentL1 || q == Quantity::VoltageL1 || q == Quantity::CosPhi) menu->addSeparator();
        QAction* action = menu->addAction(NameWithUnit(q));
        action->setObjectName(QStringLiteral("actTrend%1").arg(Text(InfoOf(q).key)));
        action->setCheckable(true);
        action->setChecked(IsShown(q));
        connect(action, &QAction::toggled, this, [this, q](bool on) { SetShown(q, on); });
        FActions[IndexOf(q)] = action;
    }
    btnTrendQuantities->setMenu(menu);

    connect(btnTrendPause, &QToolButton::toggled, this, [this](bool on) { SetPaused(on); });
    connect(btnTrendLive, &QToolButton::clicked, this, [this] { GoLive(); });
    connect(btnTrendExport, &QToolButton::clicked, this, [this] { StartExport(); });
    SyncControls();
}

int TrendChart::ChartTop() const { return FBar->sizeHint().height(); }

QSize TrendChart::sizeHint() const { return {640, ChartTop() + 16 * fontMetrics().height()}; }

void TrendChart::RequestRepaint() {
    FDirty = true;
    FOnlyNewCycles = false;
    update();
}

void TrendChart::RequestCycleRepaint() {
    const bool otherChange = FDirty && !FOnlyNewCycles;
    RequestRepaint();
    FOnlyNewCycles = !otherChange;
}

void TrendChart::AddCycle(const TrendCycle& cycle) {
    const std::optional<TrendTime> newest = FHistory.Newest();
    FHistory.AddCycle(cycle);
    if (newest && cycle.time < *newest) {
        // The clock was set back and the history started over: a paused range would show
        // nothing of it.
        FLive = true;
        SyncControls();
        RequestRepaint();
        return;
    }
    if (FLive || (cycle.time >= FFrozen.from && cycle.time <= FFrozen.to)) RequestCycleRepaint();
}

void TrendChart::Clear() {
    FHistory.Clear();
    FLive = true;
    SyncControls();
    RequestRepaint();
}

void TrendChart::SetShown(Quantity q, bool shown) {
    if (FShown[IndexOf(q)] == shown) return;
    FShown[IndexOf(q)] = shown;
    FActions[IndexOf(q)]->setChecked(shown);  // re-enters here and returns at once
    RequestRepaint();
}

void TrendChart::SetPaused(bool paused) {
    if (paused == !FLive) return;
    if (!paused) {
        GoLive();
        return;
    }
    const TrendTime now = TrendClock::now();
    FFrozen = LiveRange().value_or(TimeRange{now - kLiveMinimumSpan, now});
    FLive = false;
    SyncControls();  // the picture stays as it is
}

void TrendChart::ZoomTo(TrendTime from, TrendTime to) {
    if (to < from) std::swap(from, to);
    if (to - from < kZoomMinimumSpan) {
        const TrendTime middle = from + (to - from) / 2;
        from = middle - std::chrono::duration_cast<TrendClock::duration>(kZoomMinimumSpan) / 2;
        to = from + kZoomMinimumSpan;
    }
    FFrozen = {from, to};
    FLive = false;
    SyncControls();
    RequestRepaint();
}

void TrendChart::GoLive() {
    if (FLive) return;
    FLive = true;
    SyncControls();
    RequestRepaint();
}

std::optional<TimeRange> TrendChart::VisibleRange() const {
    return FLive ? LiveRange() : FFrozen;
}

std::optional<TimeRange> TrendChart::LiveRange() const {
    const std::optional<TrendTime> oldest = FHistory.Oldest();
    const std::optional<TrendTime> newest = FHistory.Newest();
    if (!oldest || !newest) return std::nullopt;
    return TimeRange{*oldest, std::max(*newest, *oldest + kLiveMinimumSpan)};
}

void TrendChart::SyncControls() {
    const QSignalBlocker blocker(btnTrendPause);
    btnTrendPause->setChecked(!FLive);
    btnTrendLive->setEnabled(!FLive);
}

void TrendChart::EnsureBitmapSize() {
    const QSize size(width(), std::max(0, height() - ChartTop()));
    if (FBitmap.size() == size) return;
    FBitmap = size.isEmpty() ? QImage() : QImage(size, QImage::Format_RGB32);
    // Point sizes of the widget's font come out in the bitmap as they do on the screen.
    FBitmap.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    FBitmap.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
}

void TrendChart::Render() {
    FDirty = false;
    FOnlyNewCycles = false;
    FSinceRender.start();
    FAxes.clear();
    EnsureBitmapSize();
    if (FBitmap.isNull()) return;
    FBitmap.fill(kBackground);
    QPainter painter(&FBitmap);
    painter.setFont(font());
    const QFontMetrics fm(font(), &FBitmap);
    const int lineHeight = fm.height();

    std::vector<Quantity> shown;
    std::vector<Scale> scales;  // in menu order: left axis, right axis, then unlabelled
    for (Quantity q : kAllQuantities) {
        if (!IsShown(q)) continue;
        shown.push_back(q);
        if (std::find(scales.begin(), scales.end(), InfoOf(q).scale) == scales.end()) scales.push_back(InfoOf(q).scale);
    }
    const auto scaleIndex = [&](Quantity q) {
        return static_cast<std::size_t>(std::find(scales.begin(), scales.end(), InfoOf(q).scale) - scales.begin());
    };

    // The legend's room is set by what is shown, not by the values, so that the plot keeps
    // its size from one cycle to the next.
    const QString wideNumber = Number(-88888.888, 3);
    std::vector<int> itemWidths;
    for (Quantity q : shown) {
        QString widest = NameWithUnit(q) + QStringLiteral("  media ") + wideNumber;
        if (scaleIndex(q) >= 2) widest += QStringLiteral("  scala %1\u2013%1").arg(wideNumber);
        itemWidths.push_back(24 + fm.horizontalAdvance(widest) + 14);
    }
    const std::vector<LegendPlace> places = PlaceLegend(itemWidths, FBitmap.width() - 2 * kMargin);

    ChartMetrics metrics;
    metrics.width = FBitmap.width();
    metrics.height = FBitmap.height();
    metrics.lineHeight = lineHeight;
    metrics.valueLabelWidth = fm.horizontalAdvance(Number(-8888.88, 2));
    metrics.timeLabelWidth = fm.horizontalAdvance(TimeText(0));
    metrics.rightAxis = scales.size() >= 2;
    metrics.legendRows = LegendRows(places);
    FLayout = LayoutChart(metrics);
    const Box& plot = FLayout.plot;
    const QRect plotRect(plot.left, plot.top, plot.width, plot.height);
    if (plot.width < 2 || plot.height < 2) return;

    const std::optional<TimeRange> range = VisibleRange();
    const auto centred = [&](const QString& text) {
        painter.setPen(kFrame);
        painter.drawText(plotRect, Qt::AlignCenter, text);
    };
    if (!range || range->to <= range->from) {
        painter.setPen(kFrame);
        painter.drawRect(plotRect.adjusted(0, 0, -1, -1));
        centred(QStringLiteral("In attesa dei valori"));
        return;
    }
    const std::int64_t fromMs = ToMs(range->from);
    const std::int64_t toMs = ToMs(range->to);

    std::vector<TrendSeries> series;
    series.reserve(shown.size());
    for (Quantity q : shown) series.push_back(FHistory.Series(q, range->from, range->to, plot.width));

    // Each scale spans what its lines cover in the range.
    const int maxTicks = std::max(2, plot.height / (2 * lineHeight));
    for (std::size_t s = 0; s < scales.size(); ++s) {
        double lo = std::numeric_limits<double>::quiet_NaN();
        double hi = lo;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            if (scaleIndex(shown[i]) != s || series[i].points.empty()) continue;
            lo = std::isnan(lo) ? series[i].min : std::min(lo, series[i].min);
            hi = std::isnan(hi) ? series[i].max : std::max(hi, series[i].max);
        }
        // A little room above and below: a line along the frame could not be told from it.
        const double margin = (hi - lo) * 0.05;
        FAxes.push_back({scales[s], NiceAxis(lo - margin, hi + margin, maxTicks), s < 2});
    }

    // Grid: the left axis's values and the time ticks.
    const TimeTicks ticks =
        MakeTimeTicks(fromMs, toMs, QDateTime::fromMSecsSinceEpoch(fromMs).offsetFromUtc(), plot.width,
                      metrics.timeLabelWidth + 3 * kMargin);
    painter.setPen(kGrid);
    for (std::int64_t t : ticks.ticks) {
        const int x = qRound(XOf(t, fromMs, toMs, plot));
        painter.drawLine(x, plot.top, x, plot.Bottom());
    }
    if (!FAxes.empty()) {
        const ValueAxis& a = FAxes.front().axis;
        for (double v = a.min + a.step; v < a.max - a.step / 2; v += a.step) {
            const int y = qRound(YOf(v, a, plot));
            painter.drawLine(plot.left, y, plot.Right(), y);
        }
    }
    painter.setPen(kFrame);
    painter.drawRect(plotRect.adjusted(0, 0, -1, -1));

    // Value labels and titles of the left and right axes.
    const int ascentOffset = (fm.ascent() - fm.descent()) / 2;
    for (std::size_t s = 0; s < FAxes.size() && s < 2; ++s) {
        const ValueAxis& a = FAxes[s].axis;
        const bool left = s == 0;
        const int n = static_cast<int>(std::lround((a.max - a.min) / a.step));
        for (int i = 0; i <= n; ++i) {
            double v = a.min + i * a.step;
            if (std::fabs(v) < a.step * 1e-6) v = 0.0;  // never "-0"
            const int y = qRound(YOf(v, a, plot));
            const QString text = Number(v, a.decimals);
            painter.setPen(kFrame);
            if (left) {
                painter.drawLine(plot.left - kTickLength, y, plot.left - 1, y);
                painter.setPen(kText);
                painter.drawText(plot.left - kTickLength - 2 - fm.horizontalAdvance(text), y + ascentOffset, text);
            } else {
                painter.drawLine(plot.Right() + 1, y, plot.Right() + kTickLength, y);
                painter.setPen(kText);
                painter.drawText(plot.Right() + kTickLength + 2, y + ascentOffset, text);
            }
        }
        const QString title = AxisTitle(FAxes[s].scale, shown);
        const int x = left ? kMargin : FBitmap.width() - kMargin - fm.horizontalAdvance(title);
        painter.drawText(x, FLayout.titleTop + fm.ascent(), title);
    }

    // Time labels, each centred under its tick where it fits.
    const int labelsRight = metrics.rightAxis ? plot.Right() : FBitmap.width() - kMargin;
    for (std::int64_t t : ticks.ticks) {
        const int x = qRound(XOf(t, fromMs, toMs, plot));
        const QString text = TimeText(t);
        const int w = fm.horizontalAdvance(text);
        painter.setPen(kFrame);
        painter.drawLine(x, plot.Bottom() + 1, x, plot.Bottom() + kTickLength);
        if (x - w / 2 < kMargin || x - w / 2 + w > labelsRight) continue;
        painter.setPen(kText);
        painter.drawText(x - w / 2, FLayout.timeLabelTop + fm.ascent(), text);
    }

    // The lines, broken at every gap.
    painter.save();
    painter.setClipRect(plotRect.adjusted(1, 1, -1, -1));
    bool anyPoint = false;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const ValueAxis& a = FAxes[scaleIndex(shown[i])].axis;
        const Look look = LookOf(shown[i]);
        painter.setPen(QPen(look.color, 1, look.style));
        QPolygon line;
        line.reserve(static_cast<int>(series[i].points.size()));
        for (const TrendPoint& p : series[i].points) {
            if (p.gapBefore) {
                DrawLine(painter, line);
                line.clear();
            }
            line << QPoint(qRound(XOf(ToMs(p.time), fromMs, toMs, plot)), qRound(YOf(p.value, a, plot)));
        }
        DrawLine(painter, line);
        anyPoint = anyPoint || !series[i].points.empty();
    }
    painter.restore();
    if (shown.empty())
        centred(QStringLiteral("Nessuna grandezza scelta in \u00abGrandezze\u00bb"));
    else if (!anyPoint)
        centred(QStringLiteral("Nessun valore in questo intervallo"));

    // Legend: a stretch of each line, its name, its mean over the range and, for a line
    // without a labelled axis, the range it is drawn against.
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const Look look = LookOf(shown[i]);
        const DrawnAxis& axis = FAxes[scaleIndex(shown[i])];
        const int x = FLayout.legendLeft + places[i].x;
        const int y = FLayout.legendTop + places[i].row * lineHeight;
        const int middle = y + lineHeight / 2;
        painter.setPen(QPen(look.color, 2, look.style));
        painter.drawLine(x, middle, x + 18, middle);
        QString text = NameWithUnit(shown[i]) + MeanText(series[i].mean, axis.axis.decimals + 1);
        if (!axis.labelled) text += RangeText(axis.axis);
        painter.setPen(kText);
        painter.drawText(x + 24, y + fm.ascent(), text);
    }
}

void TrendChart::paintEvent(QPaintEvent*) {
    const auto interval = std::chrono::milliseconds(kCycleRepaintInterval).count();
    if (FDirty && FOnlyNewCycles && FSinceRender.isValid() && FSinceRender.elapsed() < interval) {
        FRepaintLater->start(static_cast<int>(interval - FSinceRender.elapsed()));
    } else if (FDirty) {
        Render();
    }
    QPainter painter(this);
    painter.fillRect(QRect(0, 0, width(), ChartTop()), palette().window());
    painter.drawImage(QPoint(0, ChartTop()), FBitmap);
    if (FDragFrom) {
        const Box& plot = FLayout.plot;
        const int a = std::min(*FDragFrom, FDragTo);
        const int b = std::max(*FDragFrom, FDragTo);
        painter.fillRect(QRect(a, ChartTop() + plot.top, b - a + 1, plot.height), kSelection);
    }
}

void TrendChart::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    RequestRepaint();
}

void TrendChart::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::LocaleChange) RequestRepaint();
}

void TrendChart::mousePressEvent(QMouseEvent* event) {
    const QPoint at = ToChart(event->position().toPoint());
    const Box& plot = FLayout.plot;
    const bool inPlot = at.x() >= plot.left && at.x() <= plot.Right() && at.y() >= plot.top && at.y() <= plot.Bottom();
    if (event->button() == Qt::LeftButton && inPlot && VisibleRange()) {
        FDragFrom = at.x();
        FDragTo = at.x();
        update();
        return;
    }
    QWidget::mousePressEvent(event);
}

void TrendChart::mouseMoveEvent(QMouseEvent* event) {
    if (!FDragFrom) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const Box& plot = FLayout.plot;
    FDragTo = std::clamp(ToChart(event->position().toPoint()).x(), plot.left, plot.Right());
    update();  // the selection only: the chart's bitmap stays
}

void TrendChart::mouseReleaseEvent(QMouseEvent* event) {
    if (!FDragFrom || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const Box& plot = FLayout.plot;
    const int end = std::clamp(ToChart(event->position().toPoint()).x(), plot.left, plot.Right());
    const int a = std::min(*FDragFrom, end);
    const int b = std::max(*FDragFrom, end);
    FDragFrom.reset();
    update();
    const std::optional<TimeRange> range = VisibleRange();
    if (b - a < kMinimumDragPixels || !range) return;
    const std::int64_t fromMs = ToMs(range->from);
    const std::int64_t toMs = ToMs(range->to);
    ZoomTo(FromMs(TimeAtX(a, fromMs, toMs, plot)), FromMs(TimeAtX(b, fromMs, toMs, plot)));
}

void TrendChart::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseDoubleClickEvent(event);
        return;
    }
    FDragFrom.reset();
    GoLive();
}

QString TrendChart::ExportPng(const QString& path) {
    Render();
    QSaveFile file(path);
    if (FBitmap.isNull())
        return QStringLiteral("Il grafico non ha spazio per essere disegnato: allarga la finestra e riprova.");
    if (!file.open(QIODevice::WriteOnly) || !FBitmap.save(&file, "PNG") || !file.commit())
        return QStringLiteral("Impossibile salvare il grafico nel file %1: %2.")
            .arg(QDir::toNativeSeparators(path), file.errorString());
    return {};
}

void TrendChart::StartExport() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    const QString name = QStringLiteral("andamento_%1.png")
                             .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd_HHmmss")));
    auto* dialog = new QFileDialog(this, QStringLiteral("Esporta il grafico"), QDir(folder).filePath(name),
                                   QStringLiteral("Immagini PNG (*.png)"));
    dialog->setObjectName(QStringLiteral("dlgTrendExport"));
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setDefaultSuffix(QStringLiteral("png"));
    // Polling goes on while the user picks a file: the dialog must not run its own loop.
    dialog->setWindowModality(Qt::WindowModal);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        const QString error = ExportPng(path);
        if (!error.isEmpty()) QMessageBox::critical(this, QStringLiteral("Esporta il grafico"), error);
    });
    dialog->open();
}

}  // namespace veltro::trend
