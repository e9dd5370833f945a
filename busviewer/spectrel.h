/* The bus viewer library's exported interface: the engine's board operations from any thread.

   Boards are addressed by slot: slot = board number + 4 x board type - 1, for board numbers 1..4
   and types 0 (PCI), 1 (PC104) and 2 (USB), so slots 0..11. SPX_START_FIP_ENGINE gives a board's
   slot a worker thread of its own (at its first start) and starts the engine on it; every later
   call of the slot runs its engine call on that worker, which holds the board. One relayed call
   runs at a time in the whole process; calls from other threads wait their turn.

   Every export returns a 32-bit result: the engine's code, unchanged (0 success), or
   - 0x3000002B "not started" when the slot lies outside 0..11 or is not started (the lookups
     SPX_FIND_* return 0 instead, as for "not found");
   - 0x30000029 from SPX_START_FIP_ENGINE for a board that has no slot;
   - 0x60000007 from SPX_FIP_WRITE_MSG for a length above 252, 0x30000014 from SPX_DEF_VAR_EVENT
     for a kind other than 1 (sent) or 2 (received);
   - 87 (invalid parameter) for a null output that the library itself writes.
   Refused calls reach no engine.

   Error text: most exports end with (text, size, needed). When text is not null, the result's
   text is written as ERROR_MESSAGE (faultra.h) writes it, also for result 0: *needed receives
   the text's length + 1, and the text is written only when size >= *needed, otherwise nothing
   is written into text. A null needed asks for nothing.

   Valid C99 and C++. No export returns memory for the caller to free. */
#ifndef SPECTREL_H
#define SPECTREL_H

#include "corvix.h"

#if defined(SPECTREL_BUILDING)
#define SPECTREL_API __attribute__((visibility("default")))
#else
#define SPECTREL_API
#endif

/* One listed board, packed: 10 bytes. */
#pragma pack(push, 1)
typedef struct SpxDeviceRecord {
    uint32_t boardType;   /* 0 PCI, 1 PC104, 2 USB */
    uint16_t boardNumber; /* 1..9 */
    uint32_t used;        /* 1 while some process has the board open */
} SpxDeviceRecord;
#pragma pack(pop)

#ifdef __cplusplus
static_assert(sizeof(SpxDeviceRecord) == 10, "SpxDeviceRecord is 10 bytes");
extern "C" {
#endif

/* Start and stop. *slot receives the board's slot (when not null) before the engine starts.
   A start of a started slot starts the engine again on its worker. A successful stop ends the
   slot's started state; its worker stays for the next start. */
SPECTREL_API uint32_t SPX_START_FIP_ENGINE(uint16_t boardNumber, uint32_t boardType, int32_t* slot, char* text,
                                           uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_STOP_FIP_ENGINE(int32_t slot, char* text, uint32_t size, uint32_t* needed);

/* Configuration and bus start. SPX_DOWNLOAD_CNF starts the bus (START_COMMUNICATION) after a
   successful download; SPX_RESET starts it again. */
SPECTREL_API uint32_t SPX_RESET(int32_t slot, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_DOWNLOAD_CNF(int32_t slot, const char* path, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_MEDIUM_CONTROL(int32_t slot, uint8_t command, uint8_t* status, char* text, uint32_t size,
                                         uint32_t* needed);

/* Bus arbitrator. SPX_START_BA starts it, checks after 200 ms that it runs, and starts it once
   more when it does not. */
SPECTREL_API uint32_t SPX_BA_PROG(int32_t slot, const char* path, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_START_BA(int32_t slot, uint16_t page, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_STOP_BA(int32_t slot, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_BA_REPORT(int32_t slot, uint8_t* state, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_CHANGE_BA(int32_t slot, uint16_t address, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_CONTINUE_BA(int32_t slot, uint8_t flag, uint16_t address, char* text, uint32_t size,
                                      uint32_t* needed);
SPECTREL_API uint32_t SPX_GET_BA_PROGRAM_ADDR(int32_t slot, int16_t* program1Address, int16_t* program2Address);

/* Variables (data of 128 bytes) and messages (data of 252 bytes). */
SPECTREL_API uint32_t SPX_FIP_READ_VAR(int32_t slot, uint16_t index, uint8_t* data, uint8_t* status, char* text,
                                       uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_FIP_WRITE_VAR(int32_t slot, uint16_t index, const uint8_t* data, char* text, uint32_t size,
                                        uint32_t* needed);
SPECTREL_API uint32_t SPX_FIP_READ_MSG(int32_t slot, uint16_t receiveKey, void* reserved, uint16_t* length,
                                       uint16_t* destinationId, uint8_t* destinationSegment, uint16_t* sourceId,
                                       uint8_t* sourceSegment, uint8_t* data, char* text, uint32_t size,
                                       uint32_t* needed);
SPECTREL_API uint32_t SPX_FIP_WRITE_MSG(int32_t slot, uint16_t channel, uint16_t messageKey, uint8_t acknowledged,
                                        uint8_t channelByte, uint16_t length, uint16_t destinationId,
                                        uint8_t destinationSegment, uint16_t sourceId, uint8_t sourceSegment,
                                        const uint8_t* data, char* text, uint32_t size, uint32_t* needed);

/* Events, aperiodic requests, queues. */
SPECTREL_API uint32_t SPX_DEF_VAR_EVENT(int32_t slot, uint8_t on, uint8_t kind, uint8_t parameter, uint16_t index,
                                        char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_READ_EVENT(int32_t slot, uint8_t* flag, uint8_t* value, uint8_t* kind, uint8_t* parameter,
                                     uint16_t* identifier, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_IS_EVENT(int32_t slot, uint32_t* pending, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_PURGE(int32_t slot, uint8_t channel, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_SEND_APER(int32_t slot, uint8_t kind, uint16_t index, char* text, uint32_t size,
                                    uint32_t* needed);
SPECTREL_API uint32_t SPX_GET_TRANSMISSION_QUEUE(int32_t slot, uint32_t mode, TransmissionQueueRecord* records,
                                                 uint32_t capacity, uint32_t* count, char* text, uint32_t size,
                                                 uint32_t* needed);
/* The PCI slot of the slot's board (FIP_GET_SLOT). */
SPECTREL_API uint32_t SPX_GETSLOTCARD(int32_t slot, uint32_t* slotValue, char* text, uint32_t size, uint32_t* needed);

/* Table lookups: 1 found, 0 not found or slot not started. Names are 33-byte fields. */
SPECTREL_API uint32_t SPX_FIND_VAR_BY_ID(int32_t slot, uint16_t identifier, int16_t* index, char* name,
                                         int16_t* length, uint8_t* flags);
SPECTREL_API uint32_t SPX_FIND_VAR_BY_NAME(int32_t slot, const char* name, int16_t* index, uint16_t* identifier,
                                           int16_t* length, uint8_t* flags);
SPECTREL_API uint32_t SPX_FIND_MSG_BY_ID(int32_t slot, uint16_t sourceId, uint8_t sourceSegment,
                                         uint16_t destinationId, uint8_t destinationSegment, char* name,
                                         int16_t* messageKey);
SPECTREL_API uint32_t SPX_FIND_MSG_BY_NAME(int32_t slot, const char* name, int16_t* messageKey, uint16_t* sourceId,
                                           uint8_t* sourceSegment, uint16_t* destinationId,
                                           uint8_t* destinationSegment);

/* LEDs of any board: on the worker of the board's slot while that slot is started (it holds the
   board), else on the calling thread. */
SPECTREL_API uint32_t SPX_GET_LED_STATE(uint32_t boardType, uint16_t boardNumber, uint32_t led, int32_t* on,
                                        char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_SET_LED_STATE(uint32_t boardType, uint16_t boardNumber, uint32_t led, uint32_t on,
                                        char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_GET_RGB_LED_STATE(uint32_t boardType, uint16_t boardNumber, uint8_t* colour, char* text,
                                            uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_SET_RGB_LED_STATE(uint32_t boardType, uint16_t boardNumber, uint8_t colour, char* text,
                                            uint32_t size, uint32_t* needed);

/* The boards of the machine, on the calling thread. SPX_GET_ACTIVE_DEVICES_INFO writes exactly
   count records (zeroed beyond the listed boards). */
SPECTREL_API uint32_t SPX_GET_ACTIVE_DEVICES_COUNT(uint16_t* count, char* text, uint32_t size, uint32_t* needed);
SPECTREL_API uint32_t SPX_GET_ACTIVE_DEVICES_INFO(uint16_t count, SpxDeviceRecord* records, char* text,
                                                  uint32_t size, uint32_t* needed);

#ifdef __cplusplus
}  /* extern "C" */
#endif

#endif /* SPECTREL_H */
