// The string table against the families it must cover: identifiers, gaps, texts in both languages.
#include "message_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "message_text.h"

namespace faultra {
namespace {

struct Family {
    std::uint32_t first;
    std::uint32_t last;
    std::uint16_t firstId;
};

// Each family's codes and the identifier of its first code; identifiers step by 2.
constexpr Family kFamilies[] = {
    {0x30000001, 0x30000016, 3},    {0x30000018, 0x3000002B, 81},   {0x3000002C, 0x3000002D, 340},
    {0x30100001, 0x30100012, 134},  {0x30101000, 0x30101000, 170},  {0x30102000, 0x3010204F, 172},
    {0x30103000, 0x30103003, 332},  {0x60000000, 0x6000000F, 1000}, {0x70000001, 0x70000011, 2000},
};
// Codes inside a family's range that have no text of their own.
constexpr std::uint32_t kFamilyGaps[] = {0x30000023, 0x30000028};

bool isGap(std::uint32_t code) { return std::ranges::find(kFamilyGaps, code) != std::end(kFamilyGaps); }

bool inSomeFamily(std::uint32_t code) {
    return std::ranges::any_of(kFamilies, [code](const Family& f) { return code >= f.first && code <= f.last; });
}

std::string textOf(std::uint32_t code, Language language) {
    std::vector<char> buffer(256, '\x7F');
    std::uint32_t needed = 0;
    EXPECT_EQ(ownMessage(code, language, buffer.data(), static_cast<std::uint32_t>(buffer.size()), &needed), 0);
    return std::string(buffer.data(), needed == 0 ? 0 : needed - 1);
}

bool isUtf8(std::string_view text) {
    std::size_t continuation = 0;
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (continuation > 0) {
            if ((byte & 0xC0) != 0x80) return false;
            --continuation;
        } else if ((byte & 0xE0) == 0xC0) {
            continuation = 1;
        } else if ((byte & 0xF0) == 0xE0) {
            continuation = 2;
        } else if ((byte & 0xF8) == 0xF0) {
            continuation = 3;
        } else if (byte >= 0x80) {
            return false;
        }
    }
    return continuation == 0;
}

class FamilyTest : public ::testing::TestWithParam<Family> {};

TEST_P(FamilyTest, EveryCodeHasItsIdentifierAndTheNeighboursOutsideAreUnknown) {
    const Family family = GetParam();
    for (std::uint32_t code = family.first; code <= family.last; ++code) {
        const Message& row = findMessage(code);
        if (isGap(code)) {
            EXPECT_EQ(&row, &unknownMessage()) << std::hex << code;
            continue;
        }
        EXPECT_EQ(row.code, code);
        EXPECT_EQ(row.id, family.firstId + 2 * (code - family.first)) << std::hex << code;
    }
    for (const std::uint32_t outside : {family.first - 1, family.last + 1}) {
        if (!inSomeFamily(outside)) {
            EXPECT_EQ(&findMessage(outside), &unknownMessage()) << std::hex << outside;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Families, FamilyTest, ::testing::ValuesIn(kFamilies));

TEST(MessageTable, HoldsExactlyTheFamiliesCodes) {
    std::size_t expected = 0;
    for (const Family& f : kFamilies) expected += f.last - f.first + 1;
    expected -= std::size(kFamilyGaps);
    EXPECT_EQ(messageTable().size(), expected);
    for (const Message& row : messageTable()) {
        EXPECT_TRUE(inSomeFamily(row.code) && !isGap(row.code)) << std::hex << row.code;
    }
}

TEST(MessageTable, EveryRowResolvesInBothLanguagesAndFitsItsBuffer) {
    for (const Language language : {Language::French, Language::English}) {
        for (const Message& row : messageTable()) {
            const std::string text = textOf(row.code, language);
            EXPECT_EQ(text, std::string(row.text(language)) + "\n") << std::hex << row.code;
            EXPECT_LE(text.size(), kMaxTextBytes);
            EXPECT_TRUE(isUtf8(text)) << std::hex << row.code;
            EXPECT_EQ(text.find('\n'), text.size() - 1) << std::hex << row.code;
        }
    }
}

TEST(MessageTable, LanguagesDifferWhereTheyShould) {
    EXPECT_NE(findMessage(0x30000013).french, findMessage(0x30000013).english);
    EXPECT_EQ(textOf(0x30000013, Language::French),
              "Le pilote de périphérique retourne des informations non cohérentes avec le contexte.\n");
    EXPECT_EQ(textOf(0x30000013, Language::English), "The FIP adapter driver returns badly informations.\n");
}

struct Unknown {
    std::uint32_t code;
    const char* why;
};

class UnknownCodeTest : public ::testing::TestWithParam<Unknown> {};

TEST_P(UnknownCodeTest, GivesTheUnknownErrorText) {
    EXPECT_EQ(textOf(GetParam().code, Language::French), "Erreur inconnue.\n") << GetParam().why;
    EXPECT_EQ(textOf(GetParam().code, Language::English), "Unknown error.\n") << GetParam().why;
}

INSTANTIATE_TEST_SUITE_P(Codes, UnknownCodeTest,
                         ::testing::Values(Unknown{0x30000017, "between engine families"},
                                           Unknown{0x30000023, "gap in the engine family"},
                                           Unknown{0x30000028, "gap in the engine family"},
                                           Unknown{0x30000000, "before the engine family"},
                                           Unknown{0x3000002E, "after the engine family"},
                                           Unknown{0x30101001, "after transport not open"},
                                           Unknown{0x60000010, "after the card errors"},
                                           Unknown{0x70000000, "before the status words"},
                                           Unknown{0x70000012, "after the status words"},
                                           Unknown{0xF0000001, "bit 31 set on a status word"},
                                           Unknown{0xB0000013, "bit 31 set on an engine code"},
                                           Unknown{0xE0000001, "bit 31 set on a card error"},
                                           Unknown{0x28000001, "designer's own code"},
                                           Unknown{0x20000000, "bit 29 alone"},
                                           Unknown{0xFFFFFFFF, "every bit"}));

struct Expected {
    std::uint32_t code;
    std::string_view french;
    std::string_view english;
};

// The first and last text of every family, and the composed FTDI rows.
constexpr Expected kEnds[] = {
    {0x30000001, "Impossible d'ouvrir le pilote de périphérique de la carte FIP.", "Can't open the FIP adapter driver."},
    {0x30000016, "L'arrêt de l'arbitre de bus est impossible car il est déjà arrêté ou en train de démarrer.",
     "Stop the bus arbitrator is not possible because it was already stopped or the start BA is being to be "
     "processing."},
    {0x30000018, "La station n'est pas autorisée à être arbitre de bus.", "The device is not bus arbitrator authorised."},
    {0x3000002B, "Réseau FIP non démarré.", "FIP Network not started."},
    {0x3000002D, "Le firmware de la carte est incompatible avec Kernala 6.",
     "The card firmware is not compatible with Kernala 6."},
    {0x30100001, "Davazuv - Aucun canal de communication associé.", "Davazuv - No abstract communication associated."},
    {0x30100012, "Davazuv - Le temps d'attende de l'évènement a expiré.", "Davazuv - Timeout for event has expired."},
    {0x30101000, "Davazuv - Action non permise. La communication est fermée.",
     "Davazuv - Action not allowed. The communication is closed."},
    {0x30102000, "Davazuv - Impossible de charger la librairie ftd2xx.", "Davazuv - Cannot load ftd2xx library."},
    {0x30102003, "Davazuv - Impossible de trouver la fonction 'FTSETVIDPID'.", "Davazuv - Cannot find FTSETVIDPID function."},
    {0x30102022, "Davazuv - Impossible de trouver la fonction 'FTPURGE'.", "Davazuv - Cannot find FTPURGE function."},
    {0x3010203C, "Davazuv - Impossible de trouver la fonction 'FTSETUSBPARAMETERS'.",
     "Davazuv - Cannot find FTSETUSBPARAMETERS function."},
    {0x3010203D, "Davazuv - Handle invalide.", "Davazuv - Invalid handle."},
    {0x3010204F, "Davazuv - La liste de périphériques n'est pas prête.", "Davazuv - Device list not ready."},
    {0x30103000, "Davazuv - 'EndPoint' USB invalide.", "Davazuv - Invalid usb end point."},
    {0x30103003, "Davazuv - Impossible d'ouvrir le périphérique CYPRESS.", "Davazuv - Cannot open CYPRESS device."},
    {0x60000000, "Action sans signification ou valeur de variable jamais reçue du réseau.",
     "Non significant variable during a read (value never received from the network) or meaningless action."},
    {0x6000000F, "Erreur de sélection de canal de transmission.", "transmit output channel selection error."},
    {0x70000001, "IProtocol - SW - Attention.", "IProtocol - SW - Warning."},
    {0x70000011, "IProtocol - SW - ID inconnu.", "IProtocol - SW - ID Not Exist."},
};

class EndsTest : public ::testing::TestWithParam<Expected> {};

TEST_P(EndsTest, TextsInBothLanguages) {
    const Expected& e = GetParam();
    EXPECT_EQ(textOf(e.code, Language::French), std::string(e.french) + "\n");
    EXPECT_EQ(textOf(e.code, Language::English), std::string(e.english) + "\n");
}

INSTANTIATE_TEST_SUITE_P(Families, EndsTest, ::testing::ValuesIn(kEnds));

}  // namespace
}  // namespace faultra
