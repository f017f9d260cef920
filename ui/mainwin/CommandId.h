#pragma once

// The numeric ids of the main window's commands and controls. Other windows
// (the record list, the player, start-up) refer to the same numbers, so they
// are kept as they have always been.

namespace larkspan {

enum CommandId : int {
    // Transport and recording; buttons and menu entries share the id.
    kCmdOpen = 11101,
    kCmdPlay = 11102,
    kCmdPause = 11103,
    kCmdStop = 11107,
    kCmdRecord = 11109,
    kCmdRecordCancel = 11122,
    kCmdRepeat = 11128,
    kCmdUrlOpen = 22779,
    kCmdPreferences = 22773,
    // Address detection.
    kCmdDetectStart = 32785,
    kCmdDetectStop = 32786,
    // Exporting the selected row.
    kCmdCopyToClipboard = 32792,
    kCmdSave = 32788,
    kCmdSaveAs = 32789,
    // Web pages.
    kCmdHomePage = 32778,
    kCmdTvData = 32782,
    kCmdMusicData = 32770,
    kCmdPembryData = 32781,
    kCmdHelp = 57670,
    // Programs and windows of sibling products; no meaning here, kept hidden.
    kCmdOpenOrmo = 32787,
    kCmdViewSource = 32794,
    kCmdAbout = 32795,
    kCmdExit = 57665,
    // Buttons without a menu entry.
    kCmdMenu = 121,
    kCmdMinimise = 118,
    kCmdSpare = 119,
    kCmdClose = 120,
    // Recent-list entries: kCmdRecentFirst + index.
    kCmdRecentFirst = 57616,
    kCmdRecentLast = 57655,
};

// Control ids of the sliders (they double as their notification numbers).
enum ControlId : int {
    kCtlSeekSlider = 11123,
    kCtlVolumeSlider = 11126,
    kCtlBalanceSlider = 117,
    // The spectrum display has no id of its own; this key finds it.
    kCtlSpectrum = 0,
};

// Codes of the player's notifications (the value is a player state for
// kNotifyStateChanged and the docking flag for kNotifyDocking).
enum PlayerNotifyCode : int {
    kNotifyStateChanged = 2,
    kNotifyMediaOpened = 4,
    kNotifyOpenFailed = 6,
    kNotifyTick = 7,
    kNotifyDocking = 32,
};

// The player's states as the notifications carry them.
enum PlayerStateValue : int { kPlayerStopped = 0, kPlayerPaused = 1, kPlayerPlaying = 2 };

}  // namespace larkspan
