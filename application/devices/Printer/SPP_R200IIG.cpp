#include "Printer/SPP_R200IIG.h"

#include "platform/CommandRunner.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFile>
#include <QFileSystemWatcher>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <cstdio>

namespace printer {
namespace {

const QString kMarkerFolder = QStringLiteral("/opt/KOVA3/printer");
const QString kMarkerFile = kMarkerFolder + QStringLiteral("/ZD411");

// A fresh job file in the virtual queue: job-0001.pdf, job-0002.pdf, ...
QString nextJobFile(const QDir& queue)
{
    for (int n = 1;; ++n) {
        const QString name = queue.filePath(QStringLiteral("job-%1.pdf").arg(n, 4, 10, QLatin1Char('0')));
        if (!QFile::exists(name))
            return name;
    }
}

}  // namespace

SPP_R200IIG::SPP_R200IIG() = default;

SPP_R200IIG::~SPP_R200IIG()
{
    delete m_pWatcher;
}

QString SPP_R200IIG::virtualQueue()
{
    return QStringLiteral("/var/spool/kova3-labels");
}

void SPP_R200IIG::initialize()
{
    KLOG_ENTER;
    delete m_pWatcher;
    m_pWatcher = new QFileSystemWatcher(this);
    const QString folder = platform::rootPath(kMarkerFolder);
    // A folder that is not there cannot be watched; the marker lives in it.
    QDir().mkpath(folder);
    m_pWatcher->addPath(folder);
    connect(m_pWatcher, &QFileSystemWatcher::directoryChanged, this, &SPP_R200IIG::slotDirectoryChanged);
    slotDirectoryChanged();
}

void SPP_R200IIG::slotDirectoryChanged()
{
    std::string port;
    if (!detect(port)) {
        m_strPort.clear();
        m_Manufacturer = NONE;
        KLOG_VALUE("printer", "detached");
        emit signalDisconnectedDevice();
        return;
    }
    m_strPort = port;
    m_Manufacturer = get_printerManufacturer();
    KLOG_VALUE("printer maker", int(m_Manufacturer));
    emit signalConnectedDevice();
}

bool SPP_R200IIG::detect(std::string&)
{
    return QFile::exists(platform::rootPath(kMarkerFile));
}

PrinterManufacturer SPP_R200IIG::get_printerManufacturer()
{
    const platform::CommandResult result = platform::CommandRunner::run(QStringLiteral("lsusb"), {});
    return result.standardOutput.contains("Zebra") ? ZEBRA : OTHER;
}

void SPP_R200IIG::setData2(QList<QString>& labels)
{
    setData_Zebra2(labels);
}

void SPP_R200IIG::setData_Zebra2(QList<QString>& labels)
{
    m_Data2 = labels;
}

int SPP_R200IIG::print2()
{
    return print_Zebra2();
}

int SPP_R200IIG::print_Zebra2()
{
    KLOG_ENTER;
    QPrinter printer(QPrinter::ScreenResolution);
    if (platform::isRealInstrument()) {
        if (QPrinterInfo::availablePrinters().isEmpty()) {
            KLOG << "No printers found!";
            return OPEN_FAILED;
        }
    } else {
        const QDir queue(platform::rootPath(virtualQueue()));
        if (!queue.exists()) {
            KLOG << "No printers found!";
            return OPEN_FAILED;
        }
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(nextJobFile(queue));
    }
    // Nothing to print wastes no label.
    if (m_Data2.isEmpty())
        return PRINT_OK;

    printer.setPageSize(QPageSize(QSizeF(2.0, 5.5), QPageSize::Inch, QString(), QPageSize::ExactMatch));
    printer.setResolution(300);
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setPageMargins(QMarginsF(1, 0, 0, 0), QPageLayout::Millimeter);
    printer.setFullPage(false);

    QPainter painter;
    if (!painter.begin(&printer)) {
        KLOG << "print job not started";
        return OPEN_FAILED;
    }
    QFont font(QStringLiteral("Noto Sans"));
    font.setWeight(63);
    font.setPointSizeF(4.5);
    font.setStretch(75);
    painter.setFont(font);
    for (int i = 0; i < m_Data2.size(); ++i) {
        if (i > 0)
            printer.newPage();
        painter.drawText(QRect(0, 0, 380, 1350), Qt::AlignLeft | Qt::AlignTop, m_Data2.at(i));
    }
    painter.end();
    KLOG_VALUE("printer state", int(printer.printerState()));
    return PRINT_OK;
}

void SPP_R200IIG::setData(std::vector<std::string>& lines)
{
    if (m_Manufacturer == ZEBRA)
        setData_Zebra(lines);
    else
        setData_Bixolon(lines);
}

void SPP_R200IIG::setData_Zebra(std::vector<std::string>& lines)
{
    m_Data.clear();
    for (size_t k = 0; k < lines.size(); ++k) {
        std::string text = lines[k];
        for (size_t at = text.find('\n'); at != std::string::npos; at = text.find('\n', at + 4))
            text.replace(at, 1, " ^FS");
        m_Data.push_back("^FT400," + std::to_string(1277 - 24 * int(k)) + "^A0I,22,19^FH\\^FD" + text);
    }
}

void SPP_R200IIG::setData_Bixolon(std::vector<std::string>& lines)
{
    m_Data = lines;
}

int SPP_R200IIG::print()
{
    return print_Zebra();
}

int SPP_R200IIG::print_Zebra()
{
    if (m_Manufacturer != ZEBRA || m_strPort.empty())
        return NO_DEVICE;
    const QString port = platform::rootPath(QString::fromStdString(m_strPort));
    FILE* device = std::fopen(QFile::encodeName(port).constData(), "r+");
    if (!device)
        return OPEN_FAILED;
    std::string out = "\x10" "CT~~CD,~CC^~CT~\n";
    out += "^XA~TA000~JSN^LT0^MNW^MTT^PON^PMN^LH0,0^JMA^PR2,2~SD15^JUS^LRN^CI0^XZ\n";
    for (const char* line : {"^XA", "^MMT", "^PW400", "^LL1350", "^LS0"})
        out += std::string(line) + "\n";
    for (const std::string& line : m_Data)
        out += line + "\n";
    out += "^PQ1,0,1,Y^XZ\n";
    const bool written = std::fwrite(out.data(), 1, out.size(), device) == out.size();
    const bool closed = std::fclose(device) == 0;
    return written && closed ? PRINT_OK : OPEN_FAILED;
}

}  // namespace printer
