// The "Decodifica" page driven like a user: typing into the fields, clicking the buttons.
#include "core/Formatting.h"
#include "app/PageDecode.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using veltro::app::PageDecode;

namespace {
class DecodePage : public ::testing::Test {
protected:
    void SetUp() override
    {
        QLocale::setDefault(QLocale(QStringLiteral("it_IT")));
        page.resize(674, 580);
        page.show();
    }
    void TearDown() override { QLocale::setDefault(QLocale::c()); }

    QLineEdit* Edit(const char* name) { return page.findChild<QLineEdit*>(QString::fromLatin1(name)); }
    void Decode(const char* input, const char* text, const char* button)
    {
        Edit(input)->setText(QString::fromLatin1(text));
        QTest::mouseClick(page.findChild<QPushButton*>(QString::fromLatin1(button)), Qt::LeftButton);
    }
    bool IsRed(const char* input) { return Edit(input)->palette().color(QPalette::Text) == QColor(255, 0, 0); }

    PageDecode page;
};
}  // namespace

TEST_F(DecodePage, SampleValuesFillAndDecodeEveryRow)
{
    QTest::mouseClick(page.findChild<QPushButton*>("btnSampleValues"), Qt::LeftButton);
    EXPECT_EQ(Edit("editDecMatricola")->text(), "12345678");
    EXPECT_EQ(Edit("editDecFloat")->text(), "114,70");
    EXPECT_EQ(Edit("editDecDouble")->text(), "1,7209");
    EXPECT_EQ(Edit("editDecDate")->text(), veltro::core::FormatShortDate(QDate(2011, 3, 30)));
    EXPECT_EQ(Edit("editDecTime")->text(), "17:58:00");
}

TEST_F(DecodePage, InvalidInputShowsInvalidInRedUntilTheNextGoodDecode)
{
    Decode("editMatricola", "4E61 BC0", "btnDecMatricola");
    EXPECT_EQ(Edit("editDecMatricola")->text(), "invalid");
    EXPECT_TRUE(IsRed("editMatricola"));
    Decode("editMatricola", "FFFF FFFF", "btnDecMatricola");
    EXPECT_EQ(Edit("editDecMatricola")->text(), "4294967295");
    EXPECT_FALSE(IsRed("editMatricola"));

    Decode("editDate", "DB07 0200 1E00", "btnDecDate");   // 30 February
    EXPECT_EQ(Edit("editDecDate")->text(), "invalid");
    Decode("editTime", "1800 0000 0000", "btnDecTime");   // hour 24
    EXPECT_EQ(Edit("editDecTime")->text(), "invalid");
    Decode("editDouble", "", "btnDecDouble");
    EXPECT_EQ(Edit("editDecDouble")->text(), "invalid");
    Decode("editFloat", "0000 C07F", "btnDecFloat");
    EXPECT_EQ(Edit("editDecFloat")->text(), "NAN");
    Decode("editFloat", "0000 80FF", "btnDecFloat");
    EXPECT_EQ(Edit("editDecFloat")->text(), "-INF");
}

TEST_F(DecodePage, AGoodDecodeGivesTheInputTheThemesTextColourAgain)
{
    // A dark theme, as the page inherits it from the desktop.
    QPalette dark = page.palette();
    dark.setColor(QPalette::Base, QColor(35, 35, 35));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    page.setPalette(dark);
    Decode("editMatricola", "4E61 BC0", "btnDecMatricola");
    ASSERT_TRUE(IsRed("editMatricola"));
    Decode("editMatricola", "4E61 BC00", "btnDecMatricola");
    EXPECT_EQ(Edit("editMatricola")->palette().color(QPalette::Text), QColor(230, 230, 230));
}

TEST_F(DecodePage, LeavingAnInputRegroupsItAndEnteringStripsSpaces)
{
    QLineEdit* input = Edit("editMatricola");
    input->setFocus();
    QApplication::processEvents();
    QTest::keyClicks(input, "4e61bc00");
    Edit("editFloat")->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(input->text(), "4E61 BC00");
    input->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(input->text(), "4E61BC00");
}

TEST_F(DecodePage, EnglishLocaleUsesTheDecimalPoint)
{
    QLocale::setDefault(QLocale(QStringLiteral("en_US")));
    Decode("editFloat", "0000 803F", "btnDecFloat");
    EXPECT_EQ(Edit("editDecFloat")->text(), "1.00");
}
