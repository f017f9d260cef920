#include "ui/associations/FileAssociations.h"

#ifdef _WIN32
#include "ui/associations/RegistryAssociations.h"
#include "ui/associations/Win32RegistryKeyStore.h"
#else
#include "ui/associations/XdgAssociations.h"
#endif

namespace larkspan {

std::unique_ptr<FileAssociations> MakeDesktopAssociations(const std::string& programPath) {
#ifdef _WIN32
    return std::make_unique<RegistryAssociations>(programPath, std::make_unique<Win32RegistryKeyStore>());
#else
    return std::make_unique<XdgAssociations>(programPath, XdgFolders::FromEnvironment());
#endif
}

}  // namespace larkspan
