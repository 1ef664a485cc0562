// Every form of the application on the 800 × 480 screen, with the fonts
// scripts/setup installs: no label or button may show a text wider than its
// box. Each form is taken in the states that change its texts (pages, modes,
// messages), with the widest clock text the headers show.
#include "AppNetwork.h"
#include "ClippedText.h"
#include "QtPrinters.h"
#include "TempRoot.h"
#include "UpdatePackage.h"

#include "Count/CountDlg.h"
#include "Count/DiluionCalculatorDlg.h"
#include "Count/SavePrintDlg.h"
#include "Count/SavingDlg.h"
#include "Count/SelectPathDlg.h"
#include "Debug/DebugController.h"
#include "Debug/DebugMessage.h"
#include "Graph/GraphFrame.h"
#include "HomeDlg/HomeDlg.h"
#include "InitDlg/InitDlg.h"
#include "Keyboard/KeyboardDlg.h"
#include "Keyboard/KeyboardFrame.h"
#include "Keyboard/NumberKeypadDlg.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "KovaCore/MainSettings.h"
#include "Message/MessageCatalogue.h"
#include "Message/MessageDlg.h"
#include "Message/MessageExDlg.h"
#include "Network/NetInfo.h"
#include "Protocol/ProtocolDlg.h"
#include "Protocol/ProtocolSaveDlg.h"
#include "Review/FileOperationDialog.h"
#include "Review/ReviewDlg.h"
#include "Review/ReviewFuncDlg.h"
#include "Settings/CalibrateAutofocusDlg.h"
#include "Settings/CalibrateBackgroundDlg.h"
#include "Settings/IQOQDlg.h"
#include "Settings/NetworkSelectDlg.h"
#include "Settings/SetupDlg.h"
#include "Settings/Setup_DateTimeDlg.h"
#include "Settings/UpdateSoftwareDlg.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFontMetrics>
#include <QSettings>

#include <functional>
#include <memory>

namespace {

// "dd MMM yyyy hh:mm" of the month whose name is widest in the headers' font.
QDateTime widestClock()
{
    const QFontMetrics metrics(notoSans(18, QFont::Normal));
    QDateTime widest;
    for (int month = 1; month <= 12; ++month) {
        const QDateTime at(QDate(2028, month, 28), QTime(20, 58));
        const auto width = [&](const QDateTime& t) {
            return metrics.horizontalAdvance(t.toString(QStringLiteral("dd MMM yyyy hh:mm")));
        };
        if (!widest.isValid() || width(at) > width(widest))
            widest = at;
    }
    return widest;
}

// One state of a form: made, then brought into the state.
struct FormState
{
    QString name;
    std::function<std::unique_ptr<QWidget>()> make;
};

template <class Form, class... Args>
FormState form(const QString& name, std::function<void(Form&)> prepare = {}, Args... args)
{
    return {name, [=] {
                auto made = std::make_unique<Form>(args...);
                if (prepare)
                    prepare(*made);
                return std::unique_ptr<QWidget>(std::move(made));
            }};
}

// A form made while the counting mode is `mode`.
template <class Form>
FormState inMode(const QString& name, int mode)
{
    return {QStringLiteral("%1, mode %2").arg(name).arg(mode), [mode] {
                theApp.m_CountingMode = mode;
                return std::unique_ptr<QWidget>(std::make_unique<Form>());
            }};
}

class FormText : public ::testing::Test
{
protected:
    FormText()
    {
        appNetworkManager();
        // The settings of a new instrument: serial, versions, system information.
        QSettings settings(root.path(kova::kMainIni), QSettings::IniFormat);
        MainSettings::create_INI(settings);
        MainSettings::IdleMinutes idle;
        MainSettings::read_INI(settings, idle);
        const QDateTime clock = widestClock();
        HomeDlg::seams().now = [clock] { return clock; };
        theApp.m_strDateTime = clock.toString(QStringLiteral("dd MMM yyyy hh:mm"));
        theApp.m_strTotalProtocolName = QStringLiteral("DEFAULT");
        theApp.m_strViabilityProtocolName = QStringLiteral("RAW264_7");
    }
    ~FormText() override
    {
        HomeDlg::seams().now = nullptr;
        theApp.m_CountingMode = BF_TOTAL_CELL_COUNTING;
        theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    }

    void SetUp() override { ASSERT_TRUE(fontInstalled(QStringLiteral("Noto Sans"))) << "scripts/setup installs it"; }

    // Every state is rendered and measured; all clipped texts are reported.
    void expectNothingClipped(const QList<FormState>& states)
    {
        for (const FormState& state : states) {
            const std::unique_ptr<QWidget> made = state.make();
            const QList<ClippedText> clipped = renderedClippedTexts(made.get());
            EXPECT_TRUE(clipped.isEmpty()) << state.name.toStdString() << ":\n" << describe(clipped);
        }
    }

    TempRoot root;
};

TEST_F(FormText, Screens)
{
    QList<FormState> states{form<HomeDlg>("home screen")};
    for (int state : {CountDlg::StateCount, CountDlg::StateResult, CountDlg::StateHistogram, CountDlg::StateImage})
        states << form<CountDlg>(QStringLiteral("counting screen, state %1").arg(state),
                                 [state](CountDlg& dlg) { dlg.setMainUIState(state); });
    for (int mode : {BF_TOTAL_CELL_COUNTING, BF_CELL_COUNTING_VIABILITY})
        states << inMode<ProtocolDlg>("protocol screen", mode) << inMode<ReviewDlg>("review screen", mode);
    states << form<SetupDlg>("settings screen with its pages");
    expectNothingClipped(states);
}

TEST_F(FormText, Dialogs)
{
    QList<FormState> states{
        form<SavePrintDlg>("save and print"),
        form<SelectPathDlg>("destination"),
        form<GraphFrame>("histogram graph"),
        form<InitDlg>("splash", {}, StartupState),
        form<ProtocolSaveDlg>("protocol save as"),
        form<ReviewFuncDlg>("export or delete"),
        form<FileOperationDialog>("copy progress"),
        form<Setup_DateTimeDlg>("date and time"),
        form<IQOQDlg>("system information"),
        form<CalibrateAutofocusDlg>("focus calibration"),
        form<CalibrateBackgroundDlg>("illumination calibration"),
        form<NetworkSelectDlg>("Wi-Fi networks", {}, std::make_shared<NetInfo>(platform::NetInterface{})),
        form<DebugController>("debug panel"),
        form<DebugMessage>("debug messages"),
    };
    for (int mode : {BF_TOTAL_CELL_COUNTING, BF_CELL_COUNTING_VIABILITY})
        states << inMode<DiluionCalculatorDlg>("dilution calculator", mode);
    for (int state = SOFTWARE_DOWNGRADE; state <= SOFTWARE_UNAUTHORIZED; ++state)
        states << form<UpdateSoftwareDlg>(QStringLiteral("software update, state %1").arg(state),
                                          [state](UpdateSoftwareDlg& dialog) {
                                              dialog.setMessageType(static_cast<SoftWareMessageType>(state));
                                          });
    // "found" with the version a package on the stick gives
    states << form<UpdateSoftwareDlg>("software update, a package found", [this](UpdateSoftwareDlg& dialog) {
        theApp.m_CurrentVersion = QStringLiteral("1.0.2");
        ASSERT_TRUE(UpdatePackage("10.20.30-RC1", "exit 0\n").write(root.path("/mnt/KOVA3_10_20_30.ko3")));
        QFileInfo package;
        dialog.setMessageType(dialog.checkNewSoftware(package));
        EXPECT_EQ(dialog.messageType(), SOFTWARE_FOUND);
    });
    for (int mode : {SavingDlg::ModeSaving, SavingDlg::ModeCompleted, SavingDlg::ModeWriteFailed,
                     SavingDlg::ModeStickRemoved})
        states << form<SavingDlg>(QStringLiteral("saving box, mode %1").arg(mode),
                                  [mode](SavingDlg& box) { box.setMode(mode); });
    for (int mode : {KeyboardDlg::MODE_WIFI_PASSWORD, KeyboardDlg::MODE_BASE_NAME})
        states << form<KeyboardDlg>(QStringLiteral("keyboard, mode %1").arg(mode),
                                    [mode](KeyboardDlg& keyboard) { keyboard.setMode(mode); });
    for (int mode = KEYBOARD_MODE_DEFAULT; mode <= KEYBOARD_MODE_BASE_NAME; ++mode)
        for (bool upper : {false, true})
            states << form<KeyboardFrame>(QStringLiteral("keys, mode %1%2").arg(mode).arg(upper ? ", shifted" : ""),
                                          [mode, upper](KeyboardFrame& keys) {
                                              keys.setMainMode(static_cast<KeyboardMode>(mode));
                                              keys.setUpperMode(upper);
                                          });
    for (int mode = NUMBER_KEYPAD_NUMBER; mode <= NUMBER_KEYPAD_DILUTION; ++mode)
        states << form<NumberKeypadDlg>(QStringLiteral("keypad, mode %1").arg(mode), [mode](NumberKeypadDlg& pad) {
            pad.set_mode(static_cast<eNumberKeyPadMode>(mode));
        });
    expectNothingClipped(states);
}

// The arguments the callers of a message give it; one empty set for the rest.
QList<QStringList> callerArguments(int type)
{
    const QString address = QStringLiteral("255.255.255.255");
    switch (type) {
    case 10:
    case 11:
        return {{"the first field for \nthe current concentration"},
                {"the Second field for \nthe current concentration"},
                {"the first field for \nthe desired concentration"},
                {"the second field for \nthe desired concentration"}};
    case 12:
        return {{"final volume"}};
    case 20:
        return {{"DEFAULT"}, {"RAW264_7"}, {"HL-60"}};
    case 30:
        return {{address, address, address}};
    case 38:
        return {{"99999"}};
    default:
        return {{}};
    }
}

TEST_F(FormText, Messages)
{
    QList<FormState> states;
    for (int type = MessageCatalogue::kFirst; type <= MessageCatalogue::kLast; ++type)
        for (const QStringList& args : callerArguments(type))
            states << form<MessageDlg>(QStringLiteral("message %1 %2").arg(type).arg(args.join(", ")),
                                       [type, args](MessageDlg& box) {
                                           box.m_strArg2 = args.value(0);
                                           box.m_strArg3 = args.value(1);
                                           box.m_strArg4 = args.value(2);
                                           box.setMsgType(type);
                                       });
    for (int type = 3; type <= 6; ++type)
        states << form<MessageExDlg>(QStringLiteral("save message %1").arg(type),
                                     [type](MessageExDlg& box) { box.setMsgType(type); });
    expectNothingClipped(states);
}

}  // namespace
