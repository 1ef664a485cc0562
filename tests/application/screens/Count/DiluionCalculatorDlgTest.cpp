#include "Count/DiluionCalculatorDlg.h"

#include "KovaCore/KovaCoreApp.h"
#include "ModalAnswerer.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QValidator>

#include <cmath>

namespace {

// The page on a concentration, touched and typed into as a user does.
class Page
{
public:
    explicit Page(float total, int totalExp, float live = 0.0f, int liveExp = 0, float dead = 0.0f, int deadExp = 0)
    {
        dialog.setConcentration(total, totalExp, live, liveExp, dead, deadExp);
        dialog.show();
    }

    QLineEdit* edit(const char* name) { return dialog.findChild<QLineEdit*>(name); }
    QPushButton* button(const QString& name) { return dialog.findChild<QPushButton*>(name); }
    QString result() { return dialog.findChild<QLabel*>("LABEL_RESULT")->text(); }

    // Touches the edit, empties it and types on the page's key pad ("<" is DEL).
    void type(const char* field, const QString& keys)
    {
        QTest::mouseClick(edit(field), Qt::LeftButton);
        press(QStringLiteral("<<<<") + keys);
    }
    void press(const QString& keys)
    {
        for (const QChar c : keys) {
            const QString name = c == '.' ? "DOT" : c == '<' ? "DEL" : QString(c);
            button("BUTTON_KEY_" + name)->click();
        }
    }
    void fill(const QString& desired, const QString& exponent, const QString& volume)
    {
        type("EDIT_DESIRED", desired);
        type("EDIT_DESIRED_EXP", exponent);
        type("EDIT_FINAL_VOLUME", volume);
    }
    void calculate() { button("BUTTON_CALCULATE")->click(); }
    void nextSource() { button("BUTTON_CURRENT_CONCENTRATION")->click(); }

    DiluionCalculatorDlg dialog;
};

class DilutionCalculator : public ::testing::Test
{
protected:
    void SetUp() override { theApp.m_CountingMode = BF_CELL_COUNTING_VIABILITY; }
    void TearDown() override { EXPECT_EQ(answerer.unplanned, 0); }

    ModalAnswerer answerer;
};

TEST_F(DilutionCalculator, ResultsFromTheCountsTotal)
{
    const struct {
        float current;
        int exponent;
        const char* desired;
        const char* desiredExp;
        const char* volume;
        const char* result;
    } cases[] = {
        {5.0f, 6, "1", "6", "10", "  Dilute 2 mL of cell sample in \n  8 mL of buffer."},
        {1.0f, 6, "3", "5", "1", "  Dilute 0.3 mL of cell sample in \n  0.7 mL of buffer."},
        {2.5f, 6, "2.5", "6", "4", "  Dilute 4 mL of cell sample in \n  0 mL of buffer."},
        {9.99f, 6, "9.99", "6", "1000", "  Dilute 1000 mL of cell sample in \n  0 mL of buffer."},
        {5.0f, 6, "1", "6", "0.01", "  Dilute 0.002 mL of cell sample in \n  0.008 mL of buffer."},
        {9.99f, 9, "1", "0", "1", "  Out of range: the calculated volume is < 0.001"},
        {1.0f, 5, "2", "5", "1", "  Desired concentration cannot exceed \n  current concentration."},
        {0.0f, 0, "1", "0", "1", "  Desired concentration cannot exceed \n  current concentration."},
    };
    for (const auto& c : cases) {
        Page page(c.current, c.exponent);
        page.fill(c.desired, c.desiredExp, c.volume);
        page.calculate();
        EXPECT_EQ(page.result().toStdString(), c.result) << c.current << "e" << c.exponent << " -> " << c.desired;
    }
}

TEST_F(DilutionCalculator, RefusalsNameTheFieldEmptyItAndFocusIt)
{
    const struct {
        const char* desired;
        const char* desiredExp;
        const char* volume;
        const char* code;
        const char* field;
        const char* edit;
    } cases[] = {
        {"10", "6", "1", "0010", "the first field for <br/>the desired concentration", "EDIT_DESIRED"},
        {"0.5", "6", "1", "0010", "the first field for <br/>the desired concentration", "EDIT_DESIRED"},
        {"1", "", "1", "0011", "the second field for <br/>the desired concentration", "EDIT_DESIRED_EXP"},
        {"1", "0", "0", "0012", "Please provide the final volume within the", "EDIT_FINAL_VOLUME"},
        {"1", "0", "", "0012", "Please provide the final volume within the", "EDIT_FINAL_VOLUME"},
    };
    for (const auto& c : cases) {
        Page page(5.0f, 6);
        page.fill("1", "6", "10");  // a first result that a refusal leaves standing
        page.calculate();
        const QString before = page.result();
        page.fill(c.desired, c.desiredExp, c.volume);
        answerer.plan(true);
        page.calculate();
        ASSERT_TRUE(answerer.allPlannedAnswered()) << c.field;
        EXPECT_TRUE(answerer.shown.last().contains(QStringLiteral("Code : ") + c.code)) << c.field;
        EXPECT_TRUE(answerer.shown.last().contains(c.field)) << answerer.shown.last().toStdString();
        EXPECT_TRUE(page.edit(c.edit)->text().isEmpty()) << c.edit;
        EXPECT_EQ(page.dialog.focusWidget(), page.edit(c.edit)) << c.edit;
        EXPECT_EQ(page.result(), before);
    }
}

TEST_F(DilutionCalculator, CustomConcentrationIsCheckedToo)
{
    Page page(5.0f, 6, 4.0f, 6, 1.0f, 6);
    for (int i = 0; i < 3; ++i)
        page.nextSource();
    ASSERT_EQ(page.button("BUTTON_CURRENT_CONCENTRATION")->text(), "Custom");
    EXPECT_EQ(page.edit("EDIT_CURRENT")->text(), "0");
    EXPECT_EQ(page.edit("EDIT_CURRENT_EXP")->text(), "0");
    page.fill("1", "5", "1");
    answerer.plan(true);
    page.calculate();
    EXPECT_TRUE(answerer.shown.last().contains("the first field for <br/>the current concentration"));
    EXPECT_TRUE(page.edit("EDIT_CURRENT")->text().isEmpty());

    page.type("EDIT_CURRENT", "2");
    page.type("EDIT_CURRENT_EXP", "<");
    page.fill("1", "5", "1");
    answerer.plan(true);
    page.calculate();
    EXPECT_TRUE(answerer.shown.last().contains("the Second field for <br/>the current concentration"));

    page.type("EDIT_CURRENT_EXP", "6");
    page.fill("1", "5", "1");
    page.calculate();
    EXPECT_EQ(page.result(), "  Dilute 0.05 mL of cell sample in \n  0.95 mL of buffer.");
}

TEST_F(DilutionCalculator, SourceCyclesByCountingMode)
{
    Page viability(2.5f, 6, 9.87f, 5, 4.0f, 4);
    const struct {
        const char* name;
        const char* mantissa;
        const char* exponent;
        bool editable;
    } cycle[] = {{"Live", "9.9", "5", false}, {"Dead", "4", "4", false}, {"Custom", "0", "0", true},
                 {"Total", "2.5", "6", false}};
    for (const auto& step : cycle) {
        viability.fill("1", "1", "1");
        viability.nextSource();
        EXPECT_EQ(viability.button("BUTTON_CURRENT_CONCENTRATION")->text(), step.name);
        EXPECT_EQ(viability.edit("EDIT_CURRENT")->text(), step.mantissa) << step.name;
        EXPECT_EQ(viability.edit("EDIT_CURRENT_EXP")->text(), step.exponent) << step.name;
        EXPECT_EQ(viability.edit("EDIT_CURRENT")->isReadOnly(), !step.editable) << step.name;
        EXPECT_TRUE(viability.edit("EDIT_DESIRED")->text().isEmpty()) << "loading empties the other fields";
    }

    // A total count has nothing else to choose: a touch leaves the entries and the result.
    theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
    Page total(2.5f, 6, 9.87f, 5);
    total.fill("1", "5", "1");
    total.calculate();
    const QString result = total.result();
    ASSERT_FALSE(result.isEmpty());
    for (int i = 0; i < 4; ++i) {
        total.nextSource();
        EXPECT_EQ(total.button("BUTTON_CURRENT_CONCENTRATION")->text(), "Total");
        EXPECT_EQ(total.edit("EDIT_CURRENT")->text(), "2.5");
        EXPECT_TRUE(total.edit("EDIT_CURRENT")->isReadOnly());
        EXPECT_EQ(total.edit("EDIT_DESIRED")->text(), "1");
        EXPECT_EQ(total.edit("EDIT_DESIRED_EXP")->text(), "5");
        EXPECT_EQ(total.edit("EDIT_FINAL_VOLUME")->text(), "1");
        EXPECT_EQ(total.result(), result);
    }
}

TEST_F(DilutionCalculator, KeysGoToTheFieldLastTouched)
{
    Page page(5.0f, 6);
    page.press("12");
    for (const char* name : {"EDIT_DESIRED", "EDIT_DESIRED_EXP", "EDIT_FINAL_VOLUME"})
        EXPECT_TRUE(page.edit(name)->text().isEmpty()) << "no field touched yet: " << name;
    EXPECT_EQ(page.edit("EDIT_CURRENT")->text(), "5");

    page.type("EDIT_CURRENT", "9");
    EXPECT_EQ(page.edit("EDIT_CURRENT")->text(), "5") << "the count's value cannot be typed over";

    page.type("EDIT_DESIRED", "9.991");
    EXPECT_EQ(page.edit("EDIT_DESIRED")->text(), "9.99") << "two decimals at most";
    page.press("<<");
    EXPECT_EQ(page.edit("EDIT_DESIRED")->text(), "9.");
    page.type("EDIT_DESIRED_EXP", "12");
    EXPECT_EQ(page.edit("EDIT_DESIRED_EXP")->text(), "1");
    page.press("<");
    page.type("EDIT_FINAL_VOLUME", "1000.5");
    EXPECT_EQ(page.edit("EDIT_FINAL_VOLUME")->text(), "1000");
}

TEST_F(DilutionCalculator, PreDilutionAndStockFieldsAreNotOffered)
{
    Page page(5.0f, 6);
    for (const char* name : {"LABEL_PREDILUTION_FACTOR", "EDIT_PRE_FACTOR", "LABEL_STOCK_CONCENTRATION",
                             "EDIT_STOCK", "EDIT_STOCK_EXP"})
        EXPECT_FALSE(page.dialog.findChild<QWidget*>(name)->isVisible()) << name;

    const QRect keyPad = page.dialog.findChild<QWidget*>("FRAME_KEY")->geometry();
    for (const char* name : {"LABEL_1", "LABEL_10e_2", "LABEL_mL2"})
        EXPECT_TRUE(keyPad.contains(page.dialog.findChild<QWidget*>(name)->geometry())) << name << " lies under the keys";

    // Their rules are those of the offered fields of the same kind.
    struct Case {
        const char* edit;
        QString text;
        QValidator::State state;
    } const cases[] = {
        {"EDIT_STOCK", "9.99", QValidator::Acceptable},
        {"EDIT_STOCK", "1.234", QValidator::Invalid},
        {"EDIT_STOCK_EXP", "9", QValidator::Acceptable},
        {"EDIT_STOCK_EXP", "x", QValidator::Invalid},
    };
    for (const Case& c : cases) {
        QString text = c.text;
        int pos = text.size();
        EXPECT_EQ(page.edit(c.edit)->validator()->validate(text, pos), c.state) << c.edit << " " << qPrintable(c.text);
    }
}

TEST(TotalConcentration, SumsWithoutRounding)
{
    const struct {
        float m1;
        int e1;
        float m2;
        int e2;
        float mantissa;
        int exponent;
    } cases[] = {
        {5.0f, 6, 5.0f, 6, 1.0f, 7},
        {2.5f, 6, 3.0f, 5, 2.8f, 6},
        {3.0f, 5, 2.5f, 6, 2.8f, 6},
        {0.5f, 6, 0.2f, 6, 0.7f, 6},
        {9.99f, 6, 9.99f, 6, 1.998f, 7},
        {0.0f, 0, 0.0f, 0, 0.0f, 0},
        {2.0f, 6, 1.0f, 0, 2.000001f, 6},
    };
    for (const auto& c : cases) {
        float mantissa = -1.0f;
        int exponent = -1;
        getTotalConcentration(c.m1, c.e1, c.m2, c.e2, mantissa, exponent);
        EXPECT_NEAR(mantissa, c.mantissa, 1e-5f) << c.m1 << "e" << c.e1 << " + " << c.m2 << "e" << c.e2;
        EXPECT_EQ(exponent, c.exponent) << c.m1 << "e" << c.e1 << " + " << c.m2 << "e" << c.e2;
    }

    float mantissa = 0.0f;
    int exponent = 0;
    getTotalConcentration(INFINITY, 0, 1.0f, 0, mantissa, exponent);
    EXPECT_TRUE(std::isinf(mantissa)) << "no endless loop";
}

}  // namespace
