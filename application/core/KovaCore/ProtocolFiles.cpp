#include "KovaCore/ProtocolFiles.h"

#include "KovaCore/KovaCoreApp.h"
#include "KovaCore/KovaPaths.h"
#include "File_IO/ini.h"
#include "Protocol/ProtocolTables.h"
#include "platform/Log.h"
#include "platform/Root.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include <cstring>
#include <iterator>

namespace {

QString settingName(const local_protocol_t& row)
{
    return QStringLiteral("%1/%2").arg(QLatin1String(row.group), QLatin1String(row.key));
}

// Writes `count` rows into the file; keys the file holds besides them stay
// as they are.
int writeRows(const local_protocol_t* rows, size_t count, const QString& path)
{
    const QString file = platform::rootPath(path);
    QSettings settings(file, QSettings::IniFormat);
    for (size_t i = 0; i < count; ++i)
        settings.setValue(settingName(rows[i]), static_cast<qint64>(rows[i].value));
    if (!syncSettings(settings)) {
        KLOG << "protocol file not written:" << path;
        return -1;
    }
    return 0;
}

// Writes every row of a built-in table, up to its terminator.
int writeTable(const local_protocol_t* table, const QString& path)
{
    size_t count = 0;
    while (table[count].value != -1)
        ++count;
    return writeRows(table, count, path);
}

// Writes one value per parameter under the INI names of the kind's DEFAULT
// table. Counted, not walked to a terminator: a value may well be -1.
template <size_t N>
int writeValues(const local_protocol_t (&defaults)[N], const QString& path, const int32_t (&values)[N - 1])
{
    local_protocol_t rows[N - 1];
    for (size_t i = 0; i + 1 < N; ++i) {
        rows[i] = defaults[i];
        rows[i].value = values[i];
    }
    return writeRows(rows, N - 1, path);
}

// Only the two counting modes have protocol files; any other type writes nothing.
int writeTableOfType(int type, const local_protocol_t* total, const local_protocol_t* viability, const QString& path)
{
    switch (type) {
    case BF_TOTAL_CELL_COUNTING:
        return writeTable(total, path);
    case BF_CELL_COUNTING_VIABILITY:
        return writeTable(viability, path);
    default:
        return -1;
    }
}

// Reads each parameter of the kind's DEFAULT table from the file, falling back
// to the table value for every parameter the file lacks.
template <size_t N>
void readTable(const local_protocol_t (&defaults)[N], const QString& path, QString* const (&fields)[N - 1])
{
    const QSettings settings(platform::rootPath(path), QSettings::IniFormat);
    for (size_t i = 0; i + 1 < N; ++i) {
        const local_protocol_t& row = defaults[i];
        *fields[i] = settings.value(settingName(row), QString::number(row.value)).toString();
    }
}

struct BuiltinProtocol
{
    int type;
    const char* name;
    int (*writer)(int, QString);
    int argument;
};

// In the order the files are written.
const BuiltinProtocol kBuiltinProtocols[] = {
    {BF_TOTAL_CELL_COUNTING, "DEFAULT", &KovaCoreApp::mk_DEFAULT_protocol_file, 0},
    {BF_CELL_COUNTING_VIABILITY, "DEFAULT", &KovaCoreApp::mk_DEFAULT_protocol_file, 1},
    {BF_TOTAL_CELL_COUNTING, "PBMC", &KovaCoreApp::mk_PBMC_protocol_file, 0},
    {BF_CELL_COUNTING_VIABILITY, "PBMC", &KovaCoreApp::mk_PBMC_protocol_file, 1},
    {BF_CELL_COUNTING_VIABILITY, "IQOQ", &KovaCoreApp::mk_BFV_protocol_file, 0},
    {BF_CELL_COUNTING_VIABILITY, "3T3", &KovaCoreApp::mk_BFV_protocol_file, 1},
    {BF_CELL_COUNTING_VIABILITY, "HeLa", &KovaCoreApp::mk_BFV_protocol_file, 2},
    {BF_CELL_COUNTING_VIABILITY, "HL-60", &KovaCoreApp::mk_BFV_protocol_file, 3},
    {BF_CELL_COUNTING_VIABILITY, "McCoy", &KovaCoreApp::mk_BFV_protocol_file, 4},
    {BF_CELL_COUNTING_VIABILITY, "RAW264_7", &KovaCoreApp::mk_BFV_protocol_file, 5},
    {BF_CELL_COUNTING_VIABILITY, "U-937", &KovaCoreApp::mk_BFV_protocol_file, 6},
};

}  // namespace

QString protocol_folder(int type)
{
    return QStringLiteral("%1/%2").arg(QLatin1String(kova::kProtocolDir),
                                       type != BF_TOTAL_CELL_COUNTING ? QStringLiteral("CELL_COUNTING_VIABILITY")
                                                                      : QStringLiteral("TOTAL_CELL_COUNTING"));
}

QString KovaCoreApp::gen_local_protocol_ini_path(int type, QString name)
{
    return QStringLiteral("%1/%2.ini").arg(protocol_folder(type), name);
}

int KovaCoreApp::mk_DEFAULT_protocol_file(int type, QString path)
{
    return writeTableOfType(type, local_protocol_BF_TOTAL_CELL_COUNTING, local_protocol_BF_CELL_COUNTING_VIABILITY, path);
}

int KovaCoreApp::mk_PBMC_protocol_file(int type, QString path)
{
    return writeTableOfType(type, PBMC_protocol_BF_TOTAL_CELL_COUNTING, PBMC_protocol_BF_CELL_COUNTING_VIABILITY, path);
}

int KovaCoreApp::mk_BFV_protocol_file(int index, QString path)
{
    static const local_protocol_t* const tables[] = {
        IQOQ_protocol_BF_CELL_COUNTING_VIABILITY,  NIH3T3_protocol_BF_CELL_COUNTING_VIABILITY,
        HeLa_protocol_BF_CELL_COUNTING_VIABILITY,  HL60_protocol_BF_CELL_COUNTING_VIABILITY,
        McCoy_protocol_BF_CELL_COUNTING_VIABILITY, RAW264_7_protocol_BF_CELL_COUNTING_VIABILITY,
        U937_protocol_BF_CELL_COUNTING_VIABILITY,
    };
    if (index < 0 || index >= static_cast<int>(std::size(tables)))
        return -1;
    return writeTable(tables[index], path);
}

int KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING(QString name, QString path,
                                                           PROTOCOL_BF_TOTAL_CELL_COUNTING_t& out)
{
    out.name = name;
    readTable(local_protocol_BF_TOTAL_CELL_COUNTING, path,
              {&out.min_search_size, &out.max_search_size, &out.cell_detection_sensitivity, &out.noise_reduction,
               &out.dilution_factor});
    return 0;
}

int KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY(QString name, QString path,
                                                               PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& out)
{
    out.name = name;
    readTable(local_protocol_BF_CELL_COUNTING_VIABILITY, path,
              {&out.min_search_size, &out.max_search_size, &out.cell_detection_sensitivity,
               &out.live_cell_sensitivity, &out.noise_reduction, &out.dilution_factor});
    return 0;
}

int KovaCoreApp::put_local_protocol(QString path, const counting_PROTOCOL_BF_TOTAL_CELL_COUNTING_t& protocol)
{
    return writeValues(local_protocol_BF_TOTAL_CELL_COUNTING, path,
                       {protocol.min_search_size, protocol.max_search_size, protocol.cell_detection_sensitivity,
                        protocol.noise_reduction, protocol.dilution_factor});
}

int KovaCoreApp::put_local_protocol(QString path, const counting_PROTOCOL_BF_CELL_COUNTING_VIABILITY_t& protocol)
{
    return writeValues(local_protocol_BF_CELL_COUNTING_VIABILITY, path,
                       {protocol.min_search_size, protocol.max_search_size, protocol.cell_detection_sensitivity,
                        protocol.live_cell_sensitivity, protocol.noise_reduction, protocol.dilution_factor});
}

int KovaCoreApp::get_local_protocol_BF_TOTAL_CELL_COUNTING_item(PROTOCOL_BF_TOTAL_CELL_COUNTING_ITEM_e item,
                                                                local_protocol_t* out)
{
    if (!out || item < BF_TOTAL_MIN_SEARCH_SIZE || item > BF_TOTAL_DILUTION_FACTOR)
        return -1;
    std::memcpy(out, &local_protocol_BF_TOTAL_CELL_COUNTING[item], sizeof(local_protocol_t));
    return 0;
}

int KovaCoreApp::get_local_protocol_BF_CELL_COUNTING_VIABILITY_item(PROTOCOL_BF_CELL_COUNTING_VIABILITY_ITEM_e item,
                                                                    local_protocol_t* out)
{
    if (!out || item < BF_VIABILITY_MIN_SEARCH_SIZE || item > BF_VIABILITY_DILUTION_FACTOR)
        return -1;
    std::memcpy(out, &local_protocol_BF_CELL_COUNTING_VIABILITY[item], sizeof(local_protocol_t));
    return 0;
}

QStringList builtin_protocol_names(int type)
{
    const int kind = type == BF_TOTAL_CELL_COUNTING ? BF_TOTAL_CELL_COUNTING : BF_CELL_COUNTING_VIABILITY;
    QStringList names;
    for (const BuiltinProtocol& builtin : kBuiltinProtocols) {
        if (builtin.type == kind)
            names << QLatin1String(builtin.name);
    }
    return names;
}

bool Init_local_protocol()
{
    bool allWritten = true;
    for (const BuiltinProtocol& builtin : kBuiltinProtocols) {
        const QString path = KovaCoreApp::gen_local_protocol_ini_path(builtin.type, QLatin1String(builtin.name));
        const QString file = platform::rootPath(path);
        if (!QFileInfo::exists(file))
            QDir().mkpath(QFileInfo(file).path());
        if (builtin.writer(builtin.argument, path) != 0)
            allWritten = false;
    }
    return allWritten;
}
