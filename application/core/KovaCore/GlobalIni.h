#pragma once

#include <QString>

#include <cstdint>

// Sensor registers held in each register table, in column order: exposure
// high/low, gain high/low, red/green/blue white-balance gain high/low.
constexpr int kRegisterCount = 10;
inline constexpr uint16_t kSensorRegisters[kRegisterCount] = {0x3501, 0x3502, 0x350A, 0x350B, 0x3400,
                                                              0x3401, 0x3402, 0x3403, 0x3404, 0x3405};
// The column order in force; written from kSensorRegisters by every settings read.
extern uint16_t g_RegIdx[kRegisterCount];

enum register_table_e { REG_TABLE_CUS = 0, REG_TABLE_BFN = 1, REG_TABLE_AUTO_EXPOSURE = 2 };
enum register_row_e { REG_ROW_VGA = 0, REG_ROW_1280 = 1, REG_ROW_5M = 2 };

// System information shown by the information dialog and in reports.
struct IQOQ_s
{
    QString CPU_manufacturer;
    QString CPU_type;
    QString RAM_size;
    QString Screen_resolution;
    QString OS_name;
    QString FW_version;  // controller firmware, set when the controller connects
    QString SW_version;
    QString Last_update;
};

// Settings shared by the application, the camera and the calibration code.
struct global_ini_s
{
    // [table][row][column]: tables by register_table_e, rows by register_row_e,
    // columns in the order of g_RegIdx.
    uint16_t regTables[3][3][kRegisterCount] = {};
    int32_t LED = 0;  // bright-field LED brightness
    IQOQ_s IQOQ;
};

// The one settings record; never null.
global_ini_s* global_ini();
