// The exports DOWNLOAD_CNF and BA_PROG on the calling thread's context.
#include <cstring>
#include <memory>

#include "ba_programs.h"
#include "board_commands.h"
#include "card_image.h"
#include "code_image.h"
#include "config_loader.h"
#include "context.h"
#include "corvix.h"
#include "engine_card.h"

namespace corvix::download {
namespace {

std::shared_ptr<const BaMacroList> macroList(const std::vector<std::uint8_t>& lines, std::uint32_t count) {
    auto list = std::make_shared<BaMacroList>(count);
    if (count > 0) std::memcpy(list->data(), lines.data(), count * kBaMacroLineBytes);
    return list;
}

MacroList linesOf(const std::shared_ptr<const BaMacroList>& list) {
    if (!list) return {};
    return {reinterpret_cast<const std::uint8_t*>(list->data()), static_cast<std::uint32_t>(list->size())};
}

// The loaded blocks replace the context's; the variable table stays writable for the sort.
std::shared_ptr<RecordTable> install(EngineContext& context, LoadedConfiguration& loaded) {
    auto variables = std::make_shared<RecordTable>(std::move(loaded.variables));
    context.baFromFile = loaded.baFromFile ? 1 : 0;
    context.baFilePath = loaded.baFromFile ? std::make_shared<const std::string>(loaded.baPath.data()) : nullptr;
    context.baMacros1 = macroList(loaded.list1, loaded.list1Count);
    context.baMacros2 = macroList(loaded.list2, loaded.list2Count);
    context.messageTable = std::make_shared<const RecordTable>(std::move(loaded.messages));
    context.messageCount = loaded.messageCount;
    context.configHeader = loaded.header;
    context.variableTable = variables;
    context.variableCount = loaded.variableCount;
    context.messageKeyOffset = 0;
    return variables;
}

ErrorCode placePrograms(CardPages& card, EngineContext& context, const char* path) {
    BaProgramPages pages;
    const ErrorCode code = placeBaPrograms(card, path, linesOf(context.baMacros1), linesOf(context.baMacros2), pages,
                                           static_cast<int>(cardPageLimit()));
    context.baProgram1Page = pages.program1;
    context.baProgram2Page = pages.program2;
    return code;
}

const char* baTextPath(const EngineContext& context) {
    return context.baFromFile && context.baFilePath ? context.baFilePath->c_str() : nullptr;
}

ErrorCode noBoard() { return mapPlatformError(ERROR_INVALID_HANDLE); }

ErrorCode download(EngineContext& context, const char* path) {
    LoadedConfiguration loaded;
    if (const ErrorCode code = loadConfiguration(path, loaded)) {
        if (code == kErrBaFilePath) context.baFromFile = 0;
        return code;
    }
    const std::shared_ptr<RecordTable> variables = install(context, loaded);
    if (!context.hasBoard()) return noBoard();
    BoardDevice& device = *context.device;

    if (const ErrorCode code = board::reset(device)) return code;
    if (const ErrorCode code = board::clearCardMemory(device)) return code;
    BoardCard card(device);
    if (const ErrorCode code = downloadCodeImage(card, codeImagePath().c_str())) return code;

    ImageInput image;
    image.header = context.configHeader.data();
    image.variables = variables->data();
    image.variableCount = context.variableCount;
    image.messages = context.messageTable->data();
    image.messageCount = context.messageCount;
    image.pageLimit = static_cast<int>(cardPageLimit());
    image.placeBaPrograms = [&] { return placePrograms(card, context, baTextPath(context)); };
    ImageResult result;
    const ErrorCode code = writeCardImage(card, image, result);
    context.messageKeyOffset = result.messageKeyOffset ? 1 : 0;
    if (code) return code;
    return board::reset(device);
}

}  // namespace
}  // namespace corvix::download

using namespace corvix;

extern "C" CORVIX_API std::uint32_t DOWNLOAD_CNF(const char* configurationPath) {
    EngineContext* context = currentContext();
    if (!context) return mapPlatformError(ERROR_NOT_ENOUGH_MEMORY);
    if (!configurationPath) return kErrConfigFileNotOpened;
    return download::download(*context, configurationPath);
}

extern "C" CORVIX_API std::uint32_t BA_PROG(const char* baTextPath) {
    EngineContext* context = currentContext();
    if (!context || !context->hasBoard()) return kErrBaPageAccess;
    download::BoardCard card(*context->device);
    return download::placePrograms(card, *context, baTextPath);
}
