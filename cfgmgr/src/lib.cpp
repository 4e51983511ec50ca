// Library globals: the program streams and the enumeration image maps.
#include "Vantor_cfgmgr/Vantor_cfgmgr.h"

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace Vantor_cfgmgr {

FILE* outputFile = nullptr;
FILE* errorFile = nullptr;
int backtraceFd = 2;

const Vantor_util::EnumMap_c* AccessClassImageMap = nullptr;
const Vantor_util::EnumMap_c* IdentFamilyImageMap = nullptr;
const Vantor_util::EnumMap_c* SpecificIdentFamilyImageMap = nullptr;
const Vantor_util::EnumMap_c* AssetFamilyImageMap = nullptr;
const Vantor_util::EnumMap_c* SpecificAssetFamilyImageMap = nullptr;

namespace {

const Vantor_util::EnumPair_t accessClassTable[] = {
    {readWrite, "readWrite"}, {readOnly, "readOnly"}, {constant, "const"}, {writeOnly, "writeOnly"}, {-1, nullptr},
};

} // namespace

// Keys 12-16 and 21-23 are vendor families: an IoT platform's device roles
// (12-14), one maker's identifier family (15, 16), and another maker's model
// and serial (21-23).
const Vantor_util::EnumPair_t identFamily_ID[] = {
    {0, "unspecified"},
    {1, "UUID"},
    {2, "IEEE802MAC-UAA"},
    {3, "IEEE802MAC-LAA"},
    {4, "IEEE-SA-OUI"},
    {5, "IPv4.local"},
    {6, "mDNS.local"},
    {7, "DNS.global"},
    {8, "distinguishedName"},
    {9, "proxyResourcePath"},
    {10, "Vantor_Corporation.model"},
    {11, "Vantor_Corporation.serial"},
    {12, "IoTPlatform.deviceRole.gateway"},
    {13, "IoTPlatform.deviceRole.edge"},
    {14, "IoTPlatform.deviceRole.leaf"},
    {15, "Vendor_A.identifier"},
    {16, "Vendor_A.identifierExtended"},
    {17, "CANopen-vendor"},
    {18, "CANopen-vendor-product"},
    {19, "CANopen-vendor-product-revision"},
    {20, "CANopen-vendor-product-revisionMajor"},
    {21, "Vendor_B.model"},
    {22, "Vendor_B.serial"},
    {23, "Vendor_B.modelSerial"},
    {-1, nullptr},
};

const Vantor_util::EnumPair_t assetFamily_ID[] = {
    {0, "unspecified"}, {1, "databaseSQL"}, {2, "MQTTbroker"}, {3, "CoAPserver"}, {4, "HTTPserver"}, {-1, nullptr},
};

const char* AccessClassImage(uint32_t accessClass)
{
    return accessClass <= writeOnly ? accessClassTable[accessClass].image : "(unknown)";
}

void LibInit()
{
    if (AccessClassImageMap != nullptr) {
        return;
    }
    // Process-lifetime maps over static tables; the specific maps start at
    // the second row, leaving out "unspecified".
    static const Vantor_util::EnumMap_c accessMap(accessClassTable, &std::strcmp);
    static const Vantor_util::EnumMap_c identMap(identFamily_ID, &std::strcmp);
    static const Vantor_util::EnumMap_c specificIdentMap(identFamily_ID + 1, &std::strcmp);
    static const Vantor_util::EnumMap_c assetMap(assetFamily_ID, &std::strcmp);
    static const Vantor_util::EnumMap_c specificAssetMap(assetFamily_ID + 1, &std::strcmp);
    IdentFamilyImageMap = &identMap;
    SpecificIdentFamilyImageMap = &specificIdentMap;
    AssetFamilyImageMap = &assetMap;
    SpecificAssetFamilyImageMap = &specificAssetMap;
    AccessClassImageMap = &accessMap;
}

FILE* ErrorStream() { return errorFile != nullptr ? errorFile : stderr; }

FILE* OutputStream() { return outputFile != nullptr ? outputFile : stdout; }

namespace {

// Closes streams of an earlier redirection (never the standard ones).
void closeRedirected()
{
    for (FILE** stream : {&outputFile, &errorFile}) {
        if (*stream != nullptr && *stream != stdout && *stream != stderr) {
            std::fclose(*stream);
        }
        *stream = nullptr;
    }
}

} // namespace

void redirectOutputError(const char* fileName)
{
    if (fileName == nullptr || *fileName == '\0') {
        closeRedirected();
        outputFile = stdout;
        errorFile = stderr;
        backtraceFd = STDERR_FILENO;
        return;
    }
    int fd = ::open(fileName, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror("open outputFilename");
        std::exit(fd);
    }
    // Two streams over two descriptors of one open file: they share the file
    // offset; both are unbuffered so output and errors land in the order
    // they were written.
    int errFd = ::dup(fd);
    FILE* out = ::fdopen(fd, "w");
    FILE* err = errFd >= 0 ? ::fdopen(errFd, "w") : nullptr;
    if (out == nullptr || err == nullptr) {
        std::perror("open outputFilename");
        std::exit(-1);
    }
    closeRedirected();
    std::setvbuf(out, nullptr, _IONBF, 0);
    std::setvbuf(err, nullptr, _IONBF, 0);
    outputFile = out;
    errorFile = err;
    backtraceFd = errFd;
}

} // namespace Vantor_cfgmgr
