/* The engine library's exported interface. Every export works on the calling thread's engine
   context (the board queries excepted) and returns a 32-bit code: 0 for success, else an
   EngineError (0x300000xx), a CardError (0x6000000n) or a platform error code; see engine_errors.h.
   No export returns memory for the caller to free. A call that needs the thread's board returns
   the platform's invalid-handle code (6) on a thread that has none.
   Valid C99 and C++: the two decorated exports at the end are C++ only. */
#ifndef CORVIX_H
#define CORVIX_H

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

#if defined(CORVIX_BUILDING)
#define CORVIX_API __attribute__((visibility("default")))
#else
#define CORVIX_API
#endif

/* One listed board: 12 bytes. */
typedef struct ActiveDeviceInfo {
    uint32_t boardType;    /* 0 PCI, 1 PC104, 2 USB */
    uint16_t boardNumber;  /* 1..9 */
    uint16_t zero;
    uint32_t used;         /* 1 while some process has the board open */
} ActiveDeviceInfo;

/* One record of GET_TRANSMISSION_QUEUE. */
typedef struct TransmissionQueueRecord {
    uint16_t identifier;
    uint16_t channel;
} TransmissionQueueRecord;

#ifdef __cplusplus
static_assert(sizeof(ActiveDeviceInfo) == 12, "ActiveDeviceInfo is 12 bytes");
static_assert(sizeof(TransmissionQueueRecord) == 4, "TransmissionQueueRecord is 4 bytes");
extern "C" {
#endif

/* Start, stop, share. */
CORVIX_API uint32_t START_FIP_ENGINE(uint16_t boardNumber, uint32_t boardType);
CORVIX_API uint32_t STOP_FIP_ENGINE(void);
CORVIX_API uint32_t INIT_STORAGE(void);

/* Configuration and bus start. */
CORVIX_API uint32_t DOWNLOAD_CNF(const char* configurationPath);
CORVIX_API uint32_t START_COMMUNICATION(void);
CORVIX_API uint32_t MEDIUM_CONTROL(uint8_t command, uint8_t* status);

/* Variables (data of 128 bytes) and messages (data of 252 bytes). */
CORVIX_API uint32_t FIP_READ_VAR(uint16_t index, uint8_t* data, uint8_t* status);
CORVIX_API uint32_t FIP_WRITE_VAR(uint16_t index, const uint8_t* data);
CORVIX_API uint32_t FIP_READ_MSG(uint16_t receiveKey, void* reserved, uint16_t* length,
                                 uint16_t* destinationId, uint8_t* destinationSegment,
                                 uint16_t* sourceId, uint8_t* sourceSegment, uint8_t* data);
CORVIX_API uint32_t FIP_WRITE_MSG(uint16_t channel, uint16_t messageKey, uint8_t acknowledged,
                                  uint8_t channelByte, uint16_t length, uint16_t destinationId,
                                  uint8_t destinationSegment, uint16_t sourceId,
                                  uint8_t sourceSegment, const uint8_t* data);

/* Card memory pages of 128 bytes: nonzero on success, 0 with the platform's last error set. */
CORVIX_API uint32_t FIP_READ_PHY(uint16_t page, uint8_t* buffer);
CORVIX_API uint32_t FIP_WRITE_PHY(uint16_t page, const uint8_t* buffer);
CORVIX_API uint32_t FIP_GET_SLOT(uint32_t* slot);

/* Events, aperiodic requests, queues. */
CORVIX_API uint32_t DEF_VAR_EVENT(uint8_t on, uint8_t kind, uint8_t parameter, uint16_t index);
CORVIX_API uint32_t READ_EVENT(uint8_t* flag, uint8_t* value, uint8_t* kind,
                               uint8_t* parameter, uint16_t* identifier);
CORVIX_API uint32_t IS_EVENT(uint32_t* pending);
CORVIX_API uint32_t PURGE(uint8_t channel);
CORVIX_API uint32_t SEND_APER(uint8_t kind, uint16_t index);
CORVIX_API uint32_t GET_TRANSMISSION_QUEUE(uint32_t mode, TransmissionQueueRecord* records,
                                           uint32_t capacity, uint32_t* count);

/* Bus arbitrator. */
CORVIX_API uint32_t BA_PROG(const char* baTextPath);
CORVIX_API uint32_t BA_REPORT(uint8_t* state);
CORVIX_API uint32_t START_BA(uint16_t page);
CORVIX_API uint32_t STOP_BA(void);
CORVIX_API uint32_t CONTINUE_BA(uint8_t flag, uint16_t wordAddress);
CORVIX_API uint32_t CHANGE_BA(uint16_t wordAddress);
CORVIX_API uint32_t GET_BA_PROGRAM_ADDR(int16_t* program1Address, int16_t* program2Address);

/* Table lookups: 1 found, 0 not. Names are 33-byte fields. */
CORVIX_API uint32_t FIND_VAR_BY_ID(uint16_t identifier, int16_t* index, char* name,
                                   int16_t* length, uint8_t* flags);
CORVIX_API uint32_t FIND_VAR_BY_NAME(const char* name, int16_t* index, uint16_t* identifier,
                                     int16_t* length, uint8_t* flags);
CORVIX_API uint32_t FIND_MSG_BY_ID(uint16_t sourceId, uint8_t sourceSegment,
                                   uint16_t destinationId, uint8_t destinationSegment, char* name,
                                   int16_t* messageKey);
CORVIX_API uint32_t FIND_MSG_BY_NAME(const char* name, int16_t* messageKey, uint16_t* sourceId,
                                     uint8_t* sourceSegment, uint16_t* destinationId,
                                     uint8_t* destinationSegment);

/* Board queries, on any board: the thread's own device when it is that board, else a handle
   opened for the call. */
CORVIX_API uint32_t GetActiveDevicesCount(uint16_t* count);
CORVIX_API uint32_t GetActiveDevicesInfo(uint16_t count, ActiveDeviceInfo* records);
CORVIX_API uint32_t GetCardrixSerialNumber(uint32_t boardType, uint16_t boardNumber);
CORVIX_API uint32_t GetCardrixInfo(uint32_t boardType, uint16_t boardNumber);
CORVIX_API uint32_t GetPCISlot(uint16_t boardNumber);
CORVIX_API uint32_t GetPC104PhysicalAddress(uint16_t boardNumber);
CORVIX_API uint32_t GetLedState(uint32_t boardType, uint16_t boardNumber, uint32_t led,
                                uint32_t* on);
CORVIX_API uint32_t SetLedState(uint32_t boardType, uint16_t boardNumber, uint32_t led,
                                uint32_t on);
CORVIX_API uint32_t GetRgbLedState(uint32_t boardType, uint16_t boardNumber, uint8_t* colour);
CORVIX_API uint32_t SetRgbLedState(uint32_t boardType, uint16_t boardNumber, uint8_t colour);

#ifdef __cplusplus
}  /* extern "C" */

/* Decorated names, for C++ callers only. */
/* prevent true: keep the system awake unless DoNotPreventSystemSleep is set; false: let it sleep. */
CORVIX_API void SystemAutomaticSleepManagement(bool prevent);
/* Closes the thread's board: nonzero when a board was closed, else 0. */
CORVIX_API int CloseDriver();
#endif  /* __cplusplus */

#endif  /* CORVIX_H */
