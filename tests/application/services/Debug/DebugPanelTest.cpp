#include "Debug/DebugController.h"
#include "Debug/DebugMessage.h"

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace {

struct PanelForm
{
    const char* objectName;
    const char* textArea;
    QSize size;
    bool readOnly;
    QRect button;
};

std::unique_ptr<DebugPanel> makePanel(const PanelForm& form)
{
    if (QByteArray(form.objectName) == "DebugMessage")
        return std::make_unique<DebugMessage>();
    return std::make_unique<DebugController>();
}

const PanelForm kForms[] = {
    {"DebugMessage", "PLAIN_DEBUG_MESSAGE", {597, 398}, false, {510, 5, 60, 30}},
    {"DebugController", "PLAIN_DEBUG_CONTROLLER", {640, 480}, true, {560, 5, 60, 30}},
};

TEST(DebugPanel, FormOfBothPanels)
{
    for (const PanelForm& form : kForms) {
        SCOPED_TRACE(form.objectName);
        const auto panel = makePanel(form);
        EXPECT_EQ(panel->objectName(), QString(form.objectName));
        EXPECT_EQ(panel->size(), form.size);
        EXPECT_EQ(panel->windowTitle(), QString("Form"));

        const auto* text = panel->findChild<QPlainTextEdit*>(form.textArea);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->geometry(), QRect(0, 0, 640, 480));
        EXPECT_EQ(text->isReadOnly(), form.readOnly);
        EXPECT_EQ(text->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        EXPECT_EQ(text->font().family(), QString("DejaVu Sans"));
        EXPECT_EQ(text->font().pointSize(), 9);

        const auto* button = panel->findChild<QPushButton*>("BUTTON_CLEAR");
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->geometry(), form.button);
        EXPECT_EQ(button->text(), QString("Clear"));
        EXPECT_EQ(button->focusPolicy(), Qt::NoFocus);
        EXPECT_TRUE(button->isEnabled());
        EXPECT_EQ(button->font().pointSize(), 9);
    }
}

TEST(DebugPanel, ClearEmptiesAndLaterTextStartsAfresh)
{
    for (const PanelForm& form : kForms) {
        SCOPED_TRACE(form.objectName);
        const auto panel = makePanel(form);
        panel->insertPlainText("step 1\n");
        panel->insertPlainText("step 2\n");
        const auto* text = panel->findChild<QPlainTextEdit*>(form.textArea);
        EXPECT_EQ(text->toPlainText(), QString("step 1\nstep 2\n"));

        QTest::mouseClick(panel->findChild<QPushButton*>("BUTTON_CLEAR"), Qt::LeftButton);
        EXPECT_TRUE(text->toPlainText().isEmpty());

        panel->insertPlainText("step 3\n");
        EXPECT_EQ(text->toPlainText(), QString("step 3\n"));
    }
}

TEST(DebugPanel, TextGoesWhereTheCursorStands)
{
    DebugMessage panel;
    auto* text = panel.findChild<QPlainTextEdit*>("PLAIN_DEBUG_MESSAGE");
    panel.insertPlainText("focus 120\n");
    QTextCursor cursor = text->textCursor();
    cursor.setPosition(0);
    text->setTextCursor(cursor);
    panel.insertPlainText("start\n");
    EXPECT_EQ(text->toPlainText(), QString("start\nfocus 120\n"));
}

TEST(DebugPanel, NewestLineShowsAfterABatch)
{
    DebugController panel;
    panel.resize(640, 480);
    auto* text = panel.findChild<QPlainTextEdit*>("PLAIN_DEBUG_CONTROLLER");
    for (int line = 0; line < 200; ++line)
        panel.insertPlainText(QString("$,STM1,GET_POS,%1,\n").arg(line));
    text->verticalScrollBar()->setValue(0);
    panel.ensureCursorVisible();
    EXPECT_EQ(text->verticalScrollBar()->value(), text->verticalScrollBar()->maximum());
}

}  // namespace
