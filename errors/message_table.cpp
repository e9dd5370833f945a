// The string table. Rows are written in the families' order and sorted once at compile time;
// the FTDI rows for the library's missing entry points follow one pattern and are composed from
// the entry point names.
#include "message_table.h"

#include <algorithm>
#include <array>

namespace faultra {
namespace {

constexpr Message kUnknown{0, 1, "Erreur inconnue.", "Unknown error."};

constexpr Message kListed[] = {
    // EngineError: the engine API and the bus viewer.
    {0x30000001, 3, "Impossible d'ouvrir le pilote de périphérique de la carte FIP.",
     "Can't open the FIP adapter driver."},
    {0x30000002, 5, "Impossible d'ouvrir le fichier de configuration.",
     "Can't open the configuration file."},
    {0x30000003, 7, "Le fichier de configuration possède un format incorrect.",
     "Badly formatted configuration file."},
    {0x30000004, 9, "Impossible d'ouvrir le fichier \"Kernala.dat\".",
     "Can't open \"Kernala.dat\" file."},
    {0x30000005, 11, "Erreur durant le téléchargement du Kernala.",
     "Failure during Kernala download."},
    {0x30000006, 13, "Erreur durant la vérification du téléchargement.",
     "Failure during download check."},
    {0x30000007, 15, "Echec de la vérification du téléchargement du Kernala.",
     "The Kernala source is different from the Kernala downloaded."},
    {0x30000008, 17, "Trop de variables à manipuler pour la carte FIP.",
     "Too many variables for the FIP adapter."},
    {0x30000009, 19, "Impossible de fermer le pilote de périphérique de la carte FIP.",
     "Can't close the FIP adapter driver."},
    {0x3000000A, 21, "Pas assez de mémoire disponible sur la carte FIP pour le programme d'arbitre de bus.",
     "Not enough available memory on the FIP adapter for the BA program."},
    {0x3000000B, 23, "Erreur lors de l'accès à la carte FIP.",
     "FIP adapter access error."},
    {0x3000000C, 25, "Impossible d'ouvrir le fichier d'arbitre de bus.",
     "Can't open BA file."},
    {0x3000000D, 27, "Format du fichier BA incorrect.",
     "BA file syntax error."},
    {0x3000000E, 29, "Instruction du programme d'arbitre de bus incorrecte.",
     "Unknown BA program instruction."},
    {0x3000000F, 31, "Paramètre illégal pour une instruction du programme d'arbitre de bus.",
     "Illegal parameter for a BA instruction."},
    {0x30000010, 33, "Impossible de lire le fichier de configuration.",
     "Can't read the configuration file."},
    {0x30000011, 35, "Pas assez de mémoire sur la carte FIP pour la configuration.",
     "Not enough memory on the FIP adapter for the configuration."},
    {0x30000012, 37, "Impossible de fermer le fichier de configuration.",
     "Can't close the configuration file."},
    {0x30000013, 39, "Le pilote de périphérique retourne des informations non cohérentes avec le contexte.",
     "The FIP adapter driver returns badly informations."},
    {0x30000014, 41, "Le type de l'événement en définition n'est ni envoyé ni reçu.",
     "The type of the event in definition is not SENT or RECEIVED."},
    {0x30000015, 43, "Le démarrage de l'arbitre de bus est impossible tant que celui-ci n'est pas arrêté.",
     "Start up of the bus arbitrator is not possible while its state is not stopped."},
    {0x30000016, 45, "L'arrêt de l'arbitre de bus est impossible car il est déjà arrêté ou en train de démarrer.",
     "Stop the bus arbitrator is not possible because it was already stopped or the start BA is being to be processing."},
    {0x30000018, 81, "La station n'est pas autorisée à être arbitre de bus.",
     "The device is not bus arbitrator authorised."},
    {0x30000019, 83, "Impossible de lire le nom de chemin du fichier ASCII du bus arbitre.",
     "Unable to read the path of the bus arbitrator ASCII file."},
    {0x3000001A, 85, "Pas assez de mémoire disponible sur la carte FIP pour la séquence n°1 d'arbitre de bus.",
     "Not enough available memory on the FIP adapter for the BA sequence n°1."},
    {0x3000001B, 87, "Pas assez de mémoire disponible sur la carte FIP pour la séquence n°2 d'arbitre de bus.",
     "Not enough available memory on the FIP adapter for the BA sequence n°2."},
    {0x3000001C, 89, "Il y a plus d'une variable configurée avec le même numéro de canal.",
     "There are more than one variable configurated with the same channel number."},
    {0x3000001D, 91, "Une variable autorisée à supporter une file de transmission n'est pas \"produite\".",
     "A variable authorized to support a transmission queue is not of produced type."},
    {0x3000001E, 93, "Une variable autorisée à supporter la file de transmission de message apériodique est configurée avec un mauvais numéro de canal.",
     "The variable authorized for aperiodic message transmission is configurated  with a wrong channel number."},
    {0x3000001F, 95, "Mode de transmission demandé inadéquat.",
     "Wrong transmission mode requested."},
    {0x30000020, 97, "La commande invoquée n'existe pas.",
     "Invalid command for MEDIUM_CONTROL function."},
    {0x30000021, 99, "La commande invoquée n'existe pas pour la carte PC/WorldFIP installée.",
     "Invalid command for the current installed PC/WorldFIP adapter."},
    {0x30000022, 101, "Type de carte PC/WorldFIP inconnu.",
     "PC/WorldFIP adapter type unknown."},
    {0x30000024, 105, "La version du pilote de périphérique de la carte FIP est trop ancienne. Vous devez installer une version plus récente.",
     "The current FIP driver version is too older. You should install a newer version."},
    {0x30000025, 107, "La version du système d'exploitation n'est pas supportée.",
     "The operating system version is not supported."},
    {0x30000026, 109, "La carte FIP n'est pas ou mal installée.",
     "The FIP card is badly installed."},
    {0x30000027, 111, "Dépassement de délai du FULLFIP.",
     "Time out by the FULLFIP."},
    {0x30000029, 115, "La carte Fip demandée n'existe pas ou n'est pas installée.",
     "The requested FipBoard does not exist or is not installed."},
    {0x3000002A, 117, "La carte demandée est déjà utilisée.",
     "The requested FipBoard is allready in use."},
    {0x3000002B, 119, "Réseau FIP non démarré.",
     "FIP Network not started."},
    {0x3000002C, 340, "Le firmware de la carte est incompatible avec Kernala 5.",
     "The card firmware is not compatible with Kernala 5."},
    {0x3000002D, 342, "Le firmware de la carte est incompatible avec Kernala 6.",
     "The card firmware is not compatible with Kernala 6."},

    // UsbLayerError: the USB board object and its transport.
    {0x30100001, 134, "Davazuv - Aucun canal de communication associé.",
     "Davazuv - No abstract communication associated."},
    {0x30100002, 136, "Davazuv - Pas de réponse reçue sur la requête 'read memory'.",
     "Davazuv - No reply received to 'read memory' request."},
    {0x30100003, 138, "Davazuv - Pas de réponse reçue sur la requête 'read by ID'.",
     "Davazuv - No reply received to 'read by ID' request."},
    {0x30100004, 140, "Davazuv - Pas de réponse reçue sur la requête 'read serial number'.",
     "Davazuv - No reply received to 'read serial number' request."},
    {0x30100005, 142, "Davazuv - Pas de réponse reçue sur la requête 'read last sw'.",
     "Davazuv - No reply received to 'read last sw' request."},
    {0x30100006, 144, "Davazuv - Pas de réponse reçue sur la requête 'read error'.",
     "Davazuv - No reply received to 'read error' request."},
    {0x30100007, 146, "Davazuv - Pas de réponse reçue sur la requête 'write memory'.",
     "Davazuv - No reply received to 'write memory' request."},
    {0x30100008, 148, "Davazuv - Pas de réponse reçue sur la requête 'write by ID'.",
     "Davazuv - No reply received to 'write by ID' request."},
    {0x30100009, 150, "Davazuv - Pas de réponse reçue sur la requête 'exec by id'.",
     "Davazuv - No reply received to 'exec by id' request."},
    {0x3010000A, 152, "Davazuv - Pas de réponse reçue sur la requête 'reset'.",
     "Davazuv - No reply received to 'reset' request."},
    {0x3010000B, 154, "Davazuv - Pas de réponse reçue sur la requête 'set mode'.",
     "Davazuv - No reply received to 'set mode' request."},
    {0x3010000C, 156, "Davazuv - Pas de réponse reçue sur la requête 'get mode'.",
     "Davazuv - No reply received to 'get mode' request."},
    {0x3010000D, 158, "Davazuv - La taille des données lue ne correspond pas à celle attendue..",
     "Davazuv - Read data size doesn't match.."},
    {0x3010000E, 160, "Davazuv - Le temps d'attente de la réponse a expiré.",
     "Davazuv - Timeout for reply has expired."},
    {0x3010000F, 162, "Davazuv - La trame 'IProtocol' lue est incohérente.",
     "Davazuv - Inconsistent IProtocol frame read."},
    {0x30100010, 164, "Davazuv - Plus d'une trame ont été reçues dans le paquet.",
     "Davazuv - More than one frame has been received in the data packet."},
    {0x30100011, 166, "Davazuv - Fonction non implémentée.",
     "Davazuv - Not implemented function."},
    {0x30100012, 168, "Davazuv - Le temps d'attende de l'évènement a expiré.",
     "Davazuv - Timeout for event has expired."},
    {0x30101000, 170, "Davazuv - Action non permise. La communication est fermée.",
     "Davazuv - Action not allowed. The communication is closed."},

    // UsbLayerError: the FTDI transport (the rows for entry points the library lacks are composed below).
    {0x30102000, 172, "Davazuv - Impossible de charger la librairie ftd2xx.",
     "Davazuv - Cannot load ftd2xx library."},
    {0x30102001, 174, "Davazuv - Impossible de lire toutes les données du buffer.",
     "Davazuv - Cannot read all data from buffer."},
    {0x30102002, 176, "Davazuv - Impossible d'écrire toutes les données du buffer.",
     "Davazuv - Cannot write all data to buffer."},
    {0x3010203D, 294, "Davazuv - Handle invalide.",
     "Davazuv - Invalid handle."},
    {0x3010203E, 296, "Davazuv - Impossible de trouver le périphérique.",
     "Davazuv - Cannot find device."},
    {0x3010203F, 298, "Davazuv - Impossible d'ouvrir le périphérique FTDI.",
     "Davazuv - Cannot open FTDI device."},
    {0x30102040, 300, "Davazuv - Erreur d'entrée/sortie.",
     "Davazuv - IO error."},
    {0x30102041, 302, "Davazuv - Ressources insuffisantes.",
     "Davazuv - Insufficient resources."},
    {0x30102042, 304, "Davazuv - Paramètre invalide.",
     "Davazuv - Invalid parameter."},
    {0x30102043, 306, "Davazuv - Baudrate invalide.",
     "Davazuv - Invalid baudrate."},
    {0x30102044, 308, "Davazuv - Le périphérique n'est pas ouvert pour l'effacement.",
     "Davazuv - Device not opened for erase."},
    {0x30102045, 310, "Davazuv - Le périphérique n'est pas ouvert pour l'écriture.",
     "Davazuv - Device not opened for write."},
    {0x30102046, 312, "Davazuv - L'écriture sur le périphérique a échoué.",
     "Davazuv - Failed to write device."},
    {0x30102047, 314, "Davazuv - La lecture EEPROM a échoué.",
     "Davazuv - Eeprom read failed."},
    {0x30102048, 316, "Davazuv - L'écriture EEPROM a échoué.",
     "Davazuv - Eeprom write failed."},
    {0x30102049, 318, "Davazuv - L'effacement de l'EEPROM a échoué.",
     "Davazuv - Eeprom erase failed."},
    {0x3010204A, 320, "Davazuv - Aucune EEPROM détectée.",
     "Davazuv - Eeprom not present."},
    {0x3010204B, 322, "Davazuv - L'EEPROM n'est pas programmée.",
     "Davazuv - Eeprom not programmed."},
    {0x3010204C, 324, "Davazuv - Arguments invalides.",
     "Davazuv - Invalid arguments."},
    {0x3010204D, 326, "Davazuv - Non supporté.",
     "Davazuv - Not supported."},
    {0x3010204E, 328, "Davazuv - Autre erreur.",
     "Davazuv - Other error."},
    {0x3010204F, 330, "Davazuv - La liste de périphériques n'est pas prête.",
     "Davazuv - Device list not ready."},

    // UsbLayerError: the bulk USB transport.
    {0x30103000, 332, "Davazuv - 'EndPoint' USB invalide.",
     "Davazuv - Invalid usb end point."},
    {0x30103001, 334, "Davazuv - Temps d'attente expiré sur le 'EndPoint' d'entrée.",
     "Davazuv - Timeout on end point IN."},
    {0x30103002, 336, "Davazuv - Temps d'attente expiré sur le 'EndPoint' de sortie.",
     "Davazuv - Timeout on end point OUT."},
    {0x30103003, 338, "Davazuv - Impossible d'ouvrir le périphérique CYPRESS.",
     "Davazuv - Cannot open CYPRESS device."},

    // CardError: the error number a board reports in an FDB_STATUS byte.
    {0x60000000, 1000, "Action sans signification ou valeur de variable jamais reçue du réseau.",
     "Non significant variable during a read (value never received from the network) or meaningless action."},
    {0x60000001, 1002, "Variable non produite.",
     "Non-producing variable."},
    {0x60000002, 1004, "Variable non consommée.",
     "Non-consuming variable."},
    {0x60000003, 1006, "Erreur dans la configuration de la variable.",
     "Error in variable configuration."},
    {0x60000004, 1008, "File d'événement vide.",
     "Empty event queue."},
    {0x60000005, 1010, "La file de transmission des requêtes apériodiques de variable est pleine. La commande SEND_APER ne peut être effectuée.",
     "The aperiodic variable transfer request queue is full, the SEND_APER cannot be performed."},
    {0x60000006, 1012, "La file de transmission de message utilisée est pleine. La commande SEND_MESSAGE ne peut être effectuée.",
     "The concerned message transmit request queue is full. The SEND_MESSAGE request cannot be performed."},
    {0x60000007, 1014, "Trop d'accès en écriture par rapport à la taille de l'objet à écrire.",
     "Too many user writes according to the concerned object size."},
    {0x60000008, 1016, "La clé d'accès ne pointe pas sur un descripteur de message.",
     "The access key is not pointing to a message descriptor."},
    {0x60000009, 1018, "La clé d'accès pointe sur un descripteur de message déjà occupé.",
     "The access key is pointing to a message descriptor already busy."},
    {0x6000000A, 1020, "Il n'y a plus de message à lire dans la file des messages reçus.",
     "There is no more message to read in the received message queue."},
    {0x6000000B, 1022, "La clé d'accès pointe sur un descripteur de message avec aucun message dedans.",
     "The access key is pointing to a message descriptor with no message in it."},
    {0x6000000C, 1024, "Pas assez d'accès en écriture par rapport à la taille de l'objet à écrire.",
     "Not enough user writes according to the concerned object size."},
    {0x6000000D, 1026, "Mauvaise commande pour l'arbitre de bus.",
     "Bus arbitrator command error."},
    {0x6000000E, 1028, "La dernière commande \"SEND_MSG\" avec cette clé d'accès n'a pas été encore effectuée. Le message n'a pas été encore envoyé.",
     "The last \"SEND_MSG\" command with the specified access key has not been processed, the corresponding message has not been sent yet."},
    {0x6000000F, 1030, "Erreur de sélection de canal de transmission.",
     "transmit output channel selection error."},

    // StatusWordError: USB reply status words other than 0xA000.
    {0x70000001, 2000, "IProtocol - SW - Attention.",
     "IProtocol - SW - Warning."},
    {0x70000002, 2002, "IProtocol - SW - Lecture partielle.",
     "IProtocol - SW - Read Partial."},
    {0x70000003, 2004, "IProtocol - SW - Echec.",
     "IProtocol - SW - Fail."},
    {0x70000004, 2006, "IProtocol - SW - Vide.",
     "IProtocol - SW - Empty."},
    {0x70000005, 2008, "IProtocol - SW - Mauvaise longueur.",
     "IProtocol - SW - Bad Length."},
    {0x70000006, 2010, "IProtocol - SW - Non trouvé.",
     "IProtocol - SW - Not Found."},
    {0x70000007, 2012, "IProtocol - SW - Mauvaise requête.",
     "IProtocol - SW - Bad Request."},
    {0x70000008, 2014, "IProtocol - SW - Mauvais champs 'CLA' dans la requête.",
     "IProtocol - SW - Bad CLA in request."},
    {0x70000009, 2016, "IProtocol - SW - Mauvais champs 'CTL' dans la requête.",
     "IProtocol - SW - Bad CTL in request."},
    {0x7000000A, 2018, "IProtocol - SW - Mauvais champs 'P1' dans la requête.",
     "IProtocol - SW - Bad P1 parameter in request."},
    {0x7000000B, 2020, "IProtocol - SW - Mauvais champs 'P2' dans la requête.",
     "IProtocol - SW - Bad P2 parameter in request."},
    {0x7000000C, 2022, "IProtocol - SW - Donnée trop courte.",
     "IProtocol - SW - Data Too Short."},
    {0x7000000D, 2024, "IProtocol - SW - Donnée trop longue.",
     "IProtocol - SW - Data Too Long."},
    {0x7000000E, 2026, "IProtocol - SW - Mauvais champs 'CRC'.",
     "IProtocol - SW - Bad CRC."},
    {0x7000000F, 2028, "IProtocol - SW - Champs 'CTL' non supporté.",
     "IProtocol - SW - CTL Not Supported."},
    {0x70000010, 2030, "IProtocol - SW - Erreur sur la lecture.",
     "IProtocol - SW - Read Error."},
    {0x70000011, 2032, "IProtocol - SW - ID inconnu.",
     "IProtocol - SW - ID Not Exist."},
};

// The FTDI library's entry points, in the order of their codes 0x30102003, 0x30102004, ...
constexpr std::string_view kFtdiFunctions[] = {
    "FTSETVIDPID", "FTGETVIDPID", "FTCREATEDEVICEINFOLIST", "FTGETDEVICEINFOLIST", "FTGETDEVICEINFODETAIL",
    "FTLISTDEVICES", "FTOPEN", "FTOPENEX", "FTCLOSE", "FTREAD", "FTWRITE", "FTSETBAUDRATE", "FTSETDIVISOR",
    "FTSETDATACHARACTERISTICS", "FTSETTIMEOUTS", "FTSETFLOWCONTROL", "FTSETDTR", "FTCLRDTR", "FTSETRTS",
    "FTCLRRTS", "FTGETMODEMSTATUS", "FTGETQUEUESTATUS", "FTGETDEVICEINFO", "FTGETDRIVERVERSION",
    "FTGETLIBRARYVERSION", "FTGETCOMPORTNUMBER", "FTGETSTATUS", "FTSETEVENTNOTIFICATION", "FTSETCHARS",
    "FTSETBREAKON", "FTSETBREAKOFF", "FTPURGE", "FTRESETCOM", "FTRESETPORT", "FTCYCLEPORT", "FTRESCAN",
    "FTRELOAD", "FTSETRESETPIPERETRYCOUNT", "FTSTOPINTASK", "FTRESTARTINTASK", "FTSETDEADMANTIMEOUT",
    "FTREADEE", "FTWRITEEE", "FTERASEEE", "FTEEREAD", "FTEEREADEX", "FTEEPROGRAM", "FTEEPROGRAMEX",
    "FTEEUASIZE", "FTEEUAREAD", "FTEEUAWRITE", "FTEEPROMREAD", "FTEEPROMPROGRAM", "FTSETLATENCYTIMER",
    "FTGETLATENCYTIMER", "FTSETBITMODE", "FTGETBITMODE", "FTSETUSBPARAMETERS",
};
constexpr std::size_t kFtdiFunctionCount = std::size(kFtdiFunctions);
constexpr std::uint32_t kFirstFtdiFunctionCode = 0x30102003;
constexpr std::uint16_t kFirstFtdiFunctionId = 178;
static_assert(kFtdiFunctionCount == 0x3010203C - kFirstFtdiFunctionCode + 1);

// Room for the longest composed text; composing a longer one fails the build.
struct ComposedText {
    std::array<char, 80> chars{};
    std::size_t length = 0;

    constexpr std::string_view view() const { return {chars.data(), length}; }
};

consteval std::array<ComposedText, kFtdiFunctionCount> composeFtdiTexts(std::string_view head,
                                                                       std::string_view tail) {
    std::array<ComposedText, kFtdiFunctionCount> texts{};
    for (std::size_t i = 0; i < kFtdiFunctionCount; ++i) {
        ComposedText& text = texts[i];
        for (const std::string_view part : {head, kFtdiFunctions[i], tail}) {
            for (const char c : part) text.chars.at(text.length++) = c;
        }
    }
    return texts;
}

constexpr auto kFtdiFrench = composeFtdiTexts("Davazuv - Impossible de trouver la fonction '", "'.");
constexpr auto kFtdiEnglish = composeFtdiTexts("Davazuv - Cannot find ", " function.");

constexpr std::size_t kRowCount = std::size(kListed) + kFtdiFunctionCount;

consteval std::array<Message, kRowCount> buildTable() {
    std::array<Message, kRowCount> rows{};
    std::size_t n = 0;
    for (const Message& row : kListed) rows[n++] = row;
    for (std::size_t i = 0; i < kFtdiFunctionCount; ++i) {
        rows[n++] = {kFirstFtdiFunctionCode + static_cast<std::uint32_t>(i),
                     static_cast<std::uint16_t>(kFirstFtdiFunctionId + 2 * i), kFtdiFrench[i].view(),
                     kFtdiEnglish[i].view()};
    }
    std::sort(rows.begin(), rows.end(), [](const Message& a, const Message& b) { return a.code < b.code; });
    return rows;
}

constexpr std::array<Message, kRowCount> kTable = buildTable();

// EngineError 42 (0x30000017, 0x30000023 and 0x30000028 have no text), USB board object 18,
// transport not open 1, FTDI 80, bulk USB 4, CardError 16, StatusWordError 17.
static_assert(kTable.size() == 42 + 18 + 1 + 80 + 4 + 16 + 17);

consteval bool strictlyAscending() {
    return std::adjacent_find(kTable.begin(), kTable.end(), [](const Message& a, const Message& b) {
               return a.code >= b.code;
           }) == kTable.end();
}
static_assert(strictlyAscending(), "a code is listed twice");

consteval bool everyTextFits() {
    return std::all_of(kTable.begin(), kTable.end(), [](const Message& row) {
        return !row.french.empty() && !row.english.empty() && row.french.size() + 1 <= kMaxTextBytes &&
               row.english.size() + 1 <= kMaxTextBytes;
    });
}
static_assert(everyTextFits());

}  // namespace

std::span<const Message> messageTable() { return kTable; }

const Message& unknownMessage() { return kUnknown; }

const Message& findMessage(std::uint32_t code) {
    const auto row = std::lower_bound(kTable.begin(), kTable.end(), code,
                                      [](const Message& m, std::uint32_t c) { return m.code < c; });
    return row != kTable.end() && row->code == code ? *row : kUnknown;
}

}  // namespace faultra
