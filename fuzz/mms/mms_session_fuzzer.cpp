// Feeds arbitrary server bytes through the MMS session: the command and
// media packet reader, the reply table, header assembly, data packets,
// rebasing and the final header rewrite. The first byte picks settings so
// that limits and both live modes are reached too. The file is kept in
// memory and checked afterwards.
#include <cstddef>
#include <cstdint>

#include "fuzz/MemorySink.h"
#include "fuzz/mms/RecordedFileChecks.h"
#include "protocols/mms/MmsClient.h"
#include "protocols/mms/MmsTransport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace larkspan;
    if (size < 1) return 0;
    RecorderSettings settings;
    const uint8_t knobs = data[0];
    settings.liveContentSaveTimeInfo = (knobs & 1) ? 0 : 1;
    settings.timePolicy = (knobs & 2) ? 1 : 0;
    settings.maxTime = 1 + (knobs >> 4);
    settings.sizePolicy = (knobs & 4) ? 1 : 0;
    settings.maxSize = 1;

    MemorySink file;
    MmsMemoryTransport transport(data + 1, size - 1);
    transport.KeepSent(false);
    MmsClient client(1, settings, nullptr);
    client.RecordOver(transport, &file, (knobs & 8) ? "mms://host:1/a b/c.asf?q=1" : "mms://host/clip.asf");
    CheckRecordedFile(file, client.HeaderInfo(), size - 1, false);
    return 0;
}
