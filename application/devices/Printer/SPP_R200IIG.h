#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <string>
#include <vector>

class QFileSystemWatcher;

namespace printer {

enum PrinterManufacturer { NONE = 0, ZEBRA = 1, OTHER = 2 };
enum ErrorCode { PRINT_OK = 0, NO_DEVICE = 1, OPEN_FAILED = 2 };

// The label printer: noticed through a marker file that the system puts into
// "/opt/KOVA3/printer" while a printer is attached; prints text blocks as
// 2.0 × 5.5 inch label pages through the system print queue (on the virtual
// instrument: PDF files under the root, one file per job).
class SPP_R200IIG : public QObject
{
    Q_OBJECT

public:
    SPP_R200IIG();
    ~SPP_R200IIG() override;

    // Starts watching the marker folder and reports the state once.
    void initialize();

    bool detect(std::string& port);
    PrinterManufacturer get_printerManufacturer();
    PrinterManufacturer manufacturer() const { return m_Manufacturer; }

    void setData2(QList<QString>& labels);
    void setData_Zebra2(QList<QString>& labels);
    int print2();
    int print_Zebra2();

    // Raw label-language path straight to a device file.
    void setData(std::vector<std::string>& lines);
    void setData_Zebra(std::vector<std::string>& lines);
    void setData_Bixolon(std::vector<std::string>& lines);
    void setPort(std::string port) { m_strPort = std::move(port); }
    int print();
    int print_Zebra();

    // The logical folder that stands for the print queue on the virtual
    // instrument; a printer is installed while it exists.
    static QString virtualQueue();

signals:
    void signalConnectedDevice();
    void signalDisconnectedDevice();

public slots:
    void slotDirectoryChanged();

private:
    PrinterManufacturer m_Manufacturer = NONE;
    std::vector<std::string> m_Data;
    QList<QString> m_Data2;
    std::string m_strPort;
    QFileSystemWatcher* m_pWatcher = nullptr;
};

}  // namespace printer
