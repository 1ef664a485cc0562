#pragma once

#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ProtocolFiles.h"
#include "Message/MessageCatalogue.h"
#include "ModalAnswerer.h"
#include "QtPrinters.h"
#include "TempRoot.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QStringList>

// The protocol screens' tests: a root laid out as the start-up leaves it,
// theApp's protocol fields as a test sets them (restored afterwards), and the
// message boxes answered as planned, none unexpected.
class ProtocolTestRoot : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(Init_local_protocol());
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_strTotalProtocolName = QStringLiteral("DEFAULT");
        theApp.m_strViabilityProtocolName = QStringLiteral("DEFAULT");
        theApp.m_nCurrentDialog = KOVACORE_PROTOCOL_DIALOG;
    }

    void TearDown() override
    {
        EXPECT_EQ(boxes.unplanned, 0) << "a message nobody expected: " << boxes.shown.join(" | ").toStdString();
        EXPECT_TRUE(boxes.allPlannedAnswered()) << "an expected message never came";
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
        theApp.m_Loaded_Total_Protocol = {};
        theApp.m_Loaded_Viability_Protocol = {};
    }

    // The physical folder of a mode's protocol files.
    QString folder(int mode) const { return root.path(protocol_folder(mode)); }
    QStringList files(int mode) const
    {
        return QDir(folder(mode)).entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    // A protocol file with these parameter values, in parameter order.
    void writeProtocol(int mode, const QString& name, const QList<int>& v) const
    {
        const QString path = KovaCoreApp::gen_local_protocol_ini_path(mode, name);
        if (mode == BF_TOTAL_CELL_COUNTING) {
            const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t p{name, v[0], v[1], v[2], v[3], v[4], 0, 0};
            ASSERT_EQ(KovaCoreApp::put_local_protocol(path, p), 0);
        } else {
            const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t p{name, v[0], v[1], v[2], v[3], v[4], v[5], 0, 0};
            ASSERT_EQ(KovaCoreApp::put_local_protocol(path, p), 0);
        }
    }
    // The text a message box of the catalogue shows.
    static QString message(int type, const QString& arg = QString())
    {
        return MessageCatalogue::text(type, {arg});
    }

    TempRoot root;
    ModalAnswerer boxes;
};
