#include "app/PageDecode.h"

#include "app/Common.h"
#include "app/Formatting.h"
#include "app/RegisterWords.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace veltro::app {

namespace {

std::vector<uint16_t> ParseWords(const QLineEdit* edit, bool& ok)
{
    std::vector<uint16_t> words;
    ok = HexToWords(edit->text().toStdString(), words);
    return words;
}

// The explanatory picture: three worked examples of the byte order.
class ExamplesPicture : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.fillRect(rect(), Qt::white);
        p.setPen(Qt::black);
        const QStringList lines = {
            QStringLiteral("Esempi di decodifica (ordine dei byte invertito):"),
            QString(),
            QStringLiteral("Matricola:  4E61 BC00  ->  00BC614E  ->  12345678"),
            QString(),
            QStringLiteral("Totalizzatore (double):  7FFB 3A70 CE88 FB3F"),
            QStringLiteral("  inversione di double word, word e byte  ->  3FFB88CE703AFB7F  ->  1,7209"),
            QString(),
            QStringLiteral("Tensione (float):  6666 E542  ->  42E56666  ->  114,7"),
        };
        int y = 24;
        for (const QString& line : lines) {
            p.drawText(16, y, line);
            y += 22;
        }
        p.setPen(Qt::gray);
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
};

}  // namespace

PageDecode::PageDecode(QWidget* parent) : QWidget(parent)
{
    auto* group = new QGroupBox(QStringLiteral("Decodifica di registri da MODBUS"), this);
    group->setGeometry(8, 8, 649, 553);

    auto* info = new QLabel(QStringLiteral("Inserire nelle caselle sottostanti i dati in esadecimale "
                                           "ricevuti nella comunicazione con il modulo"), group);
    info->setGeometry(24, 32, 480, 16);
    auto* head1 = new QLabel(QStringLiteral("Word ricevute"), group);
    head1->setGeometry(120, 56, 129, 16);
    head1->setAlignment(Qt::AlignHCenter);
    auto* head2 = new QLabel(QStringLiteral("Decodifica"), group);
    head2->setGeometry(472, 56, 121, 16);
    head2->setAlignment(Qt::AlignHCenter);

    matricola_ = AddRow(group, "Matricola", "editMatricola", "btnDecMatricola", "editDecMatricola",
                        "(2 registri a 16 bit)", 80);
    float_ = AddRow(group, "Float IEEE 754", "editFloat", "btnDecFloat", "editDecFloat",
                    "(2 registri a 16 bit)", 112);
    double_ = AddRow(group, "Double IEEE 754", "editDouble", "btnDecDouble", "editDecDouble",
                     "(4 registri a 16 bit)", 144);
    time_ = AddRow(group, "Ora", "editTime", "btnDecTime", "editDecTime", "(3 registri a 16 bit)", 176);
    date_ = AddRow(group, "Data", "editDate", "btnDecDate", "editDecDate", "(3 registri a 16 bit)", 208);

    connect(matricola_.button, &QPushButton::clicked, this, &PageDecode::btnDecMatricolaClick);
    connect(float_.button, &QPushButton::clicked, this, &PageDecode::btnDecFloatClick);
    connect(double_.button, &QPushButton::clicked, this, &PageDecode::btnDecDoubleClick);
    connect(time_.button, &QPushButton::clicked, this, &PageDecode::btnDecTimeClick);
    connect(date_.button, &QPushButton::clicked, this, &PageDecode::btnDecDateClick);

    auto* sample = new QPushButton(QStringLiteral("Valori di esempio"), group);
    sample->setObjectName(QStringLiteral("btnSampleValues"));
    sample->setGeometry(520, 24, 105, 25);
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
    picture->setGeometry(72, 240, 510, 300);
}

PageDecode::Row PageDecode::AddRow(QWidget* group, const char* label, const char* inputName,
                                   const char* buttonName, const char* resultName,
                                   const char* countText, int y)
{
    auto* caption = new QLabel(QString::fromUtf8(label), group);
    caption->setGeometry(24, y + 3, 96, 16);
    Row row;
    row.input = new QLineEdit(group);
    row.input->setObjectName(QString::fromLatin1(inputName));
    row.input->setGeometry(120, y, 129, 21);
    row.input->installEventFilter(this);
    auto* count = new QLabel(QString::fromUtf8(countText), group);
    count->setGeometry(256, y + 3, 116, 16);
    row.button = new QPushButton(QStringLiteral("Decodifica ->"), group);
    row.button->setObjectName(QString::fromLatin1(buttonName));
    row.button->setGeometry(376, y, 75, 21);
    row.result = new QLineEdit(group);
    row.result->setObjectName(QString::fromLatin1(resultName));
    row.result->setGeometry(472, y, 121, 21);
    row.result->setReadOnly(true);
    return row;
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

void PageDecode::Report(const Row& row, const QString& text, bool ok)
{
    row.result->setText(ok ? text : QStringLiteral("invalid"));
    QPalette palette = row.input->palette();
    palette.setColor(QPalette::Text, ok ? row.input->style()->standardPalette().color(QPalette::Text)
                                        : QColor(255, 0, 0));
    row.input->setPalette(palette);
}

void PageDecode::btnDecMatricolaClick()
{
    bool ok = false;
    const auto words = ParseWords(matricola_.input, ok);
    uint32_t value = 0;
    ok = ok && WordsToLongWord(words, value);
    Report(matricola_, QString::number(value), ok);
}

void PageDecode::btnDecFloatClick()
{
    bool ok = false;
    const auto words = ParseWords(float_.input, ok);
    float value = 0;
    ok = ok && WordsToSingle(words, value);
    Report(float_, FormatFixed(static_cast<double>(value), 2), ok);
}

void PageDecode::btnDecDoubleClick()
{
    bool ok = false;
    const auto words = ParseWords(double_.input, ok);
    double value = 0;
    ok = ok && WordsToDouble(words, value);
    Report(double_, FormatGeneral(value), ok);
}

void PageDecode::btnDecTimeClick()
{
    bool ok = false;
    const auto words = ParseWords(time_.input, ok);
    const auto t = ok ? WordsToTime(words) : std::nullopt;
    Report(time_, t ? FormatLongTime(QTime(t->hour, t->minute, t->second)) : QString(), t.has_value());
}

void PageDecode::btnDecDateClick()
{
    bool ok = false;
    const auto words = ParseWords(date_.input, ok);
    const auto d = ok ? WordsToDate(words) : std::nullopt;
    Report(date_, d ? FormatShortDate(QDate(d->year, d->month, d->day)) : QString(), d.has_value());
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
