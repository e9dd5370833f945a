#include "ba_programs.h"

#include "ba_assembler.h"
#include "engine_errors.h"
#include "win32/windows.h"

namespace corvix::download {

int baMemoryEnd(const PageWords& header) {
    if (header[9] != 0) return header[9];
    const int low6 = header[0] & 0x3F;
    return (low6 >= 32 ? low6 - 64 : low6) * 16;
}

ErrorCode placeBaPrograms(CardPages& card, const char* path, MacroList list1, MacroList list2, BaProgramPages& pages,
                          int pageLimit) {
    pages = {};
    PageBytes header;
    if (!card.readPage(kHeaderPage, header)) return kErrBaPageAccess;
    const int end = baMemoryEnd(toWords(header));
    if (end > pageLimit) return kErrCardImageTooLarge;  // programs and slots lie below `end`

    if (path) {
        if (const ErrorCode code = assembleFile(card, path, kBaFirstPage, end)) return code;
        pages.program1 = kBaFirstPage;
        return 0;
    }

    int start2 = kBaFirstPage;
    int end2 = end;
    if (list1.count > 0) {
        AssembledProgram first;
        if (const ErrorCode code = assembleMacroList(card, list1.lines, list1.count, kBaFirstPage, end, &first)) {
            if (code != kErrBaMemoryTooSmall) return code;
            OutputDebugStringA("ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 4");
            return kErrBaProgram1TooLarge;
        }
        pages.program1 = kBaFirstPage;
        start2 = first.nextPage;
        end2 = first.slotPage;  // program 2 ends below program 1's identifier slots
    }
    if (list2.count == 0) return 0;
    if (start2 >= end2) {
        OutputDebugStringA("ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 6");
        return kErrBaProgram2TooLarge;
    }
    if (const ErrorCode code = assembleMacroList(card, list2.lines, list2.count, start2, end2)) {
        if (code != kErrBaMemoryTooSmall) return code;
        OutputDebugStringA("ERROR_NOT_ENOUGH_MEMORY_FOR_BA - 5");
        return kErrBaProgram2TooLarge;
    }
    pages.program2 = static_cast<std::uint16_t>(start2);
    return 0;
}

}  // namespace corvix::download
