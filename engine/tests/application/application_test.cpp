// The engine as an application meets it: a program that loads the engine library and calls only its
// exports, each case in a process of its own on a fresh machine root of the default machine (PCI
// board 1, PC104 board 1). Cases that watch a process's start or end run this program again as a
// child process. Usage: corvix_application_test <case>; the exit code is 0 when the case holds.
#include <array>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "corvix.h"
#include "engine_errors.h"
#include "records/atomic_file.h"
#include "records/config_format.h"
#include "records/configuration.h"
#include "test_records.h"
#include "testing/application.h"
#include "testing/unprivileged.h"
#include "win32/windows.h"

namespace {

using namespace corvix;

constexpr std::uint32_t kPci = 0, kPc104 = 1, kUsb = 2;
constexpr ErrorCode kNoBoard = 6;  // the platform's invalid-handle code
constexpr std::size_t kNameBytes = 33;

int failures = 0;

#define CHECK(condition)                                                               \
    do {                                                                               \
        if (!(condition)) {                                                            \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
            ++failures;                                                                \
        }                                                                              \
    } while (0)

#define CHECK_CODE(call, expected)                                                                          \
    do {                                                                                                    \
        const std::uint32_t got_ = (call);                                                                  \
        if (got_ != (expected)) {                                                                           \
            std::fprintf(stderr, "%s:%d: %s gave 0x%X, expected 0x%X\n", __FILE__, __LINE__, #call, got_,  \
                         static_cast<unsigned>(expected));                                                  \
            ++failures;                                                                                     \
        }                                                                                                   \
    } while (0)

// The used mark that the driver keeps for a board (true while a handle is open on it).
bool boardUsed(std::uint32_t type, std::uint16_t number) {
    std::uint16_t count = 0;
    GetActiveDevicesCount(&count);
    std::vector<ActiveDeviceInfo> boards(count);
    GetActiveDevicesInfo(count, boards.data());
    for (const ActiveDeviceInfo& board : boards)
        if (board.boardType == type && board.boardNumber == number) return board.used != 0;
    return false;
}

std::string nameOf(char letter, std::size_t length) { return std::string(length, letter); }

// A configuration of two variables and two transmitted messages; the first of each has a name that
// fills its 33-byte field without a terminator.
std::string writeConfiguration() {
    records::Configuration c = records::new_configuration();
    records::VARIABLE4 full = testing::variable(0x1234, "");
    full.name.fill('V');
    c.variables.push_back(full);
    c.variables.push_back(testing::variable(0x0042, "Short"));
    records::MESSAGE4 fullMessage = testing::message("", 0x10, 0, 0x20, 0, true);
    fullMessage.name.fill('M');
    c.messages.push_back(fullMessage);
    c.messages.push_back(testing::message("Reply", 0x20, 0, 0x10, 0, true));
    c.param.ba_size = 0;
    records::size_tables(c, 0);
    records::renumber_keys(c);
    const auto path = std::filesystem::path(std::getenv("QUORELLE_MACHINE_ROOT")) / "network.cnf";
    if (!records::write_file_atomically(path, records::encode_format4(c))) CHECK(!"configuration written");
    return path.string();
}

// The card code image that the machine installed: its folder is the engine key's Dllpath value.
std::filesystem::path codeImageFile() {
    HKEY key = nullptr;
    char folder[MAX_PATH + 1] = {};
    DWORD size = MAX_PATH;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talvenor\\Corvix", 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, "Dllpath", nullptr, nullptr, reinterpret_cast<BYTE*>(folder), &size);
        RegCloseKey(key);
    }
    return std::filesystem::path(folder) / "kernala.dat";
}

void onThread(const std::function<void()>& work) { std::thread(work).join(); }

// --- Cases run in a child process ---

// The process's first call starts the engine, then stops it.
void childStartFirst(std::uint32_t type) {
    CHECK_CODE(START_FIP_ENGINE(1, static_cast<std::uint16_t>(type)), kSuccess);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

std::uint32_t exitingBoardType = kPci;
// Runs at exit, after the main thread's end and before the engine's own state goes.
void boardReleasedAtExit() {
    if (boardUsed(exitingBoardType, 1)) {
        std::fprintf(stderr, "the board is still in use at exit\n");
        std::_Exit(3);
    }
}

// Returns from main with the engine started on the main thread.
void childExitStarted(std::uint32_t type) {
    CHECK_CODE(START_FIP_ENGINE(1, static_cast<std::uint16_t>(type)), kSuccess);
    CHECK(boardUsed(type, 1));
    exitingBoardType = type;
    std::atexit(boardReleasedAtExit);
}

// Lists the boards first, then returns from main with the engine started.
void childExitStartedAfterListing() {
    std::uint16_t count = 0;
    CHECK_CODE(GetActiveDevicesCount(&count), kSuccess);
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
}

// Returns from main while another thread still shares the started board.
void childExitShared() {
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    std::promise<void> copied;
    std::thread([&copied] {
        INIT_STORAGE();
        copied.set_value();
        for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
    }).detach();
    copied.get_future().wait();
}

// Another process of the machine holds PCI board 1, PC104 board 1 and USB board 1 open.
void childSeesBoardsHeld() {
    CHECK(boardUsed(kPci, 1));
    CHECK(boardUsed(kPc104, 1));
    CHECK(boardUsed(kUsb, 1));
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kErrBoardNotOpened);
    CHECK_CODE(START_FIP_ENGINE(1, kUsb), kErrBoardNotOpened);
    CHECK_CODE(GetCardrixSerialNumber(kPci, 1), 0u);
}

// Nothing is held any more: the boards are free and PCI board 1 starts.
void childSeesBoardsFree() {
    CHECK(!boardUsed(kPci, 1));
    CHECK(!boardUsed(kPc104, 1));
    CHECK(!boardUsed(kUsb, 1));
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

// Lists the boards: the process's first use of the machine boots it.
void childListsBoards() {
    std::uint16_t count = 0;
    CHECK_CODE(GetActiveDevicesCount(&count), kSuccess);
}

// Starts and stops PCI board 1 for three seconds.
void childStartsAndStops() {
    int starts = 0, failed = 0;
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
         std::chrono::steady_clock::now() < end; ++starts) {
        const std::uint32_t code = START_FIP_ENGINE(1, kPci);
        if (code != kSuccess && failed++ == 0) std::fprintf(stderr, "a start gave 0x%X\n", code);
        if (code == kSuccess) CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
    }
    if (failed) std::fprintf(stderr, "%d of %d starts failed\n", failed, starts);
    CHECK(failed == 0);
}

// Ends by a fault while the engine holds PCI board 1.
void childCrashesHoldingBoard() {
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    if (failures == 0) std::raise(SIGKILL);
}

const std::map<std::string, std::function<void()>> kChildCases = {
    {"sees-boards-held", childSeesBoardsHeld},
    {"sees-boards-free", childSeesBoardsFree},
    {"lists-boards", childListsBoards},
    {"starts-and-stops", childStartsAndStops},
    {"crashes-holding-board", childCrashesHoldingBoard},
    {"start-first-pci", [] { childStartFirst(kPci); }},
    {"start-first-pc104", [] { childStartFirst(kPc104); }},
    {"exit-started-pci", [] { childExitStarted(kPci); }},
    {"exit-started-pc104", [] { childExitStarted(kPc104); }},
    {"exit-started-after-listing", childExitStartedAfterListing},
    {"exit-shared", childExitShared},
};

// --- Cases ---

void runChild(const char* child) {
    const qtesting::ChildEnd end = qtesting::runSelf({child});
    if (!end.clean()) std::fprintf(stderr, "%s: %s\n", child, end.describe().c_str());
    CHECK(end.clean());
}

// A board that one process holds is held for every process of the machine, until the holder lets
// it go or ends, by a crash too.
void boardsHeldByAnotherProcess() {
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    std::promise<void> release;
    const std::shared_future<void> released = release.get_future().share();
    std::vector<std::thread> holders;
    for (const std::uint32_t type : {kPc104, kUsb}) {
        std::promise<void> started;
        holders.emplace_back([&, type] {
            CHECK_CODE(START_FIP_ENGINE(1, type), kSuccess);
            started.set_value();
            released.wait();
            CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
        });
        started.get_future().wait();
    }
    runChild("sees-boards-held");
    // Hold files that the other process may only read, another user's where the test can arrange
    // it, hold the boards all the same.
    if (const std::string why = qtesting::noUnprivilegedUser(); why.empty()) {
        namespace fs = std::filesystem;
        const fs::path root = std::getenv("QUORELLE_MACHINE_ROOT");
        const fs::perms readable = fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read;
        const fs::perms enterable = readable | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
        fs::permissions(root, enterable | fs::perms::owner_write);
        fs::permissions(root / "holds", enterable | fs::perms::owner_write);
        for (const fs::directory_entry& hold : fs::directory_iterator(root / "holds")) fs::permissions(hold, readable);
        CHECK(qtesting::runUnprivileged([] { return qtesting::runSelf({"sees-boards-held"}).clean(); }));
    } else {
        std::fprintf(stderr, "hold files of another user not tried: %s\n", why.c_str());
    }
    release.set_value();
    for (std::thread& holder : holders) holder.join();
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
    runChild("sees-boards-free");

    const qtesting::ChildEnd crashed = qtesting::runSelf({"crashes-holding-board"});
    CHECK(crashed.signal == SIGKILL);
    CHECK(!boardUsed(kPci, 1));
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

// Starts read the driver files that every boot of the machine installs: a process that starts
// and stops PCI board 1 beside processes that boot the machine (each lists the boards) never fails.
void startsBesideBoots() {
    std::atomic<bool> done{false};
    std::atomic<int> boots{0}, failedBoots{0};
    std::vector<std::thread> booters;
    for (int i = 0; i < 3; ++i) {
        booters.emplace_back([&] {
            while (!done) {
                if (!qtesting::runSelf({"lists-boards"}).clean()) ++failedBoots;
                ++boots;
            }
        });
    }
    const qtesting::ChildEnd starter = qtesting::runSelf({"starts-and-stops"});
    done = true;
    for (std::thread& booter : booters) booter.join();
    CHECK(starter.clean());
    CHECK(failedBoots == 0);
    CHECK(boots > 0);
}

// An application whose first call starts the engine: on a fresh machine root and on a later run.
void firstCallStarts() {
    for (const char* child : {"start-first-pci", "start-first-pc104"}) {
        for (const char* run : {"first run", "later run"}) {
            const qtesting::ChildEnd end = qtesting::runSelf({child});
            if (!end.clean()) std::fprintf(stderr, "%s, %s: %s\n", child, run, end.describe().c_str());
            CHECK(end.clean());
        }
    }
}

// A process that returns from main without stopping the engine ends cleanly and releases its board.
void exitWithoutStop() {
    for (const char* child : {"exit-started-pci", "exit-started-pc104", "exit-started-after-listing", "exit-shared"})
        runChild(child);
}

// A thread that ends without a stop lets its board go, unless a copy still shares it.
void threadEndReleasesBoard() {
    onThread([] { CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess); });
    CHECK(!boardUsed(kPci, 1));
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);

    // The starter ends first; the sharing thread keeps the board until it ends too.
    std::promise<void> copied, starterEnded, sharerEnd;
    std::thread sharer;
    std::thread starter([&] {
        CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
        sharer = std::thread([&] {
            CHECK_CODE(INIT_STORAGE(), kSuccess);
            copied.set_value();
            starterEnded.get_future().wait();
            std::uint8_t state = 0;
            CHECK_CODE(BA_REPORT(&state), kSuccess);
            sharerEnd.get_future().wait();
        });
        copied.get_future().wait();
    });
    starter.join();
    starterEnded.set_value();
    CHECK(boardUsed(kPci, 1));
    sharerEnd.set_value();
    sharer.join();
    CHECK(!boardUsed(kPci, 1));
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

// A second start that fails keeps the board the thread has; starting again on the board it holds
// keeps it too.
void failedSecondStartKeepsBoard() {
    std::uint8_t state = 0;
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(START_FIP_ENGINE(2, kPci), kErrBoardNotOpened);
    CHECK_CODE(BA_REPORT(&state), kSuccess);
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(BA_REPORT(&state), kSuccess);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
    CHECK(!boardUsed(kPci, 1));
}

// A thread that shares the started board and then starts on another board leaves the shared one open.
void sharingThreadStartKeepsSharedBoard() {
    std::uint8_t state = 0;
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    onThread([] {
        CHECK_CODE(INIT_STORAGE(), kSuccess);
        CHECK_CODE(START_FIP_ENGINE(1, kPc104), kSuccess);
        std::uint8_t own = 0;
        CHECK_CODE(BA_REPORT(&own), kSuccess);
        CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
    });
    CHECK_CODE(BA_REPORT(&state), kSuccess);
    CHECK(boardUsed(kPci, 1));
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

// Names passed to the look-ups are 33-byte fields: a full one without a terminator is read no further.
void namesReadWithinTheirField() {
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(DOWNLOAD_CNF(writeConfiguration().c_str()), kSuccess);
    qtesting::GuardedBytes variableName(kNameBytes), messageName(kNameBytes);
    std::memset(variableName.data(), 'V', kNameBytes);
    std::memset(messageName.data(), 'M', kNameBytes);
    std::uint16_t identifier = 0;
    CHECK_CODE(FIND_VAR_BY_NAME(variableName.data(), nullptr, &identifier, nullptr, nullptr), 1u);
    CHECK(identifier == 0x1234);
    std::uint16_t source = 0;
    CHECK_CODE(FIND_MSG_BY_NAME(messageName.data(), nullptr, &source, nullptr, nullptr, nullptr), 1u);
    CHECK(source == 0x10);
    // A shorter name, and a name that only starts like the full one, still compare whole.
    CHECK_CODE(FIND_VAR_BY_NAME("Short", nullptr, &identifier, nullptr, nullptr), 1u);
    CHECK(identifier == 0x0042);
    CHECK_CODE(FIND_VAR_BY_NAME(nameOf('V', 20).c_str(), nullptr, nullptr, nullptr, nullptr), 0u);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

// The board calls with no board: the no-board code, nothing written, null pointers included.
void noBoardCallsFail() {
    constexpr std::uint8_t kUntouched = 0x5A;
    std::array<std::uint8_t, 128> data;
    data.fill(kUntouched);
    std::uint8_t status = kUntouched;
    std::uint32_t slot = 0x5A5A5A5A, count = 0x5A5A5A5A;
    std::array<TransmissionQueueRecord, 4> queue{};
    std::int16_t address1 = 0x5A5A, address2 = 0x5A5A;
    CHECK_CODE(FIP_READ_VAR(0, data.data(), &status), kNoBoard);
    CHECK_CODE(FIP_READ_VAR(0, nullptr, nullptr), kNoBoard);
    CHECK_CODE(FIP_GET_SLOT(&slot), kNoBoard);
    CHECK_CODE(FIP_GET_SLOT(nullptr), kNoBoard);
    CHECK_CODE(GET_TRANSMISSION_QUEUE(0, queue.data(), 4, &count), kNoBoard);
    CHECK_CODE(GET_TRANSMISSION_QUEUE(0, nullptr, 0, nullptr), kNoBoard);
    CHECK_CODE(GET_BA_PROGRAM_ADDR(&address1, &address2), kNoBoard);
    CHECK_CODE(GET_BA_PROGRAM_ADDR(nullptr, nullptr), kNoBoard);
    CHECK(data[0] == kUntouched && data[127] == kUntouched && status == kUntouched);
    CHECK(slot == 0x5A5A5A5A && count == 0x5A5A5A5A && address1 == 0x5A5A && address2 == 0x5A5A);
}

void lookUpsFindNothing() {
    std::uint16_t identifier = 0;
    CHECK_CODE(FIND_VAR_BY_ID(0x0042, nullptr, nullptr, nullptr, nullptr), 0u);
    CHECK_CODE(FIND_VAR_BY_NAME("Short", nullptr, &identifier, nullptr, nullptr), 0u);
    CHECK_CODE(FIND_MSG_BY_ID(0x20, 0, 0x10, 0, nullptr, nullptr), 0u);
    CHECK_CODE(FIND_MSG_BY_NAME("Reply", nullptr, nullptr, nullptr, nullptr, nullptr), 0u);
}

// Before any start, and after the only engine stopped: no board, and a copy of the stopped context
// finds none of its variables or messages.
void noBoardBeforeStartAndAfterStop() {
    noBoardCallsFail();
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(DOWNLOAD_CNF(writeConfiguration().c_str()), kSuccess);
    CHECK_CODE(FIND_VAR_BY_ID(0x0042, nullptr, nullptr, nullptr, nullptr), 1u);
    std::promise<void> copied, stopped;
    std::thread earlyCopy([&] {
        CHECK_CODE(INIT_STORAGE(), kSuccess);
        CHECK_CODE(FIND_VAR_BY_ID(0x0042, nullptr, nullptr, nullptr, nullptr), 1u);
        copied.set_value();
        stopped.get_future().wait();
        CHECK_CODE(INIT_STORAGE(), kSuccess);  // copies the stopped, zeroed context
        noBoardCallsFail();
        lookUpsFindNothing();
    });
    copied.get_future().wait();
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
    stopped.set_value();
    earlyCopy.join();
    noBoardCallsFail();
    lookUpsFindNothing();
    onThread([] {
        CHECK_CODE(INIT_STORAGE(), kSuccess);
        noBoardCallsFail();
        lookUpsFindNothing();
    });

    // The only engine stopped by a thread that shares it: a later copy finds nothing either.
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(DOWNLOAD_CNF(writeConfiguration().c_str()), kSuccess);
    onThread([] {
        CHECK_CODE(INIT_STORAGE(), kSuccess);
        CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
    });
    onThread([] {
        CHECK_CODE(INIT_STORAGE(), kSuccess);
        lookUpsFindNothing();
    });
    CHECK(!boardUsed(kPci, 1));
}

// The code image is read as its block count says: bytes after the counted blocks are left unread, a
// file shorter than its count is refused.
void codeImageWithTrailingBytes() {
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    const std::string configuration = writeConfiguration();
    const std::filesystem::path image = codeImageFile();
    const auto size = std::filesystem::file_size(image);
    std::ofstream(image, std::ios::binary | std::ios::app) << std::string(131, '\x7F');
    CHECK_CODE(DOWNLOAD_CNF(configuration.c_str()), kSuccess);
    std::filesystem::resize_file(image, size - 1);
    CHECK_CODE(DOWNLOAD_CNF(configuration.c_str()), kErrCodeImageNotOpened);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

// An application's whole run, ended with a stop: under the leak checker only its own leaks count,
// and the machine's boot has none.
void wholeRunLeavesNoLeak() {
    std::uint16_t count = 0;
    CHECK_CODE(GetActiveDevicesCount(&count), kSuccess);
    CHECK_CODE(START_FIP_ENGINE(1, kPci), kSuccess);
    CHECK_CODE(DOWNLOAD_CNF(writeConfiguration().c_str()), kSuccess);
    CHECK_CODE(START_COMMUNICATION(), kSuccess);
    CHECK_CODE(STOP_FIP_ENGINE(), kSuccess);
}

const std::map<std::string, std::function<void()>> kCases = {
    {"first-call-starts", firstCallStarts},
    {"exit-without-stop", exitWithoutStop},
    {"thread-end-releases-board", threadEndReleasesBoard},
    {"failed-second-start-keeps-board", failedSecondStartKeepsBoard},
    {"sharing-thread-start-keeps-shared-board", sharingThreadStartKeepsSharedBoard},
    {"names-read-within-their-field", namesReadWithinTheirField},
    {"no-board-before-start-and-after-stop", noBoardBeforeStartAndAfterStop},
    {"code-image-with-trailing-bytes", codeImageWithTrailingBytes},
    {"whole-run-leaves-no-leak", wholeRunLeavesNoLeak},
    {"boards-held-by-another-process", boardsHeldByAnotherProcess},
    {"starts-beside-boots", startsBesideBoots},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <case>\n", argv[0]);
        return 2;
    }
    const std::string name = argv[1];
    const auto& cases = qtesting::isChildRun() ? kChildCases : kCases;
    const auto found = cases.find(name);
    if (found == cases.end()) {
        std::fprintf(stderr, "no case %s\n", name.c_str());
        return 2;
    }
    const qtesting::FreshMachineRoot root;
    found->second();
    if (failures) std::fprintf(stderr, "%s: %d check(s) failed\n", name.c_str(), failures);
    return failures ? 1 : 0;
}
