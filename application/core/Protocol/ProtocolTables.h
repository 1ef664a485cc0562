#pragma once

#include "Protocol/ProtocolRecords.h"

// The built-in protocols, each a table of parameter rows in item order closed
// by a row of value -1. The DEFAULT table of each kind also gives the INI names
// of every protocol file of that kind and the value of any parameter a file
// lacks. Never written at run time.

extern const local_protocol_t local_protocol_BF_TOTAL_CELL_COUNTING[6];
extern const local_protocol_t PBMC_protocol_BF_TOTAL_CELL_COUNTING[6];

extern const local_protocol_t local_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t PBMC_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t IQOQ_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t NIH3T3_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t HeLa_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t HL60_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t McCoy_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t RAW264_7_protocol_BF_CELL_COUNTING_VIABILITY[7];
extern const local_protocol_t U937_protocol_BF_CELL_COUNTING_VIABILITY[7];
