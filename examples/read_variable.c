/* Reads a variable through the bus viewer: starts the engine on the machine's first free board,
   downloads a configuration (by default read_variable.cnf in the current folder, in which the
   board produces the variable 0x0100), writes the variable and reads it back, then stops.

   Usage: read_variable [configuration file] */
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "spectrel.h"

#define VARIABLE_ID 0x0100
#define MOST_BOARDS 27 /* boards 1 to 9 of each of the three types */

static const char* const kTypeNames[] = {"PCI", "PC104", "USB"};

/* Every export writes the result's text into `text` when the text fits. */
static char text[256];
static uint32_t needed;

static int failed(const char* what, uint32_t code) {
    fprintf(stderr, "%s: 0x%08lX %s", what, (unsigned long)code, needed <= sizeof text ? text : "\n");
    return 1;
}

int main(int argc, char** argv) {
    const char* configuration = argc > 1 ? argv[1] : "read_variable.cnf";
    uint16_t count = 0;
    SpxDeviceRecord boards[MOST_BOARDS];
    const SpxDeviceRecord* board = NULL;
    int32_t slot = -1;
    int16_t index = -1, length = 0;
    uint8_t flags = 0, status = 0;
    char name[33];
    const uint8_t written[2] = {0x12, 0x34};
    uint8_t value[128];
    uint32_t code;
    int i;

    code = SPX_GET_ACTIVE_DEVICES_COUNT(&count, text, sizeof text, &needed);
    if (code != 0) return failed("Cannot list the boards", code);
    if (count > MOST_BOARDS) count = MOST_BOARDS;
    if (count > 0) {
        code = SPX_GET_ACTIVE_DEVICES_INFO(count, boards, text, sizeof text, &needed);
        if (code != 0) return failed("Cannot list the boards", code);
    }
    /* A board that another program has open is listed as used and cannot be started here; the
       bus viewer gives slots to boards 1 to 4 of each type. */
    for (i = 0; i < count && board == NULL; ++i)
        if (boards[i].used == 0 && boards[i].boardNumber <= 4) board = &boards[i];
    if (board == NULL) {
        fputs(count == 0 ? "No board.\n" : "No free board.\n", stderr);
        return 1;
    }
    printf("Board: %s %u\n", board->boardType < 3 ? kTypeNames[board->boardType] : "unknown",
           (unsigned)board->boardNumber);

    code = SPX_START_FIP_ENGINE(board->boardNumber, board->boardType, &slot, text, sizeof text, &needed);
    if (code != 0) return failed("Cannot start the engine", code);
    /* Downloads the configuration and starts the bus. */
    code = SPX_DOWNLOAD_CNF(slot, configuration, text, sizeof text, &needed);
    if (code != 0) {
        SPX_STOP_FIP_ENGINE(slot, NULL, 0, NULL);
        return failed("Cannot download the configuration", code);
    }
    if (!SPX_FIND_VAR_BY_ID(slot, VARIABLE_ID, &index, name, &length, &flags)) {
        SPX_STOP_FIP_ENGINE(slot, NULL, 0, NULL);
        fprintf(stderr, "The configuration has no variable 0x%04X.\n", VARIABLE_ID);
        return 1;
    }
    code = SPX_FIP_WRITE_VAR(slot, (uint16_t)index, written, text, sizeof text, &needed);
    if (code == 0) code = SPX_FIP_READ_VAR(slot, (uint16_t)index, value, &status, text, sizeof text, &needed);
    if (code != 0) {
        SPX_STOP_FIP_ENGINE(slot, NULL, 0, NULL);
        return failed("Cannot reach the variable", code);
    }
    printf("Variable %s (0x%04X), index %d:", name, VARIABLE_ID, index);
    for (i = 0; i < length && i < (int)sizeof value; ++i) printf(" %02X", value[i]);
    printf("\n");

    code = SPX_STOP_FIP_ENGINE(slot, text, sizeof text, &needed);
    if (code != 0) return failed("Cannot stop the engine", code);
    return memcmp(value, written, sizeof written) == 0 ? 0 : 1;
}
