#include "app/PageDecode.h"

#include "core/RegisterWords.h"
#include "core/WordDecoding.h"
#include "app/TextFit.h"

#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <string_view>

namespace veltro::app {

using namespace core;

namespace {

// The explanatory picture: three worked examples of the byte order, as large as its
// lines need in the window's font.
class ExamplesPicture : public QWidget {
public:
    explicit ExamplesPicture(QWidget* parent) : QWidget(parent)
    {
        int width = 0;
        for (const QString& line : lines_)
            width = std::max(width, fontMetrics().horizontalAdvance(line));
        const int height = kIndent + static_cast<int>(lines_.size()) * LineStep();
        setMinimumSize(std::max(510, width + 2 * kIndent), std::max(300, height));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(Qt::black);
        int y = kIndent + fontMetrics().ascent();
        for (const QString& line : lines_) {
            p.drawText(kIndent, y, line);
            y += LineStep();
        }
        p.setPen(Qt::gray);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }

private:
    static constexpr int kIndent = 16;
    int LineStep() const { return std::max(22, fontMetrics().lineSpacing() + 6); }

    const QStringList lines_ = {
        QStringLiteral("Esempi di decodifica (ordine dei byte invertito):"),
        QString(),
        QStringLiteral("Matricola:  4E61 BC00  ->  00BC614E  ->  12345678"),
        QString(),
        QStringLiteral("Totalizzatore (double):  7FFB 3A70 CE88 FB3F"),
        QStringLiteral("  inversione di double word, word e byte  ->  3FFB88CE703AFB7F  ->  1,7209"),
        QString(),
        QStringLiteral("Tensione (float):  6666 E542  ->  42E56666  ->  114,7"),
    };
};

}  // namespace

PageDecode::PageDecode(QWidget* parent) : QWidget(parent)
{
    auto* page = new QVBoxLayout(this);
    auto* group = new QGroupBox(QStringLiteral("Decodifica di registri da MODBUS"), this);
    page->addWidget(group);
    // Columns: row label, input, register count, button, result.
    grid_ = new QGridLayout(group);
    grid_->setHorizontalSpacing(8);
    grid_->setContentsMargins(16, 12, 16, 12);

    auto* info = new QLabel(QStringLiteral("Inserire nelle caselle sottostanti i dati in esadecimale "
                                           "ricevuti nella comunicazione con il modulo"), group);
    grid_->addWidget(info, 0, 0, 1, 4);
    auto* head1 = new QLabel(QStringLiteral("Word ricevute"), group);
    grid_->addWidget(head1, 1, 1, Qt::AlignHCenter);
    auto* head2 = new QLabel(QStringLiteral("Decodifica"), group);
    grid_->addWidget(head2, 1, 4, Qt::AlignHCenter);

    matricola_ = AddRow(group, WordKind::SerialNumber, "editMatricola", "btnDecMatricola", "editDecMatricola", 2);
    float_ = AddRow(group, WordKind::Single, "editFloat", "btnDecFloat", "editDecFloat", 3);
    double_ = AddRow(group, WordKind::Double, "editDouble", "btnDecDouble", "editDecDouble", 4);
    time_ = AddRow(group, WordKind::Time, "editTime", "btnDecTime", "editDecTime", 5);
    date_ = AddRow(group, WordKind::Date, "editDate", "btnDecDate", "editDecDate", 6);
    FitRows();

    connect(matricola_.button, &QPushButton::clicked, this, &PageDecode::btnDecMatricolaClick);
    connect(float_.button, &QPushButton::clicked, this, &PageDecode::btnDecFloatClick);
    connect(double_.button, &QPushButton::clicked, this, &PageDecode::btnDecDoubleClick);
    connect(time_.button, &QPushButton::clicked, this, &PageDecode::btnDecTimeClick);
    connect(date_.button, &QPushButton::clicked, this, &PageDecode::btnDecDateClick);

    auto* sample = new QPushButton(QStringLiteral("Valori di esempio"), group);
    sample->setObjectName(QStringLiteral("btnSampleValues"));
    grid_->addWidget(sample, 0, 4, Qt::AlignRight);
    connect(sample, &QPushButton::clicked, this, &PageDecode::btnSampleValuesClick);

    // Tab order row by row: input, button, result; then the sample button.
    QWidget* previous = nullptr;
    for (const Row* row : {&matricola_, &float_, &double_, &time_, &date_}) {
        for (QWidget* w : {static_cast<QWidget*>(row->input), static_cast<QWidget*>(row->button),
                           static_cast<QWidget*>(row->result)}) {
            if (previous)
                setTabOrder(previous, w);
            previous = w;
        }
    }
    setTabOrder(previous, sample);

    auto* picture = new ExamplesPicture(group);
    grid_->setRowMinimumHeight(7, 8);
    grid_->addWidget(picture, 8, 0, 1, 5, Qt::AlignHCenter | Qt::AlignTop);
    grid_->setRowStretch(8, 1);
    grid_->setColumnStretch(5, 1);  // a wider window leaves the rows as they are
}

PageDecode::Row PageDecode::AddRow(QWidget* group, WordKind kind, const char* inputName, const char* buttonName,
                                   const char* resultName, int gridRow)
{
    grid_->addWidget(new QLabel(QString::fromUtf8(WordKindLabel(kind)), group), gridRow, 0);
    Row row;
    row.input = new QLineEdit(group);
    row.input->setObjectName(QString::fromLatin1(inputName));
    row.input->installEventFilter(this);
    grid_->addWidget(row.input, gridRow, 1);
    grid_->addWidget(new QLabel(QStringLiteral("(%1 registri a 16 bit)").arg(WordCount(kind)), group), gridRow, 2);
    row.button = new QPushButton(QStringLiteral("Decodifica ->"), group);
    row.button->setObjectName(QString::fromLatin1(buttonName));
    row.button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    grid_->addWidget(row.button, gridRow, 3);
    row.result = new QLineEdit(group);
    row.result->setObjectName(QString::fromLatin1(resultName));
    row.result->setReadOnly(true);
    grid_->addWidget(row.result, gridRow, 4);
    return row;
}

void PageDecode::FitRows()
{
    const QFontMetrics metrics = fontMetrics();
    // Inputs: four register words in the widest hexadecimal digit, grouped by four.
    QStringList digits;
    for (const char c : std::string_view("0123456789ABCDEF"))
        digits.append(QString(QLatin1Char(c)));
    const QString word(4, WidestText(metrics, digits).at(0));
    const QString words = QStringList(4, word).join(QLatin1Char(' '));
    // Results: the longest double in general notation, the locale's date and time.
    const QString result = WidestText(metrics, {QLatin1Char('-') + WidestNumber(metrics, 1, 14) + QStringLiteral("E+") +
                                                    WidestNumber(metrics, 3, 0),
                                                WidestShortDate(metrics), WidestLongTime(metrics),
                                                QStringLiteral("invalid")});
    for (const Row* row : {&matricola_, &float_, &double_, &time_, &date_}) {
        for (QLineEdit* edit : {row->input, row->result}) {
            FitEdit(edit, edit == row->input ? words : result);
            edit->setSizePolicy(QSizePolicy::Minimum, QSizePolicy::Fixed);
        }
    }
}

bool PageDecode::eventFilter(QObject* watched, QEvent* event)
{
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (edit && event->type() == QEvent::FocusIn)        // editEnter: edit the bare digits
        edit->setText(QString::fromStdString(StripSpaces(edit->text().toStdString())));
    else if (edit && event->type() == QEvent::FocusOut)  // editExit: regroup by four from the right
        edit->setText(QString::fromStdString(RegroupHex(edit->text().toStdString())));
    return QWidget::eventFilter(watched, event);
}

void PageDecode::Report(const Row& row, WordKind kind)
{
    const DecodedWords decoded = DecodeWords(kind, row.input->text().toStdString());
    row.result->setText(decoded.text);
    if (decoded.ok) {
        // Back to the palette the edit inherits, so the text has the colour of the
        // desktop's theme (light on a dark theme) and follows a change of theme.
        row.input->setPalette(QPalette());
        return;
    }
    QPalette palette = row.input->palette();
    palette.setColor(QPalette::Text, QColor(255, 0, 0));
    row.input->setPalette(palette);
}

void PageDecode::btnDecMatricolaClick()
{
    Report(matricola_, WordKind::SerialNumber);
}

void PageDecode::btnDecFloatClick()
{
    Report(float_, WordKind::Single);
}

void PageDecode::btnDecDoubleClick()
{
    Report(double_, WordKind::Double);
}

void PageDecode::btnDecTimeClick()
{
    Report(time_, WordKind::Time);
}

void PageDecode::btnDecDateClick()
{
    Report(date_, WordKind::Date);
}

void PageDecode::btnSampleValuesClick()
{
    matricola_.input->setText(QStringLiteral("4E61 BC00"));
    float_.input->setText(QStringLiteral("6666 E542"));
    double_.input->setText(QStringLiteral("7FFB 3A70 CE88 FB3F"));
    date_.input->setText(QStringLiteral("DB07 0300 1E00"));
    time_.input->setText(QStringLiteral("1100 3A00 0000"));
    btnDecMatricolaClick();
    btnDecFloatClick();
    btnDecDoubleClick();
    btnDecDateClick();
    btnDecTimeClick();
}

}  // namespace veltro::app
