#pragma once
#include <string>

namespace larkspan {

class SettingsProfile;

// Every user choice of the recorder and the player, with its profile key
// and default. Copied by value into every job and every protocol client.
struct RecorderSettings {
    static constexpr const char* kSection = "settings";

    std::string baseDir = DefaultBaseDir();             // "base dir"
    std::string agent = "rec/1.5";                      // "agent" (stored only)
    int overWrite = 1;                                  // "OverWrite": ask before overwriting
    int allowMultipleInstances = 0;                     // "Allow Multiple Instances"
    int liveContentSaveTimeInfo = 1;                    // "Live Content Save Time Info"
    int urlHiJackingEnable = 1;                         // "Url HiJacking Enable" (loaded, never saved)
    int timePolicy = 0;                                 // "time policy"
    int sizePolicy = 0;                                 // "size policy"
    int maxTime = 1800;                                 // "Max Time", seconds
    int maxSize = 10;                                   // "Max Size", MiB
    int repeat = 1;                                     // "Repeat"
    int sequence = 0;                                   // "Sequence" (stored only)
    int keepSize = 0;                                   // "Keep Size"
    int keep = 0;                                       // "Keep": keep aspect ratio
    int PlayerSizeMode = 1;                             // 0 half, 1 normal, 2 double; no key
    int onTop = 1;                                      // "OnTop"
    int screenSave = 1;                                 // "ScreenSave " (the key ends in a blank)
    int enableCaption = 1;                              // "Enable Caption"
    int spliteCaptionWnd = 0;                           // "Splite Caption Wnd"
    int captionColor = 0xFFFFFF;                        // "Caption Corlor", 0x00BBGGRR
    int captionSize = 12;                               // "Caption Size", points
    std::string captionStyleName = "\xEB\xB3\xB4\xED\x86\xB5";  // "Caption Style Name": Korean "Regular"
    std::string captionFaceName = "\xEA\xB5\xB4\xEB\xA6\xBC";   // "Caption Face Name": Gulim
    int captionBold = 1;                                // "Caption Bold"
    int captionMargin = 50;                             // "Caption Margin", pixels
    int useAuth = 0;                                    // "Use Auth" (stored only)
    std::string authUsername;                           // "Auth Username" (stored only)
    std::string authPassword;                           // "Auth Password" (stored only)
    int useProxy = 0;                                   // "Use Proxy" (stored only)
    std::string proxyServer;                            // "Proxy SAerver" (stored only)
    int proxyPort = 0;                                  // "Proxy Port" (stored only)
    int bypassProxy = 0;                                // "Bypass Proxy" (stored only)
    int idleTimeout = 30;                               // "Idle Timeout": seconds without a byte from the
                                                        // server before a recording gives up (0: never)

    void Load(SettingsProfile& profile);
    void Save(SettingsProfile& profile) const;

    // The folder recordings go to when the profile names none.
    static std::string DefaultBaseDir();
};

// True when every folder of path exists or was created. A last component
// holding a '.' is taken for a file name and not created.
bool CreateDirectoryPath(const std::string& path);

}  // namespace larkspan
