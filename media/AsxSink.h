#pragma once
#include <string_view>

namespace larkspan {

// Receives what the playlist parser found. The recording worker records the
// entries one after another and keeps the more-info link; the record list
// adds a row per entry and ignores the link.
class AsxSink {
public:
    virtual ~AsxSink() = default;

    // Called at most once per document, at the end of the scan, with count
    // >= 1. The texts stay valid only during the call: copy what is kept.
    virtual void RecordEntries(int count, const std::string_view* references) = 0;

    // The href of the last "moreinfo" tag; called before RecordEntries.
    virtual void SetMoreInfoLink(std::string_view link) {}

    // The list was full and later entries were dropped; kept entries follow
    // in RecordEntries. Called before RecordEntries, at most once.
    virtual void PlaylistCut(int kept) {}

    // Syntax errors ("ASF syntax error N!\n") go here; the parser goes on.
    virtual void Trace(std::string_view message) {}
};

}  // namespace larkspan
