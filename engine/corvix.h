/* The engine library's exported interface. Every export works on the calling thread's engine
   context (the board queries excepted) and returns a 32-bit code: 0 for success, else an
   EngineError (0x300000xx), a CardError (0x6000000n) or a platform error code; see engine_errors.h.
   No export returns memory for the caller to free. A call that needs the thread's board returns
   the platform's invalid-handle code (6) on a thread that has none. */
#pragma once

#include <cstdint>

#if defined(CORVIX_BUILDING)
#define CORVIX_API __attribute__((visibility("default")))
#else
#define CORVIX_API
#endif

/* One listed board: 12 bytes. */
struct ActiveDeviceInfo {
    std::uint32_t boardType;    /* 0 PCI, 1 PC104, 2 USB */
    std::uint16_t boardNumber;  /* 1..9 */
    std::uint16_t zero;
    std::uint32_t used;         /* 1 while some process has the board open */
};
static_assert(sizeof(ActiveDeviceInfo) == 12);

/* One record of GET_TRANSMISSION_QUEUE. */
struct TransmissionQueueRecord {
    std::uint16_t identifier;
    std::uint16_t channel;
};
static_assert(sizeof(TransmissionQueueRecord) == 4);

extern "C" {

/* Start, stop, share. */
CORVIX_API std::uint32_t START_FIP_ENGINE(std::uint16_t boardNumber, std::uint32_t boardType);
CORVIX_API std::uint32_t STOP_FIP_ENGINE();
CORVIX_API std::uint32_t INIT_STORAGE();

/* Configuration and bus start. */
CORVIX_API std::uint32_t DOWNLOAD_CNF(const char* configurationPath);
CORVIX_API std::uint32_t START_COMMUNICATION();
CORVIX_API std::uint32_t MEDIUM_CONTROL(std::uint8_t command, std::uint8_t* status);

/* Variables (data of 128 bytes) and messages (data of 252 bytes). */
CORVIX_API std::uint32_t FIP_READ_VAR(std::uint16_t index, std::uint8_t* data, std::uint8_t* status);
CORVIX_API std::uint32_t FIP_WRITE_VAR(std::uint16_t index, const std::uint8_t* data);
CORVIX_API std::uint32_t FIP_READ_MSG(std::uint16_t receiveKey, void* reserved, std::uint16_t* length,
                                      std::uint16_t* destinationId, std::uint8_t* destinationSegment,
                                      std::uint16_t* sourceId, std::uint8_t* sourceSegment, std::uint8_t* data);
CORVIX_API std::uint32_t FIP_WRITE_MSG(std::uint16_t channel, std::uint16_t messageKey, std::uint8_t acknowledged,
                                       std::uint8_t channelByte, std::uint16_t length, std::uint16_t destinationId,
                                       std::uint8_t destinationSegment, std::uint16_t sourceId,
                                       std::uint8_t sourceSegment, const std::uint8_t* data);

/* Card memory pages of 128 bytes: nonzero on success, 0 with the platform's last error set. */
CORVIX_API std::uint32_t FIP_READ_PHY(std::uint16_t page, std::uint8_t* buffer);
CORVIX_API std::uint32_t FIP_WRITE_PHY(std::uint16_t page, const std::uint8_t* buffer);
CORVIX_API std::uint32_t FIP_GET_SLOT(std::uint32_t* slot);

/* Events, aperiodic requests, queues. */
CORVIX_API std::uint32_t DEF_VAR_EVENT(std::uint8_t on, std::uint8_t kind, std::uint8_t parameter, std::uint16_t index);
CORVIX_API std::uint32_t READ_EVENT(std::uint8_t* flag, std::uint8_t* value, std::uint8_t* kind,
                                    std::uint8_t* parameter, std::uint16_t* identifier);
CORVIX_API std::uint32_t IS_EVENT(std::uint32_t* pending);
CORVIX_API std::uint32_t PURGE(std::uint8_t channel);
CORVIX_API std::uint32_t SEND_APER(std::uint8_t kind, std::uint16_t index);
CORVIX_API std::uint32_t GET_TRANSMISSION_QUEUE(std::uint32_t mode, TransmissionQueueRecord* records,
                                                std::uint32_t capacity, std::uint32_t* count);

/* Bus arbitrator. */
CORVIX_API std::uint32_t BA_PROG(const char* baTextPath);
CORVIX_API std::uint32_t BA_REPORT(std::uint8_t* state);
CORVIX_API std::uint32_t START_BA(std::uint16_t page);
CORVIX_API std::uint32_t STOP_BA();
CORVIX_API std::uint32_t CONTINUE_BA(std::uint8_t flag, std::uint16_t wordAddress);
CORVIX_API std::uint32_t CHANGE_BA(std::uint16_t wordAddress);
CORVIX_API std::uint32_t GET_BA_PROGRAM_ADDR(std::int16_t* program1Address, std::int16_t* program2Address);

/* Table lookups: 1 found, 0 not. Names are 33-byte fields. */
CORVIX_API std::uint32_t FIND_VAR_BY_ID(std::uint16_t identifier, std::int16_t* index, char* name,
                                        std::int16_t* length, std::uint8_t* flags);
CORVIX_API std::uint32_t FIND_VAR_BY_NAME(const char* name, std::int16_t* index, std::uint16_t* identifier,
                                          std::int16_t* length, std::uint8_t* flags);
CORVIX_API std::uint32_t FIND_MSG_BY_ID(std::uint16_t sourceId, std::uint8_t sourceSegment,
                                        std::uint16_t destinationId, std::uint8_t destinationSegment, char* name,
                                        std::int16_t* messageKey);
CORVIX_API std::uint32_t FIND_MSG_BY_NAME(const char* name, std::int16_t* messageKey, std::uint16_t* sourceId,
                                          std::uint8_t* sourceSegment, std::uint16_t* destinationId,
                                          std::uint8_t* destinationSegment);

/* Board queries, on any board: the thread's own device when it is that board, else a handle
   opened for the call. */
CORVIX_API std::uint32_t GetActiveDevicesCount(std::uint16_t* count);
CORVIX_API std::uint32_t GetActiveDevicesInfo(std::uint16_t count, ActiveDeviceInfo* records);
CORVIX_API std::uint32_t GetCardrixSerialNumber(std::uint32_t boardType, std::uint16_t boardNumber);
CORVIX_API std::uint32_t GetCardrixInfo(std::uint32_t boardType, std::uint16_t boardNumber);
CORVIX_API std::uint32_t GetPCISlot(std::uint16_t boardNumber);
CORVIX_API std::uint32_t GetPC104PhysicalAddress(std::uint16_t boardNumber);
CORVIX_API std::uint32_t GetLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint32_t led,
                                     std::uint32_t* on);
CORVIX_API std::uint32_t SetLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint32_t led,
                                     std::uint32_t on);
CORVIX_API std::uint32_t GetRgbLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint8_t* colour);
CORVIX_API std::uint32_t SetRgbLedState(std::uint32_t boardType, std::uint16_t boardNumber, std::uint8_t colour);

}  /* extern "C" */

/* Decorated names. */
/* prevent true: keep the system awake unless DoNotPreventSystemSleep is set; false: let it sleep. */
CORVIX_API void SystemAutomaticSleepManagement(bool prevent);
/* Closes the thread's board: nonzero when a board was closed, else 0. */
CORVIX_API int CloseDriver();
