#include "Protocol/ProtocolDlg.h"

#include "ui_ProtocolDlg.h"

#include "Common/CommonResources.h"
#include "Common/ScreenHeader.h"
#include "KovaCore/Fonts.h"
#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/ProtocolFiles.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <iterator>

#include <unistd.h>

namespace {

constexpr int kMessageDiskFull = 5;
constexpr int kMessageLoaded = 17;
constexpr int kMessageDeleteQuestion = 18;
constexpr int kMessageBuiltIn = 20;
constexpr int kMessageInUse = 21;
constexpr int kMessageListFull = 23;

enum class Parameter { MinSize, MaxSize, Level, Noise, Dilution };

// The parameter of each value column, from column 1.
const Parameter kTotalColumns[] = {Parameter::MinSize, Parameter::MaxSize, Parameter::Level, Parameter::Noise,
                                   Parameter::Dilution};
const Parameter kViabilityColumns[] = {Parameter::MinSize, Parameter::MaxSize, Parameter::Level,
                                       Parameter::Level,   Parameter::Noise,   Parameter::Dilution};

// What one touch of a stepper makes of `value`; `value` itself where its rule
// allows no change. The sizes keep min < max; the dilution factor moves on
// the steps 1, 2, ..., 10, 20, ..., 100.
int stepped(Parameter parameter, bool up, int value, int minSize, int maxSize)
{
    using namespace protocol_range;
    switch (parameter) {
    case Parameter::MinSize:
        return up ? (value < kMinSizeHigh && value + 1 < maxSize ? value + 1 : value)
                  : (value > kMinSizeLow ? value - 1 : value);
    case Parameter::MaxSize:
        return up ? (value < kMaxSizeHigh ? value + 1 : value)
                  : (value > kMaxSizeLow && value - 1 > minSize ? value - 1 : value);
    case Parameter::Level:
        return up ? (value < kLevelHigh ? value + 1 : value) : (value > kLevelLow ? value - 1 : value);
    case Parameter::Noise:
        return up ? (value < kNoiseHigh ? value + 1 : value) : (value > kNoiseLow ? value - 1 : value);
    case Parameter::Dilution:
        if (up)
            return value < kDilutionHigh ? (value <= 9 ? value + 1 : value + 10) : value;
        return value > kDilutionLow ? (value <= 10 ? value - 1 : value - 10) : value;
    }
    return value;
}

// A value label as a number; text that is no number counts as 0.
int valueOf(const QLabel* label)
{
    return label->text().toInt(nullptr, 10);
}

void step(const QList<QLabel*>& values, Parameter parameter, int column, bool up)
{
    QLabel* label = values[column - 1];
    const int value = valueOf(label);
    const int next = stepped(parameter, up, value, valueOf(values[0]), valueOf(values[1]));
    if (next != value)
        label->setText(QString::number(next));
}

// Makes the shown values, named `name`, the loaded protocol of the mode, as
// long as its file takes them; otherwise nothing changes. The gating of the
// loaded protocol stays.
template <class Shown, class Loaded>
bool makeLoaded(Shown shown, const QString& name, Loaded& loaded, QString& loadedName)
{
    Loaded next = loaded;
    shown.name = name;
    convert_protocol(shown, next);
    const QString path = KovaCoreApp::gen_local_protocol_ini_path(theApp.m_CountingMode, name);
    if (KovaCoreApp::put_local_protocol(path, next) != 0) {
        KLOG << "[Error] protocol not loaded, its file was not written:" << path;
        return false;
    }
    loaded = next;
    loadedName = name;
    return true;
}

}  // namespace

ProtocolDlg::ProtocolDlg(QWidget* parent)
    : QDialog(parent)
    , ui(new Ui::ProtocolDlg)
    , m_overlay(this)
{
    KLOG_ENTER;
    initCommonResources();
    Q_INIT_RESOURCE(ProtocolResources);
    ui->setupUi(this);
    setWindowFlags(Qt::FramelessWindowHint);
    m_totalValues = columnWidgets<QLabel>(QStringLiteral("LABEL_PROTOCOL_TOTAL_EDIT_%1"), 1, std::size(kTotalColumns));
    m_viabilityValues =
        columnWidgets<QLabel>(QStringLiteral("LABEL_PROTOCOL_VIABILITY_EDIT_%1"), 1, std::size(kViabilityColumns));
    for (const QString& kind : {QStringLiteral("TOTAL"), QStringLiteral("VIABILITY")}) {
        const int live = kind == QLatin1String("TOTAL") ? std::size(kTotalColumns) : std::size(kViabilityColumns);
        for (const QString& direction : {QStringLiteral("UP"), QStringLiteral("DOWN")}) {
            const QString name = QStringLiteral("BUTTON_PROTOCOL_%1_EDIT_%2_").arg(kind, direction) + QStringLiteral("%1");
            m_liveSteppers << columnWidgets<QPushButton>(name, 1, live);
            m_spareSteppers << columnWidgets<QPushButton>(name, live + 1, kColumns);
        }
    }
    SetFont();
    setMainUIState();
    DisplayProtocolList();
    ProtocolButtonState(false);
    LoadProtocol2(loadedProtocolName());
}

ProtocolDlg::~ProtocolDlg()
{
    delete ui;
}

template <class Widget>
QList<Widget*> ProtocolDlg::columnWidgets(const QString& pattern, int first, int last) const
{
    QList<Widget*> widgets;
    for (int n = first; n <= last; ++n)
        widgets << findChild<Widget*>(pattern.arg(n));
    return widgets;
}

void ProtocolDlg::SetFont()
{
    const QFont small = notoSans(15, 57);
    QList<QLabel*> smallLabels = columnWidgets<QLabel>(QStringLiteral("LABEL_PROTOCOL_TOTAL_TITLE_%1"), 1, kColumns)
                                 + columnWidgets<QLabel>(QStringLiteral("LABEL_PROTOCOL_VIABILITY_TITLE_%1"), 1, kColumns);
    smallLabels << ui->LABEL_PROTOCOL_LIST << ui->LABEL_COMMON_DATETIME << ui->LABEL_COMMON_PROTOCOL
                << ui->LABEL_LOGIN_ID << ui->LABEL_COMMON_TITLE << ui->LABEL_COMMON_TITLE2;
    for (QLabel* label : smallLabels)
        label->setFont(small);
    const QList<QLabel*> values = columnWidgets<QLabel>(QStringLiteral("LABEL_PROTOCOL_TOTAL_EDIT_%1"), 1, kColumns)
                                  + columnWidgets<QLabel>(QStringLiteral("LABEL_PROTOCOL_VIABILITY_EDIT_%1"), 1, kColumns);
    for (QLabel* value : values)
        value->setFont(notoSans(24, 57));
    ui->LIST_PROTOCOL->setFont(notoSans(18, QFont::Normal));
    for (QWidget* w : {ui->BUTTON_LOAD, ui->BUTTON_EDIT, ui->BUTTON_DELETE, ui->BUTTON_SAVE_AS})
        w->setFont(notoSans(22, 57));
    ui->LABEL_PROTOCOL_TITLE->setFont(notoSans(24, QFont::Bold));
}

void ProtocolDlg::setMainUIState()
{
    showCountingMode(ui->LABEL_MODE, ui->LABEL_COMMON_PROTOCOL);
    ui->FRAME_PROTOCOL_BF_TOTAL_CELL_COUNTING->setVisible(!isViabilityMode());
    ui->FRAME_PROTOCOL_BF_CELL_COUNTING_VIABILITY->setVisible(isViabilityMode());
}

void ProtocolDlg::ProtocolButtonState(bool enable)
{
    for (QPushButton* stepper : m_liveSteppers)
        stepper->setEnabled(enable);
    for (QPushButton* stepper : m_spareSteppers)
        stepper->setEnabled(false);
}

void ProtocolDlg::DisplayProtocolList()
{
    KLOG_ENTER;
    const int mode = theApp.m_CountingMode;
    QStringList entries = QDir(platform::rootPath(protocol_folder(mode)))
                              .entryList({QStringLiteral("*.ini")}, QDir::Files | QDir::CaseSensitive);
    // Character-code order, upper case before lower case.
    std::sort(entries.begin(), entries.end());

    ui->LIST_PROTOCOL->clear();
    ProtocolButtonState(false);
    if (entries.isEmpty())
        return;
    const QStringList builtins = builtin_protocol_names(mode);
    QStringList rows = builtins;
    for (QString entry : entries) {
        entry.chop(4);  // the last ".ini"
        if (!builtins.contains(entry))
            rows << entry;
    }
    ui->LIST_PROTOCOL->addItems(rows);
    const QList<QListWidgetItem*> loaded =
        ui->LIST_PROTOCOL->findItems(loadedProtocolName(), Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (!loaded.isEmpty())
        ui->LIST_PROTOCOL->setCurrentItem(loaded.first());
}

void ProtocolDlg::LoadProtocol2(QString name)
{
    const QString path = KovaCoreApp::gen_local_protocol_ini_path(theApp.m_CountingMode, name);
    QStringList values;
    if (isViabilityMode()) {
        PROTOCOL_BF_CELL_COUNTING_VIABILITY_t p;
        KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY(name, path, p);
        values = QStringList{p.min_search_size,       p.max_search_size, p.cell_detection_sensitivity,
                  p.live_cell_sensitivity, p.noise_reduction, p.dilution_factor};
    } else {
        PROTOCOL_BF_TOTAL_CELL_COUNTING_t p;
        KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(name, path, p);
        values = QStringList{p.min_search_size, p.max_search_size, p.cell_detection_sensitivity, p.noise_reduction,
                  p.dilution_factor};
    }
    const QList<QLabel*>& labels = isViabilityMode() ? m_viabilityValues : m_totalValues;
    for (int i = 0; i < labels.size(); ++i)
        labels[i]->setText(values[i]);
    // Drawn before the caller goes on; a touch waits for the caller.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ProtocolDlg::takeShownValues()
{
    if (isViabilityMode()) {
        const QList<QLabel*>& v = m_viabilityValues;
        m_ViabilityProtocol.min_search_size = v[0]->text();
        m_ViabilityProtocol.max_search_size = v[1]->text();
        m_ViabilityProtocol.cell_detection_sensitivity = v[2]->text();
        m_ViabilityProtocol.live_cell_sensitivity = v[3]->text();
        m_ViabilityProtocol.noise_reduction = v[4]->text();
        m_ViabilityProtocol.dilution_factor = v[5]->text();
    } else {
        const QList<QLabel*>& v = m_totalValues;
        m_TotalProtocol.min_search_size = v[0]->text();
        m_TotalProtocol.max_search_size = v[1]->text();
        m_TotalProtocol.cell_detection_sensitivity = v[2]->text();
        m_TotalProtocol.noise_reduction = v[3]->text();
        m_TotalProtocol.dilution_factor = v[4]->text();
    }
}

void ProtocolDlg::stepTotal(int column, bool up)
{
    step(m_totalValues, kTotalColumns[column - 1], column, up);
}

void ProtocolDlg::stepViability(int column, bool up)
{
    step(m_viabilityValues, kViabilityColumns[column - 1], column, up);
}

QString ProtocolDlg::currentName() const
{
    const QListWidgetItem* row = ui->LIST_PROTOCOL->currentItem();
    return row ? row->text() : QString();
}

QStringList ProtocolDlg::getProtocollist() const
{
    QStringList names;
    for (int i = 0; i < ui->LIST_PROTOCOL->count(); ++i)
        names << ui->LIST_PROTOCOL->item(i)->text();
    return names;
}

void ProtocolDlg::on_LIST_PROTOCOL_currentTextChanged(const QString& currentText)
{
    if (!currentText.isEmpty())
        LoadProtocol2(currentText);
    ProtocolButtonState(false);
}

void ProtocolDlg::on_BUTTON_EDIT_clicked()
{
    KLOG_ENTER;
    const QString name = currentName();
    if (name.isEmpty())
        return;
    if (builtin_protocol_names(theApp.m_CountingMode).contains(name)) {
        m_overlay.message(kMessageBuiltIn, name);
        return;
    }
    ProtocolButtonState(true);
}

void ProtocolDlg::on_BUTTON_LOAD_clicked()
{
    KLOG_ENTER;
    const QString name = currentName();
    if (name.isEmpty())
        return;
    takeShownValues();
    const bool loaded = isViabilityMode() ? makeLoaded(m_ViabilityProtocol, name, theApp.m_Loaded_Viability_Protocol,
                                                       theApp.m_strViabilityProtocolName)
                                          : makeLoaded(m_TotalProtocol, name, theApp.m_Loaded_Total_Protocol,
                                                       theApp.m_strTotalProtocolName);
    if (!loaded) {
        m_overlay.message(kMessageDiskFull);
        return;
    }
    m_overlay.message(kMessageLoaded);
    ProtocolButtonState(false);
    ui->LABEL_COMMON_PROTOCOL->setText(loadedProtocolName());
    update();
}

void ProtocolDlg::on_BUTTON_DELETE_clicked()
{
    KLOG_ENTER;
    const QString name = currentName();
    if (name.isEmpty())
        return;
    // The built-ins of both modes come first, even before the in-use check.
    if (builtin_protocol_names(BF_TOTAL_CELL_COUNTING).contains(name)) {
        m_overlay.message(kMessageBuiltIn, name);
        return;
    }
    if (name == loadedProtocolName()) {
        m_overlay.message(kMessageInUse);
        return;
    }
    if (builtin_protocol_names(theApp.m_CountingMode).contains(name)) {
        m_overlay.message(kMessageBuiltIn, name);
        return;
    }
    if (m_overlay.message(kMessageDeleteQuestion) != 1)
        return;

    const QString file = platform::rootPath(KovaCoreApp::gen_local_protocol_ini_path(theApp.m_CountingMode, name));
    if (!QFile::remove(file) && QFile::exists(file)) {
        KLOG << "[Error] protocol file not removed, the protocol stays:" << file;
        return;
    }
    // The row above becomes current (user rows follow the built-in ones).
    const int row = ui->LIST_PROTOCOL->currentRow();
    ui->LIST_PROTOCOL->setCurrentRow(row - 1);
    delete ui->LIST_PROTOCOL->takeItem(row);
    ::sync();
    update();
}

void ProtocolDlg::on_BUTTON_SAVE_AS_clicked()
{
    KLOG_ENTER;
    const QString name = currentName();
    if (name.isEmpty())
        return;
    if (ui->LIST_PROTOCOL->count() >= kMaxProtocols) {
        m_overlay.message(kMessageListFull);
        return;
    }
    m_SaveDlg.setFilename(name);
    m_SaveDlg.setProtooclList(getProtocollist());
    takeShownValues();
    if (isViabilityMode())
        m_SaveDlg.setData_Viability(m_ViabilityProtocol);
    else
        m_SaveDlg.setData_Total(m_TotalProtocol);
    m_SaveDlg.raise();
    m_SaveDlg.exec();
    DisplayProtocolList();
}

void ProtocolDlg::on_BUTTON_HOME_clicked()
{
    theApp.m_nCurrentDialog = KOVACORE_HOME_DIALOG;
    close();
}

void ProtocolDlg::slot_set_backLabel(bool bshow)
{
    if (m_SaveDlg.isVisible())
        m_SaveDlg.slot_set_backLabel(bshow);
    else
        m_overlay.request(bshow);
}

void ProtocolDlg::slotSave(QString name, bool detect)
{
    KLOG_VALUE("name", name);
    name = KovaCoreApp::removeLastSpace(name);
    if (!detect) {
        // The name becomes a file name: only what a typed name may hold.
        if (name.isEmpty() || KovaCoreApp::checkNameRule(name) != name || !save2(name)) {
            emit signalSaveFailed();
            return;
        }
        if (ui->LIST_PROTOCOL->findItems(name, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty())
            ui->LIST_PROTOCOL->addItem(name);
    }
    emit signalSaveCompleted();
}

bool ProtocolDlg::save2(const QString& name)
{
    const QString path = KovaCoreApp::gen_local_protocol_ini_path(theApp.m_CountingMode, name);
    const int written = isViabilityMode() ? KovaCoreApp::put_local_protocol(path, theApp.m_Loaded_Viability_Protocol)
                                          : KovaCoreApp::put_local_protocol(path, theApp.m_Loaded_Total_Protocol);
    if (written != 0)
        KLOG << "[Error] protocol file not written:" << path;
    return written == 0;
}

void ProtocolDlg::paintEvent(QPaintEvent* event)
{
    ui->LABEL_COMMON_DATETIME->setText(theApp.m_strDateTime);
    QDialog::paintEvent(event);
}
